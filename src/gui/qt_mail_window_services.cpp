#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <QUrl>

#include "common/messages.h"
#include "gui/mail_window_services.h"

namespace korvani::gui {
namespace {

const QString kLastFolderKey = QStringLiteral("mailWindow/lastFolder");

QString text(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// Where the file dialogs start: the folder last confirmed in one of them, else home.
QString startFolder() {
  const QString folder = QSettings().value(kLastFolderKey).toString();
  return folder.isEmpty() || !QFileInfo(folder).isDir() ? QDir::homePath() : folder;
}

void rememberFolder(const QString& folder) { QSettings().setValue(kLastFolderKey, folder); }

}  // namespace

std::optional<QString> QtMailWindowServices::openMail(QWidget* parent) {
  const QString path =
      QFileDialog::getOpenFileName(parent, text(messages::mailwindow::kOpenMailTitle),
                                   startFolder(), text(messages::mailwindow::kMailFilter));
  if (path.isEmpty()) return std::nullopt;
  rememberFolder(QFileInfo(path).absolutePath());
  return path;
}

std::optional<QString> QtMailWindowServices::saveAttachment(QWidget* parent,
                                                            const QString& proposedName) {
  const QString path =
      QFileDialog::getSaveFileName(parent, text(messages::mailwindow::kSaveAttachmentTitle),
                                   QDir(startFolder()).filePath(proposedName), QString(), nullptr,
                                   QFileDialog::DontConfirmOverwrite);
  if (path.isEmpty()) return std::nullopt;
  rememberFolder(QFileInfo(path).absolutePath());
  return path;
}

std::optional<QString> QtMailWindowServices::chooseFolder(QWidget* parent) {
  const QString folder = QFileDialog::getExistingDirectory(
      parent, text(messages::mailwindow::kSaveFolderTitle), startFolder());
  if (folder.isEmpty()) return std::nullopt;
  rememberFolder(folder);
  return folder;
}

MailWindowServices::ReplaceAnswer QtMailWindowServices::confirmReplace(QWidget* parent,
                                                                       const QString& path,
                                                                       bool several) {
  QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
  if (several) buttons |= QMessageBox::YesToAll | QMessageBox::NoToAll;
  QMessageBox box(QMessageBox::Question, text(messages::mailwindow::kWindowTitle),
                  path + text(messages::mailwindow::kReplaceQuestion), buttons, parent);
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
  QMessageBox box(QMessageBox::Warning, text(messages::mailwindow::kWindowTitle), message,
                  QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

bool QtMailWindowServices::openExternally(const QUrl& url) {
  return QDesktopServices::openUrl(url);
}

}  // namespace korvani::gui
