#include "common/base64.h"

#include <array>

namespace korvani {
namespace {

constexpr std::uint8_t kOutside = 0xFF;
constexpr std::uint8_t kPad = 0xFE;

constexpr std::array<std::uint8_t, 256> makeDecodeTable() {
  std::array<std::uint8_t, 256> table{};
  for (auto& value : table) value = kOutside;
  for (int i = 0; i < 64; ++i) table[static_cast<std::uint8_t>(kBase64Alphabet[i])] = i;
  table['='] = kPad;
  return table;
}

constexpr std::array<std::uint8_t, 256> kDecodeTable = makeDecodeTable();

}  // namespace

int decodeQuartet(const std::uint8_t* source, std::uint8_t* destination) {
  std::uint32_t group = 0;
  std::uint32_t previous = 0;  // what an out-of-alphabet first character contributes
  int pads = 0;
  for (int i = 0; i < 4; ++i) {
    const std::uint8_t code = kDecodeTable[source[i]];
    std::uint32_t value;
    if (code == kPad) {
      value = 0;
      ++pads;
    } else if (code == kOutside) {
      value = previous;
    } else {
      value = code;
    }
    previous = value;
    group = (group << 6) | value;
  }
  destination[0] = static_cast<std::uint8_t>(group >> 16);
  destination[1] = static_cast<std::uint8_t>(group >> 8);
  destination[2] = static_cast<std::uint8_t>(group);
  return pads > 3 ? 0 : 3 - pads;
}

int encodeTriple(const std::uint8_t* source, std::uint8_t* destination, int count) {
  std::uint32_t group = static_cast<std::uint32_t>(source[0]) << 16;
  if (count > 1) group |= static_cast<std::uint32_t>(source[1]) << 8;
  if (count > 2) group |= source[2];
  for (int position = 0; position < 4; ++position) {
    destination[position] =
        position > count ? '='
                         : static_cast<std::uint8_t>(kBase64Alphabet[(group >> (18 - 6 * position)) & 0x3F]);
  }
  return 4;
}

}  // namespace korvani
