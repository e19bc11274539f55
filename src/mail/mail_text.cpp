#include "mail/mail_text.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>

#include "common/cp932_text.h"
#include "mail/c_handles.h"
#include "mail/gmime_shim.h"
#include "mail/japanese_text.h"

namespace korvani::mail {
namespace {

enum class Family { Cp932, Iso2022Jp, EucJp, Utf8, Other };

struct CharsetLabel {
  std::string_view label;
  Family family;
};

// Labels mailers put on Japanese text. Shift_JIS is code page 932 under every name: mail written
// on Windows and on phones uses its NEC and IBM rows whatever the label says.
constexpr std::array kLabels{
    CharsetLabel{"shift_jis", Family::Cp932},
    CharsetLabel{"shift-jis", Family::Cp932},
    CharsetLabel{"sjis", Family::Cp932},
    CharsetLabel{"x-sjis", Family::Cp932},
    CharsetLabel{"windows-31j", Family::Cp932},
    CharsetLabel{"cp932", Family::Cp932},
    CharsetLabel{"ms932", Family::Cp932},
    CharsetLabel{"ms_kanji", Family::Cp932},
    CharsetLabel{"csshiftjis", Family::Cp932},
    CharsetLabel{"x-ms-cp932", Family::Cp932},
    CharsetLabel{"iso-2022-jp", Family::Iso2022Jp},
    CharsetLabel{"csiso2022jp", Family::Iso2022Jp},
    CharsetLabel{"iso-2022-jp-1", Family::Iso2022Jp},
    CharsetLabel{"iso-2022-jp-ms", Family::Iso2022Jp},
    CharsetLabel{"cp50220", Family::Iso2022Jp},
    CharsetLabel{"cp50221", Family::Iso2022Jp},
    CharsetLabel{"cp50222", Family::Iso2022Jp},
    CharsetLabel{"euc-jp", Family::EucJp},
    CharsetLabel{"x-euc-jp", Family::EucJp},
    CharsetLabel{"eucjp", Family::EucJp},
    CharsetLabel{"euc-jp-ms", Family::EucJp},
    CharsetLabel{"cp51932", Family::EucJp},
    CharsetLabel{"utf-8", Family::Utf8},
    CharsetLabel{"utf8", Family::Utf8},
    CharsetLabel{"us-ascii", Family::Utf8},
    CharsetLabel{"ascii", Family::Utf8},
};

Family familyOf(std::string_view charset) {
  const std::string lower = asciiLowercase(charset);
  for (const CharsetLabel& row : kLabels) {
    if (row.label == lower) return row.family;
  }
  return Family::Other;
}

// Any other charset, through GMime's iconv layer (which knows the charset aliases mailers use).
// A byte iconv cannot read becomes U+FFFD and the conversion goes on after it.
bool iconvToUtf8(std::string_view charset, std::string_view bytes, std::string& out) {
  const std::string name(charset);
  iconv_t converter = g_mime_iconv_open("UTF-8", name.c_str());
  // iconv reports failure with the handle (iconv_t)-1.
  // NOLINTNEXTLINE(performance-no-int-to-ptr)
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  std::array<char, 4096> chunk;
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  out.reserve(out.size() + bytes.size() + bytes.size() / 8);  // most text grows little
  while (inLeft > 0) {
    char* to = chunk.data();
    std::size_t toLeft = chunk.size();
    const std::size_t result = iconv(converter, &in, &inLeft, &to, &toLeft);
    out.append(chunk.data(), chunk.size() - toLeft);
    if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
      out += "\xEF\xBF\xBD";
      ++in;
      --inLeft;
    }
  }
  char* to = chunk.data();
  std::size_t toLeft = chunk.size();
  iconv(converter, nullptr, nullptr, &to, &toLeft);
  out.append(chunk.data(), chunk.size() - toLeft);
  g_mime_iconv_close(converter);
  return true;
}

bool isLinearSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

struct EncodedWord {
  std::string charset;
  char encoding = 'B';  // 'B' or 'Q', as written
  std::string bytes;    // the decoded payload
  std::size_t end = 0;  // just past the closing "?="
};

// Where the token that starts at `from` ends: at its first '?' or white space, or at the end of
// `text`.
std::size_t tokenEnd(std::string_view text, std::size_t from) {
  return std::min(text.find_first_of("? \t\r\n", from), text.size());
}

// Reads "=?charset[*lang]?B|Q?payload?=" at `at`. As RFC 2047 has it, neither the charset nor
// the payload holds a '?' or white space; so a word is read up to the first '?' after its payload
// and no further. Searching for the closing "?=" instead would rescan the rest of the header for
// every "=?" that never closes, and would let one such opening swallow the valid words after it.
// Each search stops at the next '?' or white space, which bounds the work of all calls on one
// header by twice its length.
bool readEncodedWord(std::string_view text, std::size_t at, EncodedWord& word) {
  if (text.compare(at, 2, "=?") != 0) return false;
  const std::size_t charsetEnd = tokenEnd(text, at + 2);
  if (charsetEnd + 2 >= text.size() || text[charsetEnd] != '?' || text[charsetEnd + 2] != '?') {
    return false;
  }
  const char encoding = text[charsetEnd + 1];
  const std::size_t payloadStart = charsetEnd + 3;
  const std::size_t payloadEnd = tokenEnd(text, payloadStart);
  if (payloadEnd + 1 >= text.size() || text[payloadEnd] != '?' || text[payloadEnd + 1] != '=') {
    return false;
  }
  const std::string_view payload = text.substr(payloadStart, payloadEnd - payloadStart);
  std::string_view charset = text.substr(at + 2, charsetEnd - at - 2);
  if (charset.empty()) return false;
  charset = charset.substr(0, charset.find('*'));  // RFC 2231 language suffix
  word.charset = std::string(charset);
  word.encoding = static_cast<char>(encoding & ~0x20);
  word.bytes.clear();
  if (encoding == 'B' || encoding == 'b') {
    word.bytes = shim::decodeBase64(payload);
  } else if (encoding == 'Q' || encoding == 'q') {
    for (std::size_t i = 0; i < payload.size(); ++i) {
      if (payload[i] == '_') {
        word.bytes.push_back(' ');
      } else if (payload[i] == '=' && i + 2 < payload.size() && hexValue(payload[i + 1]) >= 0 &&
                 hexValue(payload[i + 2]) >= 0) {
        word.bytes.push_back(
            static_cast<char>(hexValue(payload[i + 1]) * 16 + hexValue(payload[i + 2])));
        i += 2;
      } else {
        word.bytes.push_back(payload[i]);
      }
    }
  } else {
    return false;
  }
  word.end = payloadEnd + 2;
  return true;
}

}  // namespace

