#include "common/line_primitives.h"

#include <cstring>

namespace korvani {

std::uint32_t readLine(const std::uint8_t* data, std::uint8_t* line, std::uint32_t size,
                       std::uint32_t& position, std::uint32_t length) {
  std::memset(line, 0, size);
  return cutLine(data, line, size, position, length);
}

std::uint32_t cutLine(const std::uint8_t* data, std::uint8_t* line, std::uint32_t size,
                      std::uint32_t& position, std::uint32_t length) {
  const std::uint32_t count = nextLineLength(data, size, position, length);
  if (count != 0) std::memcpy(line, data + position, count);
  line[count] = 0;
  position += count;
  return count;
}

std::uint32_t nextLineLength(const std::uint8_t* data, std::uint32_t size, std::uint32_t position,
                             std::uint32_t length) {
  if (position >= length || size <= 1) return 0;
  const std::uint32_t limit = length - position < size - 1 ? length - position : size - 1;
  const std::uint8_t* start = data + position;
  const void* lineFeed = std::memchr(start, '\n', limit);
  return lineFeed
             ? static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(lineFeed) - start) + 1
             : limit;
}

std::uint8_t lastSignificantChar(const std::uint8_t* line, std::uint32_t count) {
  while (count > 0) {
    const std::uint8_t byte = line[--count];
    if (byte != 0x00 && byte != '\t' && byte != '\n' && byte != '\r' && byte != ' ') return byte;
  }
  return 0;
}

}  // namespace korvani
