#include "app/proposed_name.h"

#include "common/cp932_text.h"

namespace korvani {

SafeFileName safeFileName(std::string_view proposed) {
  if (proposed.empty()) return {ProposedNameVerdict::Missing, {}};
  const std::size_t slash = proposed.rfind('/');
  std::string name(slash == std::string_view::npos ? proposed : proposed.substr(slash + 1));
  if (name.empty() || name == "." || name == "..") return {ProposedNameVerdict::Unusable, {}};
  // Linux file names are UTF-8; a name in anything else was written on Japanese Windows.
  if (!isValidUtf8(name)) name = cp932ToUtf8(name, UnmappedBytes::Underscore);
  for (char& byte : name) {
    const auto value = static_cast<unsigned char>(byte);
    if (value < 0x20 || value == 0x7F) byte = '_';
  }
  for (char& byte : name) {
    if (byte != '.') break;
    byte = '_';
  }
  return {ProposedNameVerdict::Usable, std::move(name)};
}

}  // namespace korvani
