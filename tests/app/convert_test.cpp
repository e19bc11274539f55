#include "app/convert.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "common/messages.h"
#include "support/fake_platform.h"
#include "support/mail_fixtures.h"

namespace korvani {
namespace {

using testing::FakePlatform;
using testing::RecordedMessage;
using testing::RecordingSink;
using testing::ScriptedChooser;

TEST(ConvertTest, MissingSourceIsTheDialogsOwnMessageAndNothingElseHappens) {
  for (ConvertMode mode : {ConvertMode::BinaryDecode, ConvertMode::BinaryEncode,
                           ConvertMode::MailDecode, ConvertMode::TextDecode}) {
    FakePlatform platform;
    RecordingSink sink;
    ScriptedChooser chooser(std::string("out"));
    ConversionRequest request;
    request.mode = mode;
    EXPECT_EQ(convert(request, platform, sink, chooser), ConvertOutcome::MissingSource);
    EXPECT_EQ(sink.messages, (std::vector<RecordedMessage>{
                                 {std::string(messages::kMissingSource), MessageOwner::Dialog}}));
    EXPECT_TRUE(platform.events.empty());
    EXPECT_TRUE(chooser.proposedNames.empty());
  }
}

TEST(ConvertTest, UnknownModeDoesNothing) {
  FakePlatform platform;
  RecordingSink sink;
  ScriptedChooser chooser(std::string("out"));
  ConversionRequest request{"in", "", static_cast<ConvertMode>(7)};
  EXPECT_EQ(convert(request, platform, sink, chooser), ConvertOutcome::NothingDone);
  EXPECT_TRUE(platform.events.empty());
  EXPECT_TRUE(sink.messages.empty());
}

TEST(ConvertTest, BinaryEncodeReadsTheSourceBeforeAskingForTheOutputWithNoName) {
  FakePlatform platform;
  RecordingSink sink(&platform.events);
  ScriptedChooser chooser(std::string("out.eml"), &platform.events);
  platform.addFile("in.bin", "abcd");
  ConversionRequest request{"in.bin", "", ConvertMode::BinaryEncode};
  EXPECT_EQ(convert(request, platform, sink, chooser), ConvertOutcome::Converted);
  EXPECT_EQ(platform.events, (std::vector<std::string>{"open in.bin", "choose ", "write out.eml"}));
  EXPECT_EQ(request.outputPath, "out.eml");
}

TEST(ConvertTest, BinaryEncodeOfAnUnreadableSourceNeverAsksForTheOutput) {
  FakePlatform platform;
  RecordingSink sink;
  ScriptedChooser chooser(std::string("out.eml"));
  ConversionRequest request{"missing", "", ConvertMode::BinaryEncode};
  EXPECT_EQ(convert(request, platform, sink, chooser), ConvertOutcome::Failed);
  EXPECT_TRUE(chooser.proposedNames.empty());
  EXPECT_EQ(sink.texts(), std::vector<std::string>{messages::describeOpenFailure(
                              messages::kPackageOpenFailed, "missing", ENOENT)});
}

TEST(ConvertTest, CancellingTheOutputWritesAndShowsNothing) {
  FakePlatform platform;
  RecordingSink sink;
  ScriptedChooser chooser(std::nullopt);
  platform.addFile("in.bin", "abcd");
  ConversionRequest request{"in.bin", "", ConvertMode::BinaryEncode};
  EXPECT_EQ(convert(request, platform, sink, chooser), ConvertOutcome::Cancelled);
  EXPECT_TRUE(sink.messages.empty());
  EXPECT_EQ(platform.files.size(), 1u);
}

const std::string kMailWithAttachment = testing::mailNaming("report.pdf");

TEST(ConvertTest, BinaryDecodeScansTheMailBeforeProposingTheAttachmentsName) {
  FakePlatform platform;
  RecordingSink sink(&platform.events);
  ScriptedChooser chooser(std::string("out.pdf"), &platform.events);
  platform.addFile("mail.eml", kMailWithAttachment, FileTimes{1, 2, 3});
  ConversionRequest request{"mail.eml", "", ConvertMode::BinaryDecode};
  EXPECT_EQ(convert(request, platform, sink, chooser), ConvertOutcome::Converted);
  EXPECT_EQ(platform.events,
            (std::vector<std::string>{"open mail.eml", "status mail.eml", "choose report.pdf",
                                      "write out.pdf", "status out.pdf", "times out.pdf"}));
  EXPECT_EQ(platform.contentOf("out.pdf"), "abcd");
  EXPECT_EQ(request.outputPath, "out.pdf");
}

TEST(ConvertTest, BinaryDecodeOfAMailWithoutAttachmentNeverAsksForTheOutput) {
  FakePlatform platform;
  RecordingSink sink;
  ScriptedChooser chooser(std::string("out"));
  platform.addFile("mail.eml", "Subject: hello\r\n\r\ntext\r\n");
  ConversionRequest request{"mail.eml", "", ConvertMode::BinaryDecode};
  EXPECT_EQ(convert(request, platform, sink, chooser), ConvertOutcome::Failed);
  EXPECT_TRUE(chooser.proposedNames.empty());
  EXPECT_EQ(sink.texts(), std::vector<std::string>{std::string(messages::kBadMailStructure)});
}

TEST(ConvertTest, BinaryDecodeCancelledOrFailingAtTheOutputEndsCleanly) {
  for (const bool cancel : {true, false}) {
    FakePlatform platform;
    RecordingSink sink;
    ScriptedChooser chooser(cancel ? std::nullopt : std::optional<std::string>("no/out"));
    platform.addFile("mail.eml", kMailWithAttachment);
    ConversionRequest request{"mail.eml", "", ConvertMode::BinaryDecode};
    EXPECT_EQ(convert(request, platform, sink, chooser),
              cancel ? ConvertOutcome::Cancelled : ConvertOutcome::Failed);
    EXPECT_EQ(chooser.proposedNames, std::vector<std::string>{"report.pdf"});
    EXPECT_EQ(platform.files.size(), 1u);
    EXPECT_EQ(sink.texts(), cancel ? std::vector<std::string>{}
                                   : std::vector<std::string>{messages::describeOpenFailure(
                                         messages::kExtractSaveOpenFailed, "no/out", ENOENT)});
  }
}

}  // namespace
}  // namespace korvani
