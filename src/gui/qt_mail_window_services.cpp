#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSettings>
#include <QTextDocument>
#include <QUrl>

#include "common/messages.h"
#include "gui/dialog_services.h"
#include "gui/mail_window_services.h"
#include "gui/mail_window_texts.h"
#include "gui/qt_text.h"

namespace korvani::gui {
namespace {

// The folder of the last save, and apart from it the folder of the last mail opened: mails are
// read from one place and their attachments saved to another.
const QString kLastFolderKey = QStringLiteral("mailWindow/lastFolder");
const QString kLastOpenFolderKey = QStringLiteral("mailWindow/lastOpenFolder");

// Where the file dialogs start: the folder last confirmed in one of their kind, else home.
QString startFolder(const QString& key = kLastFolderKey) {
  const QString folder = QSettings().value(key).toString();
  return folder.isEmpty() || !QFileInfo(folder).isDir() ? QDir::homePath() : folder;
}

void rememberFolder(const QString& folder, const QString& key = kLastFolderKey) {
  QSettings().setValue(key, folder);
}

// A file dialog of the window: `mode` and `accept` as asked, fitted as every file dialog of ours.
std::optional<QString> ask(QWidget* parent, std::string_view title, const QString& folder,
                           const QString& filter, QFileDialog::FileMode mode,
                           QFileDialog::AcceptMode accept, QFileDialog::Options options = {},
                           const QString& proposedName = {}) {
  QFileDialog dialog(parent, text(title), folder, filter);
  dialog.setOptions(options);
  dialog.setFileMode(mode);
  dialog.setAcceptMode(accept);
  fitFileDialog(dialog);
  if (!proposedName.isEmpty()) dialog.selectFile(proposedName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front();
}

}  // namespace

std::optional<QString> QtMailWindowServices::openMail(QWidget* parent) {
  std::optional<QString> path =
      ask(parent, texts::kOpenMailTitle, startFolder(kLastOpenFolderKey), text(texts::kMailFilter),
          QFileDialog::ExistingFile, QFileDialog::AcceptOpen);
  if (path) rememberFolder(QFileInfo(*path).absolutePath(), kLastOpenFolderKey);
  return path;
}

std::optional<QString> QtMailWindowServices::saveAttachment(QWidget* parent,
                                                            const QString& proposedName) {
  std::optional<QString> path =
      ask(parent, texts::kSaveAttachmentTitle, startFolder(), text(texts::kAnyFileFilter),
          QFileDialog::AnyFile, QFileDialog::AcceptSave, QFileDialog::DontConfirmOverwrite,
          proposedName);
  if (path) rememberFolder(QFileInfo(*path).absolutePath());
  return path;
}

std::optional<QString> QtMailWindowServices::chooseFolder(QWidget* parent) {
  std::optional<QString> folder =
      ask(parent, texts::kSaveFolderTitle, startFolder(), {}, QFileDialog::Directory,
          QFileDialog::AcceptOpen, QFileDialog::ShowDirsOnly);
  if (folder) rememberFolder(*folder);
  return folder;
}

MailWindowServices::ReplaceAnswer QtMailWindowServices::confirmReplace(QWidget* parent,
                                                                       const QString& path,
                                                                       bool several) {
  QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
  if (several) buttons |= QMessageBox::YesToAll | QMessageBox::NoToAll;
  QMessageBox box(QMessageBox::Question, text(texts::kWindowTitle),
                  path + text(texts::kReplaceQuestion), buttons, parent);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::No);
  switch (box.exec()) {
    case QMessageBox::Yes:
      return ReplaceAnswer::Replace;
    case QMessageBox::YesToAll:
      return ReplaceAnswer::ReplaceAll;
    case QMessageBox::No:
      return ReplaceAnswer::Skip;
    case QMessageBox::NoToAll:
      return ReplaceAnswer::SkipAll;
    default:
      return ReplaceAnswer::Cancel;
  }
}

void QtMailWindowServices::showMessage(QWidget* parent, const QString& message) {
  QMessageBox box(QMessageBox::Warning, text(texts::kWindowTitle), message, QMessageBox::Ok,
                  parent);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

bool QtMailWindowServices::openExternally(const QUrl& url) {
  return QDesktopServices::openUrl(url);
}

bool QtMailWindowServices::offerSaveAs(QWidget* parent, const QString& message) {
  QMessageBox box(QMessageBox::Information, text(texts::kWindowTitle), message, QMessageBox::Cancel,
                  parent);
  box.setTextFormat(Qt::PlainText);
  QPushButton* saveAs = box.addButton(text(texts::kSaveAsButton), QMessageBox::AcceptRole);
  box.setDefaultButton(saveAs);
  box.exec();
  return box.clickedButton() == saveAs;
}

std::optional<QString> QtMailWindowServices::savePdf(QWidget* parent, const QString& proposedName) {
  std::optional<QString> path =
      ask(parent, texts::kSavePdfTitle, startFolder(), text(texts::kPdfFilter),
          QFileDialog::AnyFile, QFileDialog::AcceptSave, {}, proposedName);
  if (path) rememberFolder(QFileInfo(*path).absolutePath());
  return path;
}

void QtMailWindowServices::print(QWidget* parent, QTextDocument& document) {
  QPrinter printer;
  QPrintDialog dialog(&printer, parent);
  if (dialog.exec() == QDialog::Accepted) document.print(&printer);
}

bool QtMailWindowServices::confirmOpen(QWidget* parent, const QString& message) {
  QMessageBox box(QMessageBox::Warning, text(texts::kWindowTitle), message,
                  QMessageBox::Open | QMessageBox::Cancel, parent);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::Cancel);
  return box.exec() == QMessageBox::Open;
}

void QtMailWindowServices::showAbout(QWidget* parent, const QString& message) {
  QMessageBox::about(parent, text(texts::kWindowTitle), message);
}

}  // namespace korvani::gui
