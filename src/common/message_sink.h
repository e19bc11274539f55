// Where the workers' messages go: a message box in the dialog, standard error in the command
// line, a list in the tests.
#pragma once

#include <string_view>

namespace korvani {

// Who owns a message: the dialog (only the missing-source message) or nobody (every worker
// message, shown with the default caption).
enum class MessageOwner { None, Dialog };

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // Shows one message, UTF-8. `text` may be empty (the attachment locator's complaint about a
  // transfer encoding other than base64 has no text).
  virtual void showMessage(std::string_view text, MessageOwner owner = MessageOwner::None) = 0;
};

}  // namespace korvani
