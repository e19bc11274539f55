#include "mail/compressed_rtf.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

// The library's header declares plain C, and its names (BYTE, WORD, DWORD) are macros: it comes
// last, and only here.
extern "C" {
#include <ytnef.h>
}

namespace korvani::mail {
namespace {

constexpr std::size_t kHeaderBytes = 16;
// The decompressor refuses (with a line on standard output) anything shorter.
constexpr std::size_t kShortest = 20;
constexpr std::uint32_t kCompressed = 0x75465A4C;    // "LZFu"
constexpr std::uint32_t kUncompressed = 0x414C454D;  // "MELA"
// The dictionary the format starts from; the decompressor's offsets count from its start.
constexpr std::uint32_t kDictionaryBytes = 207;
constexpr std::uint32_t kWindow = 4096;

std::uint32_t word(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;) value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
  return value;
}

void putWord(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

struct FreeDeleter {
  void operator()(BYTE* memory) const { std::free(memory); }
};

// How many bytes the library's decompressor writes from `data` (the whole property, header
// included) when it stops at `wanted` bytes or at the end of the input, whichever comes first,
// counted the way it counts them. It prints and fails on a literal the input no longer holds,
// and reads past the end for a reference cut in two; the count stops before either step, so that
// it is never asked to take it.
std::uint32_t reachableBytes(std::string_view data, std::uint32_t wanted) {
  const std::uint32_t total = kDictionaryBytes + wanted;
  std::uint32_t in = kHeaderBytes;
  std::uint32_t out = kDictionaryBytes;
  unsigned flags = 0;
  std::uint32_t flagCount = 0;
  const auto size = static_cast<std::uint32_t>(data.size());
  while (out < total && in < size) {
    const std::uint32_t before = out;
    if (flagCount++ % 8 == 0) {
      flags = static_cast<std::uint8_t>(data[in++]);
    } else {
      flags >>= 1;
    }
    if ((flags & 1) != 0) {
      // A reference cut in two would copy what the decompressor reads past the end (the two
      // zeros its copy has to spare): the count stops before it.
      if (in + 2 > size) return before - kDictionaryBytes;
      const std::uint32_t high = static_cast<std::uint8_t>(data[in]);
      const std::uint32_t low = static_cast<std::uint8_t>(data[in + 1]);
      in += 2;
      std::uint32_t offset = (high << 4) | (low >> 4);
      const std::uint32_t length = (low & 0xF) + 2;
      offset = (out / kWindow) * kWindow + offset;
      if (offset >= out) offset -= kWindow;
      const std::uint32_t end = offset + length;
      while (offset < end && out < total && offset < total) {
        ++out;
        ++offset;
      }
    } else {
      if (in >= size) return before - kDictionaryBytes;
      ++in;
      ++out;
    }
  }
  return out - kDictionaryBytes;
}

}  // namespace

DecompressedRtf decompressRtf(std::string_view compressed) {
  DecompressedRtf result;
  if (compressed.size() < kShortest || compressed.size() > INT_MAX - 2) {
    result.damaged = true;
    return result;
  }
  const std::uint32_t named = word(compressed, 0);  // the size after this word
  std::uint32_t wanted = word(compressed, 4);
  const std::uint32_t format = word(compressed, 8);
  if (named != compressed.size() - 4) {
    // Data that goes on past the named size is read up to it; data cut short is read as far
    // as it goes.
    result.damaged = true;
    if (named >= kShortest - 4 && named < compressed.size() - 4) {
      compressed = compressed.substr(0, std::size_t{named} + 4);
    }
  }
  if (wanted > kMaxRtfBytes) {
    wanted = kMaxRtfBytes;
    result.damaged = true;
  }
  const std::string_view data = compressed.substr(kHeaderBytes);
  if (format == kUncompressed) {
    if (data.size() < wanted) result.damaged = true;
    result.rtf.assign(data.substr(0, wanted));
    return result;
  }
  if (format != kCompressed) {
    result.damaged = true;
    return result;
  }
  const std::uint32_t reachable = reachableBytes(compressed, wanted);
  if (reachable < wanted) result.damaged = true;
  if (reachable == 0) return result;
  // A copy with two bytes to spare, its header naming the sizes the decompressor can honour.
  std::vector<std::uint8_t> copy(compressed.size() + 2, 0);
  std::copy(compressed.begin(), compressed.end(), copy.begin());
  putWord(copy, 0, static_cast<std::uint32_t>(compressed.size() - 4));
  putWord(copy, 4, reachable);
  variableLength property;
  property.data = copy.data();
  property.size = static_cast<int>(compressed.size());
  int size = 0;
  const std::unique_ptr<BYTE, FreeDeleter> rtf(DecompressRTF(&property, &size));
  if (!rtf || size < 0) {
    result.damaged = true;
    return result;
  }
  result.rtf.assign(reinterpret_cast<const char*>(rtf.get()), static_cast<std::size_t>(size));
  return result;
}

}  // namespace korvani::mail
