// End-to-end tests of `korvani binary-decode`: the real binary on real files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "support/mail_fixtures.h"
#include "support/test_files.h"

namespace korvani {
namespace {

using testing::entriesOf;
using testing::fileExists;
using testing::mailNaming;
using testing::readFile;
using testing::runKorvani;
using testing::ScopedTempDir;
using testing::writeFile;

void setTimes(const std::string& path, time_t access, time_t modification) {
  const struct timespec times[2] = {{access, 0}, {modification, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(BinaryDecodeCliTest, WritesTheAttachmentToTheNamedOutputWithTheMailsTimes) {
  ScopedTempDir dir;
  writeFile(dir.file("m.eml"), mailNaming("a.bin"));
  setTimes(dir.file("m.eml"), 1000000007, 1100000009);
  writeFile(dir.file("out.bin"), "an older and longer content");
  const auto result = runKorvani({"binary-decode", dir.file("m.eml"), "-o", dir.file("out.bin")});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out + result.err, "");
  struct stat status {};
  ASSERT_EQ(::stat(dir.file("out.bin").c_str(), &status), 0);  // before reading it changes atime
  EXPECT_EQ(status.st_atim.tv_sec, 1000000007);
  EXPECT_EQ(status.st_mtim.tv_sec, 1100000009);
  EXPECT_EQ(readFile(dir.file("out.bin")), "abcd");
}

TEST(BinaryDecodeCliTest, DashWritesTheAttachmentToStandardOutput) {
  ScopedTempDir dir;
  writeFile(dir.file("m.eml"), mailNaming("a.bin"));
  const auto result = runKorvani({"binary-decode", dir.file("m.eml"), "-o", "-"}, dir.path());
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "abcd");
  EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"m.eml"});
}

TEST(BinaryDecodeCliTest, BinaryEncodeDashWritesTheMailToStandardOutput) {
  ScopedTempDir dir;
  const std::string content = testing::randomBytes(1000, 7);
  writeFile(dir.file("source.dat"), content);
  const auto result = runKorvani({"binary-encode", "source.dat", "-o", "-"}, dir.path());
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"source.dat"});  // no file "-"
  writeFile(dir.file("m.eml"), result.out);
  ASSERT_EQ(runKorvani({"binary-decode", "m.eml", "-o", "back.dat"}, dir.path()).exitCode, 0);
  EXPECT_EQ(readFile(dir.file("back.dat")), content);
}

