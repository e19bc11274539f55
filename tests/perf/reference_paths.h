// The straightforward implementations that the fast paths of the core are tested against: each
// written as plainly as the rules read, byte by byte and piece by piece, with no table, word or
// in-place trick of the code under test.
#pragma once

#include <cstdint>
#include <string>

namespace korvani::reference {

// The quartet rule: 3 minus the number of '=', '=' is 0 anywhere, a character outside the
// alphabet repeats the value before it (0 as the first), four '=' count 0.
int decodeQuartet(const std::uint8_t* source, std::uint8_t* destination);

// One to three bytes as four characters, '=' beyond `count`.
void encodeTriple(const std::uint8_t* source, std::uint8_t* destination, int count);

// The whole mail that binary encode composes for `image` named `fileName` with `boundary`:
// every piece appended in order, each skipped when it would reach `capacity`, the Base64 lines
// cut 45 source bytes at a time.
std::string composeMessage(const std::string& image, const std::string& fileName,
                           const std::string& boundary);

// What the attachment locator's scan finds in `image`: each piece copied into a zero-filled
// 512-byte buffer and tested there at its fixed columns.
struct Location {
  bool abandoned = false;  // a non-base64 transfer encoding in the attachment's header
  std::uint32_t bodyStart = 0;
  std::uint32_t bodyEnd = 0;
  std::string fileName;
};
Location locate(const std::string& image);

}  // namespace korvani::reference
