#include "app/proposed_name.h"

#include <gtest/gtest.h>

#include <string>

namespace korvani {
namespace {

TEST(SafeFileNameTest, KeepsOnlyTheLastComponentWithControlBytesReplaced) {
  const std::pair<std::string, std::string> cases[] = {
      {"report.pdf", "report.pdf"},
      {"../../.ssh/authorized_keys", "authorized_keys"},
      {"/etc/passwd", "passwd"},
      {"a\\b.txt", "a\\b.txt"},          // '\' is no separator here
      {"\x95\x5C.txt", "\x95\x5C.txt"},  // 表.txt in Shift_JIS
      {"dir/\x83\x5C\x83\x74\x83\x67.doc", "\x83\x5C\x83\x74\x83\x67.doc"},  // ソフト
      {"\xE8\xA1\xA8.txt", "\xE8\xA1\xA8.txt"},                              // 表.txt in UTF-8
      {"a\tb\r\n\x1B[31m\x7F.bin", "a_b___[31m_.bin"},
      {std::string("x\0y", 3), "x_y"},
      {"...", "..."},
      {".hidden", ".hidden"},
      {"a/..b", "..b"},
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
