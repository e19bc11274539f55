// End-to-end tests of `korvani extract` and `korvani read` over the mail corpus: the real binary
// on real files. Each corpus mail has its expected attachments in expected/<mail>/ and its
// expected reading in expected/<mail>.txt.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <tuple>

#include "support/test_files.h"

namespace korvani {
namespace {

using testing::entriesOf;
using testing::readFile;
using testing::runKorvani;
using testing::ScopedTempDir;
using testing::writeFile;

const std::string kCorpus = KORVANI_MAIL_CORPUS;

std::vector<std::string> corpusMails() {
  std::vector<std::string> mails;
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
    if (entry.path().extension() == ".eml") mails.push_back(entry.path().stem().string());
  }
  std::sort(mails.begin(), mails.end());
  return mails;
}

TEST(MailCorpusTest, EveryAttachmentComesOutUnderItsNameByteForByte) {
  for (const std::string& mail : corpusMails()) {
    ScopedTempDir dir;
    const auto result = runKorvani({"extract", kCorpus + "/" + mail + ".eml", "-d", dir.path()});
    // A mail without attachments has no folder of expected files (git keeps no empty folder).
    const std::string expected = kCorpus + "/expected/" + mail;
    const std::vector<std::string> expectedNames =
        std::filesystem::is_directory(expected) ? entriesOf(expected) : std::vector<std::string>{};
    const bool failing = mail == "truncated" || mail == "winmail_damaged";
    EXPECT_EQ(result.exitCode, failing ? 1 : 0) << mail << ": " << result.err;
    EXPECT_EQ(entriesOf(dir.path()), expectedNames) << mail;
    for (const std::string& name : expectedNames) {
      EXPECT_EQ(readFile(dir.file(name)), readFile(expected + "/" + name)) << mail << "/" << name;
    }
  }
}

TEST(MailCorpusTest, EveryMailReadsAsExpected) {
  for (const std::string& mail : corpusMails()) {
    const auto result = runKorvani({"read", kCorpus + "/" + mail + ".eml"});
    EXPECT_EQ(result.exitCode, mail == "winmail_damaged" ? 1 : 0) << mail << ": " << result.err;
    EXPECT_EQ(result.out, readFile(kCorpus + "/expected/" + mail + ".txt")) << mail;
  }
}

TEST(MailCliTest, ExistingFilesAndLinksAreKeptUnlessForced) {
  ScopedTempDir dir;
  const std::string mail = kCorpus + "/encodings.eml";
  writeFile(dir.file("note.txt"), "mine");
  ASSERT_EQ(::symlink("/nonexistent-target", dir.file("data.uu").c_str()), 0);
  auto result = runKorvani({"extract", mail, "-d", dir.path()});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(
      result.err,
      "korvani: " + dir.file("data.uu") +
          ": already exists; give --force to replace it or --skip-existing to keep it\nkorvani: " +
          dir.file("note.txt") +
          ": already exists; give --force to replace it or --skip-existing to keep it\n");
  EXPECT_EQ(readFile(dir.file("note.txt")), "mine");

  result = runKorvani({"extract", mail, "-d", dir.path(), "--force"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  struct stat status {};
  ASSERT_EQ(::lstat(dir.file("data.uu").c_str(), &status), 0);
  EXPECT_TRUE(S_ISREG(status.st_mode)) << "the link itself was replaced";
  EXPECT_EQ(readFile(dir.file("note.txt")), readFile(kCorpus + "/expected/encodings/note.txt"));
}

TEST(MailCliTest, SeveralMailsGetASubfolderEachAndMboxMessagesTheirNumber) {
  ScopedTempDir dir;
  const auto result = runKorvani({"extract", kCorpus + "/archive.mbox", kCorpus + "/gmail.eml",
                                  kCorpus + "/not_a_mail.txt", "-d", dir.path()});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err,
            "korvani: " + kCorpus + "/not_a_mail.txt: is not a mail: no header could be read\n");
  EXPECT_EQ(entriesOf(dir.path()), (std::vector<std::string>{"archive-1", "archive-3", "gmail"}));
  EXPECT_EQ(entriesOf(dir.file("archive-3")), (std::vector<std::string>{"memo.txt", "report.bin"}));
}

TEST(MailCliTest, ListAndJsonDescribeEveryPartAndWriteNothing) {
  ScopedTempDir dir;
  const std::string mail = kCorpus + "/forwarded.eml";
  auto result = runKorvani({"extract", mail, "--list"}, dir.path());
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out,
            "1 text/plain 7bit 33 -\n"
            "2.1 text/plain 8bit 29 -\n"
            "2.2 application/octet-stream base64 17 report.bin\n"
            "3 text/plain quoted-printable 6 memo.txt\n");
  result = runKorvani({"extract", mail, "--json"}, dir.path());
  EXPECT_EQ(result.exitCode, 0) << result.err;
  const auto json = nlohmann::json::parse(result.out);
  ASSERT_EQ(json.size(), 1u);
  EXPECT_EQ(json[0]["parts"][2]["name"], "report.bin");
  EXPECT_EQ(json[0]["parts"][2]["size"], 17);
  EXPECT_TRUE(json[0]["parts"][0]["name"].is_null());
  EXPECT_TRUE(entriesOf(dir.path()).empty());
  result = runKorvani({"extract", kCorpus + "/truncated.eml", "--list"});
  EXPECT_NE(result.out.find("cut.bin (cut short)"), std::string::npos) << result.out;
  EXPECT_TRUE(json[0]["limit"].is_null());
}

// A winmail.dat is listed with its members after it; a damaged one is marked, said and fails.
TEST(MailCliTest, AWinmailDatIsListedWithItsMembersAndADamagedOneFails) {
  auto result = runKorvani({"extract", kCorpus + "/winmail_forward.eml", "--list"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out,
            "1 text/plain 7bit 19 -\n"
            "2 application/ms-tnef base64 682 winmail.dat\n"
            "2/winmail.dat:1 text/html binary 78 -\n"
            "2/winmail.dat:2 image/jpeg binary 9 写真📷.jpg\n"
            "2/winmail.dat:3.1 text/plain binary 22 -\n"
            "2/winmail.dat:3.2 application/octet-stream binary 7 議事録.docx\n");
  const std::string damaged = kCorpus + "/winmail_damaged.eml";
  const std::string said = "korvani: " + damaged +
                           ": winmail.dat (part 2) is damaged; what could be read of it is kept\n";
  result = runKorvani({"extract", damaged, "--json"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, said);
  const auto parts = nlohmann::json::parse(result.out)[0]["parts"];
  ASSERT_EQ(parts.size(), 4U);
  EXPECT_EQ(parts[1]["name"], "winmail.dat");
  EXPECT_EQ(parts[1]["container"], true);
  EXPECT_EQ(parts[1]["damaged"], true);
  EXPECT_EQ(parts[1]["attachment"], false);
  EXPECT_EQ(parts[3]["path"], "2/winmail.dat:2");
  EXPECT_EQ(parts[3]["container"], false);
  result = runKorvani({"extract", damaged, "--list"});
  EXPECT_NE(result.out.find("winmail.dat (damaged)\n"), std::string::npos) << result.out;
  ScopedTempDir dir;
  result = runKorvani({"extract", damaged, "-d", dir.path()});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, said);
  EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"first.txt"});
}

