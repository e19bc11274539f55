// Base64 primitives of the RFC 2045 alphabet (the standard alphabet of RFC 4648, '=' as pad).
//
// Both operations work on one fixed group and know nothing of lines, buffers or lengths: the
// callers cut their input into groups and keep their own positions. One implementation serves
// the attachment body decoder, the text decoder and the message composer.
//
// The common groups (four alphabet characters; three whole bytes) take a table-driven path that
// is defined here so that it inlines into the callers' loops; every other group goes to the one
// out-of-line implementation of the rules in base64.cpp. decodeAlphabetQuartet is that table
// path on its own; encodeTriples and decodeAlphabetQuartets walk runs of common groups, with
// vector instructions where the processor has them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace korvani {

// The 64 characters of the alphabet, indexed by 6-bit value.
inline constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Decodes the four characters at `source` into exactly three bytes at `destination`, whatever
// the characters are, and returns how many of those bytes are data: 3 minus the number of '='
// among the four (3, 2, 1 or 0).
//
// Nothing is validated. '=' counts as value 0 wherever it stands. A character outside the
// alphabet (CR, LF, space, '-', '_', bytes from 0x80 up, ...) repeats the value that the
// character before it in the same quartet contributed; as the first character it contributes 0.
// Four '=' characters return 0, never a negative count, so a caller's output position never
// moves backwards.
inline int decodeQuartet(const std::uint8_t* source, std::uint8_t* destination);

// Encodes `count` bytes (1, 2 or 3) at `source` as exactly four characters at `destination`, with
// '=' for the positions beyond `count`; writes no terminator. Bytes at index `count` and above
// are not read. Returns 4.
inline int encodeTriple(const std::uint8_t* source, std::uint8_t* destination, int count);

// Decodes the quartet at `source` as decodeQuartet does when all four characters are alphabet
// characters (no '=', nothing outside): writes three bytes and returns true. For any other
// quartet it writes nothing and returns false; decodeQuartet then applies the rules.
inline bool decodeAlphabetQuartet(const std::uint8_t* source, std::uint8_t* destination);

// Encodes `triples` whole triples from `source` (3 * triples bytes, no more are read) as
// 4 * triples characters at `destination`, exactly as that many encodeTriple(..., 3) calls.
// Where the processor has AVX2, 8 triples at a time.
void encodeTriples(const std::uint8_t* source, std::size_t triples, std::uint8_t* destination);

// Decodes the quartets at `source`, at most `quartets` of them, as long as all their characters
// are alphabet characters: 3 bytes per quartet at `destination`, exactly as decodeQuartet would.
// Returns how many were decoded; the quartet after them (one with '=' or a character outside
// the alphabet, for decodeQuartet to take) is not read past and nothing is written for it.
// Reads no byte beyond 4 * quartets and writes none beyond 3 * (the result). Where the
// processor has AVX2, 8 quartets at a time.
std::size_t decodeAlphabetQuartets(const std::uint8_t* source, std::size_t quartets,
                                   std::uint8_t* destination);

// encodeTriples and decodeAlphabetQuartets without vector instructions, whatever the processor
// has: what they do on other processors, callable here so that both ways can be tested.
void encodeTriplesOneByOne(const std::uint8_t* source, std::size_t triples,
                           std::uint8_t* destination);
std::size_t decodeAlphabetQuartetsOneByOne(const std::uint8_t* source, std::size_t quartets,
                                           std::uint8_t* destination);

// The rules for the groups the table-driven paths do not take: decodeQuartetByRule decodes any
// quartet, encodeTripleByRule encodes any group of 1 to 3 bytes. Callers use decodeQuartet and
// encodeTriple; these are declared here only so that those can call them.
int decodeQuartetByRule(const std::uint8_t* source, std::uint8_t* destination);
int encodeTripleByRule(const std::uint8_t* source, std::uint8_t* destination, int count);

namespace base64_tables {

// Set in every decode entry of a byte that is not an alphabet character ('=' included).
inline constexpr std::uint32_t kNotAlphabet = 0x80000000;

// For each of the four positions of a quartet, the byte's 6-bit value already shifted to its
// place in the 24-bit group (bits 23-18 for position 0, ... 5-0 for position 3), or kNotAlphabet.
// Four loads and three ORs give the group, and one test tells whether the rules are needed.
struct DecodeTables {
  std::array<std::array<std::uint32_t, 256>, 4> atPosition;
};

constexpr DecodeTables makeDecodeTables() {
  DecodeTables tables{};
  for (auto& position : tables.atPosition) position.fill(kNotAlphabet);
  for (std::uint32_t value = 0; value < 64; ++value) {
    const auto byte = static_cast<std::uint8_t>(kBase64Alphabet[value]);
    for (std::uint32_t position = 0; position < 4; ++position)
      tables.atPosition[position][byte] = value << (18 - 6 * position);
  }
  return tables;
}

inline constexpr DecodeTables kDecode = makeDecodeTables();

// The two characters of every 12-bit value (half a group), first character first, so that a
// whole triple costs two loads.
using CharacterPair = std::array<std::uint8_t, 2>;

constexpr std::array<CharacterPair, 4096> makeCharacterPairs() {
  std::array<CharacterPair, 4096> pairs{};
  for (std::size_t value = 0; value < pairs.size(); ++value) {
    pairs[value] = {static_cast<std::uint8_t>(kBase64Alphabet[value >> 6]),
                    static_cast<std::uint8_t>(kBase64Alphabet[value & 0x3F])};
  }
  return pairs;
}

inline constexpr std::array<CharacterPair, 4096> kCharacterPairs = makeCharacterPairs();

inline void writeGroup(std::uint32_t group, std::uint8_t* destination) {
  std::memcpy(destination, kCharacterPairs[group >> 12].data(), 2);
  std::memcpy(destination + 2, kCharacterPairs[group & 0xFFF].data(), 2);
}

}  // namespace base64_tables

inline bool decodeAlphabetQuartet(const std::uint8_t* source, std::uint8_t* destination) {
  const auto& at = base64_tables::kDecode.atPosition;
  const std::uint32_t group =
      at[0][source[0]] | at[1][source[1]] | at[2][source[2]] | at[3][source[3]];
  if ((group & base64_tables::kNotAlphabet) != 0) return false;
  destination[0] = static_cast<std::uint8_t>(group >> 16);
  destination[1] = static_cast<std::uint8_t>(group >> 8);
  destination[2] = static_cast<std::uint8_t>(group);
  return true;
}

inline int decodeQuartet(const std::uint8_t* source, std::uint8_t* destination) {
  if (decodeAlphabetQuartet(source, destination)) return 3;
  return decodeQuartetByRule(source, destination);
}

inline int encodeTriple(const std::uint8_t* source, std::uint8_t* destination, int count) {
  if (count != 3) return encodeTripleByRule(source, destination, count);
  base64_tables::writeGroup(static_cast<std::uint32_t>(source[0]) << 16 |
                                static_cast<std::uint32_t>(source[1]) << 8 | source[2],
                            destination);
  return 4;
}

}  // namespace korvani
