// Writes the entries of the two code page 932 tables (cp932_table.h) as C++ initializer text, for
// cp932_table.cpp to include. Run by the build on the build machine:
//
//   korvani_cp932_table_generator ENCODE_FILE DECODE_FILE
//
// Every entry comes from the C library's "CP932" converter (iconv), asked once per character
// here rather than 65 536 times at every start of the program. When the C library offers no such
// converter, only U+0000 to U+007F (and the codes 0x00 to 0x7F) get their forms.
#include <iconv.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/cp932_table.h"

namespace {

using korvani::kCp932NoForm;
using korvani::kCp932TableSize;
using Table = std::array<std::uint16_t, kCp932TableSize>;

constexpr std::uint32_t kFirstSurrogate = 0xD800;
constexpr std::uint32_t kLastSurrogate = 0xDFFF;
constexpr std::uint32_t kFirstNonAscii = 0x80;

// Converts one wide character with `converter`; returns its entry or kCp932NoForm.
std::uint16_t convertOne(iconv_t converter, std::uint32_t code) {
  wchar_t wide = static_cast<wchar_t>(code);
  char output[8];
  char* in = reinterpret_cast<char*>(&wide);
  char* out = output;
  std::size_t inLeft = sizeof wide;
  std::size_t outLeft = sizeof output;
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  if (iconv(converter, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
    return kCp932NoForm;
  }
  const std::size_t written = sizeof output - outLeft;
  const auto lead = static_cast<std::uint8_t>(output[0]);
  if (written == 1) return lead;
  // Two-byte forms start with a lead byte from 0x81 up; anything else is not taken.
  if (written == 2 && lead >= 0x80) {
    return static_cast<std::uint16_t>(lead << 8 | static_cast<std::uint8_t>(output[1]));
  }
  return kCp932NoForm;
}

Table buildTable() {
  Table table;
  table.fill(kCp932NoForm);
  // Code page 932 keeps ASCII as it is; the converter is asked about everything else.
  for (std::uint32_t code = 0; code < kFirstNonAscii; ++code) {
    table[code] = static_cast<std::uint16_t>(code);
  }
  // "WCHAR_T" is the C library's own wide-character form, so no byte order has to be named.
  const iconv_t converter = iconv_open("CP932", "WCHAR_T");
  if (reinterpret_cast<std::intptr_t>(converter) == -1) return table;
  for (std::uint32_t code = kFirstNonAscii; code < kCp932TableSize; ++code) {
    if (code >= kFirstSurrogate && code <= kLastSurrogate) continue;
    table[code] = convertOne(converter, code);
  }
  iconv_close(converter);
  return table;
}

bool isLeadByte(std::uint32_t byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// The decoding direction, indexed by code: a one-byte code, or lead * 256 + trail. Every code
// page 932 character is a 16-bit one. Several codes may give the same character (the NEC and IBM
// extensions are in the table twice); the encoding table keeps one of them, this one all.
Table buildDecodeTable() {
  Table table;
  table.fill(kCp932NoForm);
  for (std::uint32_t code = 0; code < kFirstNonAscii; ++code) {
    table[code] = static_cast<std::uint16_t>(code);
  }
  const iconv_t converter = iconv_open("WCHAR_T", "CP932");
  if (reinterpret_cast<std::intptr_t>(converter) == -1) return table;
  for (std::uint32_t code = kFirstNonAscii; code < kCp932TableSize; ++code) {
    char input[2];
    std::size_t inLeft;
    if (code < 0x100) {
      if (isLeadByte(code)) continue;
      input[0] = static_cast<char>(code);
      inLeft = 1;
    } else {
      if (!isLeadByte(code >> 8) || (code & 0xFF) < 0x40) continue;
      input[0] = static_cast<char>(code >> 8);
      input[1] = static_cast<char>(code & 0xFF);
      inLeft = 2;
    }
    wchar_t wide = 0;
    char* in = input;
    char* out = reinterpret_cast<char*>(&wide);
    std::size_t outLeft = sizeof wide;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    const bool converted =
        iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1);
    // wchar_t holds a UTF-32 code here, not a char.
    const auto character = static_cast<std::uint32_t>(wide);  // NOLINT(bugprone-signed-char-misuse)
    if (converted && inLeft == 0 && outLeft == 0 && character < kCp932NoForm &&
        (character < kFirstSurrogate || character > kLastSurrogate)) {
      table[code] = static_cast<std::uint16_t>(character);
    }
  }
  iconv_close(converter);
  return table;
}

bool writeTable(const char* path, const Table& table) {
  std::FILE* file = std::fopen(path, "w");
  if (file == nullptr) {
    std::perror(path);
    return false;
  }
  std::fputs("// Made by korvani_cp932_table_generator from the C library's CP932 converter.\n",
             file);
  constexpr std::size_t kPerLine = 16;
  for (std::size_t code = 0; code < table.size(); ++code) {
    std::fprintf(file, "0x%04X,%c", table[code], code % kPerLine == kPerLine - 1 ? '\n' : ' ');
  }
  if (std::fclose(file) != 0) {
    std::perror(path);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: korvani_cp932_table_generator ENCODE_FILE DECODE_FILE\n", stderr);
    return 2;
  }
  return writeTable(argv[1], buildTable()) && writeTable(argv[2], buildDecodeTable()) ? 0 : 1;
}
