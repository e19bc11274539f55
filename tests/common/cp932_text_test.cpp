#include "common/cp932_text.h"

#include <gtest/gtest.h>
#include <iconv.h>

namespace korvani {
namespace {

TEST(Cp932ToUtf8Test, ConvertsSingleAndDoubleByteCharacters) {
  EXPECT_EQ(cp932ToUtf8("abc\r\n"), "abc\r\n");
  EXPECT_EQ(cp932ToUtf8("\x82\xA0"), "あ");
  EXPECT_EQ(cp932ToUtf8("\x95\x5C.txt"), "表.txt");  // the trail byte is '\', not a separator
  EXPECT_EQ(cp932ToUtf8("\xB1"), "ｱ");               // half-width katakana
  EXPECT_EQ(cp932ToUtf8("\x81\x60"), "～");          // code page 932's wave dash
}

TEST(Cp932ToUtf8Test, PassesInvalidBytesThroughUnchanged) {
  EXPECT_EQ(cp932ToUtf8("a\x82"), "a\x82");       // a lone lead at the end
  EXPECT_EQ(cp932ToUtf8("\x82\x20x"), "\x82 x");  // a lead before a byte that is no trail
  EXPECT_EQ(cp932ToUtf8("\xFD\xFE\xFF"), "\xFD\xFE\xFF");
  EXPECT_EQ(cp932ToUtf8(std::string("\0\x82\xA0", 3)), std::string("\0あ", 4));
}

TEST(IsValidUtf8Test, AcceptsWellFormedTextOnly) {
  EXPECT_TRUE(isValidUtf8(""));
  EXPECT_TRUE(isValidUtf8("report.pdf"));
  EXPECT_TRUE(isValidUtf8("報告書.pdf"));
  EXPECT_TRUE(isValidUtf8("\xF0\x9F\x98\x80"));
  EXPECT_FALSE(isValidUtf8("\x95\x5C.txt"));      // Shift_JIS
  EXPECT_FALSE(isValidUtf8("\xC0\xAF"));          // overlong '/'
  EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));      // a surrogate
  EXPECT_FALSE(isValidUtf8("\xE3\x81"));          // truncated
  EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
}

// Every one- and two-byte code against the C library's converter, run here as an independent
// judge: the NEC and IBM extensions decode from each of their codes, unassigned codes pass.
TEST(Cp932ToUtf8Test, EveryCodeDecodesAsTheCLibraryDecodesIt) {
  const iconv_t converter = ::iconv_open("UTF-8", "CP932");
  ASSERT_NE(converter, reinterpret_cast<iconv_t>(-1));
  std::size_t assigned = 0;
  for (unsigned code = 0; code < 0x10000; ++code) {
    std::string input =
        code < 0x100 ? std::string(1, static_cast<char>(code))
                     : std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    char output[8];
    char* in = input.data();
    char* out = output;
    std::size_t inLeft = input.size();
    std::size_t outLeft = sizeof output;
    ::iconv(converter, nullptr, nullptr, nullptr, nullptr);
    if (::iconv(converter, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1) ||
        inLeft != 0) {
      continue;  // not one character of code page 932 (a lead byte alone, or an unassigned pair)
    }
    ++assigned;
    ASSERT_EQ(cp932ToUtf8(input), std::string(output, sizeof output - outLeft)) << code;
  }
  ::iconv_close(converter);
  EXPECT_GT(assigned, 7900u);
}

}  // namespace
}  // namespace korvani
