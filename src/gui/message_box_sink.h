// The desktop's MessageSink: every message in a message box. The dialog's own message
// (MessageOwner::Dialog) is owned by the dialog and captioned with the application's name; every
// worker message is owned by no window and captioned "エラー", as a box without a caption of its
// own is on the desktop our users come from. The one empty message gets a warning icon, so that
// its box is recognisably a complaint, also when a reason follows it.
#pragma once

#include "common/message_sink.h"
#include "gui/dialog_services.h"

namespace korvani::gui {

class MessageBoxSink : public MessageSink {
 public:
  // `dialog` owns the dialog's own messages; both must outlive the sink.
  MessageBoxSink(DialogServices& services, QWidget& dialog) : services(services), dialog(dialog) {}

  // Shows `text` (UTF-8, possibly several lines; bytes that are not UTF-8 are shown as
  // replacement characters) and returns when the user has closed the box.
  void showMessage(std::string_view text, MessageOwner owner = MessageOwner::None) override;

  // The same box for `text` with `detail` (UTF-8, lines of its own under it; none when empty)
  // and, when `action` is not empty, a button of that caption beside OK. Caption, owner and icon
  // follow `text` alone. Returns whether the user closed the box with `action`.
  bool showMessage(std::string_view text, std::string_view detail, const QString& action,
                   MessageOwner owner = MessageOwner::None);

 private:
  DialogServices& services;
  QWidget& dialog;
};

}  // namespace korvani::gui
