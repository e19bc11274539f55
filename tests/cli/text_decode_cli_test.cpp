// End-to-end tests of korvani mail-decode and text-decode.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/posix_platform.h"
#include "support/test_files.h"

namespace korvani {
namespace {

using testing::fileExists;
using testing::readFile;
using testing::runKorvani;
using testing::ScopedTempDir;
using testing::writeFile;
using namespace std::string_literals;

const std::string kMail =
    "Subject: =?ISO-2022-JP?B?GyRCJCIbKEI=?=\r\n"
    "Content-Type: text/plain; charset=iso-2022-jp\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n"
    "\r\n"
    "=1B$B$\"$$=1B(B=\r\n"
    " end\r\n";

TEST(TextDecodeCliTest, DefaultsAreQuotedPrintableAndJisForTextAndAutoForMail) {
  ScopedTempDir dir;
  writeFile(dir.file("t.txt"), "=1B$B$\"=1B(B\r\n");
  auto result = runKorvani({"text-decode", dir.file("t.txt"), "-o", dir.file("t.out")});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out + result.err, "");
  EXPECT_EQ(readFile(dir.file("t.out")), "\x82\xA0\r\n");

  writeFile(dir.file("m.eml"), kMail);
  result = runKorvani({"mail-decode", dir.file("m.eml"), "-o", dir.file("m.out")});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(readFile(dir.file("m.out")),
            "Subject: \x82\xA0\r\n"
            "Content-Type: text/plain; charset=iso-2022-jp\r\n"
            "Content-Transfer-Encoding: quoted-printable\r\n"
            "\r\n"
            "\x82\xA0\x82\xA2 end\r\n");
}

TEST(TextDecodeCliTest, OptionsChooseEncodingAndCharsetInAnyCase) {
  ScopedTempDir dir;
  writeFile(dir.file("b64"), "5pel5pys6KqeDQo=\r\n");
  const auto result = runKorvani({"text-decode", dir.file("b64"), "-o", dir.file("out"),
                                  "--encoding", "BASE64", "--charset", "utf-8"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(readFile(dir.file("out")), "\x93\xFA\x96\x7B\x8C\xEA\r\n");
}

TEST(TextDecodeCliTest, DashWritesToStandardOutputAndUtf8OutputIsReadable) {
  ScopedTempDir dir;
  writeFile(dir.file("m.eml"), kMail);
  auto result = runKorvani({"mail-decode", dir.file("m.eml"), "-o", "-"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out.substr(0, 13), "Subject: \x82\xA0\r\n");
  EXPECT_FALSE(fileExists(dir.file("-")));

  result = runKorvani({"mail-decode", dir.file("m.eml"), "-o", "-", "--output-charset", "utf-8"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out,
            "Subject: あ\r\n"
            "Content-Type: text/plain; charset=iso-2022-jp\r\n"
            "Content-Transfer-Encoding: quoted-printable\r\n"
            "\r\n"
            "あい end\r\n");
}

// Text that Shift_JIS cannot hold is lost as the classic conversion loses it, byte for byte, and
// the user is told; the exit status stays 0.
TEST(TextDecodeCliTest, CharactersShiftJisCannotHoldAreLostAsBeforeButNotSilently) {
  const std::string body =
      "Subject: x\r\n"
      "Content-Type: text/plain; charset=utf-8\r\n"
      "Content-Transfer-Encoding: 8bit\r\n"
      "\r\n";
  // 𠮷 lies beyond 16 bits and becomes a NUL byte; ™ has no code page 932 form and the rest of
  // its line goes with it, line end included.
  const std::string lossy = body + "あ𠮷い\r\nう™え\r\nお\r\n";
  const std::string lossyWord = "Subject: =?UTF-8?B?8J+YgA==?= x\r\n\r\nhi\r\n";  // 😀
  const std::string mailWarning =
      ": some characters could not be kept in Shift_JIS, so part of the text is missing; korvani "
      "read shows the whole mail\n";
  struct Case {
    const char* name;
    std::string source;
    std::vector<std::string> arguments;  // after SOURCE
    std::string output;                  // exact bytes
    std::string err;                     // exact, {out} for the output file
  };
  const Case cases[] = {
      {"mail, Shift_JIS",
       lossy,
       {"mail-decode"},
       body + "\x82\xA0\0\x82\xA2\r\n\x82\xA4\x82\xA8\r\n"s,
       "korvani: {out}" + mailWarning},
      {"mail, UTF-8",
       lossy,
       {"mail-decode", "--output-charset", "utf-8"},
       body + "あ\0い\r\nうお\r\n"s,
       "korvani: {out}" + mailWarning},
      {"mail, encoded word",
       lossyWord,
       {"mail-decode"},
       "Subject: \0 x\r\n\r\nhi\r\n"s,
       "korvani: {out}" + mailWarning},
      {"text",
       "5pel8J+YgOacrA0K\r\n",
       {"text-decode", "--encoding", "base64", "--charset", "utf-8"},
       "\x93\xFA\0\x96\x7B\r\n"s,
       "korvani: {out}: some characters could not be kept in Shift_JIS, so part of the text is "
       "missing\n"},
      {"mail without such characters",
       body + "あ①\r\n",
       {"mail-decode"},
       body + "\x82\xA0\x87\x40\r\n",
       ""},
  };
  for (const auto& c : cases) {
    ScopedTempDir dir;
    writeFile(dir.file("in"), c.source);
    std::vector<std::string> arguments = {c.arguments[0], dir.file("in"), "-o", dir.file("out")};
    arguments.insert(arguments.end(), c.arguments.begin() + 1, c.arguments.end());
    const auto result = runKorvani(arguments);
    EXPECT_EQ(result.exitCode, 0) << c.name;
    EXPECT_EQ(readFile(dir.file("out")), c.output) << c.name;
    EXPECT_EQ(result.err, dir.expand(c.err)) << c.name;
  }
}

TEST(TextDecodeCliTest, OutputGetsTheSourceTimes) {
  ScopedTempDir dir;
  writeFile(dir.file("in"), "abc\r\n");
  PosixPlatform platform;
  ASSERT_TRUE(platform.setFileTimes(dir.file("in"), FileTimes{0, 1000000000, 1000000100}));
  ASSERT_EQ(runKorvani({"text-decode", dir.file("in"), "-o", dir.file("out")}).exitCode, 0);
  FileStatus status;
  ASSERT_TRUE(platform.readStatus(dir.file("out"), status));
  EXPECT_EQ(status.times.lastWrite, 1000000000);
  EXPECT_EQ(status.times.lastAccess, 1000000100);
}

TEST(TextDecodeCliTest, FailuresAndUsageErrors) {
  ScopedTempDir dir;
  writeFile(dir.file("in"), "x\r\n");
  ::mkdir(dir.file("folder").c_str(), 0700);
  struct Case {
    std::vector<std::string> arguments;
    int exitCode;
    std::string err;  // exact, when not empty
  };
  const Case cases[] = {
      {{"mail-decode", dir.file("absent"), "-o", dir.file("out")},
       1,
       dir.expand("korvani: 入力ファイルオープンＮＧ: {absent}: No such file or directory\n")},
      {{"text-decode", dir.file("folder"), "-o", dir.file("out")},
       1,
       dir.expand("korvani: 入力ファイルオープンＮＧ: {folder}: Is a directory\n")},
      {{"text-decode", dir.file("in"), "-o", dir.file("nowhere/out")},
       1,
       dir.expand("korvani: 出力ファイルオープンＮＧ: {nowhere/out}: No such file or directory\n")},
      {{"mail-decode", dir.file("in"), "-o", dir.file("folder")},
       1,
       dir.expand("korvani: 出力ファイルオープンＮＧ: {folder}: Is a directory\n")},
      {{"text-decode", dir.file("in"), "-o", dir.file("out"), "--charset", "latin1"}, 2, ""},
      {{"mail-decode", dir.file("in"), "-o", dir.file("out"), "--encoding", "uuencode"}, 2, ""},
      {{"text-decode", dir.file("in")}, 2, ""},
  };
  for (const auto& c : cases) {
    const auto result = runKorvani(c.arguments);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments[1];
    if (!c.err.empty()) {
      EXPECT_EQ(result.err, c.err);
    }
    EXPECT_FALSE(fileExists(dir.file("out")));
  }
}

}  // namespace
}  // namespace korvani
