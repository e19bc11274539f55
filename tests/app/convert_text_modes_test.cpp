#include <gtest/gtest.h>

#include <cerrno>

#include "app/convert.h"
#include "common/messages.h"
#include "support/fake_platform.h"

namespace korvani {
namespace {

using testing::FakePlatform;
using testing::RecordingSink;
using testing::ScriptedChooser;

TEST(ConvertTextModesTest, OutputIsChosenWithNoNameBeforeTheSourceIsRead) {
  for (ConvertMode mode : {ConvertMode::MailDecode, ConvertMode::TextDecode}) {
    FakePlatform platform;
    RecordingSink sink(&platform.events);
    ScriptedChooser chooser(std::string("out.txt"), &platform.events);
    ConversionRequest request{"missing.eml", "", mode};
    EXPECT_EQ(convert(request, platform, sink, chooser), ConvertOutcome::Failed);
    EXPECT_EQ(platform.events,
              (std::vector<std::string>{
                  "choose ", "open missing.eml",
                  "message " + messages::describeOpenFailure(messages::kDecodeOpenFailed,
                                                             "missing.eml", ENOENT)}));
  }
}

TEST(ConvertTextModesTest, OptionsReachTheDecoderUnchanged) {
  FakePlatform platform;
  RecordingSink sink;
  ScriptedChooser chooser(std::string("out.txt"));
  platform.addFile("in.txt", "QUJD\r\n");
  ConversionRequest request{"in.txt", "", ConvertMode::TextDecode, TextEncoding::Base64,
                            TextCharset::Sjis};
  EXPECT_EQ(convert(request, platform, sink, chooser), ConvertOutcome::Converted);
  EXPECT_EQ(platform.contentOf("out.txt"), "ABC");
  request.mode = ConvertMode::MailDecode;
  EXPECT_EQ(convert(request, platform, sink, chooser), ConvertOutcome::Converted);
  EXPECT_EQ(platform.contentOf("out.txt"), "QUJD\r\n");  // a header line: only encoded words
}

TEST(ConvertTextModesTest, TheRequestTellsWhetherCharactersWereDropped) {
  FakePlatform platform;
  RecordingSink sink;
  ScriptedChooser chooser(std::string("out.txt"));
  // Mails, so that mail decode reaches the body with the options given.
  platform.addFile("body.txt", "Subject: x\r\n\r\n=F0=A0=AE=B7\r\n");  // 𠮷
  platform.addFile("clean.txt", "Subject: x\r\n\r\n=E3=81=82\r\n");
  platform.addFile("word.txt", "Subject: =?utf-8?B?8J+YgA==?=\r\n\r\nb\r\n");  // 😀
  struct Run {
    const char* source;
    bool droppedByTextDecode;
    bool droppedByMailDecode;  // which alone reads encoded words
  };
  const Run runs[] = {{"body.txt", true, true},
                      {"clean.txt", false, false},
                      {"word.txt", false, true},
                      {"missing.txt", false, false}};
  for (ConvertMode mode : {ConvertMode::TextDecode, ConvertMode::MailDecode}) {
    ConversionRequest request{"", "", mode, TextEncoding::QuotedPrintable, TextCharset::Utf8};
    for (const Run& run : runs) {
      request.sourcePath = run.source;
      convert(request, platform, sink, chooser);
      EXPECT_EQ(request.charactersDropped,
                mode == ConvertMode::TextDecode ? run.droppedByTextDecode : run.droppedByMailDecode)
          << run.source;
    }
  }
}

TEST(ConvertTextModesTest, CancellingTheOutputNeverReadsTheSource) {
  FakePlatform platform;
  RecordingSink sink;
  ScriptedChooser chooser(std::nullopt);
  platform.addFile("in.txt", "x");
  ConversionRequest request{"in.txt", "", ConvertMode::MailDecode};
  EXPECT_EQ(convert(request, platform, sink, chooser), ConvertOutcome::Cancelled);
  EXPECT_TRUE(platform.events.empty());
  EXPECT_TRUE(sink.messages.empty());
}

}  // namespace
}  // namespace korvani
