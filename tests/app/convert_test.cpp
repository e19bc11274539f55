#include "app/convert.h"

#include <gtest/gtest.h>

#include "common/messages.h"
#include "support/fake_platform.h"

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
  EXPECT_EQ(platform.events,
            (std::vector<std::string>{"open in.bin", "choose ", "write out.eml"}));
  EXPECT_EQ(request.outputPath, "out.eml");
}

TEST(ConvertTest, BinaryEncodeOfAnUnreadableSourceNeverAsksForTheOutput) {
  FakePlatform platform;
  RecordingSink sink;
  ScriptedChooser chooser(std::string("out.eml"));
  ConversionRequest request{"missing", "", ConvertMode::BinaryEncode};
  EXPECT_EQ(convert(request, platform, sink, chooser), ConvertOutcome::Failed);
  EXPECT_TRUE(chooser.proposedNames.empty());
  EXPECT_EQ(sink.texts(), std::vector<std::string>{std::string(messages::kPackageOpenFailed)});
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

}  // namespace
}  // namespace korvani
