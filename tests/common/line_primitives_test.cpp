#include "common/line_primitives.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvani {
namespace {

std::vector<std::string> pieces(const std::string& data, std::uint32_t size) {
  std::vector<std::uint8_t> line(size, 0xEE);
  std::vector<std::string> result;
  std::uint32_t position = 0;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
  while (std::uint32_t n = readLine(bytes, line.data(), size, position,
                                    static_cast<std::uint32_t>(data.size()))) {
    EXPECT_EQ(line[n], 0) << "the byte after the text is zero";
    result.emplace_back(reinterpret_cast<char*>(line.data()), n);
  }
  EXPECT_EQ(position, data.size());
  return result;
}

TEST(ReadLineTest, CutsAtLineFeedsAndKeepsThem) {
  EXPECT_EQ(pieces("ab\r\ncd\nef", 4096), (std::vector<std::string>{"ab\r\n", "cd\n", "ef"}));
  EXPECT_EQ(pieces(std::string("a\0b\rc\n", 6), 4096),
            (std::vector<std::string>{std::string("a\0b\rc\n", 6)}));
  EXPECT_TRUE(pieces("", 4096).empty());
}

TEST(ReadLineTest, LongLinesComeOutInPiecesOfSizeMinusOne) {
  const auto big = pieces(std::string(5000, 'x'), 4096);
  ASSERT_EQ(big.size(), 2u);
  EXPECT_EQ(big[0].size(), 4095u);
  EXPECT_EQ(big[1].size(), 905u);
  const auto small = pieces(std::string(600, 'x') + "\n", 512);
  ASSERT_EQ(small.size(), 2u);
  EXPECT_EQ(small[0].size(), 511u);
  EXPECT_EQ(small[1].size(), 90u);
}

TEST(ReadLineTest, StopsAtTheGivenEndAndCopiesNothingWithSizeOne) {
  const std::string data = "abc\ndef\n";
  std::uint8_t line[16];
  std::uint32_t position = 0;
  EXPECT_EQ(readLine(reinterpret_cast<const std::uint8_t*>(data.data()), line, 16, position, 2),
            2u);
  EXPECT_EQ(position, 2u);
  EXPECT_EQ(readLine(reinterpret_cast<const std::uint8_t*>(data.data()), line, 16, position, 2),
            0u);
  position = 0;
  EXPECT_EQ(readLine(reinterpret_cast<const std::uint8_t*>(data.data()), line, 1, position, 8), 0u);
  EXPECT_EQ(line[0], 0);
}

TEST(LastSignificantCharTest, SkipsOnlyNulTabLineEndsAndSpace) {
  auto last = [](const std::string& text) {
    return lastSignificantChar(reinterpret_cast<const std::uint8_t*>(text.data()),
                               static_cast<std::uint32_t>(text.size()));
  };
  EXPECT_EQ(last(std::string(" \t\r\n\0", 5)), 0);
  EXPECT_EQ(last(""), 0);
  EXPECT_EQ(last("abc= \t\r\n"), '=');
  EXPECT_EQ(last("\x0C\r\n"), 0x0C);
  EXPECT_EQ(last("\x80 "), 0x80);
  EXPECT_EQ(last("a;\n"), ';');
}

}  // namespace
}  // namespace korvani
