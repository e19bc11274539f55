#include "common/base64.h"

#include <gtest/gtest.h>

#include <string>

namespace korvani {
namespace {

struct QuartetCase {
  std::string text;
  std::string bytes;  // the three bytes written
  int result;
};

std::string decode(const std::string& text, int* result) {
  std::uint8_t out[3] = {0xAA, 0xAA, 0xAA};
  *result = decodeQuartet(reinterpret_cast<const std::uint8_t*>(text.data()), out);
  return std::string(reinterpret_cast<char*>(out), 3);
}

TEST(DecodeQuartetTest, WritesThreeBytesAndCountsPads) {
  const QuartetCase cases[] = {
      {"YWJj", "abc", 3},
      {"YWI=", std::string("ab\0", 3), 2},
      {"YQ==", std::string("a\0\0", 3), 1},
      {"Y===", std::string("\x60\0\0", 3), 0},
      {"QU\r\n", "\x41\x45\x14", 3},            // CR LF repeat the value before them
      {"QQ=A", std::string("\x41\0\0", 3), 2},  // '=' inside the quartet
      {"AAAA", std::string("\0\0\0", 3), 3},
      {"////", "\xFF\xFF\xFF", 3},
      {"Q=\n\n", std::string("\x40\0\0", 3), 2},     // after '=' an outsider contributes 0
      {"\nQUJ", std::string("\x01\x05\x09", 3), 3},  // an outsider first contributes 0
      {"====", std::string("\0\0\0", 3), 0},         // never a negative count
      {"-_ \x80", std::string("\0\0\0", 3), 3},      // URL-safe letters are outsiders
  };
  for (const auto& c : cases) {
    int result = -9;
    EXPECT_EQ(decode(c.text, &result), c.bytes) << c.text;
    EXPECT_EQ(result, c.result) << c.text;
  }
}

TEST(DecodeQuartetTest, CaseMatters) {
  int result;
  EXPECT_EQ(decode("aAAA", &result)[0], static_cast<char>(26 << 2));
  EXPECT_EQ(decode("AAAA", &result)[0], 0);
}

TEST(EncodeTripleTest, PadsShortGroups) {
  struct Case {
    std::string bytes;
    int count;
    std::string text;
  };
  const Case cases[] = {
      {"abc", 3, "YWJj"},  {"ab", 2, "YWI="},       {"a", 1, "YQ=="},
      {"\xFF", 1, "/w=="}, {"\xFB\xFF", 2, "+/8="}, {std::string(1, '\0'), 1, "AA=="},
  };
  for (const auto& c : cases) {
    std::uint8_t out[5] = {};
    EXPECT_EQ(encodeTriple(reinterpret_cast<const std::uint8_t*>(c.bytes.data()), out, c.count), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out)), c.text);
  }
}

// RFC 4648 section 10 vectors, and every byte value at every position of a triple, both ways.
TEST(Base64RoundTripTest, MatchesRfc4648AndInverts) {
  const std::pair<std::string, std::string> vectors[] = {
      {"f", "Zg=="},        {"fo", "Zm8="},        {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
  for (const auto& [plain, encoded] : vectors) {
    std::string text;
    for (std::size_t i = 0; i < plain.size(); i += 3) {
      std::uint8_t out[4];
      encodeTriple(reinterpret_cast<const std::uint8_t*>(plain.data()) + i, out,
                   static_cast<int>(std::min<std::size_t>(3, plain.size() - i)));
      text.append(reinterpret_cast<char*>(out), 4);
    }
    EXPECT_EQ(text, encoded);
  }
  for (int position = 0; position < 3; ++position) {
    for (int value = 0; value < 256; ++value) {
      std::uint8_t triple[3] = {0x5A, 0xA5, 0x3C};
      triple[position] = static_cast<std::uint8_t>(value);
      std::uint8_t text[4];
      std::uint8_t back[3];
      encodeTriple(triple, text, 3);
      ASSERT_EQ(decodeQuartet(text, back), 3);
      ASSERT_EQ(std::string(reinterpret_cast<char*>(back), 3),
                std::string(reinterpret_cast<char*>(triple), 3));
    }
  }
}

}  // namespace
}  // namespace korvani
