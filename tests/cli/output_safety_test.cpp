// Where outputs go and what they may replace, end to end on the real file system.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "platform/posix_platform.h"
#include "support/mail_fixtures.h"
#include "support/test_files.h"

namespace korvani {
namespace {

using testing::entriesOf;
using testing::mailNaming;
using testing::readFile;
using testing::runKorvani;
using testing::runProgram;
using testing::ScopedTempDir;
using testing::writeFile;

// A shell command line from its words, each quoted.
std::string shellLine(std::initializer_list<std::string> words) {
  std::string line;
  for (const std::string& word : words) {
    line.append(line.empty() ? "'" : " '").append(word).append("'");
  }
  return line;
}

std::string linkTarget(const std::string& path) {
  char buffer[4096];
  const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
  return n < 0 ? std::string() : std::string(buffer, static_cast<std::size_t>(n));
}

TEST(OutputSafetyTest, AChosenNameNeverWritesThroughASymbolicLink) {
  ScopedTempDir dir;
  ::mkdir(dir.file("into").c_str(), 0700);
  writeFile(dir.file("m.eml"), mailNaming("a.bin"));
  writeFile(dir.file("victim"), "precious");
  ::symlink("../victim", dir.file("into/a.bin").c_str());
  writeFile(dir.file("target"), "old");
  ::symlink("../target", dir.file("into/typed").c_str());

  auto result = runKorvani({"binary-decode", dir.file("m.eml"), "-d", dir.file("into")});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("already exists"), std::string::npos) << result.err;
  EXPECT_EQ(linkTarget(dir.file("into/a.bin")), "../victim");

