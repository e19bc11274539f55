// Transfer decoding of the text decoder: quoted-printable and Base64 text back to bytes, those
// bytes on to Shift_JIS (charset_conversion.h), and the MIME encoded words (RFC 2047) of
// header-like lines.
//
// `decodeLine` serves the lines of text bodies, `decodeEncodedWords` the lines of headers,
// preambles and epilogues; the other three carry the transfer work. Every call depends on its
// arguments alone: nothing (an unfinished escape, a partial quartet, a shift state) carries over
// to the next call. No operation fails; malformed input is absorbed as each one says, and only
// the two that convert characters report whether they kept them all. Each sets `resultLength` on
// every path, reads no byte outside its input and writes no byte outside the result size it states.
// Bytes of `result` after the first `resultLength` may be overwritten and have no meaning.
#pragma once

#include <cstdint>

#include "common/conversion_options.h"

namespace korvani {

// The size of the text decoder's line buffers: a line is at most kLineBufferSize - 1 bytes as
// cut by readLine, and decodeLine takes at most kLineBufferSize bytes.
inline constexpr std::uint32_t kLineBufferSize = 4096;

// Returns the character set whose name begins `name`, compared case-insensitively against, in
// this order: "iso-2022-jp" and "jis" (Jis), "utf-8" (Utf8), "x-jis" and "shift_jis" (Sjis),
// "x-euc-jp" and "euc_jp" (Euc). Only the beginning is compared, so "ISO-2022-JP-2" is Jis, and
// "euc-jp" with a hyphen is no match. Returns TextCharset::Auto for no match. Reads at most
// `available` bytes from `name`; a name cut off by `available` does not match.
TextCharset charsetFromName(const std::uint8_t* name, std::uint32_t available);

// Decodes one line of a text body: undoes the transfer `encoding` (QuotedPrintable, Base64,
// anything else none), then converts from `charset` to Shift_JIS (Jis, Utf8, Sjis or Euc by
// charset_conversion.h; anything else none, the bytes are passed on unchanged).
//
// Requires textLength <= kLineBufferSize; only the first kLineBufferSize bytes of a longer text
// are decoded. A double-byte lead that ends the decoded bytes pairs with a zero byte (see
// jisToSjis and eucToSjis). `result` must hold 2 * textLength + 2 bytes; only `Euc` can make the
// result longer than textLength + 1 (line ends become CR LF).
//
// Returns false when UTF-8 text held a character that code page 932 cannot hold, so that text
// was dropped or altered (see utf8ToSjis); true otherwise.
bool decodeLine(std::uint8_t* result, std::uint32_t& resultLength, const std::uint8_t* text,
                std::uint32_t textLength, TextEncoding encoding, TextCharset charset);

// Decodes the first MIME encoded word, "=?" charset "?" Q-or-B "?" text "?=", of one line of
// `count` bytes and copies the rest of the line unchanged.
//
// `line` must be followed by a NUL byte (line[count] == 0), as readLine leaves it; the line is
// searched as a NUL-terminated string, so a NUL byte inside the first `count` bytes ends every
// search there, while copying always covers all `count` bytes. Only the first "=?" of the line is
// examined: when the name after it is not recognised by charsetFromName, when no "?" follows the
// name, or when the two bytes after that "?" are neither "Q?" nor "B?" (in either case), the
// whole line is copied. Otherwise the encoded text ends at the first "?=" after it (copying
// resumes after the marker), else at the first "?" (resumes after it), else two bytes before the
// end of the line, where a CR LF begins (resumes there); an end before the start gives an empty
// text. The text goes through decodeLine with the word's transfer and charset and replaces the
// word; any later word in the line is copied as it stands. The result is the part of the line
// before "=?", the decoded text and the rest of the line.
//
// `result` must hold 2 * count + 2 bytes; without Euc the result is at most `count` bytes.
// Returns what decodeLine returned for the word's text; true when no word was decoded.
bool decodeEncodedWords(std::uint8_t* result, std::uint32_t& resultLength, const std::uint8_t* line,
                        std::uint32_t count);

// Decodes quoted-printable text. '=' takes the two bytes after it, whatever they are, as an
// escape and writes one byte: the low 8 bits of hexValue of those two bytes as a string. Every
// other byte ('_' included) is copied. An escape cut off by the end of the text writes nothing.
// There is no soft line break rule: the caller joins such lines first. `result` must hold
// textLength bytes.
void decodeQuotedPrintable(std::uint8_t* result, std::uint32_t& resultLength,
                           const std::uint8_t* text, std::uint32_t textLength);

// Returns the value of the NUL-terminated `digits` as a hexadecimal number ('0'-'9', 'A'-'F',
// 'a'-'f'); 0 for an empty string. A character that is not a hexadecimal digit counts as the
// digit 0, so "G1" gives 1 and CR LF gives 0. Digits beyond the eighth shift the earlier ones
// out (the value is taken modulo 2^32).
int hexValue(const char* digits);

// Decodes Base64 text in whole quartets with decodeQuartet (common/base64.h); the textLength % 4
// bytes after the last whole quartet (a line's CR LF, say) are ignored, and line-end bytes inside
// a quartet are quartet characters like any other. Each quartet writes three bytes of which
// decodeQuartet's count are kept, so up to two bytes after the result may be overwritten:
// `result` must hold 3 * (textLength / 4) bytes.
void decodeBase64Text(std::uint8_t* result, std::uint32_t& resultLength, const std::uint8_t* text,
                      std::uint32_t textLength);

}  // namespace korvani
