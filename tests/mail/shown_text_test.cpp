// What a sender writes reaches a person's screen as something seen, never as something done:
// every control class, every Unicode scalar value, malformed UTF-8, and JSON that stays the same
// data while it becomes safe to show.
#include "mail/shown_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

namespace korvani::mail {
namespace {

std::string utf8(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

TEST(ShownTextTest, EveryControlClassIsShownNotObeyed) {
  const struct {
    const char* what;
    std::string text;
    std::string shown;
  } cases[] = {
      {"a title set through an operating system command", "\x1b]0;pwned\x07x", "␛]0;pwned␇x"},
      {"colours", "\x1b[31mred\x1b[0m", "␛[31mred␛[0m"},
      {"NUL and the rest of C0", std::string("a\0b\x01\x1f", 5), "a␀b␁␟"},
      {"TAB and LF are text", "a\tb\nc", "a\tb\nc"},
      {"CR ending a line is dropped; a lone CR moves nothing", "a\r\nb\rc\r", "a\nb␍c␍"},
      {"DEL", "a\x7f", "a␡"},
      {"C1 controls, CSI among them",
       "\xc2\x80\xc2\x9b"
       "2J\xc2\x9f",
       "\uFFFD\uFFFD2J\uFFFD"},
      {"bidirectional overrides, embeddings, isolates and marks",
       "a\u202Etxt.exe\u202C\u202A\u202B\u202D\u2066\u2067\u2068\u2069\u200E\u200F\u061C",
       "a\uFFFDtxt.exe\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"Japanese, emoji and the characters next to the controls are kept",
       "日本語 😀 \u00A0\u00A9\u200D\u2028\u202F\u2065\u206A\uFEFF",
       "日本語 😀 \u00A0\u00A9\u200D\u2028\u202F\u2065\u206A\uFEFF"},
      {"bytes that are not UTF-8 are replaced one by one",
       "a\x82\xa0"
       "b\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80\xe3\x81",
       "a\uFFFD\uFFFDb\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"nothing", "", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(shownText(c.text), c.shown) << c.what;
}

TEST(ShownTextTest, EveryScalarValueIsKeptUnlessItActs) {
  // The classes written out once more, independently of the code under test.
  const struct {
    char32_t first;
    char32_t last;
  } acting[] = {{0x00, 0x08},     {0x0B, 0x1F},     {0x7F, 0x9F},    {0x061C, 0x061C},
                {0x200E, 0x200F}, {0x202A, 0x202E}, {0x2066, 0x2069}};
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    bool acts = false;
    for (const auto& range : acting) acts = acts || (c >= range.first && c <= range.last);
    ASSERT_EQ(actsWhenShown(c), acts) << std::hex << static_cast<std::uint32_t>(c);
    const std::string shown = shownText(utf8(c));
    if (!acts) {
      ASSERT_EQ(shown, utf8(c)) << std::hex << static_cast<std::uint32_t>(c);
    } else if (c < 0x20 && c != '\r') {
      ASSERT_EQ(shown, utf8(0x2400 + c)) << std::hex << static_cast<std::uint32_t>(c);
    } else if (c == 0x7F) {
      ASSERT_EQ(shown, "␡");
    } else if (c != '\r') {
      ASSERT_EQ(shown, "\uFFFD") << std::hex << static_cast<std::uint32_t>(c);
    }
  }
  for (int byte = 0x80; byte <= 0xFF; ++byte) {
    EXPECT_EQ(shownText(std::string(1, static_cast<char>(byte))), "\uFFFD") << byte;
  }
}

TEST(ShownTextTest, JsonBecomesSafeToShowAndReadsAsTheSameData) {
  const nlohmann::json data = {
      {"name", "a\u202Etxt.exe"},
      {"type", "text/plain\x7f\xc2\x9b"},
      {"mail", "\x1b]0;t\x07 日本語"},
  };
  const std::string json = data.dump(2);
  const std::string shown = escapedForTerminal(json);
  EXPECT_EQ(shown.find("\u202E"), std::string::npos);
  EXPECT_EQ(shown.find('\x7f'), std::string::npos);
  EXPECT_NE(shown.find("a\\u202etxt.exe"), std::string::npos) << shown;
  EXPECT_NE(shown.find("日本語"), std::string::npos);
  EXPECT_EQ(shownText(shown), shown) << "nothing in it acts";
  EXPECT_EQ(nlohmann::json::parse(shown), data);
}

}  // namespace
}  // namespace korvani::mail
