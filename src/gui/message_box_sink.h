// The desktop's MessageSink: every message in a message box with the default caption. The
// dialog's own message (MessageOwner::Dialog) is owned by the dialog; every worker message is
// owned by no window.
#pragma once

#include "gui/dialog_services.h"
#include "platform/message_sink.h"

namespace korvani::gui {

class MessageBoxSink : public MessageSink {
 public:
  // `dialog` owns the dialog's own messages; both must outlive the sink.
  MessageBoxSink(DialogServices& services, QWidget& dialog) : services(services), dialog(dialog) {}

  // Shows `text` (UTF-8; bytes that are not are shown as replacement characters) and returns
  // when the user has closed the box.
  void showMessage(std::string_view text, MessageOwner owner = MessageOwner::None) override;

 private:
  DialogServices& services;
  QWidget& dialog;
};

}  // namespace korvani::gui