std::string repairUtf8(std::string_view bytes) {
  if (isValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() + 16);
  std::size_t at = 0;
  while (at < bytes.size()) {
    const auto lead = static_cast<std::uint8_t>(bytes[at]);
    const std::size_t length = lead < 0x80   ? 1
                               : lead < 0xC2 ? 0
                               : lead < 0xE0 ? 2
                               : lead < 0xF0 ? 3
                               : lead < 0xF5 ? 4
                                             : 0;
    if (length > 0 && at + length <= bytes.size() && isValidUtf8(bytes.substr(at, length))) {
      out.append(bytes.substr(at, length));
      at += length;
    } else {
      out += "\xEF\xBF\xBD";
      ++at;
    }
  }
  return out;
}

namespace {

// Whether `utf8` holds U+FFFD or a private use character (U+E000-U+F8FF): what code page 932 makes
// of bytes that were never Shift_JIS.
bool readsAsForeign(std::string_view utf8) {
  for (std::size_t at = 0; at + 2 < utf8.size(); ++at) {
    const auto lead = static_cast<std::uint8_t>(utf8[at]);
    const auto second = static_cast<std::uint8_t>(utf8[at + 1]);
    if (lead == 0xEE || (lead == 0xEF && second < 0xA4)) return true;  // U+E000-U+F8FF
    if (utf8.compare(at, 3, "\xEF\xBF\xBD") == 0) return true;
  }
  return false;
}

}  // namespace

std::string rawTextToUtf8(std::string_view bytes, std::string_view fallbackCharset) {
  std::string charsetRead;
  return rawTextToUtf8(bytes, fallbackCharset, charsetRead);
}

