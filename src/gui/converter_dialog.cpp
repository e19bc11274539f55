#include "gui/converter_dialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QUrl>
#include <algorithm>
#include <functional>
#include <string>

#include "common/messages.h"
#include "gui/local_path.h"
#include "gui/mail_window.h"
#include "gui/mail_window_services.h"
#include "gui/message_box_sink.h"
#include "gui/save_as_chooser.h"
#include "mail/attachment_count.h"
#include "mail/mail_engine.h"

namespace korvani::gui {
namespace {

// The first local file among the dropped items; an empty URL when there is none.
QUrl firstLocalFile(const QMimeData* data) {
  if (!data || !data->hasUrls()) return QUrl();
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) return url;
  }
  return QUrl();
}

QButtonGroup* groupOf(QWidget* radio) { return static_cast<QAbstractButton*>(radio)->group(); }

bool isRadio(const ControlRow& row) {
  return row.kind == ControlKind::Radio || row.kind == ControlKind::FirstRadioOfGroup;
}

// The wait cursor for as long as it lives.
class WaitCursor {
 public:
  WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// The ordinary cursor for as long as it lives, inside a WaitCursor.
class OrdinaryCursor {
 public:
  OrdinaryCursor() { QGuiApplication::restoreOverrideCursor(); }
  ~OrdinaryCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  OrdinaryCursor(const OrdinaryCursor&) = delete;
  OrdinaryCursor& operator=(const OrdinaryCursor&) = delete;
};

// The window gets to paint what is pending (the area a closed file dialog uncovered, the
// cursor) before a long piece of work; the user's input waits, so no command can start inside
// the running one.
void paintPendingEvents() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

// The dialog services of a conversion that runs under the wait cursor: the user gets the
// ordinary cursor back while a file dialog or message box asks something. After the Save-As
// dialog, a long conversion first repaints the window.
class BusyDialogServices : public DialogServices {
 public:
  BusyDialogServices(DialogServices& inner, bool longWork) : inner(inner), longWork(longWork) {}

  std::optional<QString> openFile(QWidget* parent, const QString& startFolder) override {
    const OrdinaryCursor ordinary;
    return inner.openFile(parent, startFolder);
  }
  std::optional<QString> saveFile(QWidget* parent, const QString& startFolder,
                                  const QString& proposedName,
                                  const QString& defaultSuffix) override {
    std::optional<QString> chosen;
    {
      const OrdinaryCursor ordinary;
      chosen = inner.saveFile(parent, startFolder, proposedName, defaultSuffix);
    }
    if (chosen && longWork) paintPendingEvents();
    return chosen;
  }
  void showMessage(QWidget* owner, const QString& caption, const QString& text,
                   QMessageBox::Icon icon) override {
    const OrdinaryCursor ordinary;
    inner.showMessage(owner, caption, text, icon);
  }
  bool askMessage(QWidget* owner, const QString& caption, const QString& text,
                  QMessageBox::Icon icon, const QString& action) override {
    const OrdinaryCursor ordinary;
    return inner.askMessage(owner, caption, text, icon, action);
  }

 private:
  DialogServices& inner;
  bool longWork;
};

// The message sink of a binary decode. The locator's two answers to a mail without an attachment
// of its form stay as they are; under its empty one the reason follows, and under either the
// number of attachments the mail engine finds in the same mail (today's mailers write theirs in
// forms the locator does not read), with a button that opens the mail in the mail window.
class BinaryDecodeSink : public MessageSink {
 public:
  // `library` is the dialog's, set up here on first need and kept: GMime does not give back
  // all it takes when set up a second time after being let go.
  BinaryDecodeSink(Platform& platform, MessageBoxSink& boxes, std::string source,
                   std::unique_ptr<mail::MailLibrary>& library,
                   std::function<void()> openInMailWindow)
      : platform(platform),
        boxes(boxes),
        source(std::move(source)),
        library(library),
        openInMailWindow(std::move(openInMailWindow)) {}

