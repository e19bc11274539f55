#include "common/base64.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define KORVANI_BASE64_AVX2 1
#endif

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

// --- Runs of groups, one at a time -----------------------------------------------------------

void encodeTriplesByTable(const std::uint8_t* source, std::size_t triples,
                          std::uint8_t* destination) {
  // Two triples per step from one 8-byte load while the load stays inside the 3 * triples bytes:
  // the loop is bound by its table loads, and this halves the loads of the source.
  std::size_t done = 0;
  for (; done + 3 <= triples; done += 2) {
    std::uint8_t bytes[8];
    std::memcpy(bytes, source, sizeof bytes);
    std::uint64_t word = 0;
    for (const std::uint8_t byte : bytes) word = word << 8 | byte;  // most significant first
    base64_tables::writeGroup(static_cast<std::uint32_t>(word >> 40), destination);
    base64_tables::writeGroup(static_cast<std::uint32_t>(word >> 16) & 0xFFFFFF, destination + 4);
    source += 6;
    destination += 8;
  }
  for (; done < triples; ++done) {
    encodeTriple(source, destination, 3);
    source += 3;
    destination += 4;
  }
}

std::size_t decodeAlphabetQuartetsByTable(const std::uint8_t* source, std::size_t quartets,
                                          std::uint8_t* destination) {
  std::size_t done = 0;
  while (done < quartets && decodeAlphabetQuartet(source + 4 * done, destination + 3 * done))
    ++done;
  return done;
}

#ifdef KORVANI_BASE64_AVX2

// --- Runs of groups, eight at a time (AVX2) --------------------------------------------------
//
// The vector forms of the table paths above (W. Mula and D. Lemire, "Faster Base64 Encoding and
// Decoding Using AVX2 Instructions", 2018). A run of n >= 8 groups is done in blocks of 8, the
// last block moved back to end with the run: it overlaps the one before and writes the same
// bytes again, so no group is done one at a time and nothing is read or written past the run.

// 24 bytes (8 triples) at `source` as 32 characters at `destination`.
__attribute__((target("avx2"))) inline void encodeBlock(const std::uint8_t* source,
                                                        std::uint8_t* destination) {
  // Lane 0 holds bytes 0-15, lane 1 bytes 8-23; each lane's 12 bytes (0-11 and 12-23) are
  // spread so that every 32-bit element holds one triple's bytes as b1 b0 b2 b1.
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 8));
  __m256i in = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
  in = _mm256_shuffle_epi8(
      in, _mm256_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10, 5, 4, 6, 5, 8, 7, 9,
                           8, 11, 10, 12, 11, 14, 13, 15, 14));
  // The four 6-bit values of each triple into the four bytes of its element, by multiplies that
  // shift the 16-bit halves.
  const __m256i first = _mm256_mulhi_epu16(_mm256_and_si256(in, _mm256_set1_epi32(0x0FC0FC00)),
                                           _mm256_set1_epi32(0x04000040));
  const __m256i second = _mm256_mullo_epi16(_mm256_and_si256(in, _mm256_set1_epi32(0x003F03F0)),
                                            _mm256_set1_epi32(0x01000010));
  const __m256i values = _mm256_or_si256(first, second);
  // Value to character: add 65 ('A'-'Z'), 71 ('a'-'z'), -4 ('0'-'9'), -19 ('+') or -16 ('/'),
  // chosen by a small index: 0 below 26, 1 below 52, 2-13 for 52-63.
  __m256i index = _mm256_subs_epu8(values, _mm256_set1_epi8(51));
  index = _mm256_sub_epi8(index, _mm256_cmpgt_epi8(values, _mm256_set1_epi8(25)));
  const __m256i offsets =
      _mm256_setr_epi8(65, 71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 0, 0, 65, 71, -4,
                       -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 0, 0);
  const __m256i characters = _mm256_add_epi8(values, _mm256_shuffle_epi8(offsets, index));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination), characters);
}

__attribute__((target("avx2"))) void encodeTriplesAvx2(const std::uint8_t* source,
                                                       std::size_t triples,
                                                       std::uint8_t* destination) {
  if (triples < 8) return encodeTriplesByTable(source, triples, destination);
  for (std::size_t done = 0;; done += 8) {
    if (done + 8 > triples) done = triples - 8;
    encodeBlock(source + 3 * done, destination + 4 * done);
    if (done + 8 == triples) return;
  }
}

