// Writes the entries of the code page 932 table (cp932_table.h) as C++ initializer text, for
// cp932_table.cpp to include. Run by the build on the build machine:
//
//   korvani_cp932_table_generator OUTPUT_FILE
//
// Every entry comes from the C library's "CP932" converter (iconv), asked once per wide
// character here rather than 65 536 times at every start of the program. When the C library
// offers no such converter, only U+0000 to U+007F get their forms and the rest has none.
#include <iconv.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "textdecode/cp932_table.h"

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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: korvani_cp932_table_generator OUTPUT_FILE\n", stderr);
    return 2;
  }
  std::FILE* file = std::fopen(argv[1], "w");
  if (file == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const Table table = buildTable();
  std::fputs("// Made by korvani_cp932_table_generator from the C library's CP932 converter.\n",
             file);
  constexpr std::size_t kPerLine = 16;
  for (std::size_t code = 0; code < table.size(); ++code) {
    std::fprintf(file, "0x%04X,%c", table[code], code % kPerLine == kPerLine - 1 ? '\n' : ' ');
  }
  if (std::fclose(file) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
