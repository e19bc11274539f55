#include "app/proposed_name.h"

#include <gtest/gtest.h>

#include <string>

namespace korvani {
namespace {

TEST(SafeFileNameTest, KeepsOnlyTheLastComponentInUtf8WithControlBytesAndLeadingDotsReplaced) {
  const std::pair<std::string, std::string> cases[] = {
      {"report.pdf", "report.pdf"},
      {"../../.ssh/authorized_keys", "authorized_keys"},
      {"/etc/passwd", "passwd"},
      {"a\\b.txt", "a\\b.txt"},    // '\' is no separator here
      {"\x95\x5C.txt", "表.txt"},  // in Shift_JIS: 0x5C is a trail byte, no separator
      {"dir/\x83\x5C\x83\x74\x83\x67.doc", "ソフト.doc"},
      {"\x87\x40\xED\x40\xFA\x40.txt", "①纊ⅰ.txt"},  // NEC row 13, NEC and IBM extensions
      {"\xB1\xB2.txt", "ｱｲ.txt"},                    // half-width katakana
      {"a\xA0\xFD.bin", "a__.bin"},  // no code page 932 character: no valid UTF-8 either
      {"\xE8\xA1\xA8.txt", "\xE8\xA1\xA8.txt"},  // 表.txt in UTF-8
      {"a\tb\r\n\x1B[31m\x7F.bin", "a_b___[31m_.bin"},
      {std::string("x\0y", 3), "x_y"},
      {"...", "___"},
      {".bashrc", "_bashrc"},
      {"a/..b", "__b"},
      {"x/-", "-"},
      {"a.b.", "a.b."},
  };
  for (const auto& [proposed, name] : cases) {
    const SafeFileName safe = safeFileName(proposed);
    EXPECT_EQ(safe.verdict, ProposedNameVerdict::Usable) << proposed;
    EXPECT_EQ(safe.name, name) << proposed;
  }
}

TEST(SafeFileNameTest, RefusesNamesThatLeaveNoFileInTheFolder) {
  EXPECT_EQ(safeFileName("").verdict, ProposedNameVerdict::Missing);
  for (const std::string proposed : {".", "..", "/", "dir/", "a/..", "../.", "//"}) {
    const SafeFileName safe = safeFileName(proposed);
    EXPECT_EQ(safe.verdict, ProposedNameVerdict::Unusable) << proposed;
    EXPECT_EQ(safe.name, "") << proposed;
  }
}

}  // namespace
}  // namespace korvani
