// Code page 932 (Shift_JIS as Windows defines it) text made readable for UTF-8 surroundings: a
// terminal, an editor, a desktop file dialog. Not part of any conversion pipeline: the front ends
// use it to show Shift_JIS bytes, or as a last step after a conversion has produced them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvani {

// What becomes of a byte that is not valid code page 932 (a lone lead byte, an unassigned code).
enum class UnmappedBytes {
  PassThrough,  // kept unchanged, so nothing is lost (text shown to a person)
  Underscore    // each becomes '_', so the result is valid UTF-8 (a file name on disk)
};

// Converts code page 932 bytes to UTF-8.
std::string cp932ToUtf8(std::string_view bytes,
                        UnmappedBytes unmapped = UnmappedBytes::PassThrough);

// Converts UTF-8 `text` to code page 932 into `bytes`. Returns false, leaving `bytes`
// unspecified, when `text` is not valid UTF-8 or holds a character without a code page 932 form.
bool utf8ToCp932(std::string_view text, std::string& bytes);

// Appends the UTF-8 form of `character`, a character of the Basic Multilingual Plane that is not a
// surrogate (every character the code page 932 table holds).
void appendUtf8(std::string& text, std::uint32_t character);

// True when `bytes` is well-formed UTF-8 (no overlong forms, surrogates or code points above
// U+10FFFF). Plain ASCII is valid UTF-8.
bool isValidUtf8(std::string_view bytes);

}  // namespace korvani
