// Japanese text decoded straight to UTF-8: every code of the three encodings against the C
// library's converters and against each other, and broken input of every shape.
#include "mail/japanese_text.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>

#include "common/cp932_text.h"

namespace korvani::mail {
namespace {

const std::string kReplacement = "\uFFFD";

// The C library's converter from `charset` to UTF-8, as an independent reference.
class Reference {
 public:
  explicit Reference(const char* charset) : converter_(::iconv_open("UTF-8", charset)) {}
  ~Reference() {
    if (valid()) ::iconv_close(converter_);
  }
  Reference(const Reference&) = delete;
  Reference& operator=(const Reference&) = delete;

  // iconv_open reports failure with the handle (iconv_t)-1.
  // NOLINTNEXTLINE(performance-no-int-to-ptr)
  bool valid() const { return converter_ != reinterpret_cast<iconv_t>(-1); }

  // The UTF-8 of `bytes`, or "" when the converter does not read all of it.
  std::string convert(std::string bytes) const {
    char output[16];
    char* in = bytes.data();
    char* out = output;
    std::size_t inLeft = bytes.size();
    std::size_t outLeft = sizeof output;
    ::iconv(converter_, nullptr, nullptr, nullptr, nullptr);
    if (::iconv(converter_, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1) ||
        inLeft != 0) {
      return {};
    }
    return std::string(output, sizeof output - outLeft);
  }