  void showMessage(std::string_view text, MessageOwner owner = MessageOwner::None) override {
    const bool notBase64 = text == messages::kNotBase64Attachment;
    if (!notBase64 && text != messages::kBadMailStructure) {
      boxes.showMessage(text, owner);
      return;
    }
    std::string detail = notBase64 ? std::string(messages::kNotBase64Reason) : std::string();
    if (!library) library = std::make_unique<mail::MailLibrary>();
    const std::size_t found = mail::countAttachments(platform, source);
    if (found == 0) {
      boxes.showMessage(text, detail, QString(), owner);
      return;
    }
    if (!detail.empty()) detail += '\n';
    detail += QString::fromUtf8(kAttachmentsFoundFormat).arg(found).toStdString();
    if (boxes.showMessage(text, detail, QString::fromUtf8(kOpenInMailWindow), owner)) {
      openInMailWindow();
    }
  }

 private:
  Platform& platform;
  MessageBoxSink& boxes;
  std::string source;
  std::unique_ptr<mail::MailLibrary>& library;
  std::function<void()> openInMailWindow;
};

}  // namespace

ConverterDialog::ConverterDialog(Platform& platform, DialogServices& services, const QFont& font,
                                 QWidget* parent)
    : QDialog(parent), platform(platform), services(services) {
  // A window of its own (with its own taskbar entry) that can be moved, minimised and closed,
  // but not resized: the controls sit at fixed places.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setWindowTitle(QString::fromUtf8(kDialogCaption));
  setFont(font);
  setAcceptDrops(true);
  buildControls();
  connectControls();
  refresh();
}

ConverterDialog::~ConverterDialog() {
  // Before the engine and the services it uses.
  delete window;
}

QFont ConverterDialog::defaultDialogFont() {
  return dialogFont(QApplication::font(), fontFamilyResolves);
}

void ConverterDialog::buildControls() {
  QWidget* previousInTabOrder = nullptr;
  QButtonGroup* group = nullptr;
  int value = 0;
  for (const ControlRow& row : controlTable()) {
    const QString caption = tr(row.caption);
    QWidget* widget = nullptr;
    switch (row.kind) {
      case ControlKind::GroupBox:
        widget = new QGroupBox(caption, this);
        break;
      case ControlKind::Edit:
        widget = sourceEdit = new QLineEdit(this);
        sourceEdit->setAccessibleName(tr(kSourceFieldName));
        // A file dropped on the field sets the source like one dropped anywhere else, rather
        // than inserting its URL as text.
        sourceEdit->setAcceptDrops(false);
        break;
      case ControlKind::PushButton:
      case ControlKind::DefaultPushButton:
        widget = new QPushButton(caption, this);
        break;
      case ControlKind::FirstRadioOfGroup:
        group = nullptr;
        [[fallthrough]];
      case ControlKind::Radio: {
        // A radio row before any first radio of a group still starts a group of its own.
        if (group == nullptr) {
          group = new QButtonGroup(this);
          value = 0;
        }
        auto* radio = new QRadioButton(caption, this);
        group->addButton(radio, value++);
        widget = radio;
        break;
      }
    }
    if (row.kind != ControlKind::Edit) widget->setAccessibleName(caption);
    controlsInOrder.append(widget);
    if (row.id != -1) controls.insert(row.id, widget);
    if (widget->focusPolicy() != Qt::NoFocus) {
      if (previousInTabOrder) setTabOrder(previousInTabOrder, widget);
      previousInTabOrder = widget;
    }
  }
  placeControls(unitsFittingTheCaptions(DialogUnits{QFontMetricsF(font(), this)}));
  modeGroup = groupOf(control(control::kBinaryDecode));
  encodingGroup = groupOf(control(control::kEncodingAuto));
  charsetGroup = groupOf(control(control::kCharsetAuto));
  // Enter anywhere but on a button is the Exit command, so Exit is the default button (a button
  // with the focus takes Enter for itself).
  static_cast<QPushButton*>(control(control::kExit))->setDefault(true);
  sourceEdit->setFocus();
}