// 32 characters (8 quartets) at `source` as 24 bytes at `destination`. Returns false, writing
// nothing, when any of them is not an alphabet character.
__attribute__((target("avx2"))) inline bool decodeBlock(const std::uint8_t* source,
                                                        std::uint8_t* destination) {
  const __m256i in = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source));
  // A character is in the alphabet exactly when the bit sets looked up by its low and its high
  // nibble have no bit in common. The mask 0x2F keeps the nibble and clears bit 7, which would
  // make the lookup give 0; bit 5 (from the next byte, after the shift) is not used by it.
  const __m256i nibbleMask = _mm256_set1_epi8(0x2F);
  const __m256i highNibbles = _mm256_and_si256(_mm256_srli_epi32(in, 4), nibbleMask);
  const __m256i lowNibbles = _mm256_and_si256(in, nibbleMask);
  const __m256i lowBits = _mm256_shuffle_epi8(
      _mm256_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B,
                       0x1B, 0x1B, 0x1A, 0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                       0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A),
      lowNibbles);
  const __m256i highBits = _mm256_shuffle_epi8(
      _mm256_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10,
                       0x10, 0x10, 0x10, 0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10,
                       0x10, 0x10, 0x10, 0x10, 0x10, 0x10),
      highNibbles);
  if (!_mm256_testz_si256(lowBits, highBits)) return false;
  // Character to value: add 16 ('/'), 19 ('+'), 4 ('0'-'9'), -65 ('A'-'Z') or -71 ('a'-'z'),
  // chosen by the high nibble, '/' told from '+' by one compare.
  const __m256i slash = _mm256_cmpeq_epi8(in, _mm256_set1_epi8('/'));
  const __m256i offsets = _mm256_shuffle_epi8(
      _mm256_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 19, 4, -65,
                       -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0),
      _mm256_add_epi8(slash, highNibbles));
  const __m256i values = _mm256_add_epi8(in, offsets);
  // Four 6-bit values into each 24-bit group by multiply-adds, then the groups' bytes most
  // significant first, 12 to a lane, and the two lanes' 12 bytes next to each other.
  const __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
  const __m256i groups = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
  const __m256i bytes = _mm256_shuffle_epi8(
      groups, _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, 2, 1, 0, 6,
                               5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
  const __m256i packed =
      _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
  // Exactly 24 bytes: 16, then 8.
  _mm_storeu_si128(reinterpret_cast<__m128i*>(destination), _mm256_castsi256_si128(packed));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(destination + 16),
                   _mm256_extracti128_si256(packed, 1));
  return true;
}

__attribute__((target("avx2"))) std::size_t decodeAlphabetQuartetsAvx2(const std::uint8_t* source,
                                                                       std::size_t quartets,
                                                                       std::uint8_t* destination) {
  if (quartets < 8) return decodeAlphabetQuartetsByTable(source, quartets, destination);
  for (std::size_t done = 0;; done += 8) {
    if (done + 8 > quartets) done = quartets - 8;
    if (!decodeBlock(source + 4 * done, destination + 3 * done)) {
      // The block holds a quartet for the rules: the quartets before it one at a time.
      return done + decodeAlphabetQuartetsByTable(source + 4 * done, quartets - done,
                                                  destination + 3 * done);
    }
    if (done + 8 == quartets) return quartets;
  }
}

#endif  // KORVANI_BASE64_AVX2

// The run walkers for this processor, chosen once.
struct RunWalkers {
  void (*encodeTriples)(const std::uint8_t*, std::size_t, std::uint8_t*) = encodeTriplesByTable;
  std::size_t (*decodeAlphabetQuartets)(const std::uint8_t*, std::size_t,
                                        std::uint8_t*) = decodeAlphabetQuartetsByTable;
};

// Chosen on first use rather than at start-up, so that no other start-up code can find it unset.
const RunWalkers& runWalkers() {
  static const RunWalkers walkers = [] {
    RunWalkers chosen;
#ifdef KORVANI_BASE64_AVX2
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) {
      chosen.encodeTriples = encodeTriplesAvx2;
      chosen.decodeAlphabetQuartets = decodeAlphabetQuartetsAvx2;
    }
#endif
    return chosen;
  }();
  return walkers;
}

}  // namespace

void encodeTriples(const std::uint8_t* source, std::size_t triples, std::uint8_t* destination) {
  runWalkers().encodeTriples(source, triples, destination);
}

std::size_t decodeAlphabetQuartets(const std::uint8_t* source, std::size_t quartets,
                                   std::uint8_t* destination) {
  return runWalkers().decodeAlphabetQuartets(source, quartets, destination);
}

void encodeTriplesOneByOne(const std::uint8_t* source, std::size_t triples,
                           std::uint8_t* destination) {
  encodeTriplesByTable(source, triples, destination);
}

std::size_t decodeAlphabetQuartetsOneByOne(const std::uint8_t* source, std::size_t quartets,
                                           std::uint8_t* destination) {
  return decodeAlphabetQuartetsByTable(source, quartets, destination);
}

int decodeQuartetByRule(const std::uint8_t* source, std::uint8_t* destination) {
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

int encodeTripleByRule(const std::uint8_t* source, std::uint8_t* destination, int count) {
  std::uint32_t group = static_cast<std::uint32_t>(source[0]) << 16;
  if (count > 1) group |= static_cast<std::uint32_t>(source[1]) << 8;
  if (count > 2) group |= source[2];
  for (int position = 0; position < 4; ++position) {
    destination[position] =
        position > count
            ? '='
            : static_cast<std::uint8_t>(kBase64Alphabet[(group >> (18 - 6 * position)) & 0x3F]);
  }
  return 4;
}

}  // namespace korvani