  result = runKorvani({"binary-decode", dir.file("m.eml"), "-d", dir.file("into"), "--force"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  struct stat entry {};
  ASSERT_EQ(::lstat(dir.file("into/a.bin").c_str(), &entry), 0);
  EXPECT_TRUE(S_ISREG(entry.st_mode));  // the entry itself was replaced
  EXPECT_EQ(readFile(dir.file("into/a.bin")), "abcd");
  EXPECT_EQ(readFile(dir.file("victim")), "precious");

  // A typed -o still replaces what its link points at, as documented.
  result = runKorvani({"binary-decode", dir.file("m.eml"), "-o", dir.file("into/typed")});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(linkTarget(dir.file("into/typed")), "../target");
  EXPECT_EQ(readFile(dir.file("target")), "abcd");
}

TEST(OutputSafetyTest, DescriptorPathsAreWrittenThroughAndDevicesKeepTheirTimes) {
  ScopedTempDir dir;
  writeFile(dir.file("t.txt"), "hello=\r\n");
  writeFile(dir.file("log.txt"), "earlier line\n");
  const std::string command =
      shellLine({KORVANI_BINARY, "text-decode", dir.file("t.txt"), "-o", "/dev/stdout"})
          .append(" >> ")
          .append(shellLine({dir.file("log.txt")}));
  auto result = runProgram("sh", {"-c", command});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(readFile(dir.file("log.txt")), "earlier line\nhello");

  // An old source must not lend its times to /dev/null.
  const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  ::utimensat(AT_FDCWD, dir.file("t.txt").c_str(), old, 0);
  struct stat before {};
  ::stat("/dev/null", &before);
  result = runKorvani({"binary-encode", dir.file("t.txt"), "-o", "/dev/null"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  struct stat after {};
  ::stat("/dev/null", &after);
  EXPECT_NE(after.st_mtim.tv_sec, 1000000000);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
}

TEST(OutputSafetyTest, AFileSizeLimitIsAWriteFailureAndLeavesNothing) {
  ScopedTempDir dir;
  writeFile(dir.file("in"), std::string(200000, 'x'));
  // ulimit -f counts 512-byte blocks: 64 KiB here.
  const std::string command = std::string("ulimit -f 128; exec ")
                                  .append(shellLine({KORVANI_BINARY, "binary-encode",
                                                     dir.file("in"), "-o", dir.file("out")}));
  const auto result = runProgram("sh", {"-c", command});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "korvani: ファイル書込ＮＧ: " + dir.file("out") + ": File too large\n");
  EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"in"});
}

TEST(OutputSafetyTest, BinaryEncodeCarriesAUtf8NameInCodePage932AndNoHeaderInjection) {
  ScopedTempDir dir;
  ::mkdir(dir.file("back").c_str(), 0700);
  const std::pair<std::string, std::string> cases[] = {
      {"報告書.pdf", "報告書.pdf"},  // code page 932 in the mail, UTF-8 again on disk
      {"😀.txt", "😀.txt"},            // no code page 932 form: UTF-8 in the mail
      {"a\"b\rX-Evil: 1.txt", "a_b_X-Evil_ 1.txt"},  // ':' is no part of a name on Windows
  };
  for (const auto& [name, back] : cases) {
    writeFile(dir.file(name), "abcd");
    auto result = runKorvani({"binary-encode", dir.file(name), "-o", dir.file("m.eml")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string mail = readFile(dir.file("m.eml"));
    EXPECT_EQ(mail.find("\rX-Evil"), std::string::npos) << name;
    result = runKorvani({"binary-decode", dir.file("m.eml"), "-d", dir.file("back")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(readFile(dir.file("back/" + back)), "abcd") << name;
    ::unlink(dir.file(name).c_str());
  }
  EXPECT_NE(readFile(dir.file("m.eml")).find("\r\nContent-Transfer-Encoding: base64\r\n"),
            std::string::npos);
}

TEST(OutputSafetyTest, PartHeaderFieldsOfTodaysMailersDoNotStartTheBody) {
  ScopedTempDir dir;
  const std::string headers[] = {
      "X-Attachment-Id: f_lx2k9q0\r\n",
      "Content-ID: <f_lx2k9q0>\r\nX-Attachment-Id: f_lx2k9q0\r\n",
      "X-Folded: first\r\n\tsecond\r\n",
  };
  for (const std::string& header : headers) {
    writeFile(dir.file("m.eml"), mailNaming("a.bin", header));
    const auto result = runKorvani({"binary-decode", dir.file("m.eml"), "-o", dir.file("out")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(readFile(dir.file("out")), "abcd") << header;
  }
}

// Creation on the real file system: the no-replace check happens when the file is put in place,
// and neither kind of temporary outlives a failure or a signal.
class FileCreationTest : public ::testing::TestWithParam<bool> {
 protected:
  ScopedTempDir dir;
  PosixPlatform platform{GetParam()};
};

TEST_P(FileCreationTest, AnEntryAppearingMeanwhileIsNeverReplacedOrFollowed) {
  WriteResult result;
  auto file = platform.createFile(dir.file("out"), ExistingEntry::Keep, result);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->write(reinterpret_cast<const std::uint8_t*>("new"), 3).status,
            WriteStatus::Written);
  writeFile(dir.file("victim"), "precious");
  ::symlink("victim", dir.file("out").c_str());  // planted while the file was being written
  EXPECT_EQ(file->commit().status, WriteStatus::AlreadyExists);
  file.reset();
  EXPECT_EQ(readFile(dir.file("victim")), "precious");
  EXPECT_EQ(entriesOf(dir.path()), (std::vector<std::string>{"out", "victim"}));

  file = platform.createFile(dir.file("out"), ExistingEntry::ReplaceEntry, result);
  ASSERT_TRUE(file);
  file->write(reinterpret_cast<const std::uint8_t*>("new"), 3);
  EXPECT_EQ(file->commit().status, WriteStatus::Written);
  EXPECT_EQ(readFile(dir.file("out")), "new");
  EXPECT_EQ(readFile(dir.file("victim")), "precious");
  EXPECT_EQ(entriesOf(dir.path()), (std::vector<std::string>{"out", "victim"}));
}

TEST_P(FileCreationTest, NothingIsLeftAfterAnAbandonedWriteOrATerminatingSignal) {
  WriteResult result;
  auto file = platform.createFile(dir.file("out"), ExistingEntry::Keep, result);
  ASSERT_TRUE(file);
  file->write(reinterpret_cast<const std::uint8_t*>("half"), 4);
  if (GetParam()) {
    EXPECT_TRUE(entriesOf(dir.path()).empty());  // unnamed: not even visible
  }
  file.reset();
  EXPECT_TRUE(entriesOf(dir.path()).empty());

  for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      PosixPlatform inChild(GetParam());
      WriteResult ignored;
      auto half = inChild.createFile(dir.file("out"), ExistingEntry::Keep, ignored);
      if (half) half->write(reinterpret_cast<const std::uint8_t*>("half"), 4);
      ::raise(signalNumber);
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signalNumber) << signalNumber;
    EXPECT_TRUE(entriesOf(dir.path()).empty()) << signalNumber;
  }
}

INSTANTIATE_TEST_SUITE_P(UnnamedAndNamedTemporaries, FileCreationTest, ::testing::Bool());

}  // namespace
}  // namespace korvani