std::string rawTextToUtf8(std::string_view bytes, std::string_view fallbackCharset,
                          std::string& charsetRead) {
  if (isValidUtf8(bytes)) {
    if (hasIso2022JpDesignation(bytes)) {
      charsetRead = "iso-2022-jp";
      return iso2022JpToUtf8(bytes);
    }
    const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                   [](char c) { return static_cast<std::uint8_t>(c) < 0x80; });
    charsetRead = ascii ? "us-ascii" : "utf-8";
    return std::string(bytes);
  }
  // Bytes that are all 0xA1 and up read in code page 932 as half-width katakana only, which
  // names and headers seldom are; in EUC-JP the same bytes are the kana and kanji they usually
  // are ("ソース" is A5BD A1BC A5B9, "､ｽ｡ｼ･ｹ" in code page 932).
  const bool onlyUpperHalf = std::none_of(bytes.begin(), bytes.end(), [](char c) {
    const auto byte = static_cast<std::uint8_t>(c);
    return byte >= 0x80 && byte < 0xA1;
  });
  charsetRead = "euc-jp";
  if (onlyUpperHalf && isWellFormedEucJp(bytes)) return eucJpToUtf8(bytes);
  if (isWellFormedShiftJis(bytes)) {
    std::string text = shiftJisToUtf8(bytes);
    charsetRead = "cp932";
    if (!readsAsForeign(text)) return text;
  }
  if (!fallbackCharset.empty() && familyOf(fallbackCharset) != Family::Utf8) {
    charsetRead = asciiLowercase(fallbackCharset);
    return charsetToUtf8(fallbackCharset, bytes);
  }
  charsetRead = "euc-jp";
  if (isWellFormedEucJp(bytes)) return eucJpToUtf8(bytes);
  charsetRead = "windows-1252";
  std::string text;
  if (iconvToUtf8("windows-1252", bytes, text)) return repairUtf8(text);
  charsetRead = "utf-8";
  return repairUtf8(bytes);
}

std::string charsetToUtf8(std::string_view charset, std::string_view bytes) {
  switch (familyOf(charset)) {
    case Family::Cp932:
      return shiftJisToUtf8(bytes);
    case Family::Iso2022Jp:
      return iso2022JpToUtf8(bytes);
    case Family::EucJp:
      return eucJpToUtf8(bytes);
    case Family::Utf8:
      return repairUtf8(bytes);
    case Family::Other:
      break;
  }
  std::string out;
  if (!charset.empty() && iconvToUtf8(charset, bytes, out)) {
    if (isValidUtf8(out)) return out;  // no copy of a large text that is whole
    return repairUtf8(out);
  }
  return rawTextToUtf8(bytes);
}

std::string guessCharset(std::string_view bytes) {
  if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; }) &&
      bytes.find('\x1b') == std::string_view::npos) {
    return {};
  }
  DetectorPtr detector(uchardet_new());
  if (!detector) return {};
  if (uchardet_handle_data(detector.get(), bytes.data(), bytes.size()) != 0) return {};
  uchardet_data_end(detector.get());
  const char* charset = uchardet_get_charset(detector.get());
  return charset ? std::string(charset) : std::string();
}

std::string decodeHeaderText(std::string_view raw, std::string_view fallbackCharset) {
  TextOrigin ignored;
  return decodeHeaderText(raw, fallbackCharset, ignored);
}

std::string decodeHeaderText(std::string_view raw, std::string_view fallbackCharset,
                             TextOrigin& origin) {
  origin = {};
  std::string out;
  std::string pendingRaw;      // raw 8-bit text not yet converted
  std::string pendingCharset;  // the charset of the run of words in pendingBytes
  std::string pendingBytes;
  auto flushWords = [&] {
    if (!pendingCharset.empty()) out += charsetToUtf8(pendingCharset, pendingBytes);
    pendingCharset.clear();
    pendingBytes.clear();
  };
  auto flushRaw = [&] {
    std::string charsetRead;
    out += rawTextToUtf8(pendingRaw, fallbackCharset, charsetRead);
    // Text around encoded words does not change how the name was carried.
    if (origin.decoding.rfind("rfc2047:", 0) != 0) {
      if (origin.decoding.empty() || charsetRead != "us-ascii") {
        origin.decoding = "raw:" + charsetRead;
      }
      origin.bytes += pendingRaw;
    }
    pendingRaw.clear();
  };
  std::size_t at = 0;
  bool lastWasWord = false;
  while (at < raw.size()) {
    EncodedWord word;
    if (raw[at] == '=' && readEncodedWord(raw, at, word)) {
      // The white space between two encoded words is not part of the text (RFC 2047, 6.2).
      if (lastWasWord) {
        while (!pendingRaw.empty() && isLinearSpace(pendingRaw.back())) pendingRaw.pop_back();
      }
      if (!pendingRaw.empty()) {
        flushWords();
        flushRaw();
      }
      if (asciiLowercase(word.charset) != asciiLowercase(pendingCharset)) flushWords();
      if (origin.decoding.rfind("rfc2047:", 0) != 0) {
        origin.decoding =
            "rfc2047:" + std::string(1, word.encoding) + ":" + asciiLowercase(word.charset);
        origin.bytes.clear();
      }
      origin.bytes += word.bytes;
      pendingCharset = word.charset;
      pendingBytes += word.bytes;
      at = word.end;
      lastWasWord = true;
      continue;
    }
    if (raw[at] == '\r' || raw[at] == '\n') {  // unfolding
      ++at;
      continue;
    }
    if (lastWasWord && !isLinearSpace(raw[at])) lastWasWord = false;
    pendingRaw.push_back(raw[at] == '\t' ? ' ' : raw[at]);
    ++at;
  }
  if (lastWasWord) pendingRaw.clear();  // only the space after the last word: trimmed anyway
  flushWords();
  flushRaw();
  // A header is one line of text; a NUL (sent as =00 or raw) only cuts it short downstream.
  out.erase(std::remove(out.begin(), out.end(), '\0'), out.end());
  const std::size_t first = out.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const std::size_t last = out.find_last_not_of(" \t");
  return out.substr(first, last - first + 1);
}

