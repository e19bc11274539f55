// Text of today's mail made readable: bytes in a declared (or guessed) charset to UTF-8, RFC 2047
// header words, line ends, and UTF-8 back to code page 932 for a Shift_JIS reader.
//
// Every function takes and returns std types; none fails. Bytes that cannot be read in their
// charset become U+FFFD, so every returned "UTF-8" string is well-formed UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace korvani::mail {

// Converts `bytes` in `charset` (a MIME charset label, any case) to UTF-8.
//
// Every Shift_JIS label (shift_jis, sjis, x-sjis, windows-31j, cp932, ms_kanji, ...) is read as
// code page 932, every ISO-2022-JP label (cp5022x included) and every EUC-JP label as
// japanese_text.h says, all on the code page 932 table so that NEC row 13 and the IBM rows
// survive. UTF-8 and US-ASCII are checked and kept. Any other label goes through GMime's iconv
// layer; an unknown label, or an empty one, is read as raw header text (below).
std::string charsetToUtf8(std::string_view charset, std::string_view bytes);

// Raw 8-bit text with no charset (a header, a name): ISO-2022-JP when it is seven-bit and holds
// a Japanese designation (ESC $ B, ESC $ @, ESC ( I), else UTF-8 when it is well-formed UTF-8,
// else EUC-JP when it is well-formed there and holds no byte of 0x80-0xA0 (code page 932 would
// read it as half-width katakana only), else code page 932 when it is well-formed there and reads
// as no user-defined (private use) character (Latin-1 "Fr\xF6sche" would: 0xF6 0x73 is one),
// else `fallbackCharset` (the part's or the mail's) when it names one other than UTF-8 and
// US-ASCII, else EUC-JP when it is well-formed there, else windows-1252.
std::string rawTextToUtf8(std::string_view bytes, std::string_view fallbackCharset = {});
// The same, saying in `charsetRead` which charset the bytes were read in ("us-ascii", "utf-8",
// "iso-2022-jp", "euc-jp", "cp932", the fallback's name, "windows-1252").
std::string rawTextToUtf8(std::string_view bytes, std::string_view fallbackCharset,
                          std::string& charsetRead);

// The charset uchardet guesses for `bytes`, or "" when it has no guess. Plain ASCII gives "".
std::string guessCharset(std::string_view bytes);

// Decodes a raw header value as a person reads it: folding removed, every RFC 2047 encoded word
// decoded (B and Q), adjacent words of one charset joined at the byte level before conversion
// (so a character split between words, or a word ending in '=' padding, loses nothing), the
// white space between adjacent words dropped, raw 8-bit text read as rawTextToUtf8 does, and
// leading and trailing white space trimmed, and NUL bytes removed. Each run of adjacent words of
// one charset, and each stretch of raw text, is converted on its own: an ISO-2022-JP word may leave
// its two-byte set in force for the next word of the run, and nothing carries past the run.
// Raw 8-bit text is read with `fallbackCharset` as rawTextToUtf8 says.
std::string decodeHeaderText(std::string_view raw, std::string_view fallbackCharset = {});

// How a header text (a file name) was carried: what decodeHeaderText read it as, and its bytes
// in their own charset before they became UTF-8.
struct TextOrigin {
  // "rfc2047:B:shift_jis" (the encoding and charset of its first encoded word), "raw:cp932"
  // (8-bit or ASCII text, in the charset rawTextToUtf8 chose), "rfc2231:iso-2022-jp".
  std::string decoding;
  std::string bytes;  // the payloads of its encoded words, or the raw text, joined
};
std::string decodeHeaderText(std::string_view raw, std::string_view fallbackCharset,
                             TextOrigin& origin);

// Readable text: a leading byte-order mark removed, CR LF and lone CR turned into LF, NUL bytes
// and U+FFFD-free invalid sequences handled by the caller's conversion. Expects UTF-8; works in
// the string it is given, with no second copy.
std::string normalizeText(std::string utf8);

// `text` with A-Z turned into a-z and every other byte kept: charset labels, media types,
// parameter names.
std::string asciiLowercase(std::string_view text);

// Replaces every ill-formed sequence of `bytes` with U+FFFD.
std::string repairUtf8(std::string_view bytes);

// The charset label of a Windows code page, as charsetToUtf8() reads it: "cp932" for 932,
// "utf-8" for 65001, "windows-1252" for 1252, "cp936" and the like for the rest; "" for 0.
std::string codePageCharset(unsigned codePage);

// UTF-16LE to UTF-8, up to the first NUL character: a lone surrogate, and an odd last byte,
// become U+FFFD.
std::string utf16LeToUtf8(std::string_view bytes);

// UTF-8 to code page 932; a character without a code page 932 form becomes 〓 (0x81 0xAC).
std::string utf8ToCp932Lossy(std::string_view utf8);

}  // namespace korvani::mail
