// Conversion of Japanese text pieces to Shift_JIS (code page 932), the text decoder's output.
//
// Each operation converts one piece: one body line, or the decoded text of one encoded word.
// Nothing carries over from one call to the next: every piece starts in the initial state of its
// character set (ISO-2022-JP in single-byte mode, EUC-JP without a pending CR), and a sequence cut
// off by the end of the piece is finished or dropped as each operation says.
//
// All four take the same arguments: `text` holds `textLength` bytes, which are only read;
// `result` receives the Shift_JIS bytes from its start and must have room for the size stated
// with each operation; `resultLength` is set to the number of bytes written, on every path. No
// operation fails or reads a byte outside `text`; only utf8ToSjis reports anything, whether it
// kept every character. They keep no state and may run on several threads at once.
#pragma once

#include <cstdint>

namespace korvani {

// ISO-2022-JP (RFC 1468): ASCII and JIS X 0208 switched by escape sequences.
//
// ESC "$@" and ESC "$B" switch to double-byte mode (both designations use the same JIS X 0208
// mapping), ESC "(B" and ESC "(J" back to single-byte mode; these sequences write nothing. Any
// other ESC (also one with fewer than two bytes after it in the piece) is dropped on its own and
// the bytes after it are handled as ordinary bytes. In double-byte mode a byte from 0x21 to 0x7E
// starts a pair that becomes its Shift_JIS code; a pair whose second byte lies outside that range
// becomes two zero bytes and consumes both bytes. Every other byte (control bytes, CR, LF, space,
// bytes from 0x7F up, every byte of single-byte mode) is copied unchanged and leaves the mode as
// it is. A pair lead that is the last byte of the piece is taken with a zero second byte, and so
// writes two zero bytes.
//
// `result` must hold textLength + 1 bytes (textLength when the piece cannot end on a lone lead).
void jisToSjis(std::uint8_t* result, std::uint32_t& resultLength, const std::uint8_t* text,
               std::uint32_t textLength);

// UTF-8, read through 16-bit wide characters, to code page 932.
//
// The lead byte alone decides the length: below 0x80 one byte, below 0xE0 two, below 0xF0 three,
// else four. Continuation bytes are not checked, only their low six bits are used; a byte from
// 0x80 to 0xBF in lead position is a two-byte lead, overlong forms are taken as they come, and a
// four-byte sequence stands for the character 0 (one zero byte). Each character is written in its
// code page 932 form (see cp932_table.h). The conversion of the piece stops, keeping what was
// written before, at a sequence cut off by the end of the piece and at a character without a code
// page 932 form (among them every surrogate code unit).
//
// Returns true when every character of the piece was written in its form; false when the
// conversion stopped early or a four-byte sequence became the character 0, so that the result
// lacks or alters text that was there. `result` must hold textLength bytes.
bool utf8ToSjis(std::uint8_t* result, std::uint32_t& resultLength, const std::uint8_t* text,
                std::uint32_t textLength);

// Shift_JIS, copied unchanged and unchecked. `result` must hold textLength bytes.
void copySjis(std::uint8_t* result, std::uint32_t& resultLength, const std::uint8_t* text,
              std::uint32_t textLength);

// EUC-JP to Shift_JIS; line ends become CR LF.
//
// Bytes below 0x80 are copied, except that a lone LF becomes CR LF and a CR followed by anything
// but LF gets an LF after it (CR LF stays CR LF; a CR ending the piece stays a lone CR, as the
// next piece starts afresh). 0x8E (single shift 2) is dropped and the byte after it copied. Any
// other byte from 0x80 up is a lead byte and takes the next byte as its trail, whatever their
// values (0x8F included: its third byte starts a new character); the pair becomes the Shift_JIS
// code that the JIS X 0208 mapping gives for lead and trail bytes from 0xA1 to 0xFE, and the same
// arithmetic carries on outside that range. A lead byte (0x8E included) that is the last byte of
// the piece is taken with a zero trail byte: a pair lead writes two bytes, 0x8E one zero byte.
//
// `result` must hold 2 * textLength bytes.
void eucToSjis(std::uint8_t* result, std::uint32_t& resultLength, const std::uint8_t* text,
               std::uint32_t textLength);

}  // namespace korvani
