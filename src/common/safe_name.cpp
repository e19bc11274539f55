#include "common/safe_name.h"

#include <glib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>

#include "common/cp932_text.h"

namespace korvani {
namespace {

constexpr char32_t kNoCharacter = 0xFFFFFFFF;
constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

struct CharacterRange {
  char32_t first;
  char32_t last;
};

// Characters that become '_'. Control characters are invisible or move the terminal's cursor;
// the bidirectional marks, embeddings, overrides and isolates reorder what a file manager shows,
// so that "invoice\u202Efdp.exe" lists as "invoiceexe.pdf"; <>:"|?* cannot be part of a name on
// the Windows file systems the files may travel to.
constexpr std::array kReplacedCharacters{
    CharacterRange{0x00, 0x1F},     CharacterRange{'"', '"'},       CharacterRange{'*', '*'},
    CharacterRange{':', ':'},       CharacterRange{'<', '<'},       CharacterRange{'>', '>'},
    CharacterRange{'?', '?'},       CharacterRange{'|', '|'},       CharacterRange{0x7F, 0x9F},
    CharacterRange{0x061C, 0x061C}, CharacterRange{0x200E, 0x200F}, CharacterRange{0x202A, 0x202E},
    CharacterRange{0x2066, 0x2069},
};

// Names Windows gives to devices, whatever extension follows them; lower case.
constexpr std::array<std::string_view, 32> kDeviceNames{
    "con",       "prn",       "aux",       "nul",  "conin$", "conout$",   "com0",      "com1",
    "com2",      "com3",      "com4",      "com5", "com6",   "com7",      "com8",      "com9",
    "com\u00B9", "com\u00B2", "com\u00B3", "lpt0", "lpt1",   "lpt2",      "lpt3",      "lpt4",
    "lpt5",      "lpt6",      "lpt7",      "lpt8", "lpt9",   "lpt\u00B9", "lpt\u00B2", "lpt\u00B3"};

bool isContinuation(char c) { return (static_cast<std::uint8_t>(c) & 0xC0) == 0x80; }

// The character that starts at `text[at]` and its length in bytes, or kNoCharacter (length 1)
// when no well-formed UTF-8 sequence starts there.
char32_t characterAt(std::string_view text, std::size_t at, std::size_t& length) {
  const auto lead = static_cast<std::uint8_t>(text[at]);
  length = lead < 0x80   ? 1
           : lead < 0xC2 ? 0
           : lead < 0xE0 ? 2
           : lead < 0xF0 ? 3
           : lead < 0xF5 ? 4
                         : 0;
  if (length == 1) return lead;
  if (length == 0 || at + length > text.size() || !isValidUtf8(text.substr(at, length))) {
    length = 1;
    return kNoCharacter;
  }
  char32_t code = lead & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    code = code << 6 | (static_cast<std::uint8_t>(text[at + k]) & 0x3F);
  }
  return code;
}

// `bytes` with each byte that is not part of well-formed UTF-8 replaced by U+FFFD.
std::string wellFormed(std::string_view bytes) {
  if (isValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() + 16);
  for (std::size_t at = 0, length = 0; at < bytes.size(); at += length) {
    if (characterAt(bytes, at, length) == kNoCharacter) {
      out += kReplacementCharacter;
    } else {
      out.append(bytes.substr(at, length));
    }
  }
  return out;
}

bool isReplaced(char32_t character) {
  return std::any_of(kReplacedCharacters.begin(), kReplacedCharacters.end(),
                     [character](const CharacterRange& range) {
                       return character >= range.first && character <= range.last;
                     });
}

// `name` (well-formed UTF-8) with each character of kReplacedCharacters replaced by one '_'.
std::string replaceUnsafeCharacters(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t at = 0, length = 0; at < name.size(); at += length) {
    if (isReplaced(characterAt(name, at, length))) {
      out += '_';
    } else {
      out.append(name.substr(at, length));
    }
  }
  return out;
}

std::string asciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

void stripTrailingDotsAndSpaces(std::string& name) {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
}

// Windows opens the device whatever follows the first dot, and ignores spaces before it.
bool isDeviceName(std::string_view name) {
  std::string_view stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  if (stem.size() > 8) return false;
  const std::string lower = asciiLower(stem);
  return std::find(kDeviceNames.begin(), kDeviceNames.end(), lower) != kDeviceNames.end();
}

// The ".ext" that a cut or a number keeps at the end of `name`; empty when it has none.
std::string_view extensionOf(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || name.size() - dot > kMaxExtensionBytes) {
    return {};
  }
  return name.substr(dot);
}

// The longest prefix of `text` of at most `limit` bytes that ends on a character boundary.
std::string_view cutAtBoundary(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && isContinuation(text[end])) --end;
  return text.substr(0, end);
}

