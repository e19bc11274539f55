// The one save path on the in-memory platform: every outcome, every fault at every step, and
// nothing half-written or written onto an input.
#include "save/attachment_saver.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "support/fake_platform.h"

namespace korvani::save {
namespace {

using testing::FakePlatform;

const mail::MailLibrary kLibrary;

// A mail with two attachments, a.txt (three base64 lines of 57 bytes each, decoded in several
// chunks only when large) and b.bin, and optionally one cut short.
std::string mailText(bool cutShort = false) {
  std::string mail =
      "From: a@example.com\nSubject: s\nMIME-Version: 1.0\n"
      "Content-Type: multipart/mixed; boundary=\"B\"\n\n"
      "--B\nContent-Type: text/plain\n\nbody\n"
      "--B\nContent-Type: text/plain; name=\"a.txt\"\nContent-Disposition: attachment; "
      "filename=\"a.txt\"\nContent-Transfer-Encoding: base64\n\naGVsbG8=\n"
      "--B\nContent-Type: application/octet-stream; name=\"b.bin\"\n"
      "Content-Transfer-Encoding: base64\n\n";
  mail += cutShort ? "AAEC" : "AAEC\n--B--\n";
  return mail;
}

class AttachmentSaverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mail = mail::parseMail(mailText());
    ASSERT_TRUE(mail);
    for (std::size_t index = 0; index < mail->parts().size(); ++index) {
      if (mail->parts()[index].name == "a.txt") first = index;
    }
    int error = 0;
    folder = platform.openFolder("out", true, error);
    ASSERT_TRUE(folder);
  }

  SaveOutcome save(const std::string& name, bool replace,
                   const std::optional<FileTimes>& times = std::nullopt,
                   const ByteProgress& progress = {}) {
    return saver.save(*folder, name, *mail, first, replace, times, progress);
  }

  FakePlatform platform;
  AttachmentSaver saver{platform};
  std::unique_ptr<mail::Mail> mail;
  std::size_t first = 0;
  std::unique_ptr<Folder> folder;
};

TEST_F(AttachmentSaverTest, WritesThePartWithTheMailsTimes) {
  const SaveOutcome outcome = save("a.txt", false, FileTimes{0, 1000, 2000});
  EXPECT_EQ(outcome.status, SaveStatus::Written);
  EXPECT_EQ(outcome.target, "out/a.txt");
  EXPECT_EQ(platform.contentOf("out/a.txt"), "hello");
  EXPECT_EQ(platform.files["out/a.txt"].times.lastWrite, 1000);
  EXPECT_EQ(platform.files["out/a.txt"].times.lastAccess, 2000);
}

TEST_F(AttachmentSaverTest, AnExistingEntryIsKeptUnlessReplacingIsAllowed) {
  platform.addFile("out/a.txt", "before");
  EXPECT_EQ(save("a.txt", false).status, SaveStatus::AlreadyExists);
  EXPECT_EQ(platform.contentOf("out/a.txt"), "before");
  EXPECT_EQ(save("a.txt", true).status, SaveStatus::Written);
  EXPECT_EQ(platform.contentOf("out/a.txt"), "hello");
}

TEST_F(AttachmentSaverTest, AnInputOfTheRunIsNeverReplaced) {
  platform.addFile("out/mail.eml", mailText());
  saver.addInput("out/mail.eml");
  saver.addInput("no/such/file");  // ignored
  const SaveOutcome outcome = save("mail.eml", true);
  EXPECT_EQ(outcome.status, SaveStatus::TargetIsInput);
  EXPECT_EQ(outcome.target, "out/mail.eml");
  EXPECT_EQ(platform.contentOf("out/mail.eml"), mailText());
  EXPECT_EQ(save("other.eml", true).status, SaveStatus::Written);
}

