#include "bench_encoding.h"

#include <cstdint>
#include <cstring>

namespace korvani::bench {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kEncodedLineLength = 76;

}  // namespace

std::string base64(std::string_view data) {
  std::string text;
  text.reserve((data.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < data.size(); i += 3) {
    const std::size_t n = data.size() - i < 3 ? data.size() - i : 3;
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k)
      group = group << 8 | (k < n ? static_cast<std::uint8_t>(data[i + k]) : 0u);
    for (std::size_t k = 0; k < 4; ++k)
      text += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
  }
  return text;
}

std::string base64Lines(std::string_view data, std::string_view lineEnd) {
  const std::string text = base64(data);
  std::string body;
  body.reserve(text.size() + (text.size() / kEncodedLineLength + 1) * lineEnd.size());
  for (std::size_t i = 0; i < text.size(); i += kEncodedLineLength)
    body.append(text, i, kEncodedLineLength).append(lineEnd);
  return body;
}

std::string makeRandom(std::size_t size) {
  std::string data(size, '\0');
  std::uint64_t state = 0x9E3779B97F4A7C15;
  for (std::size_t i = 0; i < size; i += 8) {
    // splitmix64
    std::uint64_t z = (state += 0x9E3779B97F4A7C15);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
    z ^= z >> 31;
    std::memcpy(data.data() + i, &z, size - i < 8 ? size - i : 8);
  }
  return data;
}

}  // namespace korvani::bench
