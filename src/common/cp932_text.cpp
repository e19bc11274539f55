#include "common/cp932_text.h"

#include <iconv.h>

#include <array>
#include <cstdint>
#include <memory>

#include "textdecode/cp932_table.h"

namespace korvani {
namespace {

// UTF-8 of every code page 932 character, indexed by its code (one byte, or lead * 256 + trail);
// empty where the code is not assigned. Built once with glibc's converter.
class Cp932Decoder {
 public:
  Cp932Decoder() {
    iconv_t converter = ::iconv_open("UTF-8", "CP932");
    if (converter == reinterpret_cast<iconv_t>(-1)) return;
    for (unsigned code = 0; code < 0x10000; ++code) {
      char input[2];
      std::size_t inputLength;
      if (code < 0x100) {
        if (isLead(code)) continue;
        input[0] = static_cast<char>(code);
        inputLength = 1;
      } else {
        if (!isLead(code >> 8) || (code & 0xFF) < 0x40) continue;
        input[0] = static_cast<char>(code >> 8);
        input[1] = static_cast<char>(code & 0xFF);
        inputLength = 2;
      }
      char output[8];
      char* in = input;
      char* out = output;
      std::size_t outputLeft = sizeof output;
      ::iconv(converter, nullptr, nullptr, nullptr, nullptr);
      if (::iconv(converter, &in, &inputLength, &out, &outputLeft) != static_cast<std::size_t>(-1) &&
          inputLength == 0) {
        table[code].assign(output, static_cast<std::size_t>(out - output));
      }
    }
    ::iconv_close(converter);
  }

  static bool isLead(unsigned byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
  }

  const std::string& utf8Of(unsigned code) const { return table[code]; }

 private:
  std::array<std::string, 0x10000> table;
};

const Cp932Decoder& decoder() {
  static const auto instance = std::make_unique<Cp932Decoder>();
  return *instance;
}

}  // namespace

std::string cp932ToUtf8(std::string_view bytes, UnmappedBytes unmapped) {
  const Cp932Decoder& table = decoder();
  std::string result;
  result.reserve(bytes.size() + bytes.size() / 2);
  for (std::size_t i = 0; i < bytes.size();) {
    const unsigned byte = static_cast<std::uint8_t>(bytes[i]);
    if (Cp932Decoder::isLead(byte) && i + 1 < bytes.size()) {
      const std::string& pair = table.utf8Of(byte << 8 | static_cast<std::uint8_t>(bytes[i + 1]));
      if (!pair.empty()) {
        result += pair;
        i += 2;
        continue;
      }
    }
    const std::string& single = table.utf8Of(byte);
    if (single.empty()) {
      result += unmapped == UnmappedBytes::Underscore ? '_' : static_cast<char>(byte);
    } else {
      result += single;
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

}  // namespace korvani
