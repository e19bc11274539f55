// What `korvani read` and `extract --list/--json` put on standard output, end to end with the
// real binary: nothing a sender wrote acts on the terminal, HTML reads as text, JSON stays valid
// whatever bytes a path holds, a full disk is a failure, and standard output that is the mail
// itself is refused.
#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <string>

#include "common/base64.h"
#include "support/sanitizers.h"
#include "support/test_files.h"

namespace korvani {
namespace {

using testing::readFile;
using testing::runKorvani;
using testing::runProgram;
using testing::ScopedTempDir;
using testing::writeFile;

const std::string kHostileMail =
    "From: \x1b[31mred\x1b[0m <a@example.com>\n"
    "Subject: \x1b]0;title\x07 \xe2\x80\xae"
    "fdp.exe\n"
    "MIME-Version: 1.0\n"
    "Content-Type: multipart/mixed; boundary=B\n\n"
    "--B\nContent-Type: text/html; charset=UTF-8\n\n"
    "<p>\x1b[2J<a href=\"https://example.jp/info?id=1\">こちら</a></p><ul><li>a<li>b</ul>\n"
    "--B\nContent-Type: application/octet-stream; name=\"x.bin\"\n"
    "Content-Transfer-Encoding: base64\n\nAAEC\n--B--\n";

// Runs `korvani ARGUMENTS` through the shell with its standard output sent where `redirection`
// says (" > /dev/full", " >> FILE").
testing::CommandResult runRedirected(const std::vector<std::string>& arguments,
                                     const std::string& redirection) {
  std::string command = "exec \"$0\"";
  for (std::size_t at = 0; at < arguments.size(); ++at) {
    command += " \"$" + std::to_string(at + 1) + "\"";
  }
  std::vector<std::string> shellArguments{"-c", command + redirection, KORVANI_BINARY};
  shellArguments.insert(shellArguments.end(), arguments.begin(), arguments.end());
  return runProgram("sh", shellArguments);
}

TEST(ReaderOutputTest, NothingFromTheMailActsOnTheTerminal) {
  ScopedTempDir dir;
  writeFile(dir.file("m.eml"), kHostileMail);
  const auto result = runKorvani({"read", dir.file("m.eml")});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out,
            "From: ␛[31mred␛[0m <a@example.com>\n"
            "Subject: ␛]0;title␇ \uFFFD"
            "fdp.exe\n\n"
            "[2Jこちら <https://example.jp/info?id=1>\n\n"  // the HTML parser drops ESC itself
            "・a\n・b\n\n"
            "[添付] x.bin (application/octet-stream, 3 B)\n");
  // A file of the reading is the same reading; the attachment keeps its bytes.
  ASSERT_EQ(runKorvani({"read", dir.file("m.eml"), "-o", dir.file("out.txt")}).exitCode, 0);
  EXPECT_EQ(readFile(dir.file("out.txt")), result.out);
  ASSERT_EQ(runKorvani({"extract", dir.file("m.eml"), "-d", dir.path()}).exitCode, 0);
  EXPECT_EQ(readFile(dir.file("x.bin")), std::string("\0\1\2", 3));
}

TEST(ReaderOutputTest, ListingsShowPathsSafelyAndJsonKeepsEveryByte) {
  ScopedTempDir dir;
  const std::string sjisName = dir.file("\x82\xa0.eml");  // "あ" in Shift_JIS
  const std::string bidiName = dir.file(
      "\xe2\x80\xae"
      "lmth.eml");
  writeFile(sjisName, kHostileMail);
  writeFile(bidiName, kHostileMail);

  auto result = runKorvani({"extract", "--list", sjisName, bidiName});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, dir.file("\uFFFD\uFFFD.eml") +
                            ":\n1 text/html 7bit 82 -\n"
                            "2 application/octet-stream base64 3 x.bin\n" +
                            dir.file("\uFFFDlmth.eml") +
                            ":\n1 text/html 7bit 82 -\n"
                            "2 application/octet-stream base64 3 x.bin\n");

  result = runKorvani({"extract", "--json", sjisName, bidiName});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out.find("\xe2\x80\xae"), std::string::npos) << "the override is escaped";
  const auto json = nlohmann::json::parse(result.out);
  ASSERT_EQ(json.size(), 2u);
  EXPECT_EQ(json[0]["mail"], dir.file("\uFFFD\uFFFD.eml"));
  const std::string encoded = json[0]["mail_bytes"];
  std::string decoded;
  for (std::size_t at = 0; at + 4 <= encoded.size(); at += 4) {
    std::uint8_t bytes[3];
    const int count =
        decodeQuartet(reinterpret_cast<const std::uint8_t*>(encoded.data() + at), bytes);
    decoded.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count));
  }
  EXPECT_EQ(decoded, sjisName);
  EXPECT_EQ(json[1]["mail"], bidiName) << "valid UTF-8 reads back exactly";
  EXPECT_FALSE(json[1].contains("mail_bytes"));
  EXPECT_EQ(json[1]["parts"][1]["name"], "x.bin");
}