TEST_F(AttachmentSaverTest, EveryFaultLeavesNothingBehindAndSaysWhy) {
  struct Case {
    const char* fault;
    void (*inject)(FakePlatform&);
    SaveStatus status;
    int errorNumber;
  } cases[] = {
      {"disk full at the first write", [](FakePlatform& p) { p.failWriteNumber = 0; },
       SaveStatus::WriteFailed, ENOSPC},
      {"every write fails", [](FakePlatform& p) { p.failWriteWith = EIO; }, SaveStatus::WriteFailed,
       EIO},
      {"EIO at close", [](FakePlatform& p) { p.failCommitWith = EIO; }, SaveStatus::WriteFailed,
       EIO},
      {"read-only target",
       [](FakePlatform& p) {
         p.addFile("out/a.txt", "ro");
         p.files["out/a.txt"].readOnly = true;
       },
       SaveStatus::WriteFailed, EACCES},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    FakePlatform faulty;
    c.inject(faulty);
    AttachmentSaver local(faulty);
    int error = 0;
    auto out = faulty.openFolder("out", true, error);
    ASSERT_TRUE(out);
    const auto before = faulty.files;
    const SaveOutcome outcome = local.save(*out, "a.txt", *mail, first, true, std::nullopt);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(outcome.errorNumber, c.errorNumber);
    EXPECT_EQ(faulty.files.size(), before.size());
    if (before.count("out/a.txt")) {
      EXPECT_EQ(faulty.contentOf("out/a.txt"), "ro");
    }
  }
}

TEST_F(AttachmentSaverTest, StoppingOrAnUnreadablePartWritesNothing) {
  EXPECT_EQ(save("a.txt", false, std::nullopt, [](std::uint64_t) { return false; }).status,
            SaveStatus::Stopped);
  EXPECT_FALSE(platform.contentOf("out/a.txt"));
  const auto outcome = saver.save(*folder, "x", *mail, 0, false, std::nullopt);  // the mail itself
  EXPECT_EQ(outcome.status, SaveStatus::Unreadable);
  EXPECT_FALSE(platform.contentOf("out/x"));
}

TEST_F(AttachmentSaverTest, APartTheMailEndsInsideIsWrittenAndSaidToBeShort) {
  const auto cut = mail::parseMail(mailText(true));
  ASSERT_TRUE(cut);
  const std::size_t last = cut->parts().size() - 1;
  ASSERT_TRUE(cut->parts()[last].truncated);
  const SaveOutcome outcome = saver.save(*folder, "b.bin", *cut, last, false, std::nullopt);
  EXPECT_EQ(outcome.status, SaveStatus::Truncated);
  EXPECT_TRUE(outcome.written());
  EXPECT_EQ(platform.contentOf("out/b.bin"), std::string("\0\1\2", 3));
}

TEST(TargetFoldersTest, SubfoldersAreNamedSafelyOnceAndMadeOnlyWhenAsked) {
  FakePlatform platform;
  TargetFolders folders(platform, "dest");
  EXPECT_EQ(folders.claimSubfolder("mail"), "mail");
  EXPECT_EQ(folders.claimSubfolder("MAIL"), "MAIL (2)");
  EXPECT_EQ(folders.claimSubfolder("..."), "mail (3)");
  EXPECT_EQ(folders.claimSubfolder("a/b"), "b");
  EXPECT_TRUE(platform.folders.empty()) << "claiming makes nothing";
  int error = 0;
  auto sub = folders.subfolder("mail", error);
  ASSERT_TRUE(sub);
  EXPECT_EQ(sub->path(), "dest/mail");
  EXPECT_EQ(platform.folders, (std::set<std::string>{"dest", "dest/mail"}));
}

TEST(TargetFoldersTest, AFolderThatCannotBeMadeIsNamed) {
  FakePlatform platform;
  platform.addFile("dest", "a file");
  TargetFolders folders(platform, "dest");
  int error = 0;
  EXPECT_FALSE(folders.root(error));
  EXPECT_EQ(error, ENOTDIR);
  EXPECT_EQ(folders.failedPath(), "dest");

  FakePlatform other;
  TargetFolders inner(other, "dest");
  ASSERT_TRUE(inner.root(error));
  other.failFolderWith = EACCES;
  EXPECT_FALSE(inner.subfolder("m", error));
  EXPECT_EQ(error, EACCES);
  EXPECT_EQ(inner.failedPath(), "dest/m");
}

}  // namespace
}  // namespace korvani::save
