// Shared helpers of the fuzz targets: exact-size heap copies, so that AddressSanitizer sees any
// read or write beyond what an operation may touch.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace korvani::fuzzing {

// A heap copy of `size` bytes followed by `zeros` zero bytes, and nothing more.
inline std::vector<std::uint8_t> copyOf(const std::uint8_t* data, std::size_t size,
                                        std::size_t zeros = 0) {
  std::vector<std::uint8_t> bytes(size + zeros, 0);
  if (size) std::memcpy(bytes.data(), data, size);
  bytes.shrink_to_fit();
  return bytes;
}

}  // namespace korvani::fuzzing
