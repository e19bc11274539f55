// Code page 932 (Shift_JIS as Windows defines it) text made readable for UTF-8 surroundings: a
// terminal, an editor, a desktop file dialog. Not part of any conversion pipeline: the front ends
// use it to show Shift_JIS bytes, or as a last step after a conversion has produced them.
#pragma once

#include <string>
#include <string_view>

namespace korvani {

// Converts code page 932 bytes to UTF-8. Every byte or byte pair that is not valid code page 932
// (a lone lead byte, an unassigned code) is passed through unchanged, so nothing is lost.
std::string cp932ToUtf8(std::string_view bytes);

// True when `bytes` is well-formed UTF-8 (no overlong forms, surrogates or code points above
// U+10FFFF). Plain ASCII is valid UTF-8.
bool isValidUtf8(std::string_view bytes);

}  // namespace korvani
