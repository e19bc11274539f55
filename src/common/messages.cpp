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

std::string describeOpenFailure(std::string_view title, std::string_view path, int errorNumber) {
  std::string text(title);
  text += '\n';
  text += path;
  text += ": ";
  text += errorNumber != 0 ? std::strerror(errorNumber) : "unknown reason";
  return text;
}

std::string describeOutputIsSource(std::string_view output, std::string_view source) {
  std::string text(output);
  text += " (source ";
  text += source;
  text += ") ";
  text += kOutputIsSource;
  return text;
}

}  // namespace korvani::messages