TEST(BinaryDecodeCliTest, GivesBackEveryFileThatBinaryEncodeWrote) {
  ScopedTempDir dir;
  for (std::size_t size : {1, 2, 3, 44, 45, 46, 1000, 65537}) {
    const std::string content = testing::randomBytes(size, static_cast<unsigned>(size));
    writeFile(dir.file("source.dat"), content);
    ASSERT_EQ(
        runKorvani({"binary-encode", dir.file("source.dat"), "-o", dir.file("m.eml")}).exitCode, 0);
    ::mkdir(dir.file("back").c_str(), 0700);
    const auto result =
        runKorvani({"binary-decode", dir.file("m.eml"), "-d", dir.file("back"), "--force"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(readFile(dir.file("back/source.dat")), content) << size;
  }
}

TEST(BinaryDecodeCliTest, TheSampleMailGivesItsJapaneseNamedAttachment) {
  ScopedTempDir dir;
  const auto result =
      runKorvani({"binary-decode", std::string(KORVANI_SAMPLES) + "/attachment.eml"}, dir.path());
  EXPECT_EQ(result.exitCode, 0) << result.err;
  const std::string name = "\xE8\xAD\xB0\xE4\xBA\x8B\xE9\x8C\xB2.txt";  // 議事録.txt
  EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{name});
  EXPECT_EQ(readFile(dir.file(name)).rfind("\xE8\xAD\xB0\xE4\xBA\x8B\xE9\x8C\xB2 2005", 0), 0u);
}

// Without -o the name comes from the mail: only its last component, in the chosen folder.
TEST(BinaryDecodeCliTest, ProposedNamesNeverLeaveTheChosenFolder) {
  const std::pair<std::string, std::string> cases[] = {
      {"report.pdf", "report.pdf"},
      {"../../escape.bin", "escape.bin"},
      {"/etc/passwd", "passwd"},
      {"\x95\x5C.txt", "表.txt"},  // Shift_JIS, not split at its '\', stored in UTF-8
      {"C:\\temp\\\x83\x5C.txt", "C_\\temp\\ソ.txt"},  // ':' is no part of a name on Windows
      {"invoice\u202Efdp.exe", "invoice_fdp.exe"},     // no override to show it as a .pdf
      {"\u304B\u3099.txt", "\u304C.txt"},              // decomposed becomes composed
      {"Com\u00B9.log", "_Com\u00B9.log"},             // a Windows device
      {"a\tb\x1B[2J.bin", "a_b_[2J.bin"},
      {".bashrc", "_bashrc"},
      {"-", "-"},  // a file of that name; only -o - means standard output
      {"x/-", "-"},
  };
  for (const auto& [proposed, stored] : cases) {
    std::vector<std::string> both = {"into", stored};
    std::sort(both.begin(), both.end());
    ScopedTempDir dir;
    ::mkdir(dir.file("work").c_str(), 0700);
    ::mkdir(dir.file("work/into").c_str(), 0700);
    writeFile(dir.file("m.eml"), mailNaming(proposed));
    // In the current folder, then in the folder of -d.
    auto result = runKorvani({"binary-decode", dir.file("m.eml")}, dir.file("work"));
    EXPECT_EQ(result.exitCode, 0) << proposed << result.err;
    result = runKorvani({"binary-decode", dir.file("m.eml"), "-d", "into"}, dir.file("work"));
    EXPECT_EQ(result.exitCode, 0) << proposed << result.err;
    EXPECT_EQ(entriesOf(dir.file("work")), both) << proposed;
    EXPECT_EQ(entriesOf(dir.file("work/into")), std::vector<std::string>{stored}) << proposed;
    EXPECT_EQ(readFile(dir.file("work/into/" + stored)), "abcd") << proposed;
    EXPECT_EQ(entriesOf(dir.path()), (std::vector<std::string>{"m.eml", "work"})) << proposed;
  }
}

// A mail that proposes nothing usable gets the name extract gives such a part, under the same
// rules as a proposed one: in the folder of -d, never replacing a file without --force.
TEST(BinaryDecodeCliTest, NoUsableProposedNameGivesPartOneBin) {
  for (const char* proposed : {"", "..", "dir/", "dir/. ."}) {
    ScopedTempDir dir;
    writeFile(dir.file("m.eml"), mailNaming(proposed));
    ::mkdir(dir.file("work").c_str(), 0700);
    auto result = runKorvani({"binary-decode", dir.file("m.eml"), "-d", "work"}, dir.path());
    EXPECT_EQ(result.exitCode, 0) << proposed << result.err;
    EXPECT_EQ(result.out + result.err, "") << proposed;
    EXPECT_EQ(entriesOf(dir.file("work")), std::vector<std::string>{"part-1.bin"}) << proposed;
    EXPECT_EQ(readFile(dir.file("work/part-1.bin")), "abcd") << proposed;

    writeFile(dir.file("work/part-1.bin"), "mine");
    result = runKorvani({"binary-decode", dir.file("m.eml"), "-d", "work"}, dir.path());
    EXPECT_EQ(result.exitCode, 1) << proposed;
    EXPECT_EQ(result.err,
              "korvani: work/part-1.bin: already exists; give --force to replace it, "
              "or name the output with -o\n")
        << proposed;
    EXPECT_EQ(readFile(dir.file("work/part-1.bin")), "mine") << proposed;
  }
}

TEST(BinaryDecodeCliTest, AnExistingFileOfTheProposedNameIsReplacedOnlyWithForce) {
  ScopedTempDir dir;
  writeFile(dir.file("m.eml"), mailNaming("a.bin"));
  writeFile(dir.file("a.bin"), "mine");
  ASSERT_EQ(::symlink(dir.file("elsewhere").c_str(), dir.file("link.bin").c_str()), 0);
  auto result = runKorvani({"binary-decode", dir.file("m.eml"), "-d", dir.path()});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "korvani: " + dir.file("a.bin") +
                            ": already exists; give --force to replace it, or name the output "
                            "with -o\n");
  EXPECT_EQ(readFile(dir.file("a.bin")), "mine");

  writeFile(dir.file("m2.eml"), mailNaming("link.bin"));  // a dangling link is an entry too
  result = runKorvani({"binary-decode", dir.file("m2.eml"), "-d", dir.path()});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_FALSE(fileExists(dir.file("elsewhere")));

  result = runKorvani({"binary-decode", dir.file("m.eml"), "-d", dir.path(), "--force"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(readFile(dir.file("a.bin")), "abcd");
}

TEST(BinaryDecodeCliTest, OutputAndFolderTogetherAreAUsageError) {
  ScopedTempDir dir;
  writeFile(dir.file("m.eml"), mailNaming("a.bin"));
  const auto result =
      runKorvani({"binary-decode", dir.file("m.eml"), "-o", dir.file("x"), "-d", dir.path()});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.err.find("--help"), std::string::npos);
  EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"m.eml"});
}

