#include "textdecode/charset_conversion.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstring>

#include "common/cp932_table.h"

namespace korvani {
namespace {

constexpr std::uint8_t kEscape = 0x1B;
constexpr std::uint8_t kCarriageReturn = 0x0D;
constexpr std::uint8_t kLineFeed = 0x0A;
constexpr std::uint8_t kSingleShift2 = 0x8E;
constexpr std::uint8_t kFirstGraphic = 0x21;  // JIS X 0208 bytes run from 0x21 ...
constexpr std::uint8_t kGraphicCount = 94;    // ... to 0x7E
constexpr std::uint8_t kEucBit = 0x80;        // an EUC-JP byte is the JIS X 0208 byte plus 0x80

// The JIS X 0208 row/cell to Shift_JIS arithmetic, tabulated over bytes in EUC-JP form so that
// one mapping serves both callers: ISO-2022-JP sets the high bit of its (range-checked) bytes,
// EUC-JP passes its bytes as they are. Over 0xA1 to 0xFE these are the standard mapping; outside
// that range EUC-JP bytes are not checked and get the same formulas, taken modulo 256.
struct PairTables {
  std::array<std::uint8_t, 256> lead;
  std::array<std::array<std::uint8_t, 256>, 2> trail;  // indexed by the lead byte's parity
};

constexpr PairTables makePairTables() {
  PairTables tables{};
  for (int byte = 0; byte < 256; ++byte) {
    const bool odd = (byte & 1) != 0;
    // The sums are even, so the halving is exact. From lead 0xDF up the row skips 0xA0 to 0xDF,
    // which Shift_JIS leaves to the half-width katakana.
    const int lead = odd ? (byte < 0xDF ? byte + 0x61 : byte + 0xE1) / 2
                         : (byte < 0xDF ? byte + 0x60 : byte + 0xE0) / 2;
    tables.lead[byte] = static_cast<std::uint8_t>(lead);
    // Odd rows use trail codes 0x40 to 0x9E skipping 0x7F, even rows 0x9F to 0xFC.
    tables.trail[1][byte] = static_cast<std::uint8_t>(byte <= 0xDF ? byte - 0x61 : byte - 0x60);
    tables.trail[0][byte] = static_cast<std::uint8_t>(byte - 2);
  }
  return tables;
}

constexpr PairTables kPairTables = makePairTables();

inline void writePair(std::uint8_t* out, std::uint8_t lead, std::uint8_t trail) {
  out[0] = kPairTables.lead[lead];
  out[1] = kPairTables.trail[lead & 1][trail];
}

inline bool isJisGraphic(std::uint8_t byte) {
  return static_cast<std::uint8_t>(byte - kFirstGraphic) < kGraphicCount;
}

// The pair mapping of the tables above for every two 7-bit bytes (the JIS form; EUC-JP bytes
// with the high bit cleared), lead-major, as one lookup per pair for the runs of pairs that
// Japanese text consists of. Only pairs of bytes from 0x21 to 0x7E are looked up.
using SjisCode = std::array<std::uint8_t, 2>;  // lead, trail
constexpr std::size_t kSevenBitPairs = std::size_t{128} * 128;

constexpr std::array<SjisCode, kSevenBitPairs> makeSevenBitPairs() {
  std::array<SjisCode, kSevenBitPairs> pairs{};
  for (int lead = 0; lead < 128; ++lead) {
    for (int trail = 0; trail < 128; ++trail) {
      const int eucLead = lead | kEucBit;
      pairs[lead * 128 + trail] = {kPairTables.lead[eucLead],
                                   kPairTables.trail[eucLead & 1][trail | kEucBit]};
    }
  }
  return pairs;
}

constexpr auto kSevenBitPairTable = makeSevenBitPairs();

// Eight bytes at a time: four pairs, or eight single bytes to copy.
constexpr std::size_t kWord = 8;
constexpr std::uint64_t kHighBits = 0x8080808080808080;
constexpr std::uint64_t kOnes = 0x0101010101010101;

// Loads eight bytes, the first one in the lowest bits.
inline std::uint64_t loadWord(const std::uint8_t* bytes) {
  std::uint64_t word = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&word, bytes, kWord);
  } else {
    for (std::size_t k = kWord; k-- > 0;) word = word << 8 | bytes[k];
  }
  return word;
}

// True when every byte of `word` lies in 0x21 to 0x7E. Once no byte has its high bit set, adding
// 0x5F sets the high bit exactly of the bytes from 0x21 up, adding 1 exactly of 0x7F, and no sum
// carries into the next byte.
inline bool allGraphic(std::uint64_t word) {
  if ((word & kHighBits) != 0) return false;
  const std::uint64_t fromFirst = word + 0x5F * kOnes;
  const std::uint64_t pastLast = word + kOnes;
  return ((~fromFirst | pastLast) & kHighBits) == 0;
}

