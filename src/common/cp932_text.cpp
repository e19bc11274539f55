#include "common/cp932_text.h"

#include <cstdint>

#include "common/cp932_table.h"

namespace korvani {
namespace {

bool isLead(unsigned byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

}  // namespace

std::string cp932ToUtf8(std::string_view bytes, UnmappedBytes unmapped) {
  const std::uint16_t* table = cp932DecodeTable();
  std::string result;
  result.reserve(bytes.size() + bytes.size() / 2);
  for (std::size_t i = 0; i < bytes.size();) {
    const unsigned byte = static_cast<std::uint8_t>(bytes[i]);
    if (isLead(byte) && i + 1 < bytes.size()) {
      const std::uint16_t pair = table[byte << 8 | static_cast<std::uint8_t>(bytes[i + 1])];
      if (pair != kCp932NoForm) {
        appendUtf8(result, pair);
        i += 2;
        continue;
      }
    }
    if (table[byte] != kCp932NoForm) {
      appendUtf8(result, table[byte]);
    } else {
      result += unmapped == UnmappedBytes::Underscore ? '_' : static_cast<char>(byte);
    }
    ++i;
  }
  return result;
}

bool utf8ToCp932(std::string_view text, std::string& bytes) {
  if (!isValidUtf8(text)) return false;
  const std::uint16_t* table = cp932Table();
  bytes.clear();
  for (std::size_t i = 0; i < text.size();) {
    const unsigned lead = static_cast<std::uint8_t>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (length == 4) return false;  // beyond the 16-bit characters: no code page 932 form
    std::uint32_t code = length == 1 ? lead : lead & (length == 2 ? 0x1F : 0x0F);
    for (std::size_t k = 1; k < length; ++k) code = code << 6 | (text[i + k] & 0x3F);
    const std::uint16_t form = table[code];
    if (form == kCp932NoForm) return false;
    if (form >= 0x100) bytes += static_cast<char>(form >> 8);
    bytes += static_cast<char>(form & 0xFF);
    i += length;
  }
  return true;
}

bool isValidUtf8(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const unsigned lead = static_cast<std::uint8_t>(bytes[i]);
    std::size_t length;
    std::uint32_t code;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, code = lead & 0x07;
    } else {
      return false;
    }
    if (i + length > bytes.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned next = static_cast<std::uint8_t>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
      return false;
    i += length;
  }
  return true;
}

void appendUtf8(std::string& text, std::uint32_t character) {
  if (character < 0x80) {
    text += static_cast<char>(character);
  } else if (character < 0x800) {
    text += static_cast<char>(0xC0 | character >> 6);
    text += static_cast<char>(0x80 | (character & 0x3F));
  } else {
    text += static_cast<char>(0xE0 | character >> 12);
    text += static_cast<char>(0x80 | (character >> 6 & 0x3F));
    text += static_cast<char>(0x80 | (character & 0x3F));
  }
}

}  // namespace korvani