TEST(ReaderOutputTest, AFullDiskOnStandardOutputIsAFailure) {
  ScopedTempDir dir;
  writeFile(dir.file("m.eml"), kHostileMail);
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"extract", "--list", dir.file("m.eml")},
        std::vector<std::string>{"extract", "--json", dir.file("m.eml")},
        std::vector<std::string>{"read", dir.file("m.eml")}}) {
    const auto result = runRedirected(arguments, " > /dev/full");
    EXPECT_EQ(result.exitCode, 1) << arguments[1];
    EXPECT_EQ(result.err, "korvani: standard output: cannot be written: No space left on device\n")
        << arguments[1];
  }
}

TEST(ReaderOutputTest, StandardOutputThatIsTheMailItselfIsRefused) {
  ScopedTempDir dir;
  writeFile(dir.file("m.eml"), kHostileMail);
  auto result = runRedirected({"read", dir.file("m.eml")}, " >> \"$2\"");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "korvani: standard output is the mail " + dir.file("m.eml") +
                            " itself; choose another output\n");
  EXPECT_EQ(readFile(dir.file("m.eml")), kHostileMail);
  // Any other file is fine.
  result = runRedirected({"read", dir.file("m.eml")}, " >> \"$2.txt\"");
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(readFile(dir.file("m.eml.txt")).find("こちら"), std::string::npos);
  // A listing appended to one of the mails it lists, the second or the only one.
  for (const auto& arguments :
       {std::vector<std::string>{"extract", "--list", dir.file("m.eml.txt"), dir.file("m.eml")},
        std::vector<std::string>{"extract", "--json", dir.file("m.eml")}}) {
    result =
        runRedirected(arguments, std::string(" >> \"$") + std::to_string(arguments.size()) + "\"");
    EXPECT_EQ(result.exitCode, 1) << arguments[1];
    EXPECT_NE(result.err.find(" itself; choose another output"), std::string::npos) << result.err;
    EXPECT_EQ(readFile(dir.file("m.eml")), kHostileMail) << arguments[1];
  }
}

// Under a memory limit the engine's bounds come first: what GMime and GLib would hold whole (a
// header, a preamble, the body of a multipart without a boundary) is cut before they hold it, so
// that no allocation fails inside GLib, which would abort. Each mail is 400 MB of NUL bytes after
// its first lines (a sparse file) and the process may have 256 MiB.
TEST(ReaderOutputTest, HugeHeadersAndPreamblesUnderAMemoryLimitFailWithAMessage) {
#if KORVANI_UNDER_ASAN
  GTEST_SKIP() << "AddressSanitizer's shadow memory does not fit under ulimit -v";
#endif
  ScopedTempDir dir;
  const std::pair<const char*, const char*> shapes[] = {
      {"From: a\nSubject: ", "headers"},
      {"From: a\nContent-Type: multipart/mixed; boundary=b\n\n", "text outside its parts"},
      {"From: a\nContent-Type: multipart/mixed\n\n", "text outside its parts"},
      {"From: a\nContent-Type: message/rfc822\n\nFrom: b\nX-A: ", "headers"},
  };
  for (const auto& [start, said] : shapes) {
    writeFile(dir.file("m.eml"), start);
    ASSERT_EQ(::truncate(dir.file("m.eml").c_str(), 400000000), 0);
    for (const char* command : {"read", "extract --list"}) {
      const auto result = runProgram(
          "sh", {"-c", std::string("ulimit -v 262144; exec \"$0\" ") + command + " \"$1\"",
                 KORVANI_BINARY, dir.file("m.eml")});
      EXPECT_EQ(result.exitCode, 1) << start << command << result.err;
      EXPECT_NE(result.err.find(said), std::string::npos) << start << command << result.err;
    }
  }
}

// Paths on standard error are shown, not acted on: a file name a folder walk finds may hold any
// byte but NUL and '/'.
TEST(ReaderOutputTest, PathsInMessagesAreShownNotActedOn) {
  ScopedTempDir dir;
  writeFile(dir.file("\x1b]0;owned\x07.eml"), "not a mail\n");
  const auto result = runRedirected({"extract", "--list", dir.file("\x1b]0;owned\x07.eml")}, "");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err.find('\x1b'), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("␛]0;owned␇.eml"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace korvani
