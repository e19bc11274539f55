// The four character-set conversions and decodeLine with every option pair, each with input and
// result buffers of exactly the documented sizes. The first byte chooses.
#include <cstdint>

#include "fuzz_support.h"
#include "textdecode/charset_conversion.h"
#include "textdecode/transfer_decoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > korvani::kLineBufferSize + 1) return 0;
  const unsigned selector = data[0];
  const auto text = korvani::fuzzing::copyOf(data + 1, size - 1);
  const auto textLength = static_cast<std::uint32_t>(text.size());
  std::vector<std::uint8_t> result;
  std::uint32_t length = 0xDEADBEEF;
  switch (selector % 5) {
    case 0:
      result.resize(textLength + 1);
      korvani::jisToSjis(result.data(), length, text.data(), textLength);
      break;
    case 1:
      result.resize(textLength);
      korvani::utf8ToSjis(result.data(), length, text.data(), textLength);
      break;
    case 2:
      result.resize(textLength);
      korvani::copySjis(result.data(), length, text.data(), textLength);
      break;
    case 3:
      result.resize(2 * textLength);
      korvani::eucToSjis(result.data(), length, text.data(), textLength);
      break;
    default:
      result.resize(2 * textLength + 2);
      korvani::decodeLine(result.data(), length, text.data(), textLength,
                          static_cast<korvani::TextEncoding>((selector / 5) % 3),
                          static_cast<korvani::TextCharset>((selector / 15) % 5));
      break;
  }
  if (length > result.size()) __builtin_trap();
  return 0;
}
