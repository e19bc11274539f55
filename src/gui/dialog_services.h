// The modal dialogs the main dialog opens: the Open and Save-As file dialogs and message boxes.
//
// They sit behind this interface so that tests can answer them without a person: QtDialogServices
// shows the desktop's real dialogs; the tests script the answers and record what was asked.
#pragma once

#include <QMessageBox>
#include <QString>
#include <optional>

class QCoreApplication;
class QFileDialog;
class QLocale;
class QWidget;

namespace korvani::gui {

class DialogServices {
 public:
  virtual ~DialogServices() = default;

  // The Open-file dialog over `parent`, with the all-files filter, no initial name and no
  // default extension, showing `startFolder`, or the folder last confirmed in it when that is
  // empty. Returns the full path the user confirmed, or nullopt on cancel.
  virtual std::optional<QString> openFile(QWidget* parent, const QString& startFolder) = 0;

  // The Save-As dialog over `parent`, showing `startFolder` (the working folder when empty),
  // with the all-files filter, `proposedName` as the initial name (none when empty),
  // `defaultSuffix` appended to a name typed without one (none when empty), and no confirmation
  // before an existing file is overwritten. Returns the full path the user confirmed, or
  // nullopt on cancel.
  virtual std::optional<QString> saveFile(QWidget* parent, const QString& startFolder,
                                          const QString& proposedName,
                                          const QString& defaultSuffix) = 0;

  // A message box with `caption`, `icon`, `text` (possibly empty, possibly several lines, never
  // read as markup) and an OK button; owned by `owner`, or by no window when `owner` is null.
  // Returns when it is closed.
  virtual void showMessage(QWidget* owner, const QString& caption, const QString& text,
                           QMessageBox::Icon icon) = 0;

  // The same message box with a button `action` beside OK. Returns true when the user closed it
  // with `action`, false for OK or the window's close button.
  virtual bool askMessage(QWidget* owner, const QString& caption, const QString& text,
                          QMessageBox::Icon icon, const QString& action) = 0;
};

// The desktop's own dialogs: QFileDialog (the platform's native one where there is one) and
// QMessageBox.
// The folder the Open dialog was last confirmed in is remembered across runs (in QSettings),
// as the desktop's own file dialogs do.
class QtDialogServices : public DialogServices {
 public:
  std::optional<QString> openFile(QWidget* parent, const QString& startFolder) override;
  std::optional<QString> saveFile(QWidget* parent, const QString& startFolder,
                                  const QString& proposedName,
                                  const QString& defaultSuffix) override;
  void showMessage(QWidget* owner, const QString& caption, const QString& text,
                   QMessageBox::Icon icon) override;
  bool askMessage(QWidget* owner, const QString& caption, const QString& text,
                  QMessageBox::Icon icon, const QString& action) override;
};

// The configuration the file dialogs and message boxes of QtDialogServices get before they are
// shown; apart so that it can be checked without showing a modal dialog.
void configureOpenDialog(QFileDialog& dialog, const QString& startFolder);
void configureSaveDialog(QFileDialog& dialog, const QString& startFolder,
                         const QString& proposedName, const QString& defaultSuffix);
void configureMessageBox(QMessageBox& box, const QString& caption, const QString& text,
                         QMessageBox::Icon icon);
// Qt's own file dialog (where the desktop gives no native one) sized for long Japanese names, and
// its detail columns fitted to what they hold each time a folder is read: the name takes the
// room the size, type and date leave. Every file dialog of both programs gets it.
void fitFileDialog(QFileDialog& dialog);

// Loads Qt's own translations (the file dialogs' and message boxes' texts: "Cancel", "Look in")
// for `locale` from Qt's translations folder and installs them in `application`, which owns
// them. Returns false, changing nothing, when there are none for it (English needs none).
bool installQtTranslations(QCoreApplication& application, const QLocale& locale);

// The folder the Open dialog was last confirmed in; empty when none is remembered.
QString lastOpenFolder();
// Remembers the folder of `chosenFile` as the one the Open dialog was last confirmed in.
void rememberOpenFolder(const QString& chosenFile);

}  // namespace korvani::gui
