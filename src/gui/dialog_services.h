// The modal dialogs the main dialog opens: the Open and Save-As file dialogs and message boxes.
//
// They sit behind this interface so that tests can answer them without a person: QtDialogServices
// shows the desktop's real dialogs; the tests script the answers and record what was asked.
#pragma once

#include <QString>
#include <optional>

class QFileDialog;
class QWidget;

namespace korvani::gui {

class DialogServices {
 public:
  virtual ~DialogServices() = default;

  // The Open-file dialog over `parent`, with the all-files filter, no initial name and no
  // default extension. Returns the full path the user confirmed, or nullopt on cancel.
  virtual std::optional<QString> openFile(QWidget* parent) = 0;

  // The Save-As dialog over `parent`, with the all-files filter, `proposedName` as the initial
  // name (none when empty), `defaultSuffix` appended to a name typed without one (none when
  // empty), and no confirmation before an existing file is overwritten. Returns the full path
  // the user confirmed, or nullopt on cancel.
  virtual std::optional<QString> saveFile(QWidget* parent, const QString& proposedName,
                                          const QString& defaultSuffix) = 0;

  // A message box with `text` (possibly empty), an OK button and the application's default
  // caption; owned by `owner`, or by no window when `owner` is null. Returns when it is closed.
  virtual void showMessage(QWidget* owner, const QString& text) = 0;
};

// The desktop's own dialogs: QFileDialog (the platform's native one where there is one) and
// QMessageBox.
class QtDialogServices : public DialogServices {
 public:
  std::optional<QString> openFile(QWidget* parent) override;
  std::optional<QString> saveFile(QWidget* parent, const QString& proposedName,
                                  const QString& defaultSuffix) override;
  void showMessage(QWidget* owner, const QString& text) override;
};

// The configuration the two file dialogs of QtDialogServices get before they are shown; apart
// so that it can be checked without showing a modal dialog.
void configureOpenDialog(QFileDialog& dialog);
void configureSaveDialog(QFileDialog& dialog, const QString& proposedName,
                         const QString& defaultSuffix);

}  // namespace korvani::gui
