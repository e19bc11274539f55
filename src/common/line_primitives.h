// Line primitives shared by every line-oriented part of the system.
//
// A whole file is held in memory as an image; these two stateless operations take it apart.
// The caller owns the image, its length, the read position and the line buffer.
#pragma once

#include <cstdint>

namespace korvani {

// Cuts the next line out of `data` into `line`, a buffer of `size` bytes (`size` >= 1).
//
// Zero-fills all `size` bytes of `line`, then copies bytes from `data[position]` on, advancing
// `position`, and stops after the first of: the byte just copied was LF (it is part of the line);
// `size` - 1 bytes were copied; `position` reached `length`. Returns the number of bytes copied,
// 0 when nothing was left. The byte after the copied text is always 0. CR has no meaning and NUL
// bytes are copied like any other; a longer line comes out in pieces of `size` - 1 bytes.
std::uint32_t readLine(const std::uint8_t* data, std::uint8_t* line, std::uint32_t size,
                       std::uint32_t& position, std::uint32_t length);

// Cuts the same line as readLine, with the same result and the same new `position`, but writes
// only the line's bytes and the 0 after them: the rest of `line` keeps what it held. For callers
// that never read a line past that 0, this spares the zero-fill of the whole buffer per line.
std::uint32_t cutLine(const std::uint8_t* data, std::uint8_t* line, std::uint32_t size,
                      std::uint32_t& position, std::uint32_t length);

// The number of bytes readLine would copy from `data[position]` into a buffer of `size` bytes,
// found without copying them; `position` is not advanced. 0 when nothing is left.
std::uint32_t nextLineLength(const std::uint8_t* data, std::uint32_t size, std::uint32_t position,
                             std::uint32_t length);

// Returns the last of the first `count` bytes of `line` that is not NUL, TAB, LF, CR or space,
// or 0 when there is none (the line is then called blank).
std::uint8_t lastSignificantChar(const std::uint8_t* line, std::uint32_t count);

}  // namespace korvani