void cutToLimit(std::string& name) {
  if (name.size() <= kMaxNameBytes) return;
  const std::string_view extension = extensionOf(name);
  std::string cut(cutAtBoundary(name, kMaxNameBytes - extension.size()));
  // The cut may end in a space or a dot, which Windows drops from a name.
  stripTrailingDotsAndSpaces(cut);
  if (cut.empty()) cut.push_back('_');
  cut += extension;
  name = std::move(cut);
}

// What the registry compares: names that differ only in ASCII case are one name on the desktop
// file systems; the NFC form is compared because the name on disk is that form.
std::string foldedName(std::string_view nfcName) { return asciiLower(nfcName); }

std::string normalizePiece(std::string_view piece) {
  const std::unique_ptr<gchar, decltype(&g_free)> normalized(
      g_utf8_normalize(piece.data(), static_cast<gssize>(piece.size()), G_NORMALIZE_NFC), &g_free);
  return normalized ? std::string(normalized.get()) : std::string(piece);
}

}  // namespace

std::string toNfc(std::string_view text) {
  const bool ascii = std::all_of(text.begin(), text.end(),
                                 [](char c) { return static_cast<std::uint8_t>(c) < 0x80; });
  if (ascii || !isValidUtf8(text)) return std::string(text);
  // GLib stops at a NUL even when told the length, so each stretch between NULs is its own call.
  std::string out;
  out.reserve(text.size());
  std::size_t start = 0;
  for (std::size_t nul = text.find('\0'); nul != std::string_view::npos;
       nul = text.find('\0', start)) {
    out += normalizePiece(text.substr(start, nul - start));
    out += '\0';
    start = nul + 1;
  }
  out += normalizePiece(text.substr(start));
  return out;
}

SafeName safeName(std::string_view proposed, NameSource source) {
  if (proposed.empty()) return {ProposedNameVerdict::Missing, {}, {}};
  SafeName safe;
  const auto step = [&safe](const std::string& before, const std::string& after,
                            const char* change) {
    if (before != after) safe.changes.emplace_back(change);
  };
  std::string name;
  if (source == NameSource::RawBytes) {
    // Linux file names are UTF-8; a name in anything else was written on Japanese Windows.
    name = isValidUtf8(proposed) ? std::string(proposed)
                                 : cp932ToUtf8(proposed, UnmappedBytes::Underscore);
  } else {
    name = wellFormed(proposed);
  }
  step(std::string(proposed), name, "not-utf8");
  const std::size_t separator =
      name.find_last_of(source == NameSource::RawBytes ? std::string_view("/") : "/\\");
  if (separator != std::string::npos) {
    name.erase(0, separator + 1);
    safe.changes.emplace_back("folders-dropped");
  }
  // Replaced before normalising: GLib would stop at a NUL, and '_' composes with nothing.
  std::string replaced = replaceUnsafeCharacters(name);
  step(name, replaced, "characters-replaced");
  name = toNfc(replaced);
  step(replaced, name, "normalized");
  const std::string before = name;
  stripTrailingDotsAndSpaces(name);
  step(before, name, "dots-and-spaces-stripped");
  const std::string dotted = name;
  for (char& c : name) {
    if (c != '.') break;
    c = '_';
  }
  step(dotted, name, "leading-dots-replaced");
  if (name.empty()) {
    safe.verdict = ProposedNameVerdict::Unusable;
    return safe;
  }
  bool device = isDeviceName(name);
  if (device) name.insert(0, 1, '_');
  const std::size_t uncut = name.size();
  cutToLimit(name);
  // Stripping spaces at the cut can bring a device name to the front: "con" + 300 spaces + "x.pdf".
  const bool deviceAfterCut = isDeviceName(name);
  if (deviceAfterCut) name.insert(0, 1, '_');
  if (device || deviceAfterCut) safe.changes.emplace_back("device-name");
  if (name.size() - (deviceAfterCut ? 1 : 0) != uncut) safe.changes.emplace_back("shortened");
  safe.verdict = ProposedNameVerdict::Usable;
  safe.name = std::move(name);
  return safe;
}

std::string NameRegistry::claim(const std::string& proposed) {
  std::string name = toNfc(proposed);
  std::string folded = foldedName(name);
  if (taken.insert(folded).second) return name;
  const std::string_view extension = extensionOf(name);
  const std::string_view stem = std::string_view(name).substr(0, name.size() - extension.size());
  // Numbers already given for this name are not tried again, so that a thousand parts of one
  // name cost a thousand steps, not half a million.
  std::size_t& number = nextNumber.try_emplace(std::move(folded), 2).first->second;
  for (;; ++number) {
    const std::string suffix = " (" + std::to_string(number) + ")";
    std::string candidate(cutAtBoundary(stem, kMaxNameBytes - suffix.size() - extension.size()));
    candidate.append(suffix).append(extension);
    if (taken.insert(foldedName(candidate)).second) {
      ++number;
      return candidate;
    }
  }
}

}  // namespace korvani
