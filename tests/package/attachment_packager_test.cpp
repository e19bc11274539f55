#include "package/attachment_packager.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "common/messages.h"
#include "support/fake_platform.h"
#include "support/test_files.h"

namespace korvani {
namespace {

using testing::FakePlatform;
using testing::RecordingSink;

const std::string kPlaceholder =
    "\x20\x20\x81\x69\x82\xB1\x82\xB1\x82\xC9\x83\x81\x83\x62\x83\x5A\x81\x5B\x83\x57\x82\xF0"
    "\x8F\x91\x82\xA2\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2\x81\x6A\r\n";

class AttachmentPackagerTest : public ::testing::Test {
 protected:
  // Packages `content` stored as `path` and returns the written mail ("" when none was written).
  std::string package(const std::string& path, const std::string& content) {
    platform.addFile(path, content);
    AttachmentPackager packager(platform, sink);
    EXPECT_EQ(packager.load(path), 1);
    EXPECT_EQ(packager.writeMessage("out.eml"), 1);
    return platform.contentOf("out.eml").value_or("");
  }

  FakePlatform platform;
  RecordingSink sink;
};

TEST_F(AttachmentPackagerTest, WorkedExampleIsByteExact) {
  const std::string expected =
      "Mime-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=\"DATE050309_TIME140507\"\r\n"
      "\r\n"
      "This is a multi-part message in MIME format.\r\n"
      "\r\n"
      "--DATE050309_TIME140507\r\n"
      "Content-Type: text/plain; charset=iso-2022-jp\r\n"
      "\r\n" +
      kPlaceholder +
      "\r\n"
      "--DATE050309_TIME140507\r\n"
      "Content-Type: application/octet-stream; name=\"a.bin\"\r\n"
      "Content-Transfer-Encoding: base64\r\n"
      "Content-Disposition: attachment; filename=\"a.bin\"\r\n"
      "\r\n"
      "YWJjZA==\r\n"
      "\r\n"
      "\r\n"
      "--DATE050309_TIME140507--\r\n";
  const std::string mail = package("/home/user/data/a.bin", "abcd");
  EXPECT_EQ(mail, expected);
  EXPECT_EQ(mail.size(), 458u);
  EXPECT_EQ(AttachmentPackager::messageCapacity(4), 2053u);
  EXPECT_TRUE(sink.messages.empty());
}

TEST_F(AttachmentPackagerTest, CapacityFollowsTheSizingFormula) {
  const std::pair<std::uint64_t, std::uint64_t> cases[] = {
      {0, 2048}, {4, 2053}, {45, 2110}, {1000, 3425}, {4294967295u, 5917512543u}};
  for (const auto& [length, capacity] : cases)
    EXPECT_EQ(AttachmentPackager::messageCapacity(length), capacity) << length;
}

// Size of the mail for n > 0 bytes: 438 + 2 * |name| + 4 * ceil(n / 3) + 2 * ceil(n / 45), and
// the Base64 lines hold 60 characters but the last.
TEST_F(AttachmentPackagerTest, SizeAndLineLayoutHoldForEveryLength) {
  for (std::size_t n : {1, 2, 3, 44, 45, 46, 90, 91, 4096, 65537, 1000003}) {
    const std::string mail = package("x.dat", testing::randomBytes(n, static_cast<unsigned>(n)));
    EXPECT_EQ(mail.size(), 438 + 2 * 5 + 4 * ((n + 2) / 3) + 2 * ((n + 44) / 45)) << n;
    const std::size_t bodyStart = mail.find("filename=\"x.dat\"\r\n\r\n") + 20;
    const std::size_t bodyEnd = mail.find("\r\n\r\n\r\n--DATE", bodyStart) + 2;
    std::size_t lines = 0;
    for (std::size_t at = bodyStart; at < bodyEnd; ++lines) {
      const std::size_t end = mail.find("\r\n", at);
      const std::size_t width = end - at;
      if (end + 2 < bodyEnd) {
        EXPECT_EQ(width, 60u) << n;
      }
      at = end + 2;
    }
    EXPECT_EQ(lines, (n + 44) / 45) << n;
  }
}

TEST_F(AttachmentPackagerTest, LastLinesFollowTheTripleRule) {
  const std::pair<std::size_t, std::string> cases[] = {{3, "YWFh\r\n"},
                                                       {46, "YQ==\r\n"}};  // 'a' repeated
  for (const auto& [n, lastLine] : cases) {
    const std::string mail = package("a.txt", std::string(n, 'a'));
    EXPECT_NE(mail.find("\r\n" + lastLine + "\r\n\r\n--DATE"), std::string::npos) << n;
  }
}

TEST_F(AttachmentPackagerTest, EmptySourceGivesOneEmptyLine) {
  const std::string mail = package("empty", "");
  EXPECT_EQ(mail.size(), 438u + 2 * 5 + 2);
  EXPECT_NE(mail.find("filename=\"empty\"\r\n\r\n\r\n\r\n\r\n--DATE050309_TIME140507--\r\n"),
            std::string::npos);
}

TEST_F(AttachmentPackagerTest, JapaneseNameStandsAsRawBytesInBothParameters) {
  const std::string name = "\x95\x5C.txt";  // 表.txt in Shift_JIS: its second byte is '\'
  const std::string mail = package("dir/" + name, "x");
  EXPECT_NE(mail.find("name=\"" + name + "\"\r\n"), std::string::npos);
  EXPECT_NE(mail.find("filename=\"" + name + "\"\r\n"), std::string::npos);
}

TEST_F(AttachmentPackagerTest, BoundaryComesFromTheLocalTimeOrTheEpoch) {
  platform.clock.tm_year = 124;  // 2024-12-31 23:59:58
  platform.clock.tm_mon = 11;
  platform.clock.tm_mday = 31;
  platform.clock.tm_hour = 23;
  platform.clock.tm_min = 59;
  platform.clock.tm_sec = 58;
  EXPECT_NE(package("a", "a").find("--DATE241231_TIME235958--"), std::string::npos);
  platform.clockFails = true;
  EXPECT_NE(package("a", "a").find("--DATE700101_TIME000000--"), std::string::npos);
}

TEST(AppendPieceTest, SkipsAPieceThatWouldFillTheBlockAndGoesOn) {
  std::uint8_t buffer[8] = {};
  std::uint64_t used = 0;
  EXPECT_EQ(AttachmentPackager::appendPiece(buffer, "abcd", used, 8), 1);
  EXPECT_EQ(AttachmentPackager::appendPiece(buffer, "efgh", used, 8), 0);  // 4 + 4 >= 8
  EXPECT_EQ(used, 4u);
  EXPECT_EQ(AttachmentPackager::appendPiece(buffer, "efg", used, 8), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer)), "abcdefg");
}

