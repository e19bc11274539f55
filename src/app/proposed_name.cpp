#include "app/proposed_name.h"

namespace korvani {

SafeFileName safeFileName(std::string_view proposed) {
  if (proposed.empty()) return {ProposedNameVerdict::Missing, {}};
  const std::size_t slash = proposed.rfind('/');
  std::string name(slash == std::string_view::npos ? proposed : proposed.substr(slash + 1));
  if (name.empty() || name == "." || name == "..") return {ProposedNameVerdict::Unusable, {}};
  for (char& byte : name) {
    const auto value = static_cast<unsigned char>(byte);
    if (value < 0x20 || value == 0x7F) byte = '_';
  }
  return {ProposedNameVerdict::Usable, std::move(name)};
}

}  // namespace korvani
