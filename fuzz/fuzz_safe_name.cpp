// Any bytes as a proposed file name, read both as raw bytes and as decoded text: the name that
// comes out is fit for any folder and is its own safe name, and the registry never gives one
// name twice.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

#include "common/cp932_text.h"
#include "common/safe_name.h"

namespace {

std::string asciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool isDevice(const std::string& name) {
  static const std::unordered_set<std::string> kDevices = {
      "con",  "prn",  "aux",  "nul",  "com0", "com1", "com2", "com3", "com4",   "com5",   "com6",
      "com7", "com8", "com9", "lpt0", "lpt1", "lpt2", "lpt3", "lpt4", "lpt5",   "lpt6",   "lpt7",
      "lpt8", "lpt9", "com¹", "com²", "com³", "lpt¹", "lpt²", "lpt³", "conin$", "conout$"};
  std::string stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  return kDevices.count(asciiLower(stem)) > 0;
}

bool hasControl(const std::string& name) {
  for (std::size_t at = 0; at < name.size(); ++at) {
    const auto byte = static_cast<std::uint8_t>(name[at]);
    if (byte < 0x20 || byte == 0x7F) return true;
    if (byte == 0xC2 && at + 1 < name.size() && static_cast<std::uint8_t>(name[at + 1]) <= 0x9F) {
      return true;  // U+0080-U+009F
    }
  }
  return false;
}

void check(std::string_view proposed, korvani::NameSource source) {
  using korvani::ProposedNameVerdict;
  const korvani::SafeName result = korvani::safeName(proposed, source);
  const std::string& name = result.name;
  if ((result.verdict == ProposedNameVerdict::Usable) == name.empty()) __builtin_trap();
  if (proposed.empty() != (result.verdict == ProposedNameVerdict::Missing)) __builtin_trap();
  if (name.size() > korvani::kMaxNameBytes || !korvani::isValidUtf8(name)) __builtin_trap();
  if (korvani::toNfc(name) != name) __builtin_trap();
  if (name.find('/') != std::string::npos || hasControl(name)) __builtin_trap();
  if (source == korvani::NameSource::DecodedText && name.find('\\') != std::string::npos) {
    __builtin_trap();
  }
  if (name == "." || name == ".." || isDevice(name)) __builtin_trap();
  if (!name.empty() && (name.front() == '.' || name.back() == '.' || name.back() == ' ')) {
    __builtin_trap();
  }
  if (korvani::safeName(name, source).name != name) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  check(bytes, korvani::NameSource::RawBytes);
  check(bytes, korvani::NameSource::DecodedText);

  // The input cut at each '\n' is a run of names for one folder.
  korvani::NameRegistry names;
  std::unordered_set<std::string> given;
  for (std::size_t start = 0; start <= bytes.size();) {
    const std::size_t end = std::min(bytes.find('\n', start), bytes.size());
    const std::string name =
        korvani::safeName(bytes.substr(start, end - start), korvani::NameSource::DecodedText).name;
    if (!name.empty()) {
      const std::string claimed = names.claim(name);
      if (claimed.size() > korvani::kMaxNameBytes) __builtin_trap();
      if (!given.insert(asciiLower(claimed)).second) __builtin_trap();
    }
    start = end + 1;
  }
  return 0;
}
