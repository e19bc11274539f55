#include "textdecode/transfer_decoding.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace korvani {
namespace {

using namespace std::string_literals;

// Exactly sized buffers, so that a sanitizer build catches any access outside them; the line is
// followed by the NUL that readLine leaves.
// `kept`, when given, receives what the decoder says of the characters.
std::string words(const std::string& line, bool* kept = nullptr) {
  std::vector<std::uint8_t> buffer(line.begin(), line.end());
  buffer.push_back(0);
  std::vector<std::uint8_t> result(2 * line.size() + 2);
  std::uint32_t length = 0xDEADBEEF;
  const bool all = decodeEncodedWords(result.data(), length, buffer.data(),
                                      static_cast<std::uint32_t>(line.size()));
  if (kept != nullptr) *kept = all;
  EXPECT_LE(length, result.size());
  return std::string(result.begin(), result.begin() + std::min<std::size_t>(length, result.size()));
}

std::string line(const std::string& text, TextEncoding encoding, TextCharset charset,
                 bool* kept = nullptr) {
  const std::vector<std::uint8_t> buffer(text.begin(), text.end());
  const std::size_t room = 2 * std::min<std::size_t>(text.size(), kLineBufferSize) + 2;
  std::vector<std::uint8_t> result(room);
  std::uint32_t length = 0xDEADBEEF;
  const bool all = decodeLine(result.data(), length, buffer.data(),
                              static_cast<std::uint32_t>(text.size()), encoding, charset);
  if (kept != nullptr) *kept = all;
  EXPECT_LE(length, room);
  return std::string(result.begin(), result.begin() + std::min<std::size_t>(length, room));
}

using Decoder = void (*)(std::uint8_t*, std::uint32_t&, const std::uint8_t*, std::uint32_t);

std::string run(Decoder decode, const std::string& text) {
  const std::vector<std::uint8_t> buffer(text.begin(), text.end());
  std::vector<std::uint8_t> result(text.size());
  std::uint32_t length = 0xDEADBEEF;
  decode(result.data(), length, buffer.data(), static_cast<std::uint32_t>(text.size()));
  EXPECT_LE(length, result.size());
  return std::string(result.begin(), result.begin() + std::min<std::size_t>(length, result.size()));
}

TEST(DecodeEncodedWordsTest, DecodesTheFirstRecognisedWord) {
  const std::pair<std::string, std::string> cases[] = {
      {"Subject: Hello\r\n", "Subject: Hello\r\n"},
      {"Subject: =?ISO-2022-JP?B?GyRCJCIbKEI=?=\r\n", "Subject: \x82\xA0\r\n"},
      {"Subject: =?iso-2022-jp?b?GyRCJCIbKEI=?=\r\n", "Subject: \x82\xA0\r\n"},
      {"=?iso-2022-jp?Q?=1B$B$=22=1B(B?=", "\x82\xA0"},
      {"=?ISO-2022-JP-2?B?GyRCJCIbKEI=?=", "\x82\xA0"},  // names match by their beginning
      {"=?jis?B?GyRCJCIbKEI=?=", "\x82\xA0"},
      {"=?utf-8?Q?a_b?=", "a_b"},  // '_' stays '_'
      {"=?UTF-8?B?44GC?= x", "\x82\xA0 x"},
      {"=?x-jis?Q?=82=A0?=", "\x82\xA0"},
      {"=?Shift_JIS?B?gqA=?=", "\x82\xA0"},
      {"=?x-euc-jp?B?pKI=?=\r\n", "\x82\xA0\r\n"},
      {"=?euc_jp?q?=A4=A2?=", "\x82\xA0"},
      {"=?x-euc-jp?Q?a=0Ab?=", "a\r\nb"},  // EUC line ends grow
      {"=?utf-8?B?QUJD?= =?utf-8?B?REVG?=\r\n", "ABC =?utf-8?B?REVG?=\r\n"},
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(words(input), expected) << input;
}

TEST(DecodeEncodedWordsTest, UnrecognisedWordsLeaveTheLineUnchanged) {
  const std::string inputs[] = {
      "=?EUC-JP?B?pKI=?=\r\n",      // hyphenated EUC-JP is not a known name
      "a=?b =?utf-8?B?QUJD?=\r\n",  // only the first "=?" is examined
      "=?utf-8?X?QUJD?=\r\n",       // neither Q nor B
      "=?utf-8\r\n",                // no '?' after the name
      "=?utf-8?B",                  // transfer letter without its '?'
      "ab\0=?utf-8?B?QUJD?=\r\n"s,  // the search stops at a NUL
      ""s,
  };
  for (const auto& input : inputs) {
    EXPECT_EQ(words(input), input);
  }
}

TEST(DecodeEncodedWordsTest, MissingEndMarkers) {
  const std::pair<std::string, std::string> cases[] = {
      {"=?utf-8?B?QUJD\r\n", "ABC\r\n"},  // ends where the CR LF begins
      {"=?utf-8?B?QUJD?x\r\n", "ABCx\r\n"},
      {"=?utf-8?B?QUJD\n", "D\n"},     // QUJ is no whole quartet; "D\n" is the rest
      {"=?utf-8?B?\n", "?\n"},         // end before start: empty text
      {"x =?utf-8?Q?a?b?=", "x a?b"},  // '?=' is looked for before a lone '?'
      // After a NUL nothing is found, but all bytes up to the line's end are used.
      {"=?utf-8?B?QU\0JD?=\r\n"s, "AE\t\r\n"},
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(words(input), expected) << input;
}

TEST(DecodeLineTest, TransferThenCharset) {
  struct Case {
    std::string text;
    TextEncoding encoding;
    TextCharset charset;
    std::string expected;
  };
  const Case cases[] = {
      {"abc\r\n", TextEncoding::Auto, TextCharset::Auto, "abc\r\n"},
      {"QUJD\r\n", TextEncoding::Base64, TextCharset::Sjis, "ABC"},
      {"=1B$B$\"=1B(B\r\n", TextEncoding::QuotedPrintable, TextCharset::Jis, "\x82\xA0\r\n"},
      {"44GC", TextEncoding::Base64, TextCharset::Utf8, "\x82\xA0"},
      {"\xA4\xA2\n", TextEncoding::Auto, TextCharset::Euc, "\x82\xA0\r\n"},
      {"a=3Db", TextEncoding::QuotedPrintable, TextCharset::Auto, "a=b"},
      {"pA==", TextEncoding::Base64, TextCharset::Euc, "\x82\xFE"},  // lone lead pairs with 0
      {"GyRCJA==", TextEncoding::Base64, TextCharset::Jis, "\0\0"s},
      {"a=3Db", static_cast<TextEncoding>(7), static_cast<TextCharset>(9), "a=3Db"},
  };
  for (const auto& c : cases) EXPECT_EQ(line(c.text, c.encoding, c.charset), c.expected) << c.text;
}

// Only UTF-8 text can hold what Shift_JIS cannot; the other character sets never report a loss.
TEST(DecodeLineTest, SaysWhenUtf8TextLostCharacters) {
  const std::string emoji = "\xF0\x9F\x98\x80";
  bool kept = false;
  line("=E3=81=82\r\n", TextEncoding::QuotedPrintable, TextCharset::Utf8, &kept);
  EXPECT_TRUE(kept);
  line("8J+YgA==", TextEncoding::Base64, TextCharset::Utf8, &kept);
  EXPECT_FALSE(kept);
  for (TextCharset passedOn : {TextCharset::Sjis, TextCharset::Auto, TextCharset::Euc}) {
    line(emoji, TextEncoding::Auto, passedOn, &kept);
    EXPECT_TRUE(kept);
  }
  // In a header, only the word that is decoded counts.
  const std::pair<std::string, bool> headers[] = {
      {"Subject: =?UTF-8?B?8J+YgA==?=\r\n", false},
      {"Subject: =?UTF-8?B?44GC?= =?UTF-8?B?8J+YgA==?=\r\n", true},  // the second stays encoded
      {"Subject: " + emoji + "\r\n", true},                          // no word: copied
  };
  for (const auto& [header, expected] : headers) {
    words(header, &kept);
    EXPECT_EQ(kept, expected) << header;
  }
}

TEST(DecodeLineTest, LongestLineAndEucGrowthStayInBounds) {
  const std::string lineFeeds(kLineBufferSize, '\n');
  std::string crLfs;
  for (std::uint32_t i = 0; i < kLineBufferSize; ++i) crLfs += "\r\n";
  EXPECT_EQ(line(lineFeeds, TextEncoding::Auto, TextCharset::Euc), crLfs);
  EXPECT_EQ(line(lineFeeds, TextEncoding::QuotedPrintable, TextCharset::Euc), crLfs);
  // Longer text is cut to the line buffer's size.
  EXPECT_EQ(line(std::string(5000, 'x'), TextEncoding::Auto, TextCharset::Auto),
            std::string(kLineBufferSize, 'x'));
}

TEST(DecodeQuotedPrintableTest, EscapesAndLiterals) {
  const std::pair<std::string, std::string> cases[] = {
      {"=41=42C\r\n", "ABC\r\n"},
      {"a=3db", "a=b"},
      {"a=3Db", "a=b"},
      {"abc=", "abc"},
      {"abc=4", "abc"},
      {"", ""},
      {"a_b", "a_b"},
      {"=G1", "\x01"},
      {"x=\r\ny", "x\0y"s},
      {"==41",
       "\x04"
       "1"},
      {"=\0A"s, "\0"s},
      {"=A\0"s, "\x0A"},
      {"=FF=ff", "\xFF\xFF"},
  };
  for (const auto& [input, expected] : cases) {
    EXPECT_EQ(run(decodeQuotedPrintable, input), expected) << input;
  }
  // Literal runs are copied in blocks; an escape or a cut-off escape may sit at any offset.
  for (std::size_t before = 0; before < 20; ++before) {
    const std::string literal(before, 'x');
    EXPECT_EQ(run(decodeQuotedPrintable, literal + "=41x" + literal), literal + "Ax" + literal);
    EXPECT_EQ(run(decodeQuotedPrintable, literal + "=4"), literal);
  }
}

// Every escape writes the byte its two characters give as hexadecimal digits, worked out here
// independently: a non-digit counts as 0, and a NUL ends the pair early (its digit is then
// missing, not 0: "=4" NUL gives 0x04).
TEST(DecodeQuotedPrintableTest, EveryEscapeGivesTheByteOfItsTwoDigits) {
  const auto digit = [](int c) {
    const char* const digits = "0123456789abcdef";
    const char* found = c == 0 ? nullptr : std::strchr(digits, std::tolower(c));
    return found ? static_cast<int>(found - digits) : 0;
  };
  for (int first = 0; first < 256; ++first) {
    for (int second = 0; second < 256; ++second) {
      const std::string escape = "="s + static_cast<char>(first) + static_cast<char>(second);
      const int expected = first == 0    ? 0
                           : second == 0 ? digit(first)
                                         : digit(first) * 16 + digit(second);
      ASSERT_EQ(run(decodeQuotedPrintable, escape), std::string(1, static_cast<char>(expected)))
          << first << ' ' << second;
    }
  }
}

TEST(HexValueTest, ReadsHexadecimalDigits) {
  const std::pair<const char*, int> cases[] = {
      {"3d", 61},   {"3D", 61}, {"A", 10},   {"", 0},          {"ff", 255},
      {"100", 256}, {"G1", 1},  {"\r\n", 0}, {"FFFFFFFF", -1}, {"123456789", 0x23456789},
  };
  for (const auto& [digits, value] : cases) EXPECT_EQ(hexValue(digits), value) << digits;
}

TEST(DecodeBase64TextTest, WholeQuartetsOnly) {
  struct Case {
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {"QUJDREU", "ABC"},     {"QUI=", "AB"}, {"QUJD\r\n", "ABC"}, {"", ""},
      {"QQ==QUJD", "AABC"},    // a padded quartet's spare bytes are overwritten by the next
      {"QU\r\nJD", "AE\x14"},  // line-end bytes inside a quartet count as characters
  };
  for (const auto& c : cases) {
    const std::vector<std::uint8_t> text(c.text.begin(), c.text.end());
    std::vector<std::uint8_t> result(3 * (text.size() / 4));
    std::uint32_t length = 0xDEADBEEF;
    decodeBase64Text(result.data(), length, text.data(), static_cast<std::uint32_t>(text.size()));
    EXPECT_EQ(std::string(result.begin(), result.begin() + length), c.expected) << c.text;
  }
}

// Random lines built from the pieces of encoded words stay inside the stated result sizes and
// never read outside the line (checked by a sanitizer build).
TEST(DecodeEncodedWordsTest, AnyLineStaysInBounds) {
  const std::string pieces[] = {"=?",   "?=",     "?",   "=",  "utf-8", "x-euc-jp",  "iso-2022-jp",
                                "B?",   "q?",     "pKI", "\n", "\r\n",  "\r",        "\x8E",
                                "\xA4", "\x1B$B", "$",   "A",  "=0A",   "="s + '\0', "\xE3\x81"};
  std::mt19937 random(11);
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const int count = static_cast<int>(random() % 10);
    for (int i = 0; i < count; ++i) text += pieces[random() % std::size(pieces)];
    words(text);
    for (int encoding = 0; encoding < 3; ++encoding) {
      for (int charset = 0; charset < 5; ++charset) {
        line(text, static_cast<TextEncoding>(encoding), static_cast<TextCharset>(charset));
      }
    }
  }
}

}  // namespace
}  // namespace korvani
