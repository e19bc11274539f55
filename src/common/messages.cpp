#include "common/messages.h"

#include <cstring>

namespace korvani::messages {

std::string describeOsError(std::string_view title, std::string_view path, int errorNumber) {
  std::string text(title);
  text += ": ";
  text += path;
  text += ": ";
  text += std::strerror(errorNumber);
  return text;
}

}  // namespace korvani::messages
