// The mail laid out for paper: its header block, its text and its attachments with their sizes,
// in the order the window shows them. The same document is printed and written as PDF.
#pragma once

#include <QByteArray>
#include <QFont>
#include <memory>

class QPagedPaintDevice;
class QTextDocument;

namespace korvani::gui {

struct MailContent;

// The families tried in turn for the printed text: Japanese fonts whose outlines a PDF embeds
// with the mapping back to characters, so that the text can be searched and copied out again.
QFont printFont();

// The mail shown in `content` as a document in `font`, laid out for `device`'s page.
std::unique_ptr<QTextDocument> mailDocument(const MailContent& content, const QFont& font);

// The document of mailDocument() as the bytes of a PDF file (A4), fonts embedded; empty when
// it could not be made.
QByteArray mailPdf(const MailContent& content, const QFont& font, const QString& title);

}  // namespace korvani::gui
