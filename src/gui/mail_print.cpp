#include "gui/mail_print.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextCursor>
#include <QTextDocument>
#include <string_view>

#include "gui/mail_content.h"
#include "gui/mail_window.h"
#include "gui/mail_window_texts.h"
#include "gui/qt_text.h"
#include "mail/mail_reader.h"

namespace korvani::gui {
namespace {

constexpr int kPointSize = 10;
constexpr int kResolution = 300;  // dots per inch of the PDF's layout
constexpr qreal kMarginMm = 15;

}  // namespace

QFont printFont() {
  QFont font;
  font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                    QStringLiteral("Noto Sans CJK JP"), font.family()});
  font.setPointSize(kPointSize);
  return font;
}

std::unique_ptr<QTextDocument> mailDocument(const MailContent& content, const QFont& font) {
  auto document = std::make_unique<QTextDocument>();
  document->setDefaultFont(font);
  document->setDocumentMargin(0);
  QTextCursor cursor(document.get());
  QTextCharFormat plain;
  QTextCharFormat bold;
  bold.setFontWeight(QFont::Bold);
  QTextBlockFormat spaced;
  spaced.setTopMargin(font.pointSizeF());
  bool first = true;
  const auto addLine = [&](const QString& caption, const QString& value, bool gap) {
    if (!first) cursor.insertBlock(gap ? spaced : QTextBlockFormat());
    first = false;
    if (!caption.isEmpty()) cursor.insertText(caption, bold);
    cursor.insertText(value, plain);
  };
  for (const texts::HeaderCaption& caption : texts::kHeaderCaptions) {
    const QString value = text(headerValue(content, caption.field));
    if (value.isEmpty()) continue;
    // A date as the window shows it, and as it was sent: the paper keeps the sender's own words.
    const QString shown = caption.field == "Date" ? MailWindow::shownDate(value) : value;
    addLine(text(caption.caption) + QStringLiteral(": "),
            shown == value ? value : shown + QStringLiteral(" (") + value + QLatin1Char(')'),
            false);
  }
  bool gap = true;
  for (const QString& line : text(shownBody(content)).split(QLatin1Char('\n'))) {
    addLine({}, line, gap);
    gap = false;
  }
  if (!content.attachments.empty()) {
    addLine(text(texts::kAttachments), {}, true);
    for (const AttachmentEntry& entry : content.attachments) {
      addLine({},
              (entry.container == kNoContainer ? QString() : QStringLiteral("    ")) +
                  text(entry.name) + QStringLiteral(" (") + text(entry.mediaType) +
                  QStringLiteral(", ") + text(mail::readableSize(entry.size)) + QLatin1Char(')'),
              false);
    }
  }
  return document;
}

QByteArray mailPdf(const MailContent& content, const QFont& font, const QString& title) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly)) return {};
  {
    QPdfWriter writer(&buffer);
    writer.setTitle(title);
    writer.setCreator(text(texts::kWindowTitle));
    writer.setResolution(kResolution);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm),
                                     QPageLayout::Millimeter));
    const std::unique_ptr<QTextDocument> document = mailDocument(content, font);
    document->print(&writer);
  }
  buffer.close();
  return bytes;
}

}  // namespace korvani::gui
