#include <QFileDialog>
#include <QMessageBox>

#include "gui/dialog_services.h"
#include "gui/dialog_template.h"

namespace korvani::gui {
namespace {

// The label is shown and the pattern applied: with HideNameFilterDetails the file dialog strips
// the last parenthesised part, which is the one it takes its patterns from.
QString allFilesFilter() {
  return QString::fromUtf8(kAllFilesFilterLabel) + QStringLiteral(" (") +
         QString::fromLatin1(kAllFilesPattern) + QLatin1Char(')');
}

void configureCommon(QFileDialog& dialog) {
  dialog.setNameFilter(allFilesFilter());
  dialog.setOption(QFileDialog::HideNameFilterDetails);
}

std::optional<QString> run(QFileDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return files.front();
}

}  // namespace

void configureOpenDialog(QFileDialog& dialog) {
  configureCommon(dialog);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
}

void configureSaveDialog(QFileDialog& dialog, const QString& proposedName,
                         const QString& defaultSuffix) {
  configureCommon(dialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setDefaultSuffix(defaultSuffix);
  if (!proposedName.isEmpty()) dialog.selectFile(proposedName);
}

std::optional<QString> QtDialogServices::openFile(QWidget* parent) {
  QFileDialog dialog(parent);
  configureOpenDialog(dialog);
  return run(dialog);
}

std::optional<QString> QtDialogServices::saveFile(QWidget* parent, const QString& proposedName,
                                                  const QString& defaultSuffix) {
  QFileDialog dialog(parent);
  configureSaveDialog(dialog, proposedName, defaultSuffix);
  return run(dialog);
}

void QtDialogServices::showMessage(QWidget* owner, const QString& text) {
  // No title: the window system then shows the application's name, the default caption.
  QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok, owner);
  box.exec();
}

}  // namespace korvani::gui
