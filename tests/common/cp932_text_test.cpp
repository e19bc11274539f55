#include "common/cp932_text.h"

#include <gtest/gtest.h>

namespace korvani {
namespace {

TEST(Cp932ToUtf8Test, ConvertsSingleAndDoubleByteCharacters) {
  EXPECT_EQ(cp932ToUtf8("abc\r\n"), "abc\r\n");
  EXPECT_EQ(cp932ToUtf8("\x82\xA0"), "あ");
  EXPECT_EQ(cp932ToUtf8("\x95\x5C.txt"), "表.txt");  // the trail byte is '\', not a separator
  EXPECT_EQ(cp932ToUtf8("\xB1"), "ｱ");                // half-width katakana
  EXPECT_EQ(cp932ToUtf8("\x81\x60"), "～");           // code page 932's wave dash
}

TEST(Cp932ToUtf8Test, PassesInvalidBytesThroughUnchanged) {
  EXPECT_EQ(cp932ToUtf8("a\x82"), "a\x82");          // a lone lead at the end
  EXPECT_EQ(cp932ToUtf8("\x82\x20x"), "\x82 x");     // a lead before a byte that is no trail
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

}  // namespace
}  // namespace korvani
