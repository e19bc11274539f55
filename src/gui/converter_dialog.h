// ConverterDialog: the program's one window. It holds the user's choices (the option state),
// keeps its radio buttons and source field in step with them, and hands them to convert().
//
// The controls are those of the control table (dialog_template.h), placed at its rectangles in
// dialog units of the dialog font. Where that font's captions need more room than the
// rectangles give (the desktop's radio indicators are wider than those the rectangles were
// drawn for), the horizontal unit grows just enough for each radio to fit its caption short of
// its neighbour, and a radio grows to the right into that room.
// What the user can do:
//   - type a source path, pick one with Browse (参照), or drop a file from the file manager;
//   - pick a mode and, for the text modes, a transfer encoding and a character set. The option
//     radios are usable only in the text modes, and the automatic choices only in mail decode:
//     entering text decode turns automatic choices into Quoted-Printable and JIS;
//   - Convert (変換, or Escape): runs the conversion, asking for the output in a Save-As dialog
//     that starts in the source's folder; the wait cursor shows while the conversion works;
//   - Exit (終了, or Enter anywhere but on a button), or close the window: the dialog ends.
// A conversion never changes the option state.
#pragma once

#include <QDialog>
#include <QFile>
#include <QFont>
#include <QHash>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <memory>

#include "app/convert.h"
#include "common/conversion_options.h"
#include "gui/dialog_services.h"
#include "gui/dialog_template.h"
#include "platform/platform.h"

class QButtonGroup;
class QLineEdit;

namespace korvani::mail {
class MailLibrary;
}

namespace korvani::gui {

class MailWindow;
class MailWindowServices;

// The user's choices.
struct OptionState {
  QString sourcePath;  // as the source field shows it
  // The path's own bytes when it came from the command line, a drop or the Open dialog and has
  // not been edited since (a name that is not UTF-8 cannot be shown as it is); empty otherwise,
  // and then `sourcePath` in the file system's encoding is the path.
  QByteArray sourceBytes;
  // Whether a source is named: exactly when `sourcePath` is non-empty.
  bool hasSource() const { return !sourcePath.isEmpty(); }
  ConvertMode mode = ConvertMode::BinaryDecode;
  TextEncoding encodingOption = TextEncoding::Auto;
  TextCharset charsetOption = TextCharset::Auto;
};

class ConverterDialog : public QDialog {
  Q_OBJECT

 public:
  // Builds the dialog with the initial state, drawn in `font` (see defaultDialogFont()).
  // Conversions use `platform`; file dialogs and message boxes come from `services`. Both must
  // outlive the dialog.
  ConverterDialog(Platform& platform, DialogServices& services,
                  const QFont& font = defaultDialogFont(), QWidget* parent = nullptr);
  ~ConverterDialog() override;
  ConverterDialog(const ConverterDialog&) = delete;
  ConverterDialog& operator=(const ConverterDialog&) = delete;

  // dialogFont() for the application's font and the families the font matcher resolves.
  static QFont defaultDialogFont();

  // When `path` is non-empty it becomes the source and the field shows it; an empty `path`
  // changes nothing. For the file named on the command line, as its bytes.
  void setInitialSource(const QByteArray& path);
  void setInitialSource(const QString& path) { setInitialSource(QFile::encodeName(path)); }

  const OptionState& optionState() const { return state; }

  // The dialog units the controls are placed in: those of the dialog font, widened where its
  // captions need it.
  const DialogUnits& dialogUnits() const { return units; }

  // The control with `id` in the control table; null for -1 and unknown ids.
  QWidget* control(int id) const { return controls.value(id); }

  // The Convert command: turns the state into a ConversionRequest and runs it. A missing source
  // is reported in a message box owned by this dialog, after which the source field has the
  // focus; every other failure is reported by the conversion itself. Returns the outcome.
  // Where binary decode finds no attachment it can read, the message says why when the system's
  // message does not, and how many attachments the mail engine finds in the mail; with those it
  // offers to open the mail in the mail window (openInMailWindow()).
  ConvertOutcome convert();

  // Shows the mail (or mbox) file at `path` in the mail window: the one this dialog opened
  // before, or a new one. The window is the dialog's child, so that the running dialog does not
  // block it, and goes when the dialog does.
  void openInMailWindow(const QByteArray& path);
  // The mail window openInMailWindow() opened; null before.
  MailWindow* mailWindow() const { return window; }

  // The Browse command: the Open-file dialog, in the folder of the source when it names an
  // existing folder, otherwise in the one last used; a confirmed path becomes the source.
  void browse();

  // The Convert command shows the wait cursor and, for a source over this size, lets the
  // window paint once before the work starts, so that the cursor shows during a long one.
  static constexpr std::uint64_t kRepaintBeforeBytes = std::uint64_t{50} << 20;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void buildControls();
  // The font's units, widened just enough for every radio to fit its caption.
  DialogUnits unitsFittingTheCaptions(const DialogUnits& fontUnits) const;
  bool radiosFit(const DialogUnits& units) const;
  void placeControls(const DialogUnits& units);
  void connectControls();
  void selectMode(ConvertMode mode);
  void setSource(const QByteArray& path);
  // The folder holding the source; empty when there is no source or that folder does not exist.
  QString sourceFolder() const;
  void onSourceEdited(const QString& text);
  // Applies the state to the controls: the field's text, the check marks and which option
  // radios can be used.
  void refresh();

  Platform& platform;
  DialogServices& services;
  OptionState state;

  DialogUnits units{0, 0};
  QHash<int, QWidget*> controls;
  QList<QWidget*> controlsInOrder;  // one per row of the control table
  QLineEdit* sourceEdit = nullptr;
  QButtonGroup* modeGroup = nullptr;
  QButtonGroup* encodingGroup = nullptr;
  QButtonGroup* charsetGroup = nullptr;

  // What the mail window needs, made when it is first opened (the engine already when a binary
  // decode counts a mail's attachments); the window goes first.
  std::unique_ptr<mail::MailLibrary> mailLibrary;
  std::unique_ptr<MailWindowServices> mailWindowServices;
  QPointer<MailWindow> window;
};

}  // namespace korvani::gui