// A mail past a bound says which, in the listing, in the JSON and on standard error, and fails.
TEST(MailCliTest, ABoundReachedIsSaidEverywhereAndFails) {
  ScopedTempDir dir;
  std::string header = "From: a\nContent-Type: multipart/mixed; boundary=b\n";
  for (int i = 0; i < 30000; ++i) header += "Received: x\n";
  std::string parts = "From: a\nContent-Type: multipart/mixed; boundary=b\n\n";
  for (int i = 0; i < 25000; ++i) parts += "--b\n\nx\n";
  testing::writeFile(dir.file("header.eml"), header + "\n--b\n\nx\n--b--\n");
  testing::writeFile(dir.file("parts.eml"), parts + "--b--\n");
  for (const auto& [mail, mark, name] :
       {std::tuple{"header.eml", "(the rest skipped: headers too large)", "header"},
        std::tuple{"parts.eml", "(the rest skipped: too many parts)", "parts"}}) {
    auto result = runKorvani({"extract", dir.file(mail), "--list"});
    EXPECT_EQ(result.exitCode, 1) << mail;
    EXPECT_NE(result.out.find(mark), std::string::npos) << mail;
    EXPECT_NE(result.err.find("skipped"), std::string::npos) << mail << result.err;
    result = runKorvani({"extract", dir.file(mail), "--json"});
    EXPECT_EQ(result.exitCode, 1) << mail;
    EXPECT_EQ(nlohmann::json::parse(result.out)[0]["limit"], name) << mail;
    result = runKorvani({"read", dir.file(mail)});
    EXPECT_EQ(result.exitCode, 1) << mail;
  }
}