inline bool hasByte(std::uint64_t word, std::uint8_t byte) {
  const std::uint64_t zeroWhereByte = word ^ (byte * kOnes);
  return ((zeroWhereByte - kOnes) & ~zeroWhereByte & kHighBits) != 0;
}

// Converts the four pairs of `word` (as loadWord gives it) whose low seven bits are all 0x21 to
// 0x7E.
inline void writeGraphicPairs(std::uint8_t* out, std::uint64_t word) {
  for (std::size_t k = 0; k < 4; ++k) {
    const auto pair = static_cast<std::uint32_t>(word >> 16 * k);
    const std::size_t index = (pair & 0x7F) << 7 | (pair >> 8 & 0x7F);
    std::memcpy(out + 2 * k, kSevenBitPairTable[index].data(), 2);
  }
}

inline std::uint32_t threeByteCode(const std::uint8_t* bytes) {
  return (bytes[0] & 0x0Fu) << 12 | (bytes[1] & 0x3Fu) << 6 | (bytes[2] & 0x3Fu);
}

// The same from the low three bytes of a word in little-endian order.
inline std::uint32_t threeByteCode(std::uint64_t word) {
  return static_cast<std::uint32_t>((word << 12 & 0xF000) | (word >> 2 & 0xFC0) |
                                    (word >> 16 & 0x3F));
}

// Three-byte leads (0xE0 to 0xEF) at bytes 0 and 3 of a little-endian word.
constexpr std::uint64_t kTwoLeadsMask = 0xF00000F0;
constexpr std::uint64_t kTwoLeads = 0xE00000E0;

// Two three-byte sequences as the low six bytes of a word, in little-endian order.
inline std::uint64_t loadSixBytes(const std::uint8_t* bytes) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint32_t low;
    std::uint16_t high;
    std::memcpy(&low, bytes, 4);
    std::memcpy(&high, bytes + 4, 2);
    return low | std::uint64_t{high} << 32;
  } else {
    std::uint64_t word = 0;
    for (std::size_t k = 6; k-- > 0;) word = word << 8 | bytes[k];
    return word;
  }
}

// Two-byte forms have a lead byte from 0x80 up (cp932_table.h) and lie below kCp932NoForm
// (0xFFFF), so exactly they keep bit 15 when one is added.
inline bool bothTwoByteForms(std::uint32_t first, std::uint32_t second) {
  return ((first + 1) & (second + 1) & 0x8000) != 0;
}

// Writes the lead byte, then the trail byte, as one store.
inline void writeTwoByteForm(std::uint8_t* out, std::uint16_t form) {
  if constexpr (std::endian::native == std::endian::little) {
    form = static_cast<std::uint16_t>(form << 8 | form >> 8);
  }
  std::memcpy(out, &form, 2);
}

struct EscapeSequence {
  std::uint8_t first;
  std::uint8_t second;
  bool doubleByte;  // the mode that the sequence switches to
};

// The designations that ISO-2022-JP mail uses; no other one is recognised.
constexpr EscapeSequence kEscapeSequences[] = {
    {'$', '@', true},   // JIS C 6226-1978
    {'$', 'B', true},   // JIS X 0208-1983
    {'(', 'B', false},  // ASCII
    {'(', 'J', false},  // JIS X 0201 Roman
};

// Finds the escape sequence whose two bytes follow the ESC at text[0], or returns nullptr.
const EscapeSequence* matchEscape(const std::uint8_t* text, std::size_t available) {
  if (available < 3) return nullptr;
  for (const auto& sequence : kEscapeSequences) {
    if (text[1] == sequence.first && text[2] == sequence.second) return &sequence;
  }
  return nullptr;
}

}  // namespace

void jisToSjis(std::uint8_t* result, std::uint32_t& resultLength, const std::uint8_t* text,
               std::uint32_t textLength) {
  std::size_t written = 0;
  std::size_t i = 0;
  bool doubleByte = false;
  while (i < textLength) {
    const std::uint8_t byte = text[i];
    if (byte == kEscape) {
      if (const EscapeSequence* sequence = matchEscape(text + i, textLength - i)) {
        doubleByte = sequence->doubleByte;
        i += 3;
      } else {
        ++i;
      }
      continue;
    }
    if (textLength - i >= kWord) {
      // Four pairs, or eight bytes without an escape, at once.
      const std::uint64_t word = loadWord(text + i);
      const bool wholeWord = doubleByte ? allGraphic(word) : !hasByte(word, kEscape);
      if (wholeWord) {
        if (doubleByte) {
          writeGraphicPairs(result + written, word);
        } else {
          std::memcpy(result + written, text + i, kWord);
        }
        written += kWord;
        i += kWord;
        continue;
      }
    }
    if (!doubleByte || !isJisGraphic(byte)) {
      result[written++] = byte;
      ++i;
      continue;
    }
    // A lead at the end of the piece pairs with zero, as with a zero-filled line buffer.
    const std::uint8_t trail = i + 1 < textLength ? text[i + 1] : 0;
    if (isJisGraphic(trail)) {
      writePair(result + written, byte | kEucBit, trail | kEucBit);
    } else {
      result[written] = 0;
      result[written + 1] = 0;
    }
    written += 2;
    i += 2;
  }
  resultLength = static_cast<std::uint32_t>(written);
}

