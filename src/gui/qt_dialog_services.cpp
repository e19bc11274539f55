#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTranslator>
#include <QTreeView>
#include <memory>

#include "gui/dialog_services.h"
#include "gui/dialog_template.h"

namespace korvani::gui {
namespace {

const QString kLastOpenFolderKey = QStringLiteral("openDialog/lastFolder");

// The label is shown and the pattern applied: with HideNameFilterDetails the file dialog strips
// the last parenthesised part, which is the one it takes its patterns from.
QString allFilesFilter() {
  return QString::fromUtf8(kAllFilesFilterLabel) + QStringLiteral(" (") +
         QString::fromLatin1(kAllFilesPattern) + QLatin1Char(')');
}

void configureCommon(QFileDialog& dialog, const QString& startFolder) {
  fitFileDialog(dialog);
  dialog.setNameFilter(allFilesFilter());
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  if (!startFolder.isEmpty()) dialog.setDirectory(startFolder);
}

std::optional<QString> run(QFileDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return files.front();
}

}  // namespace

void configureOpenDialog(QFileDialog& dialog, const QString& startFolder) {
  configureCommon(dialog, startFolder.isEmpty() ? lastOpenFolder() : startFolder);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
}

void configureSaveDialog(QFileDialog& dialog, const QString& startFolder,
                         const QString& proposedName, const QString& defaultSuffix) {
  configureCommon(dialog, startFolder);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setDefaultSuffix(defaultSuffix);
  if (!proposedName.isEmpty()) dialog.selectFile(proposedName);
}

void configureMessageBox(QMessageBox& box, const QString& caption, const QString& text,
                         QMessageBox::Icon icon) {
  box.setWindowTitle(caption);
  box.setIcon(icon);
  // Messages carry paths, which may hold anything, '<' included.
  box.setTextFormat(Qt::PlainText);
  box.setText(text);
  box.setStandardButtons(QMessageBox::Ok);
}

void fitFileDialog(QFileDialog& dialog) {
  // Room for a Japanese name and its date in the dialog's own font, as a desktop's file manager
  // gives them.
  const QFontMetrics metrics(dialog.font());
  dialog.resize(
      dialog.sizeHint().expandedTo(QSize(metrics.averageCharWidth() * 110, metrics.height() * 30)));
  auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
  auto* model = dialog.findChild<QFileSystemModel*>();
  if (view == nullptr || model == nullptr) return;  // the desktop's native dialog
  QHeaderView* header = view->header();
  header->setStretchLastSection(false);
  header->setSectionResizeMode(0, QHeaderView::Stretch);
  QObject::connect(model, &QFileSystemModel::directoryLoaded, view, [view] {
    for (int column = 1; column < view->header()->count(); ++column) {
      view->resizeColumnToContents(column);
    }
  });
}

bool installQtTranslations(QCoreApplication& application, const QLocale& locale) {
  auto translator = std::make_unique<QTranslator>(&application);
  if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    return false;
  }
  return QCoreApplication::installTranslator(translator.release());
}

QString lastOpenFolder() {
  const QSettings settings;
  return settings.value(kLastOpenFolderKey).toString();
}

void rememberOpenFolder(const QString& chosenFile) {
  QSettings settings;
  settings.setValue(kLastOpenFolderKey, QFileInfo(chosenFile).absolutePath());
}

std::optional<QString> QtDialogServices::openFile(QWidget* parent, const QString& startFolder) {
  QFileDialog dialog(parent);
  configureOpenDialog(dialog, startFolder);
  std::optional<QString> chosen = run(dialog);
  if (chosen) rememberOpenFolder(*chosen);
  return chosen;
}

std::optional<QString> QtDialogServices::saveFile(QWidget* parent, const QString& startFolder,
                                                  const QString& proposedName,
                                                  const QString& defaultSuffix) {
  QFileDialog dialog(parent);
  configureSaveDialog(dialog, startFolder, proposedName, defaultSuffix);
  return run(dialog);
}

void QtDialogServices::showMessage(QWidget* owner, const QString& caption, const QString& text,
                                   QMessageBox::Icon icon) {
  QMessageBox box(owner);
  configureMessageBox(box, caption, text, icon);
  box.exec();
}

bool QtDialogServices::askMessage(QWidget* owner, const QString& caption, const QString& text,
                                  QMessageBox::Icon icon, const QString& action) {
  QMessageBox box(owner);
  configureMessageBox(box, caption, text, icon);
  const QPushButton* actionButton = box.addButton(action, QMessageBox::AcceptRole);
  box.exec();
  return box.clickedButton() == actionButton;
}

}  // namespace korvani::gui
