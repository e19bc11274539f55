// Japanese text as mail carries it (ISO-2022-JP, Shift_JIS, EUC-JP) decoded straight to UTF-8.
//
// All three read their two-byte characters on the one code page 932 decoding table
// (common/cp932_table.h): a JIS X 0208 pair is turned into the code page 932 code that Windows
// gives the same row and cell, and that code is looked up. So NEC row 13 (①, ㈱, Ⅰ), the
// NEC-selected IBM rows (髙, 﨑) and, in Shift_JIS, the IBM rows read alike in every encoding, and
// a JIS code that code page 932 has no character for (rows 0x75-0x78 and 0x7D-0x7E, where phones
// put their emoji) has no character in any of them.
//
// Shared rules:
// - Every returned string is well-formed UTF-8. It holds a NUL only where the input held one.
// - A two-byte code without a character, or cut short, becomes exactly one U+FFFD; its second
//   byte never becomes a character of its own. A byte below 0x80 that cannot be the second byte
//   of the code before it is not taken as one: that code is one U+FFFD and the byte is read
//   on its own, so a lone lead byte before a line end keeps the line end.
// - Nothing carries over from one call to the next; each call starts in its initial state.
// None fails; all may run on several threads at once.
#pragma once

#include <string>
#include <string_view>

namespace korvani::mail {

// Code page 932 (Shift_JIS as Windows and phones write it, under any Shift_JIS label).
//
// A lead byte (0x81-0x9F, 0xE0-0xFC) takes the next byte as its trail when that byte is a trail
// byte (0x40-0x7E, 0x80-0xFC) or any byte from 0x80 up; the pair is one character or one U+FFFD.
// A lead byte at the end, or before a byte below 0x80 outside the trail range, is one U+FFFD.
// Other single bytes are their code page 932 characters: ASCII as it is, 0xA1-0xDF half-width
// katakana, and 0x80, 0xA0 and 0xFD-0xFF, which have none, one U+FFFD each.
std::string shiftJisToUtf8(std::string_view bytes);

// EUC-JP, with the rows Windows writes in it (NEC row 13 as 0xAD, the NEC-selected IBM rows as
// 0xF9-0xFC).
//
// Bytes below 0x80 are ASCII. A pair of bytes from 0xA1 to 0xFE is the JIS X 0208 code of the
// same row and cell. 0x8E (single shift 2) followed by 0xA1-0xDF is a half-width katakana.
// 0x8F (single shift 3) introduces a JIS X 0212 code, which the code page 932 table does not
// hold: the three bytes become one U+FFFD. Any lead byte takes the following bytes from 0x80 up
// that its code needs (0x8F two, the others one) even when they are out of range, and then
// gives one U+FFFD; a byte below 0x80 ends the code early and is read on its own. A byte from
// 0x80 up that starts no code (0x80-0x8D, 0x90-0xA0, 0xFF) is one U+FFFD.
std::string eucJpToUtf8(std::string_view bytes);

// ISO-2022-JP (RFC 1468) as Japanese mailers and Windows write it.
//
// Designations, each removed from the text:
//   ESC ( B, ESC ( J    ASCII (JIS X 0201 Roman read as ASCII, as mailers do: its yen sign and
//                       overline would turn every backslash and tilde of a path or a URL)
//   ESC ( I             half-width katakana: 0x21-0x5F are U+FF61-U+FF9F
//   ESC $ @, ESC $ B,   JIS X 0208: pairs of 0x21-0x7E, on the code page 932 table (NEC row 13
//   ESC $ ( @, ESC $ ( B  and the NEC-selected IBM rows included, as Windows writes them)
//   ESC $ ( D           JIS X 0212: each pair one U+FFFD (the table does not hold it)
// SO (0x0E) shifts to half-width katakana and SI (0x0F) back to the designated set, as
// Windows writes katakana after ESC ( J; a designation also ends the shift.
//
// Any other complete escape sequence (ESC, up to three bytes of 0x20-0x2F, a final byte of
// 0x30-0x7E) is removed: one that designates a two-byte set for G0 (ESC $ A, ESC $ ( C, ...)
// makes every following pair one U+FFFD, one that designates another one-byte set for G0
// (ESC ( F) switches to ASCII, and any other (announcers, G1-G3, single shifts) changes nothing.
// An ESC that starts no complete sequence (cut off by the end, or followed by a control or
// 8-bit byte) is one U+FFFD and the bytes after it are read as usual.
//
// In a two-byte set, a byte of 0x21-0x7E followed by one more is a pair; one followed by
// anything else (a control, a space, ESC, an 8-bit byte, the end) is one U+FFFD. Controls,
// space and DEL are kept in every set; in the katakana set 0x60-0x7E are one U+FFFD each. The
// set in force carries over line ends: text wrapped after it was encoded goes on in kanji on
// the next line. Bytes from 0x80 up, which ISO-2022-JP never holds, are read as code page 932
// wherever they stand (shiftJisToUtf8's rules), since text labelled ISO-2022-JP is at times
// Shift_JIS, and half-width katakana are at times sent as 8-bit bytes.
std::string iso2022JpToUtf8(std::string_view bytes);

// True when `bytes` holds an ESC sequence that starts Japanese in ISO-2022-JP (ESC $ B,
// ESC $ @ or ESC ( I): seven-bit text that is ISO-2022-JP, not ASCII.
bool hasIso2022JpDesignation(std::string_view bytes);

// True when every byte from 0x80 up in `bytes` is in a lead byte and trail byte pair of code
// page 932, or is one of its one-byte half-width katakana. Whether a pair is assigned is not
// checked.
bool isWellFormedShiftJis(std::string_view bytes);

// True when every byte from 0x80 up in `bytes` is in a code of EUC-JP: a pair of 0xA1-0xFE,
// 0x8E with one byte of 0xA1-0xFE, or 0x8F with two.
bool isWellFormedEucJp(std::string_view bytes);

}  // namespace korvani::mail