 private:
  iconv_t converter_;
};

std::string bytes(std::initializer_list<int> values) {
  std::string text;
  for (int value : values) text += static_cast<char>(value);
  return text;
}

// A single character of UTF-8 (U+FFFD included).
bool isOneCharacter(const std::string& text) {
  if (text.empty() || !isValidUtf8(text)) return false;
  const auto lead = static_cast<unsigned char>(text[0]);
  return text.size() == (lead < 0x80 ? 1u : lead < 0xE0 ? 2u : lead < 0xF0 ? 3u : 4u);
}

TEST(JapaneseTextTest, EveryCodePage932ByteAndPairAgreesWithTheCLibrary) {
  const Reference cp932("CP932");
  ASSERT_TRUE(cp932.valid());
  std::size_t agreed = 0;
  for (int lead = 0; lead < 0x100; ++lead) {
    const std::string single = bytes({lead});
    const std::string alone = cp932.convert(single);
    EXPECT_EQ(shiftJisToUtf8(single), alone.empty() ? kReplacement : alone) << lead;
    const bool isLead = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
    if (!isLead) continue;
    for (int trail = 0; trail < 0x100; ++trail) {
      const std::string pair = bytes({lead, trail});
      const std::string reference = cp932.convert(pair);
      const bool taken = trail >= 0x80 || (trail >= 0x40 && trail != 0x7F);
      std::string expected = reference;
      if (reference.empty()) expected = taken ? kReplacement : kReplacement + bytes({trail});
      if (!reference.empty()) ++agreed;
      ASSERT_EQ(shiftJisToUtf8(pair), expected) << std::hex << lead << ' ' << trail;
    }
  }
  EXPECT_GT(agreed, 7900u);
}

// Every JIS X 0208 row and cell, through ISO-2022-JP and EUC-JP, gives the character of the code
// page 932 code Windows assigns it (row r and cell c to lead (r + 1) / 2 + 0x80 (+ 0x40 past row
// 62), trail c + 0x3F (+1 from cell 64) in odd rows and c + 0x9E in even rows), or one U+FFFD.
TEST(JapaneseTextTest, EveryJisPairReadsAsItsCodePage932CodeThroughBothEncodings) {
  std::size_t unmapped = 0;
  for (int row = 1; row <= 94; ++row) {
    for (int cell = 1; cell <= 94; ++cell) {
      const int lead = (row + 1) / 2 + (row <= 62 ? 0x80 : 0xC0);
      const int trail = row % 2 == 1 ? cell + 0x3F + (cell >= 64 ? 1 : 0) : cell + 0x9E;
      const std::string expected = shiftJisToUtf8(bytes({lead, trail}));
      ASSERT_TRUE(isOneCharacter(expected)) << row << '-' << cell;
      if (expected == kReplacement) ++unmapped;
      const std::string jis = bytes({row + 0x20, cell + 0x20});
      ASSERT_EQ(iso2022JpToUtf8("\x1b$B" + jis + "\x1b(B"), expected) << row << '-' << cell;
      ASSERT_EQ(iso2022JpToUtf8("\x1b$@" + jis), expected) << row << '-' << cell;
      ASSERT_EQ(eucJpToUtf8(bytes({row + 0xA0, cell + 0xA0})), expected) << row << '-' << cell;
    }
  }
  // Rows 9-12, 14, 85-88 and 93-94 hold nothing in code page 932 (rows 85-88 are among those where
  // phones put their emoji).
  EXPECT_GT(unmapped, 94u * 8);
}

// Below row 85 (the user rows of EUC-JP-MS) the C library's EUC-JP-MS agrees code for code.
TEST(JapaneseTextTest, EucJpAgreesWithTheCLibraryOutsideTheUserRows) {
  const Reference eucJpMs("EUC-JP-MS");
  ASSERT_TRUE(eucJpMs.valid());
  std::size_t agreed = 0;
  for (int lead = 0xA1; lead < 0xF5; ++lead) {
    for (int trail = 0xA1; trail <= 0xFE; ++trail) {
      const std::string pair = bytes({lead, trail});
      const std::string reference = eucJpMs.convert(pair);
      if (reference.empty()) continue;
      ++agreed;
      ASSERT_EQ(eucJpToUtf8(pair), reference) << std::hex << lead << ' ' << trail;
    }
  }
  EXPECT_GT(agreed, 6900u);
}

TEST(JapaneseTextTest, HalfWidthKatakanaReadAlikeByEveryRoute) {
  for (int byte = 0xA1; byte <= 0xDF; ++byte) {
    const std::string expected = shiftJisToUtf8(bytes({byte}));
    const std::string seven = bytes({byte - 0x80});
    ASSERT_TRUE(isOneCharacter(expected) && expected != kReplacement) << byte;
    EXPECT_EQ(eucJpToUtf8(bytes({0x8E, byte})), expected) << byte;
    EXPECT_EQ(iso2022JpToUtf8("\x1b(I" + seven + "\x1b(B"), expected) << byte;
    EXPECT_EQ(iso2022JpToUtf8("\x0e" + seven + "\x0f"), expected) << byte;
    EXPECT_EQ(iso2022JpToUtf8("\x1b$B" + bytes({byte})), expected) << byte;  // sent as 8 bits
  }
  EXPECT_EQ(shiftJisToUtf8("\xa1\xdf"), "｡ﾟ");
}

TEST(JapaneseTextTest, BrokenAndUnmappableCodesGiveOneReplacementAndNothingElse) {
  using Decoder = std::function<std::string(std::string_view)>;
  const Decoder sjis = shiftJisToUtf8, euc = eucJpToUtf8, iso = iso2022JpToUtf8;
  const std::string r = kReplacement;
  struct Case {
    const Decoder& decoder;
    std::string input;
    std::string text;
  } cases[] = {
      {sjis, "a\x82", "a" + r},
      {sjis, "\x82\r\n", r + "\r\n"},
      {sjis, std::string("\x82\0", 2), r + std::string(1, '\0')},
      {sjis, "\x85\x40", r},  // an unassigned row: its ASCII trail byte is not read as '@'
      {sjis, "\x82\xff\x82\xa0", r + "あ"},
      {sjis, "\x80\xa0\xfd\xfe\xff", r + r + r + r + r},
      {sjis, "\xf0\x40", "\uE000"},  // the user rows are the private use area
      {euc, "\xa4", r},
      {euc, "\xa4\n\xa4\xa2", r + "\nあ"},
      {euc, "\xa4\x80", r},
      {euc, "\x8e", r},
      {euc, "\x8e\xe0", r},
      {euc,
       "\x8e"
       "a",
       r + "a"},
      {euc, "\x8f\xb0\xa1", r},  // JIS X 0212
      {euc, "\x8f\xb0", r},
      {euc, "\x8f\xb0x", r + "x"},
      {euc, "\xf5\xa1\xfe\xfe", r + r},
      {euc, "\x80\xa0\xff", r + r + r},
      // The phones' emoji rows: one U+FFFD, never the second byte.
      {iso, "\x1b$BBjL>\x1b(Bx\x1b$BuY\x1b(B", "題名x" + r},
      {iso, "\x1b$Bu!v~w~x!\x1b(B", r + r + r + r},
      {euc, "\xf5\xd9\xf8\xfe", r + r},
      // A pair cut off by the end, a line end, an escape or an 8-bit byte.
      {iso, "\x1b$B$\"$", "あ" + r},
      {iso, "\x1b$B$\n$\"", r + "\nあ"},
      {iso, "\x1b$B$\x1b(Ba", r + "a"},
      {iso, "\x1b$B$\x82\xa0", r + "あ"},
      {iso, std::string("\x1b$B$\0", 5), r + std::string(1, '\0')},
      // Escapes cut off, unknown, or naming sets not read here.
      {iso, "a\x1b", "a" + r},
      {iso, "\x1b$", r + "$"},
      {iso, "\x1b\x82\xa0", r + "あ"},
      {iso, "\x1b$A0!0\"\x1b(Bz", r + r + "z"},
      {iso, "\x1b$(D0!\x1b(B", r},
      {iso, "\x1b(Hab", "ab"},
      {iso, "\x1b$)Cab\x1b&@\x1b$B$\"", "abあ"},
      {iso, "\x1b(J\\~", "\\~"},
      {iso, "\x1b(I`\x1b(B`", r + "`"},
      {iso,
       "\x0e"
       "1\x1b$B$\"\x0f$\"",
       "ｱああ"},
      {iso,
       "\x0f"
       "a",
       "a"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.decoder(c.input), c.text) << c.input;
}

// Over random mixes of the bytes that matter: well-formed UTF-8, every input NUL and no other,
// and from ISO-2022-JP no escape or shift byte left.
TEST(JapaneseTextTest, AnyInputGivesWellFormedUtf8WithItsOwnNulsOnly) {
  const std::string alphabet =
      bytes({0x00, 0x0A, 0x0D, 0x0E, 0x0F, 0x1B, '$',  '(',  ')',  'B',  '@',  'I',
             'J',  'D',  0x21, 0x24, 0x2D, 0x5F, 0x60, 0x75, 0x7E, 0x7F, 0x80, 0x82,
             0x85, 0x8E, 0x8F, 0xA0, 0xA1, 0xA4, 0xDF, 0xE0, 0xF5, 0xFC, 0xFD, 0xFF});
  std::mt19937 random(20);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::uniform_int_distribution<std::size_t> length(0, 24);
  for (int round = 0; round < 20000; ++round) {
    std::string input;
    for (std::size_t n = length(random); n > 0; --n) input += alphabet[pick(random)];
    const auto nuls = std::count(input.begin(), input.end(), '\0');
    for (const std::string& text :
         {shiftJisToUtf8(input), eucJpToUtf8(input), iso2022JpToUtf8(input)}) {
      ASSERT_TRUE(isValidUtf8(text)) << input;
      ASSERT_EQ(std::count(text.begin(), text.end(), '\0'), nuls) << input;
    }
    ASSERT_EQ(iso2022JpToUtf8(input).find_first_of("\x1b\x0e\x0f"), std::string::npos) << input;
  }
}

TEST(JapaneseTextTest, WellFormednessAndDesignationChecksSeeWholeCodes) {
  EXPECT_TRUE(isWellFormedShiftJis("a\x82\xa0\xb1"));
  EXPECT_FALSE(isWellFormedShiftJis("\x82"));
  EXPECT_FALSE(isWellFormedShiftJis("\x82\x7f"));
  EXPECT_FALSE(isWellFormedShiftJis("\xa0"));
  EXPECT_TRUE(isWellFormedEucJp("a\xa4\xa2\x8e\xb1\x8f\xb0\xa1"));
  EXPECT_FALSE(isWellFormedEucJp("\x8f\xb0"));
  EXPECT_FALSE(isWellFormedEucJp("\xa4\x82"));
  EXPECT_TRUE(hasIso2022JpDesignation("a\x1b$@b"));
  EXPECT_TRUE(hasIso2022JpDesignation("\x1b(I1"));
  EXPECT_FALSE(hasIso2022JpDesignation("\x1b(B\x1b$A"));
}

}  // namespace
}  // namespace korvani::mail