struct BadInput {
  const char* name;
  void (*arrange)(const ScopedTempDir&);
  const char* source;  // relative to the folder
  const char* output;
  std::string err;
};

TEST(BinaryDecodeCliTest, BadInputsFailWithTheirMessageAndCreateNoOutput) {
  // The empty message of the locator is never an empty line; what it means takes its place.
  const std::string notBase64 =
      "korvani: the attachment's Content-Transfer-Encoding is not base64, so it cannot be "
      "decoded\nkorvani: {in}: has no attachment that binary-decode can decode; korvani extract "
      "finds 1 attachment in it\n";
  const BadInput cases[] = {
      {"missing mail", [](const ScopedTempDir&) {}, "absent", "out",
       "korvani: 入力ファイル名異常: {absent}: No such file or directory\n"},
      {"folder mail", [](const ScopedTempDir& d) { ::mkdir(d.file("sub").c_str(), 0700); }, "sub",
       "out", "korvani: 入力ファイル名異常: {sub}: Is a directory\n"},
      {"mail over 4 GiB",
       [](const ScopedTempDir& d) {
         const int fd = ::open(d.file("in").c_str(), O_WRONLY | O_TRUNC);
         ASSERT_EQ(::ftruncate(fd, (off_t{1} << 32) + 1), 0);  // sparse: costs nothing
         ::close(fd);
       },
       "in", "out", "korvani: 読込バッファ獲得異常\n"},
      {"no attachment",
       [](const ScopedTempDir& d) { writeFile(d.file("in"), "Subject: x\r\n\r\nhi\r\n"); }, "in",
       "out",
       "korvani: データ構造が異常です\nkorvani: {in}: has no attachment: neither binary-decode nor "
       "korvani extract finds one in it\n"},
      {"quoted-printable attachment",
       [](const ScopedTempDir& d) {
         writeFile(d.file("in"),
                   "Content-Type: application/octet-stream; name=\"a\"\r\n"
                   "Content-Transfer-Encoding: quoted-printable\r\n\r\nabc\r\n\r\n");
       },
       "in", "out", notBase64},
      {"output in a missing folder", [](const ScopedTempDir&) {}, "in", "nowhere/out",
       "korvani: 保存ファイルオープンＮＧ: {nowhere/out}: No such file or directory\n"},
      {"output is a folder", [](const ScopedTempDir& d) { ::mkdir(d.file("out").c_str(), 0700); },
       "in", "out", "korvani: 保存ファイルオープンＮＧ: {out}: Is a directory\n"},
      {"read-only output",
       [](const ScopedTempDir& d) {
         writeFile(d.file("out"), "previous");
         ::chmod(d.file("out").c_str(), 0444);
       },
       "in", "out", "korvani: 保存ファイルオープンＮＧ: {out}: Permission denied\n"},
  };
  for (const auto& c : cases) {
    ScopedTempDir dir;
    writeFile(dir.file("in"), mailNaming("a.bin"));
    c.arrange(dir);
    const bool outputExisted = fileExists(dir.file(c.output));
    const bool outputIsFile = outputExisted && !std::filesystem::is_directory(dir.file(c.output));
    const std::string before = outputIsFile ? readFile(dir.file(c.output)) : "";
    const auto result = runKorvani({"binary-decode", dir.file(c.source), "-o", dir.file(c.output)});
    EXPECT_EQ(result.exitCode, 1) << c.name;
    EXPECT_EQ(result.err, dir.expand(c.err)) << c.name;
    EXPECT_EQ(fileExists(dir.file(c.output)), outputExisted) << c.name;
    if (outputIsFile) {
      EXPECT_EQ(readFile(dir.file(c.output)), before) << c.name;
    }
    // Without -o, a refused mail creates nothing in the folder either.
    if (std::string(c.output) == "out" && !outputExisted) {
      ::mkdir(dir.file("empty").c_str(), 0700);
      const auto again = runKorvani({"binary-decode", dir.file(c.source), "-d", dir.file("empty")});
      EXPECT_EQ(again.exitCode, 1) << c.name;
      EXPECT_TRUE(entriesOf(dir.file("empty")).empty()) << c.name;
    }
  }
}

