#include "archive/entry_name.h"

#include <cstdint>

#include "common/cp932_table.h"
#include "common/cp932_text.h"
#include "common/safe_name.h"

namespace korvani::archive {
namespace {

// Code page 437's characters for the bytes 0x80 to 0xFF (cp437_table_generator.cpp).
constexpr std::uint16_t kCp437Upper[128] = {
#include "cp437_table_data.inc"
};

// Code page 932's user-defined characters decode into this private-use block; a name holding one
// was not written in code page 932.
constexpr std::uint32_t kFirstUserDefined = 0xE000;
constexpr std::uint32_t kLastUserDefined = 0xF8FF;

bool isAscii(std::string_view bytes) {
  for (const char c : bytes) {
    if (static_cast<std::uint8_t>(c) >= 0x80) return false;
  }
  return true;
}

bool isLead(unsigned byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// The code page 932 reading of `bytes`, or false when a byte does not decode or a character is
// user-defined.
bool cleanCp932(std::string_view bytes, std::string& text) {
  const std::uint16_t* table = cp932DecodeTable();
  for (std::size_t i = 0; i < bytes.size();) {
    const unsigned byte = static_cast<std::uint8_t>(bytes[i]);
    std::uint16_t character = kCp932NoForm;
    if (isLead(byte)) {
      if (i + 1 == bytes.size()) return false;
      character = table[byte << 8 | static_cast<std::uint8_t>(bytes[i + 1])];
      i += 2;
    } else {
      character = table[byte];
      ++i;
    }
    if (character == kCp932NoForm ||
        (character >= kFirstUserDefined && character <= kLastUserDefined)) {
      return false;
    }
    appendUtf8(text, character);
  }
  return true;
}

bool isDrive(const std::string& component) {
  return component.size() == 2 && component[1] == ':' &&
         ((component[0] >= 'A' && component[0] <= 'Z') ||
          (component[0] >= 'a' && component[0] <= 'z'));
}

}  // namespace

const char* nameEncodingName(NameEncoding encoding) {
  switch (encoding) {
    case NameEncoding::Ascii:
      return "ascii";
    case NameEncoding::Utf8:
      return "utf-8";
    case NameEncoding::Cp932:
      return "cp932";
    case NameEncoding::Cp437:
      return "cp437";
  }
  return "ascii";
}

DecodedName decodeEntryName(std::string_view bytes) {
  DecodedName decoded;
  if (isAscii(bytes)) {
    decoded.text = bytes;
    return decoded;
  }
  if (isValidUtf8(bytes)) {
    decoded.text = bytes;
    decoded.encoding = NameEncoding::Utf8;
    return decoded;
  }
  if (cleanCp932(bytes, decoded.text)) {
    decoded.encoding = NameEncoding::Cp932;
    return decoded;
  }
  decoded.text.clear();
  for (const char c : bytes) {
    const auto byte = static_cast<std::uint8_t>(c);
    if (byte < 0x80) {
      decoded.text += c;
    } else {
      appendUtf8(decoded.text, kCp437Upper[byte - 0x80]);
    }
  }
  decoded.encoding = NameEncoding::Cp437;
  return decoded;
}

EntryPath safeEntryPath(std::string_view name) {
  EntryPath path;
  std::vector<std::string> parts;
  std::string part;
  const auto endPart = [&] {
    if (part.empty() || part == "." || part == "..") {
      path.changed = path.changed || part == "..";
    } else if (parts.empty() && isDrive(part)) {
      path.changed = true;
    } else {
      parts.push_back(part);
    }
    part.clear();
  };
  for (const char c : name) {
    if (c == '/' || c == '\\') {
      endPart();
    } else {
      part += c;
    }
  }
  endPart();
  // A leading separator (an absolute path) is dropped with the empty component before it; a
  // trailing one only marks a folder.
  if (!name.empty() && (name.front() == '/' || name.front() == '\\')) path.changed = true;
  if (parts.size() > kMaxEntryFolders + 1) {
    parts.erase(parts.begin() + kMaxEntryFolders, parts.end() - 1);
    path.changed = true;
  }
  for (const std::string& proposed : parts) {
    const SafeName safe = safeName(proposed, NameSource::DecodedText);
    if (safe.verdict != ProposedNameVerdict::Usable) {
      path.changed = true;
      continue;
    }
    if (safe.name != proposed) path.changed = true;
    path.components.push_back(safe.name);
  }
  return path;
}

}  // namespace korvani::archive