bool utf8ToSjis(std::uint8_t* result, std::uint32_t& resultLength, const std::uint8_t* text,
                std::uint32_t textLength) {
  const std::uint16_t* table = cp932Table();
  std::size_t written = 0;
  bool whole = true;
  std::size_t i = 0;
  while (i < textLength) {
    // Three-byte sequences with two-byte forms, the bulk of Japanese text, two at a time.
    while (textLength - i >= 6) {
      const std::uint64_t word = loadSixBytes(text + i);
      if ((word & kTwoLeadsMask) != kTwoLeads) break;
      const std::uint16_t first = table[threeByteCode(word)];
      const std::uint16_t second = table[threeByteCode(word >> 24)];
      if (!bothTwoByteForms(first, second)) break;
      writeTwoByteForm(result + written, first);
      writeTwoByteForm(result + written + 2, second);
      written += 4;
      i += 6;
    }
    if (i >= textLength) break;
    const std::uint8_t byte = text[i];
    if (byte < 0x80) {
      // ASCII runs, which code page 932 keeps as they are (cp932_table.h).
      do {
        result[written++] = text[i++];
      } while (i < textLength && text[i] < 0x80);
      continue;
    }
    std::uint32_t code;
    std::size_t length;
    if (byte < 0xE0) {
      if (i + 1 >= textLength) break;
      code = (byte & 0x3Fu) << 6 | (text[i + 1] & 0x3Fu);
      length = 2;
    } else if (byte < 0xF0) {
      if (i + 2 >= textLength) break;
      code = threeByteCode(text + i);
      length = 3;
    } else {
      // Beyond the 16-bit wide character: the conversion sees the character 0.
      if (i + 3 >= textLength) break;
      code = 0;
      length = 4;
      whole = false;
    }
    const std::uint16_t form = table[code];
    if (form == kCp932NoForm) break;
    if (form < 0x100) {
      result[written++] = static_cast<std::uint8_t>(form);
    } else {
      writeTwoByteForm(result + written, form);
      written += 2;
    }
    i += length;
  }
  resultLength = static_cast<std::uint32_t>(written);
  return whole && i >= textLength;
}

void copySjis(std::uint8_t* result, std::uint32_t& resultLength, const std::uint8_t* text,
              std::uint32_t textLength) {
  if (textLength > 0) std::memcpy(result, text, textLength);
  resultLength = textLength;
}

void eucToSjis(std::uint8_t* result, std::uint32_t& resultLength, const std::uint8_t* text,
               std::uint32_t textLength) {
  std::size_t written = 0;
  std::size_t i = 0;
  bool afterCarriageReturn = false;
  while (i < textLength) {
    const std::uint8_t byte = text[i];
    if (afterCarriageReturn) {
      afterCarriageReturn = false;
      result[written++] = kLineFeed;
      if (byte == kLineFeed) {
        ++i;
        continue;
      }
    }
    // Four pairs of bytes from 0xA1 to 0xFE: the JIS X 0208 pairs with their high bits set.
    if (byte > 0xA0) {
      const std::size_t start = i;
      while (textLength - i >= kWord) {
        const std::uint64_t word = loadWord(text + i);
        if (!allGraphic(word ^ kHighBits)) break;
        writeGraphicPairs(result + written, word);
        written += kWord;
        i += kWord;
      }
      if (i != start) continue;
    }
    if (byte < 0x80) {
      if (byte == kLineFeed) {
        result[written++] = kCarriageReturn;
      } else if (byte == kCarriageReturn) {
        afterCarriageReturn = true;
      }
      result[written++] = byte;
      ++i;
      continue;
    }
    // A lead at the end of the piece pairs with zero, as with a zero-filled line buffer.
    const std::uint8_t trail = i + 1 < textLength ? text[i + 1] : 0;
    if (byte == kSingleShift2) {
      result[written++] = trail;
    } else {
      writePair(result + written, byte, trail);
      written += 2;
    }
    i += 2;
  }
  resultLength = static_cast<std::uint32_t>(written);
}

}  // namespace korvani
