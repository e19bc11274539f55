// ConverterDialog: the program's one window. It holds the user's choices (the option state),
// keeps its radio buttons and source field in step with them, and hands them to convert().
//
// The controls are those of the control table (dialog_template.h), placed at its rectangles; a
// radio button whose caption needs more room grows to the right, short of its neighbour.
// What the user can do:
//   - type a source path, pick one with Browse (参照), or drop a file from the file manager;
//   - pick a mode and, for the text modes, a transfer encoding and a character set. The option
//     radios are usable only in the text modes, and the automatic choices only in mail decode:
//     entering text decode turns automatic choices into Quoted-Printable and JIS;
//   - Convert (変換, or Escape): runs the conversion, asking for the output in a Save-As dialog;
//   - Exit (終了, or Enter anywhere but on a button), or close the window: the dialog ends.
// A conversion never changes the option state.
#pragma once

#include <QDialog>
#include <QHash>
#include <QString>

#include "app/convert.h"
#include "common/conversion_options.h"
#include "gui/dialog_services.h"
#include "gui/dialog_template.h"
#include "platform/platform.h"

class QButtonGroup;
class QLineEdit;

namespace korvani::gui {

// The user's choices. `hasSource` is true exactly when `sourcePath` is non-empty.
struct OptionState {
  QString sourcePath;
  bool hasSource = false;
  ConvertMode mode = ConvertMode::BinaryDecode;
  TextEncoding encodingOption = TextEncoding::Auto;
  TextCharset charsetOption = TextCharset::Auto;
};

class ConverterDialog : public QDialog {
  Q_OBJECT

 public:
  // Builds the dialog with the initial state. Conversions use `platform`; file dialogs and
  // message boxes come from `services`. Both must outlive the dialog.
  ConverterDialog(Platform& platform, DialogServices& services, QWidget* parent = nullptr);

  // When `path` is non-empty it becomes the source and the field shows it; an empty `path`
  // changes nothing. For the file named on the command line.
  void setInitialSource(const QString& path);

  const OptionState& optionState() const { return state; }

  // The control with `id` in the control table; null for -1 and unknown ids.
  QWidget* control(int id) const { return controls.value(id); }

  // The Convert command: turns the state into a ConversionRequest and runs it. A missing source
  // is reported in a message box owned by this dialog, after which the source field has the
  // focus; every other failure is reported by the conversion itself. Returns the outcome.
  ConvertOutcome convert();

  // The Browse command: the Open-file dialog; a confirmed path becomes the source.
  void browse();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void buildControls();
  void widenRadiosToTheirCaptions(const DialogUnits& units);
  void connectControls();
  void selectMode(ConvertMode mode);
  void setSource(const QString& path);
  void onSourceEdited(const QString& text);
  // Applies the state to the controls: the field's text, the check marks and which option
  // radios can be used.
  void refresh();

  Platform& platform;
  DialogServices& services;
  OptionState state;

  QHash<int, QWidget*> controls;
  QLineEdit* sourceEdit = nullptr;
  QButtonGroup* modeGroup = nullptr;
  QButtonGroup* encodingGroup = nullptr;
  QButtonGroup* charsetGroup = nullptr;
};

}  // namespace korvani::gui