namespace {

// The right-hand limit of the radio in `rows[i]`: the next radio's left edge when the next row
// is a radio of the same row, otherwise the right edge of the group box it sits in.
int radioLimit(std::span<const ControlRow> rows, std::size_t i, const DialogUnits& units) {
  if (i + 1 < rows.size() && rows[i + 1].kind == ControlKind::Radio) {
    return units.toPixels(rows[i + 1].rect).left();
  }
  while (rows[i].kind != ControlKind::GroupBox) --i;
  return units.toPixels(rows[i].rect).right();
}

}  // namespace

bool ConverterDialog::radiosFit(const DialogUnits& units) const {
  const std::span<const ControlRow> rows = controlTable();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!isRadio(rows[i])) continue;
    const int room = radioLimit(rows, i, units) - units.toPixels(rows[i].rect).left();
    if (controlsInOrder[static_cast<qsizetype>(i)]->sizeHint().width() > room) return false;
  }
  return true;
}

DialogUnits ConverterDialog::unitsFittingTheCaptions(const DialogUnits& fontUnits) const {
  // The smallest widening that lets every caption fit. Half again as wide is far beyond any
  // usable font; a style that asks for more gets its captions cut, not an endless search.
  const int mostSixtyFourths = 8 * fontUnits.baseUnits().width();
  for (int sixtyFourths = 0; sixtyFourths < mostSixtyFourths; ++sixtyFourths) {
    const DialogUnits units = fontUnits.widened(sixtyFourths);
    if (radiosFit(units)) return units;
  }
  return fontUnits.widened(mostSixtyFourths);
}

void ConverterDialog::placeControls(const DialogUnits& fittingUnits) {
  units = fittingUnits;
  setFixedSize(units.toPixels(kDialogSize).size());
  const std::span<const ControlRow> rows = controlTable();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    QWidget* widget = controlsInOrder[static_cast<qsizetype>(i)];
    QRect rect = units.toPixels(rows[i].rect);
    // A radio whose caption needs more room than its rectangle takes it, up to its limit.
    if (isRadio(rows[i])) {
      const int room = radioLimit(rows, i, units) - rect.left();
      rect.setWidth(std::min(std::max(rect.width(), widget->sizeHint().width()), room));
    }
    widget->setGeometry(rect);
  }
}

void ConverterDialog::connectControls() {
  connect(sourceEdit, &QLineEdit::textChanged, this, &ConverterDialog::onSourceEdited);
  connect(static_cast<QPushButton*>(control(control::kBrowse)), &QPushButton::clicked, this,
          &ConverterDialog::browse);
  connect(static_cast<QPushButton*>(control(control::kConvert)), &QPushButton::clicked, this,
          [this] { convert(); });
  connect(static_cast<QPushButton*>(control(control::kExit)), &QPushButton::clicked, this,
          &QDialog::accept);
  connect(modeGroup, &QButtonGroup::idClicked, this,
          [this](int id) { selectMode(static_cast<ConvertMode>(id)); });
  connect(encodingGroup, &QButtonGroup::idClicked, this,
          [this](int id) { state.encodingOption = static_cast<TextEncoding>(id); });
  connect(charsetGroup, &QButtonGroup::idClicked, this,
          [this](int id) { state.charsetOption = static_cast<TextCharset>(id); });
}

void ConverterDialog::setInitialSource(const QByteArray& path) {
  if (!path.isEmpty()) setSource(path);
}

void ConverterDialog::setSource(const QByteArray& path) {
  state.sourcePath = QFile::decodeName(path);
  state.sourceBytes = path;
  refresh();
}

void ConverterDialog::onSourceEdited(const QString& text) {
  // refresh() showing the state is no edit; anything else is, and the text is then the path.
  if (text != state.sourcePath) state.sourceBytes.clear();
  state.sourcePath = text;
}

QString ConverterDialog::sourceFolder() const {
  if (!state.hasSource()) return QString();
  const QFileInfo folder(QFileInfo(state.sourcePath).absolutePath());
  return folder.isDir() ? folder.absoluteFilePath() : QString();
}

