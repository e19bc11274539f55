// Code page 932 (Windows Shift_JIS) as lookup tables, to and from 16-bit wide characters.
//
// The text decoder writes its output in code page 932 and needs, for every UTF-16 code unit,
// the one or two bytes of its multibyte form or the knowledge that it has none. The table is
// made when the program is built, from the build machine's C library "CP932" converter (iconv;
// cp932_table_generator.cpp), and is constant data of the program: converting a character
// costs one array access, nothing is made at start-up, and no process-wide locale is consulted
// or changed.
#pragma once

#include <cstdint>

namespace korvani {

// Number of entries: one per 16-bit wide character.
inline constexpr std::uint32_t kCp932TableSize = 65536;

// Entry value of a character that has no code page 932 form (0xFFFF is no Shift_JIS code).
inline constexpr std::uint16_t kCp932NoForm = 0xFFFF;

// Returns the table of kCp932TableSize entries, indexed by the wide character. An entry below
// 0x100 is a one-byte form, the entry itself: U+0000 to U+007F are their own forms (code page
// 932 keeps ASCII as it is, U+0000 giving the byte 0), and the half-width katakana and a few
// others have one-byte forms too. Any other entry except kCp932NoForm is a two-byte form, lead
// byte = entry >> 8 (from 0x80 up), trail byte = entry & 0xFF. Surrogate code units (U+D800 to
// U+DFFF) have no form.
//
// The table is constant and may be read from any thread. When the build machine's C library
// offered no "CP932" converter the table holds only U+0000 to U+007F; every other character then
// has no form.
const std::uint16_t* cp932Table();

// Returns the decoding table of kCp932TableSize entries, indexed by code: a one-byte code, or
// lead byte * 256 + trail byte. An entry is the 16-bit character of that code, or kCp932NoForm
// for a code that is not assigned (a lead byte alone, a lead byte with a trail below 0x40, an
// unassigned pair). Codes 0x00 to 0x7F are their own characters. Every code of a character
// appears here, including those the encoding table does not choose (the NEC-selected IBM
// extensions besides the IBM ones), and the same generator makes both tables.
const std::uint16_t* cp932DecodeTable();

}  // namespace korvani