TEST_F(AttachmentPackagerTest, FailuresShowTheirMessageAndWriteNothing) {
  struct Case {
    const char* name;
    void (*arrange)(FakePlatform&);
    std::string message;
    bool loads;
  };
  const Case cases[] = {
      {"missing source", [](FakePlatform& p) { p.files.erase("in"); },
       messages::describeOpenFailure(messages::kPackageOpenFailed, "in", ENOENT), false},
      {"locked source", [](FakePlatform& p) { p.files["in"].locked = true; },
       messages::describeOpenFailure(messages::kPackageOpenFailed, "in", EWOULDBLOCK), false},
      {"folder source", [](FakePlatform& p) { p.files.erase("in"), p.folders.insert("in"); },
       messages::describeOpenFailure(messages::kPackageOpenFailed, "in", EISDIR), false},
      {"no image", [](FakePlatform& p) { p.failAllocationNumber = 0; },
       std::string(messages::kPackageImageFailed), false},
      {"read error", [](FakePlatform& p) { p.failReadWith = EIO; },
       messages::describeReadFailure("in", EIO), false},
      {"no message block", [](FakePlatform& p) { p.failAllocationNumber = 1; },
       std::string(messages::kOutputBufferFailed), true},
      {"output is a folder", [](FakePlatform& p) { p.folders.insert("out"); },
       messages::describeOpenFailure(messages::kPackageSaveOpenFailed, "out", EISDIR), true},
      {"read-only output",
       [](FakePlatform& p) { p.addFile("out", "old"), p.files["out"].readOnly = true; },
       messages::describeOpenFailure(messages::kPackageSaveOpenFailed, "out", EACCES), true},
      {"disk full", [](FakePlatform& p) { p.failWriteWith = ENOSPC; },
       messages::describeWriteFailure("out", ENOSPC), true},
  };
  for (const auto& c : cases) {
    FakePlatform fake;
    RecordingSink messages;
    fake.addFile("in", "payload");
    c.arrange(fake);
    const auto before = fake.contentOf("out");
    AttachmentPackager packager(fake, messages);
    const int loaded = packager.load("in");
    EXPECT_EQ(loaded, c.loads ? 1 : 0) << c.name;
    if (loaded) {
      EXPECT_EQ(packager.writeMessage("out"), 0) << c.name;
    }
    EXPECT_EQ(messages.texts(), std::vector<std::string>{c.message}) << c.name;
    EXPECT_EQ(fake.contentOf("out"), before) << c.name;
  }
}

TEST_F(AttachmentPackagerTest, SourceCanBeItsOwnOutputAndKeepsNoSourceTimes) {
  platform.addFile("same", "abcd", FileTimes{1, 2, 3});
  AttachmentPackager packager(platform, sink);
  ASSERT_EQ(packager.load("same"), 1);
  ASSERT_EQ(packager.writeMessage("same"), 1);
  EXPECT_EQ(platform.contentOf("same")->size(), 458u - 10 + 8);
  EXPECT_EQ(platform.files["same"].times.lastWrite, 9);  // the time of its own writing
}

}  // namespace
}  // namespace korvani