// The mails of today's mailers rarely hold an attachment of the classic form. Over the whole
// corpus: the system's message is never an empty line and is followed by one more, whose count
// is what extract writes from the same mail.
TEST(BinaryDecodeCliTest, TodaysMailsAreToldWhatExtractFindsInThem) {
  std::size_t refused = 0;
  for (const auto& entry : std::filesystem::directory_iterator(KORVANI_MAIL_CORPUS)) {
    if (!entry.is_regular_file() || entry.path().extension() == ".py") continue;
    const std::string mail = entry.path().string();
    ScopedTempDir dir;
    const auto result = runKorvani({"binary-decode", mail, "-o", dir.file("out")});
    if (result.exitCode == 0) continue;
    ++refused;
    EXPECT_EQ(result.exitCode, 1) << mail;
    const std::size_t firstEnd = result.err.find('\n');
    ASSERT_NE(firstEnd, std::string::npos) << mail;
    EXPECT_NE(result.err.substr(0, firstEnd), "korvani: ") << mail;
    runKorvani({"extract", mail, "-d", dir.file("x")});
    std::size_t written = 0;
    if (std::filesystem::exists(dir.file("x"))) {
      for (const auto& file : std::filesystem::recursive_directory_iterator(dir.file("x"))) {
        written += file.is_regular_file() ? 1 : 0;
      }
    }
    const std::string found =
        written == 0
            ? "has no attachment: neither binary-decode nor korvani extract finds one in it"
            : "has no attachment that binary-decode can decode; korvani extract finds " +
                  std::to_string(written) +
                  (written == 1 ? " attachment in it" : " attachments in it");
    EXPECT_EQ(result.err.substr(firstEnd + 1), "korvani: " + mail + ": " + found + "\n");
  }
  EXPECT_GE(refused, 26u);  // of the 30 mails of today's mailers
}

TEST(BinaryDecodeCliTest, AMailLockedByAnotherProcessFails) {
  ScopedTempDir dir;
  writeFile(dir.file("m.eml"), mailNaming("a.bin"));
  const int holder = ::open(dir.file("m.eml").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  const auto locked = runKorvani({"binary-decode", dir.file("m.eml"), "-o", dir.file("out")});
  ::flock(holder, LOCK_UN);
  ASSERT_EQ(::flock(holder, LOCK_SH), 0);  // a reader that shares does not stop us
  const auto shared = runKorvani({"binary-decode", dir.file("m.eml"), "-o", dir.file("out2")});
  ::close(holder);
  EXPECT_EQ(locked.exitCode, 1);
  EXPECT_EQ(locked.err,
            dir.expand("korvani: 入力ファイル名異常: {m.eml}: Resource temporarily unavailable\n"));
  EXPECT_FALSE(fileExists(dir.file("out")));
  EXPECT_EQ(shared.exitCode, 0) << shared.err;
}

}  // namespace
}  // namespace korvani
