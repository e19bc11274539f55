#include "mail/shown_text.h"

#include <cstdint>

namespace korvani::mail {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The Control Pictures block holds a sign for each C0 control at U+2400 + the control, and one
// for DEL at U+2421.
constexpr char32_t kControlPictures = 0x2400;
constexpr char32_t kDeletePicture = 0x2421;

// The length of the well-formed UTF-8 sequence at the start of `text`, and its code point; 0
// when the first byte starts none (Unicode's table of well-formed byte sequences).
std::size_t decodeUtf8(std::string_view text, char32_t& character) {
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) {
    character = lead;
    return 1;
  }
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t at = 2; at < length; ++at) {
    if ((byte(at) & 0xC0) != 0x80) return 0;
  }
  character = lead & (0xFF >> (length + 1));
  for (std::size_t at = 1; at < length; ++at) character = (character << 6) | (byte(at) & 0x3F);
  return length;
}

void appendUtf8(std::string& out, char32_t character) {
  // Only the signs of the Control Pictures block are written here: three bytes each.
  out += static_cast<char>(0xE0 | (character >> 12));
  out += static_cast<char>(0x80 | ((character >> 6) & 0x3F));
  out += static_cast<char>(0x80 | (character & 0x3F));
}

}  // namespace

bool actsWhenShown(char32_t character) {
  if (character < 0x20) return character != '\t' && character != '\n';
  if (character >= 0x7F && character <= 0x9F) return true;
  return character == 0x061C || character == 0x200E || character == 0x200F ||
         (character >= 0x202A && character <= 0x202E) ||
         (character >= 0x2066 && character <= 0x2069);
}

std::string shownText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    char32_t character = 0;
    const std::size_t length = decodeUtf8(text.substr(at), character);
    if (length == 0) {
      out += kReplacement;
      ++at;
      continue;
    }
    if (!actsWhenShown(character)) {
      out.append(text, at, length);
    } else if (character == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
      // dropped: the LF after it ends the line
    } else if (character < 0x20) {
      appendUtf8(out, kControlPictures + character);
    } else if (character == 0x7F) {
      appendUtf8(out, kDeletePicture);
    } else {
      out += kReplacement;
    }
    at += length;
  }
  return out;
}

std::string escapedForTerminal(std::string_view json) {
  std::string out;
  out.reserve(json.size());
  std::size_t at = 0;
  while (at < json.size()) {
    char32_t character = 0;
    std::size_t length = decodeUtf8(json.substr(at), character);
    if (length == 0) {
      length = 1;  // not UTF-8: left for the reader of the JSON to refuse
    } else if (actsWhenShown(character)) {
      constexpr char kHex[] = "0123456789abcdef";
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(character >> shift) & 0xF];
      at += length;
      continue;
    }
    out.append(json, at, length);
    at += length;
  }
  return out;
}

}  // namespace korvani::mail
