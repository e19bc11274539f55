// Base64 primitives of the RFC 2045 alphabet (the standard alphabet of RFC 4648, '=' as pad).
//
// Both operations work on one fixed group and know nothing of lines, buffers or lengths: the
// callers cut their input into groups and keep their own positions. One implementation serves
// the attachment body decoder, the text decoder and the message composer.
#pragma once

#include <cstdint>

namespace korvani {

// Decodes the four characters at `source` into exactly three bytes at `destination`, whatever
// the characters are, and returns how many of those bytes are data: 3 minus the number of '='
// among the four (3, 2, 1 or 0).
//
// Nothing is validated. '=' counts as value 0 wherever it stands. A character outside the
// alphabet (CR, LF, space, '-', '_', bytes from 0x80 up, ...) repeats the value that the
// character before it in the same quartet contributed; as the first character it contributes 0.
// Four '=' characters return 0, never a negative count, so a caller's output position never
// moves backwards.
int decodeQuartet(const std::uint8_t* source, std::uint8_t* destination);

// Encodes `count` bytes (1, 2 or 3) at `source` as exactly four characters at `destination`, with
// '=' for the positions beyond `count`; writes no terminator. Bytes at index `count` and above
// are not read. Returns 4.
int encodeTriple(const std::uint8_t* source, std::uint8_t* destination, int count);

// The 64 characters of the alphabet, indexed by 6-bit value.
inline constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace korvani
