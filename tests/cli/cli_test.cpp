// End-to-end tests of the korvani command: the real binary on real files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/test_files.h"

namespace korvani {
namespace {

using testing::fileExists;
using testing::readFile;
using testing::runKorvani;
using testing::runProgram;
using testing::ScopedTempDir;
using testing::writeFile;

TEST(CliTest, HelpAndVersionSucceed) {
  const auto help = runKorvani({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("binary-encode"), std::string::npos);
  const auto version = runKorvani({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("korvani ", 0), 0u);
}

TEST(CliTest, UsageErrorsExitTwoWithAHelpHint) {
  ScopedTempDir dir;
  writeFile(dir.file("in"), "x");
  const std::vector<std::vector<std::string>> cases = {
      {"binary-encode", dir.file("in")},
      {"binary-encode", dir.file("in"), "-o", dir.file("out"), "--bogus"},
  };
  for (const auto& arguments : cases) {
    const auto result = runKorvani(arguments);
    EXPECT_EQ(result.exitCode, 2) << result.err;
    EXPECT_NE(result.err.find("korvani binary-encode --help"), std::string::npos) << result.err;
  }
  EXPECT_FALSE(fileExists(dir.file("out")));
}

TEST(CliTest, BinaryEncodeWritesAMailWhoseBodyIsStandardBase64AndPrintsNothing) {
  ScopedTempDir dir;
  writeFile(dir.file("data.bin"), testing::randomBytes(100000, 7));
  const auto result = runKorvani({"binary-encode", dir.file("data.bin"), "-o", dir.file("m.eml")});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out + result.err, "");
  const std::string mail = readFile(dir.file("m.eml"));
  EXPECT_EQ(mail.rfind("Mime-Version: 1.0\r\n", 0), 0u);
  EXPECT_NE(mail.find("filename=\"data.bin\"\r\n"), std::string::npos);

  // The body against coreutils' base64 at the same width, with CR LF line ends.
  const auto reference = runProgram("base64", {"-w", "60", dir.file("data.bin")});
  ASSERT_EQ(reference.exitCode, 0);
  std::string expected;
  for (char c : reference.out) {
    if (c == '\n') expected += '\r';
    expected += c;
  }
  EXPECT_NE(mail.find("filename=\"data.bin\"\r\n\r\n" + expected + "\r\n\r\n--DATE"),
            std::string::npos);
}

struct BadInput {
  const char* name;
  void (*arrange)(const ScopedTempDir&);
  const char* source;  // relative to the folder
  const char* output;
  std::string message;
};

TEST(CliTest, BinaryEncodeBadInputsFailWithTheirMessageAndTouchNoOutput) {
  const BadInput cases[] = {
      {"missing source", [](const ScopedTempDir&) {}, "absent", "out",
       "変換元ファイルオープンＮＧ: {absent}: No such file or directory"},
      {"folder source", [](const ScopedTempDir& d) { ::mkdir(d.file("sub").c_str(), 0700); }, "sub",
       "out", "変換元ファイルオープンＮＧ: {sub}: Is a directory"},
      {"output in a missing folder", [](const ScopedTempDir&) {}, "in", "nowhere/out",
       "保存ファイルのオープンＮＧ: {nowhere/out}: No such file or directory"},
      {"output is a folder", [](const ScopedTempDir& d) { ::mkdir(d.file("out").c_str(), 0700); },
       "in", "out", "保存ファイルのオープンＮＧ: {out}: Is a directory"},
      {"read-only output",
       [](const ScopedTempDir& d) {
         writeFile(d.file("out"), "previous");
         ::chmod(d.file("out").c_str(), 0444);
       },
       "in", "out", "保存ファイルのオープンＮＧ: {out}: Permission denied"},
      {"source over 4 GiB",
       [](const ScopedTempDir& d) {
         const int fd = ::open(d.file("in").c_str(), O_WRONLY | O_TRUNC);
         ASSERT_EQ(::ftruncate(fd, (off_t{1} << 32) + 1), 0);  // sparse: costs nothing
         ::close(fd);
       },
       "in", "out", "変換元データ読込用バッファ獲得ＮＧ"},
  };
  for (const auto& c : cases) {
    ScopedTempDir dir;
    writeFile(dir.file("in"), "payload");
    c.arrange(dir);
    const bool outputExisted = fileExists(dir.file(c.output));
    const bool outputIsFile = outputExisted && !std::filesystem::is_directory(dir.file(c.output));
    const std::string before = outputIsFile ? readFile(dir.file(c.output)) : "";
    const auto result = runKorvani({"binary-encode", dir.file(c.source), "-o", dir.file(c.output)});
    EXPECT_EQ(result.exitCode, 1) << c.name;
    EXPECT_EQ(result.err, "korvani: " + dir.expand(c.message) + "\n") << c.name;
    EXPECT_EQ(fileExists(dir.file(c.output)), outputExisted) << c.name;
    if (outputIsFile) {
      EXPECT_EQ(readFile(dir.file(c.output)), before) << c.name;
    }
  }
}

TEST(CliTest, BinaryEncodeOfASourceLockedByAnotherProcessFails) {
  ScopedTempDir dir;
  writeFile(dir.file("in"), "payload");
  const int holder = ::open(dir.file("in").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(holder, LOCK_SH), 0);
  const auto result = runKorvani({"binary-encode", dir.file("in"), "-o", dir.file("out")});
  ::close(holder);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(
      result.err,
      dir.expand("korvani: 変換元ファイルオープンＮＧ: {in}: Resource temporarily unavailable\n"));
  EXPECT_FALSE(fileExists(dir.file("out")));
}

TEST(CliTest, NoModeReplacesItsOwnSourceHoweverTheOutputNamesIt) {
  ScopedTempDir dir;
  const std::string mail =
      "Content-Type: application/octet-stream; name=\"a\"\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\nYWJjZA==\r\n\r\n";
  writeFile(dir.file("self.txt"), mail);
  ::link(dir.file("self.txt").c_str(), dir.file("hard").c_str());
  ::symlink("self.txt", dir.file("soft").c_str());
  for (const char* mode : {"binary-encode", "binary-decode", "mail-decode", "text-decode"}) {
    for (const char* output : {"self.txt", "./self.txt", "hard", "soft"}) {
      const std::string path = dir.path() + "/" + output;
      const auto result = runKorvani({mode, dir.file("self.txt"), "-o", path});
      EXPECT_EQ(result.exitCode, 1) << mode << " " << output;
      EXPECT_EQ(result.err, "korvani: " + path + " (source " + dir.file("self.txt") +
                                ") is the source file itself; choose another output\n");
    }
  }
  EXPECT_EQ(readFile(dir.file("self.txt")), mail);
}

}  // namespace
}  // namespace korvani
