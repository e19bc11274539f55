#include "common/line_primitives.h"

#include <cstring>

namespace korvani {

std::uint32_t readLine(const std::uint8_t* data, std::uint8_t* line, std::uint32_t size,
                       std::uint32_t& position, std::uint32_t length) {
  std::memset(line, 0, size);
  if (position >= length) return 0;
  std::uint32_t limit = size - 1;
  if (length - position < limit) limit = length - position;
  const std::uint8_t* start = data + position;
  const void* lineFeed = std::memchr(start, '\n', limit);
  const std::uint32_t count =
      lineFeed ? static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(lineFeed) - start) + 1
               : limit;
  std::memcpy(line, start, count);
  position += count;
  return count;
}

std::uint8_t lastSignificantChar(const std::uint8_t* line, std::uint32_t count) {
  while (count > 0) {
    const std::uint8_t byte = line[--count];
    if (byte != 0x00 && byte != '\t' && byte != '\n' && byte != '\r' && byte != ' ') return byte;
  }
  return 0;
}

}  // namespace korvani
