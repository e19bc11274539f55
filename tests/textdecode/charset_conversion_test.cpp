#include "textdecode/charset_conversion.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace korvani {
namespace {

// "1B 24 42" -> the three bytes.
std::string bytes(const char* hex) {
  std::string out;
  unsigned value = 0;
  int consumed = 0;
  while (std::sscanf(hex, " %2x%n", &value, &consumed) == 1) {
    out += static_cast<char>(value);
    hex += consumed;
  }
  return out;
}

std::string hexOf(const std::string& data) {
  std::string out;
  char digits[4];
  for (const char c : data) {
    std::snprintf(digits, sizeof digits, "%02X ", static_cast<unsigned char>(c));
    out += digits;
  }
  return out;
}

// Runs `convert` on an exactly sized copy of `input` into an exactly sized result of `room`
// bytes, so that a sanitizer build catches any access outside either.
template <class Conversion>
std::string run(Conversion convert, const std::string& input, std::size_t room) {
  const std::vector<std::uint8_t> text(input.begin(), input.end());
  std::vector<std::uint8_t> result(room);
  std::uint32_t length = 0xDEADBEEF;
  convert(result.data(), length, text.data(), static_cast<std::uint32_t>(text.size()));
  EXPECT_LE(length, room) << hexOf(input);
  return std::string(result.begin(), result.begin() + std::min<std::size_t>(length, room));
}

std::string jis(const std::string& in) { return run(jisToSjis, in, in.size() + 1); }
std::string utf8(const std::string& in) { return run(utf8ToSjis, in, in.size()); }
std::string euc(const std::string& in) { return run(eucToSjis, in, 2 * in.size()); }

// What utf8ToSjis says of the piece: whether it kept every character.
bool utf8Kept(const std::string& in) {
  bool kept = false;
  run([&](auto&&... arguments) { kept = utf8ToSjis(arguments...); }, in, in.size());
  return kept;
}

// glibc's converter as the independent reference.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : handle(iconv_open(to, from)) {}
  ~Iconv() {
    if (usable()) iconv_close(handle);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  bool usable() const { return reinterpret_cast<std::intptr_t>(handle) != -1; }

  // The whole input converted, or nothing when the converter rejects any of it.
  std::optional<std::string> convert(std::string input) {
    std::string output(2 * input.size() + 16, '\0');
    char* in = input.data();
    char* out = output.data();
    std::size_t inLeft = input.size();
    std::size_t outLeft = output.size();
    iconv(handle, nullptr, nullptr, nullptr, nullptr);
    if (iconv(handle, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
      return std::nullopt;
    }
    output.resize(output.size() - outLeft);
    return output;
  }

 private:
  iconv_t handle;
};

std::string utf8Of(std::uint32_t code) {
  std::string out;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | code >> 6);
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
  return out;
}

struct Case {
  const char* input;     // hexadecimal bytes
  const char* expected;  // hexadecimal bytes
};

void expectCases(std::string (*convert)(const std::string&), const std::vector<Case>& cases) {
  for (const auto& c : cases) {
    EXPECT_EQ(hexOf(convert(bytes(c.input))), hexOf(bytes(c.expected))) << c.input;
  }
}

TEST(JisToSjisTest, EscapesSwitchModesAndOtherBytesPassThrough) {
  expectCases(jis,
              {
                  {"1B 24 42 24 22 1B 28 42", "82 A0"},
                  {"1B 24 40 24 22 1B 28 42", "82 A0"},  // 1978 designation, same mapping
                  {"1B 24 42 24 22 1B 28 4A 24 22", "82 A0 24 22"},  // ESC (J ends double-byte mode
                  {"24 22", "24 22"},           // every piece starts single-byte
                  {"1B 28 49 41", "28 49 41"},  // unknown escape: only ESC dropped
                  {"1B 24 42 24 22 0D 0A 24 22", "82 A0 0D 0A 82 A0"},  // line end keeps the mode
                  {"1B 24 42 20 7F 80 FF 0E 0F", "20 7F 80 FF 0E 0F"},
                  {"0E 41 0F", "0E 41 0F"},     // SO and SI mean nothing
                  {"1B 24 42 24 0A", "00 00"},  // trail out of range: consumed
                  {"1B 24 42 30 21 7E 7E", "88 9F EF FC"},
                  {"41 1B", "41"},
                  {"41 1B 24", "41 24"},  // too short to be an escape
                  {"", ""},
              });
}

TEST(JisToSjisTest, LoneLeadAtTheEndPairsWithZero) {
  expectCases(jis, {
                       {"1B 24 42 24", "00 00"},
                       {"1B 24 42 24 22 30", "82 A0 00 00"},
                       {"1B 24 42 1B 24",
                        "00 00"},  // the ESC is dropped, '$' is then a lead in double-byte mode
                   });
}

TEST(JisToSjisTest, EveryJisX0208CodeMatchesIconv) {
  Iconv reference("SHIFT_JIS", "ISO-2022-JP");
  ASSERT_TRUE(reference.usable());
  int compared = 0;
  for (int first = 0x21; first <= 0x7E; ++first) {
    for (int second = 0x21; second <= 0x7E; ++second) {
      const std::string code{static_cast<char>(first), static_cast<char>(second)};
      const std::string input = "\x1B$B" + code + "\x1B(B";
      const auto expected = reference.convert(input);
      if (!expected) continue;
      ++compared;
      ASSERT_EQ(hexOf(jis(input)), hexOf(*expected)) << hexOf(code);
    }
  }
  EXPECT_GT(compared, 6800);  // JIS X 0208 has 6879 characters
}

TEST(EucToSjisTest, PairsAndSingleShift) {
  expectCases(euc,
              {
                  {"B0 A1", "88 9F"},
                  {"A4 A2", "82 A0"},
                  {"B1 A1", "89 40"},
                  {"DF A1", "E0 40"},
                  {"E0 A1", "E0 9F"},
                  {"8E B1", "B1"},
                  {"B0 0A", "88 08"},           // a trail byte is never a line end
                  {"8F A1 A1", "78 40 81 9F"},  // 0x8F pairs with one byte; the third starts anew
                  {"A4", "82 FE"},
                  {"B1", "89 9F"},
                  {"8E", "00"},  // lone leads pair with zero
              });
}

TEST(EucToSjisTest, LineEndsBecomeCrLf) {
  const std::pair<std::string, std::string> cases[] = {
      {"x\n", "x\r\n"},
      {"x\r\n", "x\r\n"},
      {"x\ry", "x\r\ny"},
      {"x\r", "x\r"},
      {"\r\r\n", "\r\n\r\n"},
      {"\n\n", "\r\n\r\n"},
      {"\r\xA4\xA2", "\r\n\x82\xA0"},
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(euc(input), expected) << input;
  // No pending CR carries over: the LF of the next piece is a lone LF there.
  EXPECT_EQ(euc("x\r"), "x\r");
  EXPECT_EQ(euc("\ny"), "\r\ny");
}

TEST(EucToSjisTest, EveryJisX0208CodeMatchesIconv) {
  Iconv reference("SHIFT_JIS", "EUC-JP");
  ASSERT_TRUE(reference.usable());
  int compared = 0;
  for (int first = 0xA1; first <= 0xFE; ++first) {
    for (int second = 0xA1; second <= 0xFE; ++second) {
      const std::string input{static_cast<char>(first), static_cast<char>(second)};
      const auto expected = reference.convert(input);
      if (!expected) continue;
      ++compared;
      ASSERT_EQ(hexOf(euc(input)), hexOf(*expected)) << hexOf(input);
    }
  }
  EXPECT_GT(compared, 6800);
}

TEST(Utf8ToSjisTest, DecodesLooselyAndStopsWhereCp932Ends) {
  expectCases(utf8, {
                        {"E3 81 82", "82 A0"},
                        {"C2 A7", "81 98"},
                        {"EF BD B1", "B1"},
                        {"61 62 63", "61 62 63"},
                        {"F0 9F 98 80", "00"},     // beyond 16 bits: the character 0
                        {"61 62 E3 81", "61 62"},  // truncated sequence dropped
                        {"61 EA B0 80 62", "61"},  // no code page 932 form: the rest is dropped
                        {"61 ED A0 80 62", "61"},  // a surrogate has no form either
                        {"61 F0 9F 98", "61"},
                        {"C1 81", "41"},     // overlong forms are taken as they come
                        {"82 A7", "81 98"},  // a continuation byte leads a two-byte sequence
                        {"C2 27", "81 98"},  // continuation bytes are not checked
                        {"00 41", "00 41"},
                    });
}

TEST(Utf8ToSjisTest, SaysWhenTextWasDroppedOrAltered) {
  const std::pair<const char*, bool> cases[] = {
      {"E3 81 82 E3 81 84 E3 81 86", true},   // the two-at-a-time path
      {"E3 81 82 E3 81 84 EA B0 80", false},  // ... and a character without a form after it
      {"F0 9F 98 80 61", false},              // written, but as the character 0
      {"61 62 E3 81", false},                 // a truncated sequence
  };
  for (const auto& [input, kept] : cases) EXPECT_EQ(utf8Kept(bytes(input)), kept) << input;
}

// Which characters have a form, and what each becomes, against glibc's converter.
TEST(Utf8ToSjisTest, EveryBmpCharacterMatchesIconvCp932) {
  Iconv reference("CP932", "UTF-8");
  ASSERT_TRUE(reference.usable());
  int encodable = 0;
  for (std::uint32_t code = 0; code < 0x10000; ++code) {
    const std::string input = utf8Of(code);
    const auto expected = reference.convert(input);
    if (expected) ++encodable;
    ASSERT_EQ(hexOf(utf8(input)), hexOf(expected.value_or(""))) << "U+" << std::hex << code;
    ASSERT_EQ(utf8Kept(input), expected.has_value()) << "U+" << std::hex << code;
  }
  EXPECT_GT(encodable, 7000);
}

// Mixed text in every character set, at every length and alignment, against iconv: the word-wise
// paths for runs of pairs and of ASCII must give what the byte-wise ones give.
TEST(CharsetConversionTest, MixedTextMatchesIconv) {
  Iconv toJis("ISO-2022-JP", "UTF-8");
  Iconv toEuc("EUC-JP", "UTF-8");
  Iconv jisReference("SHIFT_JIS", "ISO-2022-JP");
  Iconv eucReference("SHIFT_JIS", "EUC-JP");
  Iconv utf8Reference("CP932", "UTF-8");
  ASSERT_TRUE(toJis.usable() && toEuc.usable() && jisReference.usable() && eucReference.usable() &&
              utf8Reference.usable());
  // Kana, kanji, full-width forms and punctuation of JIS X 0208, half-width katakana, ASCII.
  const std::vector<std::string> pieces = {"あ", "ア",   "漢", "字", "日本語", "、",
                                           "。", "Ａ",   "ｱ",  "ﾟ",  "a",      "Hello, world",
                                           " ",  "\r\n", "=?", "0"};
  std::mt19937 random(3);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const int count = static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i) text += pieces[random() % pieces.size()];
    const auto sjis = utf8Reference.convert(text);
    ASSERT_TRUE(sjis);
    EXPECT_EQ(hexOf(utf8(text)), hexOf(*sjis)) << text;
    // ISO-2022-JP and EUC-JP have no half-width katakana in mail; leave them out there.
    std::string wide;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text.compare(i, 3, "ｱ") == 0 || text.compare(i, 3, "ﾟ") == 0) {
        i += 2;
      } else {
        wide += text[i];
      }
    }
    const auto jisText = toJis.convert(wide);
    const auto eucText = toEuc.convert(wide);
    ASSERT_TRUE(jisText && eucText);
    EXPECT_EQ(hexOf(jis(*jisText)), hexOf(*jisReference.convert(*jisText))) << wide;
    EXPECT_EQ(hexOf(euc(*eucText)), hexOf(*eucReference.convert(*eucText))) << wide;
  }
}

TEST(CopySjisTest, CopiesAnyBytes) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
  EXPECT_EQ(run(copySjis, all, all.size()), all);
  EXPECT_EQ(run(copySjis, "", 0), "");
}

// Random pieces rich in escapes, leads, CR and LF stay inside the stated result sizes and never
// read outside the piece (checked by a sanitizer build).
TEST(CharsetConversionTest, AnyPieceStaysInBounds) {
  const std::uint8_t alphabet[] = {0x1B, '$',  '@',  'B',  '(',  'J',  0x24, 0x22,
                                   0x21, 0x7E, 0x7F, 0x0D, 0x0A, 0x00, 0x8E, 0x8F,
                                   0xA4, 0xFF, 0xC2, 0xE3, 0xF0, 0x81, 0xBF, 'a'};
  std::mt19937 random(7);
  for (int round = 0; round < 20000; ++round) {
    std::string piece(random() % 40, '\0');
    for (auto& c : piece) c = static_cast<char>(alphabet[random() % std::size(alphabet)]);
    jis(piece);
    utf8(piece);
    euc(piece);
  }
}

}  // namespace
}  // namespace korvani
