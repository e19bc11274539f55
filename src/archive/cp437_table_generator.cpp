// Writes the characters of code page 437's upper half (bytes 0x80 to 0xFF) as C++ initializer
// text, for entry_name.cpp to include. Run by the build on the build machine:
//
//   korvani_cp437_table_generator OUTPUT_FILE
//
// Every entry comes from the C library's "CP437" converter (iconv). When the C library offers
// none, every entry is U+FFFD and such names keep only their ASCII.
#include <iconv.h>

#include <cstdint>
#include <cstdio>

namespace {

constexpr unsigned kFirstByte = 0x80;
constexpr unsigned kByteCount = 0x100;
constexpr std::uint32_t kReplacement = 0xFFFD;

std::uint32_t convertOne(iconv_t converter, unsigned byte) {
  char input = static_cast<char>(byte);
  wchar_t wide = 0;
  char* in = &input;
  char* out = reinterpret_cast<char*>(&wide);
  std::size_t inLeft = 1;
  std::size_t outLeft = sizeof wide;
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  if (iconv(converter, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1) ||
      outLeft != 0) {
    return kReplacement;
  }
  return static_cast<std::uint32_t>(wide);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: korvani_cp437_table_generator OUTPUT_FILE\n");
    return 2;
  }
  // "WCHAR_T" is the C library's own wide-character form, so no byte order has to be named.
  const iconv_t converter = iconv_open("WCHAR_T", "CP437");
  const bool available = reinterpret_cast<std::intptr_t>(converter) != -1;
  std::FILE* output = std::fopen(argv[1], "w");
  if (output == nullptr) return 1;
  for (unsigned byte = kFirstByte; byte < kByteCount; ++byte) {
    const std::uint32_t character = available ? convertOne(converter, byte) : kReplacement;
    std::fprintf(output, "0x%04X,%s", static_cast<unsigned>(character),
                 (byte % 8 == 7) ? "\n" : " ");
  }
  if (available) iconv_close(converter);
  return std::fclose(output) == 0 ? 0 : 1;
}
