// Faults from outside for `korvani extract` and `korvani read`, run in-process on the in-memory
// platform: the mail cannot be opened or read, the disk fills at any write, the close fails, a
// folder cannot be made. Each gives exit status 1 and a message naming the file, and leaves no
// file half-written.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "cli/cli_front_end.h"
#include "support/cli_run.h"
#include "support/fake_platform.h"

namespace korvani {
namespace {

using testing::FakePlatform;

using testing::CliRun;
using testing::runOn;

// Two attachments, the second large enough to be decoded in several chunks.
std::string mailWithTwoAttachments() {
  std::string big;
  for (int line = 0; line < 4000; ++line) big += std::string(76, 'Q') + "\n";
  return "From: a@example.com\nSubject: s\nMIME-Version: 1.0\n"
         "Content-Type: multipart/mixed; boundary=\"B\"\n\n"
         "--B\nContent-Type: text/plain\n\nbody\n"
         "--B\nContent-Type: application/pdf; name=\"a.pdf\"\n"
         "Content-Transfer-Encoding: base64\n\nJVBERg==\n"
         "--B\nContent-Type: application/octet-stream; name=\"b.bin\"\n"
         "Content-Transfer-Encoding: base64\n\n" +
         big + "--B--\n";
}

class MailFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.addFile("m.eml", mailWithTwoAttachments(), FileTimes{0, 500, 600});
    // What a run without faults writes, to compare every file left by a faulty run with.
    FakePlatform clean;
    clean.addFile("m.eml", mailWithTwoAttachments());
    const CliRun run = runOn(clean, {"extract", "m.eml", "-d", "out"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const auto& [path, file] : clean.files) {
      if (path != "m.eml") complete[path] = file.content;
    }
    writesInCleanRun = clean.writes;
    ASSERT_EQ(complete.size(), 2u);
    ASSERT_GT(writesInCleanRun, 2u);
  }

  // Every file in `faulty` but the mail is one a clean run writes, and whole.
  void expectNothingHalfWritten(const FakePlatform& faulty) {
    for (const auto& [path, file] : faulty.files) {
      if (path == "m.eml") continue;
      ASSERT_TRUE(complete.count(path)) << path;
      EXPECT_EQ(file.content, complete[path]) << path;
    }
  }

  FakePlatform platform;
  std::map<std::string, std::string> complete;
  std::size_t writesInCleanRun = 0;
};

TEST_F(MailFaultTest, ExtractWritesWholeFilesWithTheMailsTimes) {
  const CliRun run = runOn(platform, {"extract", "m.eml", "-d", "out"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(platform.files["out/a.pdf"].content, "%PDF");
  EXPECT_EQ(platform.files["out/a.pdf"].times.lastWrite, 500);
  EXPECT_EQ(platform.files["out/b.bin"].times.lastAccess, 600);
}

TEST_F(MailFaultTest, AMailThatCannotBeOpenedOrReadIsNamed) {
  for (const bool readFails : {false, true}) {
    SCOPED_TRACE(readFails ? "read fails" : "open fails");
    FakePlatform faulty;
    if (readFails) {
      faulty.addFile("m.eml", mailWithTwoAttachments());
      faulty.failReadWith = EIO;
    }
    const std::string reason = readFails ? "Input/output error" : "No such file or directory";
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"extract", "m.eml", "-d", "out"},
          std::vector<std::string>{"read", "m.eml", "-o", "out.txt"}}) {
      SCOPED_TRACE(arguments.front());
      const CliRun run = runOn(faulty, arguments);
      EXPECT_EQ(run.exitCode, 1);
      EXPECT_EQ(run.err, "korvani: m.eml: cannot be opened: " + reason + "\n");
      EXPECT_EQ(faulty.files.size(), readFails ? 1u : 0u);
    }
  }
}

TEST_F(MailFaultTest, ExtractSurvivesADiskFullAtEachWrite) {
  for (std::size_t number = 0; number < writesInCleanRun; ++number) {
    SCOPED_TRACE("write " + std::to_string(number));
    FakePlatform faulty;
    faulty.addFile("m.eml", mailWithTwoAttachments());
    faulty.failWriteNumber = number;
    const CliRun run = runOn(faulty, {"extract", "m.eml", "-d", "out"});
    EXPECT_EQ(run.exitCode, 1);
    const std::string failed = number == 0 ? "out/a.pdf" : "out/b.bin";
    EXPECT_EQ(run.err, "korvani: " + failed + ": cannot be written: No space left on device\n");
    EXPECT_FALSE(faulty.files.count(failed));
    expectNothingHalfWritten(faulty);
  }
}

TEST_F(MailFaultTest, ExtractReportsAFailedCloseAndAFolderThatCannotBeMade) {
  platform.failCommitWith = EIO;
  CliRun run = runOn(platform, {"extract", "m.eml", "-d", "out"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err,
            "korvani: out/a.pdf: cannot be written: Input/output error\n"
            "korvani: out/b.bin: cannot be written: Input/output error\n");
  EXPECT_EQ(platform.files.size(), 1u);

  platform.failCommitWith = 0;
  platform.failFolderWith = EACCES;
  run = runOn(platform, {"extract", "m.eml", "m.eml", "-d", "out"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err.substr(0, run.err.find('\n')),
            "korvani: out: the folder cannot be made: Permission denied");
  EXPECT_EQ(platform.files.size(), 1u);
}

TEST_F(MailFaultTest, ReadLeavesNoOutputWhenTheWriteOrTheCloseFails) {
  struct Case {
    const char* fault;
    std::function<void(FakePlatform&)> inject;
    const char* reason;
  } cases[] = {
      {"disk full", [](FakePlatform& p) { p.failWriteNumber = 0; }, "No space left on device"},
      {"EIO at close", [](FakePlatform& p) { p.failCommitWith = EIO; }, "Input/output error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    FakePlatform faulty;
    faulty.addFile("m.eml", mailWithTwoAttachments());
    c.inject(faulty);
    const CliRun run = runOn(faulty, {"read", "m.eml", "-o", "out.txt"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, std::string("korvani: out.txt: cannot be written: ") + c.reason + "\n");
    EXPECT_FALSE(faulty.files.count("out.txt"));
  }
}

}  // namespace
}  // namespace korvani
