// The decode driver: text decode line by line, and the frame both modes share (reading,
// messages, output growth, writing, file times).
#include "textdecode/text_decoder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "common/messages.h"
#include "support/fake_platform.h"

namespace korvani {
namespace {

using testing::FakePlatform;
using testing::RecordingSink;

class TextDecodeTest : public ::testing::Test {
 protected:
  // Text decode of `text` through the whole driver; the output's content, "" when none.
  std::string decodeText(const std::string& text, TextEncoding encoding, TextCharset charset) {
    platform.addFile("in.txt", text, FileTimes{11, 22, 33});
    TextDecoder decoder(platform, sink);
    EXPECT_EQ(decoder.decodeText("in.txt", "out.txt", encoding, charset), 1);
    return platform.contentOf("out.txt").value_or("");
  }

  FakePlatform platform;
  RecordingSink sink;
};

TEST_F(TextDecodeTest, QuotedPrintableJoinsSoftLineBreaks) {
  const std::pair<std::string, std::string> cases[] = {
      {"abc=\r\ndef\r\n", "abcdef\r\n"},
      {"abc= \t\r\ndef\r\n", "abcdef\r\n"},
      {"ab==", "ab"},  // at the end the '=' is cut off, then the next one too
      {"=1B$B$\"=1B(B=\r\n=1B$B$$=1B(B\r\n", "\x82\xA0\x82\xA2\r\n"},
      {"line=\r\n\r\n", "line\r\n"},  // a blank line after a soft break is read into it
  };
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(decodeText(text, TextEncoding::QuotedPrintable, TextCharset::Jis), expected) << text;
}

TEST_F(TextDecodeTest, OtherEncodingsNeverJoinAndAutoPassesTextThrough) {
  EXPECT_EQ(decodeText("abc=\r\ndef\r\n", TextEncoding::Auto, TextCharset::Auto),
            "abc=\r\ndef\r\n");
  EXPECT_EQ(decodeText("QUJD=\r\nREVG\r\n", TextEncoding::Base64, TextCharset::Sjis), "ABCDEF");
  EXPECT_EQ(decodeText(std::string("a\0b\r\n", 5), TextEncoding::Auto, TextCharset::Auto),
            std::string("a\0b\r\n", 5));
}

TEST_F(TextDecodeTest, BlankLinesAreCopiedEvenInBase64) {
  EXPECT_EQ(decodeText(" \t\r\nQUJD\r\n\r\n", TextEncoding::Base64, TextCharset::Utf8),
            " \t\r\nABC\r\n");
  EXPECT_EQ(decodeText("\x0C\r\n", TextEncoding::Base64, TextCharset::Sjis), "");  // not blank
}

TEST_F(TextDecodeTest, EachCharsetConvertsToShiftJis) {
  EXPECT_EQ(decodeText("5pel5pys6KqeDQo=\r\n", TextEncoding::Base64, TextCharset::Utf8),
            "\x93\xFA\x96\x7B\x8C\xEA\r\n");
  EXPECT_EQ(decodeText("=A4=A2\n", TextEncoding::QuotedPrintable, TextCharset::Euc),
            "\x82\xA0\r\n");
  EXPECT_EQ(decodeText("=82=A0\r\n", TextEncoding::QuotedPrintable, TextCharset::Sjis),
            "\x82\xA0\r\n");
}

TEST_F(TextDecodeTest, EucLineResultsLongerThanTheBufferAreKeptWhole) {
  // "x" CR repeated: every CR before another byte becomes CR LF, so each 4095-byte piece comes
  // out at about 6 KiB, more than a 4096-byte line result could hold.
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "x\r";
  std::string expected;
  for (std::size_t piece = 0; piece < text.size(); piece += 4095) {
    const std::size_t end = std::min<std::size_t>(piece + 4095, text.size());
    for (std::size_t i = piece; i < end; ++i) {
      expected += text[i];
      if (text[i] == '\r' && i + 1 < end) expected += '\n';  // a CR ending its piece stays alone
    }
  }
  EXPECT_EQ(decodeText(text, TextEncoding::Auto, TextCharset::Euc), expected);
  EXPECT_GT(expected.size(), text.size());
}

TEST_F(TextDecodeTest, OutputCarriesTheSourceTimesAndAnEmptySourceGivesAnEmptyOutput) {
  EXPECT_EQ(decodeText("", TextEncoding::QuotedPrintable, TextCharset::Jis), "");
  EXPECT_EQ(platform.files["out.txt"].times.lastWrite, 22);
  EXPECT_EQ(platform.files["out.txt"].times.lastAccess, 33);
  EXPECT_TRUE(sink.messages.empty());
}

TEST_F(TextDecodeTest, SourceMayBeItsOwnOutput) {
  platform.addFile("self", "=41=42\r\n", FileTimes{1, 2, 3});
  TextDecoder decoder(platform, sink);
  EXPECT_EQ(decoder.decodeText("self", "self", TextEncoding::QuotedPrintable, TextCharset::Jis), 1);
  EXPECT_EQ(platform.contentOf("self"), "AB\r\n");
  EXPECT_EQ(platform.files["self"].times.lastWrite, 2);
}

TEST(DecodeDriverTest, FailuresShowTheirMessageAndLeaveNoOutput) {
  struct Case {
    const char* name;
    void (*arrange)(FakePlatform&);
    std::string message;
  };
  const Case cases[] = {
      {"missing source", [](FakePlatform& p) { p.files.erase("in"); },
       messages::describeOpenFailure(messages::kDecodeOpenFailed, "in", ENOENT)},
      {"locked source", [](FakePlatform& p) { p.files["in"].locked = true; },
       messages::describeOpenFailure(messages::kDecodeOpenFailed, "in", EWOULDBLOCK)},
      {"no status", [](FakePlatform& p) { p.failStatus = true; },
       std::string(messages::kStatusFailed)},
      {"no input block", [](FakePlatform& p) { p.failAllocationNumber = 0; },
       std::string(messages::kDecodeInputBufferFailed)},
      {"read error", [](FakePlatform& p) { p.failReadWith = EIO; },
       messages::describeReadFailure("in", EIO)},
      {"no output block", [](FakePlatform& p) { p.failAllocationNumber = 1; },
       std::string(messages::kDecodeOutputBufferFailed)},
      {"output cannot grow", [](FakePlatform& p) { p.failAllocationNumber = 2; },
       std::string(messages::kDecodeOutputBufferFailed)},
      {"output in a missing folder", [](FakePlatform&) {},
       messages::describeOpenFailure(messages::kDecodeOutputOpenFailed, "nowhere/out", ENOENT)},
      {"disk full", [](FakePlatform& p) { p.failWriteWith = ENOSPC; },
       messages::describeWriteFailure("out", ENOSPC)},
  };
  for (const auto& c : cases) {
    for (bool mail : {false, true}) {
      FakePlatform platform;
      RecordingSink sink;
      platform.addFile("in", "Content-Type: text/plain; charset=x-euc-jp\n\n\xA4\xA2\n");
      c.arrange(platform);
      const std::string output =
          std::string(c.name) == "output in a missing folder" ? "nowhere/out" : "out";
      TextDecoder decoder(platform, sink);
      const int result =
          mail ? decoder.decodeMail("in", output, TextEncoding::Auto, TextCharset::Auto)
               : decoder.decodeText("in", output, TextEncoding::Auto, TextCharset::Euc);
      EXPECT_EQ(result, 0) << c.name;
      EXPECT_EQ(sink.texts(), std::vector<std::string>{c.message}) << c.name;
      EXPECT_FALSE(platform.contentOf(output)) << c.name;
    }
  }
}

TEST(DecodeDriverTest, StampingFailureIsSilent) {
  FakePlatform platform;
  RecordingSink sink;
  platform.addFile("in", "x\n");
  platform.failStatusOf.insert("out");
  TextDecoder decoder(platform, sink);
  EXPECT_EQ(decoder.decodeText("in", "out", TextEncoding::Auto, TextCharset::Auto), 1);
  EXPECT_TRUE(sink.messages.empty());
  EXPECT_EQ(platform.contentOf("out"), "x\n");
}

}  // namespace
}  // namespace korvani