void ConverterDialog::selectMode(ConvertMode mode) {
  state.mode = mode;
  // Text decode needs an explicit encoding and character set; leaving it keeps them.
  if (mode == ConvertMode::TextDecode) {
    if (state.encodingOption == TextEncoding::Auto) {
      state.encodingOption = TextEncoding::QuotedPrintable;
    }
    if (state.charsetOption == TextCharset::Auto) state.charsetOption = TextCharset::Jis;
  }
  refresh();
}

void ConverterDialog::refresh() {
  if (sourceEdit->text() != state.sourcePath) sourceEdit->setText(state.sourcePath);

  // The option radios are for the text modes only, and their automatic choices (value 0) for
  // mail decode only.
  const auto usable = [mode = state.mode](int value) {
    return value == 0 ? mode == ConvertMode::MailDecode : mode >= ConvertMode::MailDecode;
  };
  const struct {
    QButtonGroup* group;
    int checkedValue;
    bool alwaysUsable;
  } groups[] = {
      {modeGroup, static_cast<int>(state.mode), true},
      {encodingGroup, static_cast<int>(state.encodingOption), false},
      {charsetGroup, static_cast<int>(state.charsetOption), false},
  };
  for (const auto& entry : groups) {
    for (QAbstractButton* radio : entry.group->buttons()) {
      const int value = entry.group->id(radio);
      radio->setEnabled(entry.alwaysUsable || usable(value));
      radio->setChecked(value == entry.checkedValue);
    }
  }
}

ConvertOutcome ConverterDialog::convert() {
  ConversionRequest request;
  const QByteArray source =
      state.sourceBytes.isEmpty() ? QFile::encodeName(state.sourcePath) : state.sourceBytes;
  request.sourcePath.assign(source.constData(), static_cast<std::size_t>(source.size()));
  request.mode = state.mode;
  request.encodingOption = state.encodingOption;
  request.charsetOption = state.charsetOption;

  FileStatus status;
  const bool longWork = state.hasSource() && platform.readStatus(request.sourcePath, status) &&
                        status.size > kRepaintBeforeBytes;
  const WaitCursor waitCursor;
  if (longWork) paintPendingEvents();
  BusyDialogServices busyServices(services, longWork);
  MessageBoxSink boxes(busyServices, *this);
  BinaryDecodeSink binaryDecodeSink(platform, boxes, request.sourcePath, mailLibrary,
                                    [this, source] { openInMailWindow(source); });
  MessageSink& sink = state.mode == ConvertMode::BinaryDecode
                          ? static_cast<MessageSink&>(binaryDecodeSink)
                          : static_cast<MessageSink&>(boxes);
  SaveAsChooser chooser(platform, busyServices, *this, sourceFolder());
  const ConvertOutcome outcome = korvani::convert(request, platform, sink, chooser);
  if (outcome == ConvertOutcome::MissingSource) sourceEdit->setFocus();
  return outcome;
}

void ConverterDialog::openInMailWindow(const QByteArray& path) {
  if (!window) {
    if (!mailLibrary) mailLibrary = std::make_unique<mail::MailLibrary>();
    if (!mailWindowServices) mailWindowServices = std::make_unique<QtMailWindowServices>();
    window = new MailWindow(platform, *mailWindowServices, this);
  }
  window->show();
  window->raise();
  window->activateWindow();
  window->openMail(path);
}

void ConverterDialog::browse() {
  const QString startFolder = sourceFolder();
  if (const std::optional<QString> path = services.openFile(this, startFolder)) {
    setSource(localPathBytes(platform, *path));
  }
}

void ConverterDialog::keyPressEvent(QKeyEvent* event) {
  // Escape is the Convert command here, not the way out of the dialog.
  if (event->matches(QKeySequence::Cancel)) {
    convert();
    return;
  }
  QDialog::keyPressEvent(event);
}

void ConverterDialog::dragEnterEvent(QDragEnterEvent* event) {
  if (!firstLocalFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void ConverterDialog::dropEvent(QDropEvent* event) {
  const QUrl file = firstLocalFile(event->mimeData());
  if (file.isEmpty()) return;
  setSource(localFileBytes(file));
  event->acceptProposedAction();
}

}  // namespace korvani::gui
