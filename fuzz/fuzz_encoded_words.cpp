// decodeEncodedWords on one line as readLine delivers it: at most 4095 bytes with a NUL after
// them, and a result buffer of exactly the documented size.
#include <cstdint>

#include "fuzz_support.h"
#include "textdecode/transfer_decoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size >= korvani::kLineBufferSize) return 0;
  const auto line = korvani::fuzzing::copyOf(data, size, 1);
  std::vector<std::uint8_t> result(2 * size + 2);
  std::uint32_t length = 0xDEADBEEF;
  korvani::decodeEncodedWords(result.data(), length, line.data(), static_cast<std::uint32_t>(size));
  if (length > result.size()) __builtin_trap();
  return 0;
}