TEST(MailCliTest, ReadWritesShiftJisWithGetaForWhatItCannotHold) {
  ScopedTempDir dir;
  const auto result = runKorvani(
      {"read", kCorpus + "/iphone.eml", "-o", dir.file("out.txt"), "--output-charset", "sjis"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  const std::string text = readFile(dir.file("out.txt"));
  EXPECT_NE(text.find("Subject: \x82\xa8\x82\xcd\x82\xe6\x82\xa4 \x81\xac\n"), std::string::npos);
  const auto self = runKorvani({"read", dir.file("out.txt"), "-o", dir.file("out.txt")});
  EXPECT_EQ(self.exitCode, 1);
  EXPECT_EQ(runKorvani({"read", kCorpus + "/not_a_mail.txt"}).exitCode, 1);
  EXPECT_EQ(runKorvani({"read", kCorpus + "/iphone.eml", "--output-charset", "latin1"}).exitCode,
            2);
}

// Several messages in one run are each headed by where they come from; a mail that cannot be
// read fails the run while the others are written.
TEST(MailCliTest, ReadHeadsEachMessageWhenThereAreSeveral) {
  const std::string mbox = kCorpus + "/archive.mbox";
  const auto alone = runKorvani({"read", mbox});
  EXPECT_EQ(alone.out.rfind("==> " + mbox + "#1 <==\n", 0), 0u) << alone.out;
  EXPECT_NE(alone.out.find("\n\n==> " + mbox + "#3 <==\n"), std::string::npos) << alone.out;

  const auto result = runKorvani(
      {"read", kCorpus + "/gmail.eml", kCorpus + "/not_a_mail.txt", mbox, kCorpus + "/kana.eml"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "korvani: " + kCorpus +
                            "/not_a_mail.txt: is not a mail: no header could be read\n" +
                            alone.err);
  EXPECT_EQ(result.out, "==> " + kCorpus + "/gmail.eml <==\n" +
                            readFile(kCorpus + "/expected/gmail.txt") + "\n" + alone.out +
                            "\n==> " + kCorpus + "/kana.eml <==\n" +
                            readFile(kCorpus + "/expected/kana.txt"));
}

// "-" is standard input, named so in messages, read once, and its mails' attachments get the
// time they are written, not a time the stream never had.
TEST(MailCliTest, StandardInputIsAMailLikeAnyOther) {
  auto result = runKorvani({"read", "-", kCorpus + "/gmail.eml", "-"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(result.err,
            "korvani: read: standard input (-) can be read only once; give - once\n"
            "korvani: \"korvani read --help\" shows its options\n");
  EXPECT_EQ(result.out, "");
  result = runKorvani({"read", "-"});  // standard input is /dev/null
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "korvani: standard input: is not a mail: no header could be read\n");

  ScopedTempDir dir;
  writeFile(dir.file("m.mbox"), readFile(kCorpus + "/archive.mbox"));
  const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, dir.file("m.mbox").c_str(), old, 0), 0);
  result = testing::runProgram("sh", {"-c", "cat \"$1\" | \"$2\" extract -d \"$3\" -", "sh",
                                      dir.file("m.mbox"), KORVANI_BINARY, dir.file("out")});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  ASSERT_EQ(runKorvani({"extract", "-d", dir.file("byname"), dir.file("m.mbox")}).exitCode, 0);
  EXPECT_EQ(entriesOf(dir.file("out")), (std::vector<std::string>{"stdin-1", "stdin-3"}));
  EXPECT_EQ(readFile(dir.file("out/stdin-3/memo.txt")), readFile(dir.file("byname/m-3/memo.txt")));
  struct stat status {};
  ASSERT_EQ(::stat(dir.file("out/stdin-3/memo.txt").c_str(), &status), 0);
  EXPECT_GT(status.st_mtime, 1000000000);
  ASSERT_EQ(::stat(dir.file("byname/m-3/memo.txt").c_str(), &status), 0);
  EXPECT_EQ(status.st_mtime, 1000000000);
}

}  // namespace
}  // namespace korvani