std::string normalizeText(std::string utf8) {
  const std::size_t start = utf8.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  std::size_t out = 0;  // the text is written over itself: it never grows
  for (std::size_t at = start; at < utf8.size(); ++at) {
    const char c = utf8[at];
    if (c == '\r') {
      utf8[out++] = '\n';
      if (at + 1 < utf8.size() && utf8[at + 1] == '\n') ++at;
    } else if (c != '\0') {
      utf8[out++] = c;
    }
  }
  utf8.resize(out);
  return utf8;
}

std::string utf8ToCp932Lossy(std::string_view utf8) {
  std::string out;
  if (utf8ToCp932(utf8, out)) return out;
  out.clear();
  const std::string text = repairUtf8(utf8);
  std::string one;
  for (std::size_t at = 0; at < text.size();) {
    const auto lead = static_cast<std::uint8_t>(text[at]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (utf8ToCp932(std::string_view(text).substr(at, length), one)) {
      out += one;
    } else {
      out += "\x81\xAC";  // 〓, the geta mark
    }
    at += length;
  }
  return out;
}

std::string asciiLowercase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::string codePageCharset(unsigned codePage) {
  struct Label {
    unsigned codePage;
    const char* charset;
  };
  // The code pages whose iconv names are not "cp" and the number.
  static constexpr std::array kLabels{
      Label{932, "cp932"},         Label{65001, "utf-8"},       Label{20127, "us-ascii"},
      Label{50220, "iso-2022-jp"}, Label{50221, "iso-2022-jp"}, Label{50222, "iso-2022-jp"},
      Label{51932, "euc-jp"},      Label{20932, "euc-jp"},      Label{1200, "utf-16le"},
      Label{20866, "koi8-r"},      Label{21866, "koi8-u"},      Label{54936, "gb18030"},
  };
  if (codePage == 0) return {};
  for (const Label& label : kLabels) {
    if (label.codePage == codePage) return label.charset;
  }
  if (codePage >= 1250 && codePage <= 1258) return "windows-" + std::to_string(codePage);
  if (codePage >= 28591 && codePage <= 28606) return "iso-8859-" + std::to_string(codePage - 28590);
  return "cp" + std::to_string(codePage);
}

std::string utf16LeToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  const auto unit = [&bytes](std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at]) |
                                      static_cast<std::uint8_t>(bytes[at + 1]) << 8);
  };
  constexpr std::uint32_t kReplacement = 0xFFFD;
  std::size_t at = 0;
  for (; at + 1 < bytes.size(); at += 2) {
    std::uint32_t character = unit(at);
    if (character == 0) return out;
    if (character >= 0xD800 && character <= 0xDBFF && at + 3 < bytes.size() &&
        unit(at + 2) >= 0xDC00 && unit(at + 2) <= 0xDFFF) {
      character = 0x10000 + ((character - 0xD800) << 10) + (unit(at + 2) - 0xDC00);
      at += 2;
    } else if (character >= 0xD800 && character <= 0xDFFF) {
      character = kReplacement;
    }
    if (character < 0x10000) {
      appendUtf8(out, character);
    } else {
      out += static_cast<char>(0xF0 | character >> 18);
      out += static_cast<char>(0x80 | (character >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (character >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (character & 0x3F));
    }
  }
  if (at < bytes.size()) appendUtf8(out, kReplacement);
  return out;
}

}  // namespace korvani::mail
