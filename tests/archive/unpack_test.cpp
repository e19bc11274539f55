// `korvani extract --unpack` on the archive corpus (tests/data/archive, made by its
// make_corpus.py): in-process on the in-memory platform, and once on the real disk.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "archive/unpacker.h"
#include "support/cli_run.h"
#include "support/fake_platform.h"
#include "support/test_files.h"

namespace korvani {
namespace {

using testing::CliRun;
using testing::FakePlatform;
using testing::runOn;

std::string corpus(const std::string& name) {
  return testing::readFile(std::string(KORVANI_ARCHIVE_CORPUS) + "/" + name);
}

std::string base64Lines(const std::string& bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t at = 0; at < bytes.size(); at += 3) {
    std::uint32_t group = 0;
    const std::size_t count = std::min<std::size_t>(3, bytes.size() - at);
    for (std::size_t i = 0; i < 3; ++i) {
      group = group << 8 | (i < count ? static_cast<std::uint8_t>(bytes[at + i]) : 0);
    }
    for (std::size_t i = 0; i < 4; ++i) {
      out += i <= count ? kAlphabet[(group >> (18 - 6 * i)) & 63] : '=';
    }
    if ((at / 3 + 1) % 19 == 0) out += '\n';
  }
  return out + '\n';
}

// A mail from `from` whose one attachment is `bytes`, named `name`.
std::string mailWith(const std::string& name, const std::string& bytes,
                     const std::string& from = "a@example.com") {
  return "From: " + from +
         "\nSubject: files\nDate: Mon, 1 Apr 2024 10:00:00 +0900\nMIME-Version: 1.0\n"
         "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n\nhi\n"
         "--b\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n"
         "Content-Disposition: attachment; filename=\"" +
         name + "\"\n\n" + base64Lines(bytes) + "--b--\n";
}

// The files written under "out/", by their path below it.
std::map<std::string, std::string> filesUnder(const FakePlatform& platform) {
  std::map<std::string, std::string> found;
  for (const auto& [path, file] : platform.files) {
    if (path.rfind("out/", 0) == 0) found[path.substr(4)] = file.content;
  }
  return found;
}

TEST(UnpackTest, EveryMemberComesOutByteForByteUnderItsRightName) {
  struct Case {
    const char* archive;
    std::map<std::string, std::string> members;  // below the archive's folder
    std::vector<std::string> said;               // lines of standard error, in part
    int exitCode;
  };
  const Case cases[] = {
      {"names_cp932.zip", {{"書類/見積.txt", "mitsumori\n"}, {"表ソ.txt", "hyoso\n"}}, {}, 0},
      {"names_utf8.zip", {{"ユニコード/報告.txt", "utf8\n"}}, {}, 0},
      {"names_cp437.zip", {{"Café.txt", "cafe\n"}, {"Ü.txt", "umlaut\n"}}, {}, 0},
      {"traversal.zip",
       {{"escape.txt", "up\n"},
        {"etc/escape.txt", "absolute\n"},
        {"a/b/escape.txt", "mixed\n"},
        {"Windows/escape.txt", "drive\n"},
        {"_hidden", "dot\n"},
        {"safe.txt", "first\n"},
        {"SAFE (2).txt", "second\n"}},
       {},
       0},
      {"links.zip",
       {{"passwd.link", "/etc/passwd\n"}, {"real.txt", "real\n"}},
       {"2/links.zip:passwd: a link to /etc/passwd; written as the text file "
        "out/links/passwd.link holding its target"},
       0},
      {"links.tar.gz",
       {{"docs/readme.txt", "read me\n"},
        {"docs/up.link", "../../outside\n"},
        {"docs/again.txt.link", "docs/readme.txt\n"}},
       {"2/links.tar.gz:pipe: a device, FIFO or socket entry; skipped",
        "2/links.tar.gz:tty: a device, FIFO or socket entry; skipped"},
       0},
      {"nested.zip",
       {{"in/inner/内側.txt", "inner\n"},
        {"forwarded/添付.txt", "from the mail\n"},
        {"top.txt", "top\n"}},
       {},
       0},
      {"bomb.zip",
       {{"small.txt", "before\n"}},
       {"2/bomb.zip: stopped: it unpacks to more than 3305400 bytes, the bound of --max-ratio"},
       1},
      {"document.docx", {}, {}, 0},
      {"formats.7z", {{"書類/見積.txt", "seven zip\n"}, {"top.txt", "top\n"}}, {}, 0},
      {"formats.tar.gz", {{"書類/見積.txt", "tar gz\n"}, {"top.txt", "top\n"}}, {}, 0},
      {"formats.lzh", {{"lzh.txt", "lha stored\n"}}, {}, 0},
      // Eight levels are opened; the ninth archive stays a file.
      {"deep.zip",
       {},
       {"2/deep.zip:d1.zip:d2.zip:d3.zip:d4.zip:d5.zip:d6.zip:d7.zip:d8.zip: not opened: "
        "archives and mails are opened 8 levels deep"},
       0},
      {"bad_mail.zip",
       {{"broken.eml", std::string("\0\1\2 no header here\n", 19)}, {"after.txt", "after\n"}},
       {"2/bad_mail.zip:broken.eml: is damaged (no mail could be read from it)"},
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    FakePlatform platform;
    const std::string bytes = corpus(c.archive);
    platform.addFile("m.eml", mailWith(c.archive, bytes));
    const CliRun run = runOn(platform, {"extract", "--unpack", "-d", "out", "m.eml"});
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    for (const std::string& line : c.said)
      EXPECT_NE(run.err.find(line), std::string::npos) << run.err;
    std::map<std::string, std::string> found = filesUnder(platform);
    EXPECT_EQ(found[c.archive], bytes);
    found.erase(c.archive);
    std::string folder = c.archive;
    folder.erase(folder.find('.'));
    std::map<std::string, std::string> expected;
    for (const auto& [name, content] : c.members) expected[folder + "/" + name] = content;
    // The nested archive and mail are written as files too, as they are.
    if (std::string(c.archive) == "nested.zip") {
      EXPECT_EQ(found["nested/forwarded.eml"].substr(0, 5), "From:");
      EXPECT_EQ(found["nested/in/inner.zip"].substr(0, 2), "PK");
      found.erase("nested/forwarded.eml");
      found.erase("nested/in/inner.zip");
    }
    if (std::string(c.archive) == "deep.zip") {
      // Each level's archive is written as it is, beside the folder it is opened into.
      std::string folder = "deep";
      for (int level = 1; level <= 8; ++level) {
        const std::string inner = folder + "/d" + std::to_string(level) + ".zip";
        EXPECT_EQ(found[inner].substr(0, 2), "PK") << inner;
        found.erase(inner);
        folder += "/d" + std::to_string(level);
      }
    }
    EXPECT_EQ(found, expected);
  }
}

TEST(UnpackTest, BoundsStopAnArchiveAndSayWhich) {
  struct Case {
    std::vector<std::string> options;
    std::string said;
  };
  const Case cases[] = {
      {{"--max-unpacked", "2M", "--max-ratio", "100000"},
       "2/bomb.zip: stopped: unpacking it would pass 2097152 bytes (--max-unpacked)"},
      {{"--max-ratio", "1000"}, "the bound of --max-ratio"},
  };
  for (const Case& c : cases) {
    FakePlatform platform;
    platform.addFile("m.eml", mailWith("bomb.zip", corpus("bomb.zip")));
    std::vector<std::string> arguments = {"extract", "--unpack", "-d", "out", "m.eml"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const CliRun run = runOn(platform, arguments);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
    // What was written before the bound is whole; the entry it stopped in left nothing.
    EXPECT_EQ(platform.contentOf("out/bomb/small.txt"), "before\n");
    EXPECT_FALSE(platform.contentOf("out/bomb/zeros.bin"));
  }
  FakePlatform platform;
  platform.addFile("m.eml", mailWith("bomb.zip", corpus("bomb.zip")));
  const CliRun run =
      runOn(platform, {"extract", "--unpack", "-d", "out", "m.eml", "--max-ratio", "5000"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(platform.contentOf("out/bomb/zeros.bin"), std::string(16 << 20, '\0'));
  EXPECT_EQ(runOn(platform, {"extract", "--unpack", "m.eml", "--max-unpacked", "4X"}).exitCode, 2);
}

TEST(UnpackTest, PasswordMailsOpenTheirArchivesInAnyOrder) {
  // Many wrong candidates before the right one: each is tried on the entry's first block, and
  // the few that pass ZipCrypto's one-byte check by chance are caught by the whole read.
  std::vector<std::string> manyWrong;
  for (int wrong = 0; wrong < 600; ++wrong) {
    manyWrong.insert(manyWrong.end(), {"--password", "guess" + std::to_string(wrong)});
  }
  std::vector<std::string> manyThenRight = manyWrong;
  manyThenRight.insert(manyThenRight.end(), {"--password", "Xy7k-2025"});
  struct Case {
    const char* what;
    std::vector<std::string> mails;
    std::vector<std::string> options;
    int exitCode;
    std::string said;
  };
  const Case cases[] = {
      {"archive first",
       {"ppap_archive.eml", "ppap_password.eml"},
       {},
       0,
       "ppap_archive.eml: 2/見積.zip: opened with the password from ppap_password.eml\n"},
      {"password first",
       {"ppap_password.eml", "ppap_archive.eml"},
       {},
       0,
       "opened with the password from ppap_password.eml"},
      {"an mbox of both",
       {"ppap.mbox"},
       {"--show-passwords"},
       0,
       "ppap.mbox#1: 2/見積.zip: opened with the password from ppap.mbox#2; password: "
       "Xy7k-2025\n"},
      {"given",
       {"ppap_archive.eml"},
       {"--password", "x", "--password", "Xy7k-2025"},
       0,
       "opened with a password given"},
      {"from a file",
       {"ppap_archive.eml"},
       {"--password-file", "pw.txt"},
       0,
       "opened with a password given"},
      {"none",
       {"ppap_archive.eml"},
       {},
       1,
       "2/見積.zip: is encrypted and stayed shut: no password was found for it"},
      {"wrong",
       {"ppap_archive.eml"},
       {"--password", "Xy7k-2024"},
       1,
       "2/見積.zip: is encrypted and stayed shut: none of the passwords tried opened it"},
      {"many wrong, then right",
       {"ppap_archive.eml"},
       manyThenRight,
       0,
       "opened with a password given"},
      {"many wrong",
       {"ppap_archive.eml"},
       manyWrong,
       1,
       "2/見積.zip: is encrypted and stayed shut: none of the passwords tried opened it"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakePlatform platform;
    for (const char* name : {"ppap_archive.eml", "ppap_password.eml", "ppap.mbox"}) {
      platform.addFile(name, corpus(name));
    }
    platform.addFile("pw.txt", "first\r\n\nXy7k-2025\n");
    std::vector<std::string> arguments = {"extract", "--unpack", "-d", "out", "--layout", "flat"};
    arguments.insert(arguments.end(), c.mails.begin(), c.mails.end());
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const CliRun run = runOn(platform, arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("Xy7k") != std::string::npos, std::string(c.what) == "an mbox of both")
        << "a password is shown only when asked";
    if (c.exitCode == 0) {
      EXPECT_EQ(platform.contentOf("out/見積/quote.txt"), "secret quote\n");
      EXPECT_EQ(platform.contentOf("out/見積/note.txt"), "note\n");
    } else {
      EXPECT_FALSE(platform.contentOf("out/見積/quote.txt"));
    }
  }
}

TEST(UnpackTest, ListingShowsEntriesUnderTheirArchive) {
  testing::ScopedTempDir dir;
  testing::writeFile(dir.file("m.eml"), mailWith("nested.zip", corpus("nested.zip")));
  testing::writeFile(dir.file("p.mbox"), corpus("ppap.mbox"));
  const auto run =
      testing::runKorvani({"extract", "--list", "--unpack", "m.eml", "p.mbox"}, dir.path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  for (const char* line : {
           "2/nested.zip:in/inner.zip file ascii 126 in/inner.zip\n",
           "2/nested.zip:in/inner.zip:内側.txt file utf-8 6 内側.txt\n",
           "2/nested.zip:forwarded.eml:2 part mail 14 添付.txt\n",
           "2/見積.zip:quote.txt file ascii 13 quote.txt (encrypted)\n",
       }) {
    EXPECT_NE(run.out.find(line), std::string::npos) << line << run.out;
  }
  EXPECT_EQ(testing::entriesOf(dir.path()), (std::vector<std::string>{"m.eml", "p.mbox"}));
  const auto json = testing::runKorvani({"extract", "--json", "--unpack", "m.eml"}, dir.path());
  EXPECT_NE(json.out.find("\"name_encoding\": \"utf-8\""), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"path\": \"2/nested.zip:in/inner.zip:内側.txt\""), std::string::npos);
}

// The names of the entries an unpacking reported.
class EntryNames : public archive::UnpackObserver {
 public:
  void entry(const archive::EntryEvent& event) override { names.push_back(event.name); }
  void archive(const archive::ArchiveEvent&) override {}
  std::vector<std::string> names;
};

// An archive just saved is read back from its file, and only while that file is the one written:
// one replaced or of another size since is not trusted, and the part is decoded from the mail.
TEST(UnpackTest, TheSavedFileIsReadBackOnlyWhileItIsTheOneWritten) {
  struct Case {
    const char* change;
    bool fromTheFile;
  };
  const Case cases[] = {{"none", true}, {"replaced", false}, {"identity unknown", false}};
  const std::vector<std::string> mailsEntries{"ユニコード/報告.txt"};
  const mail::MailLibrary library;
  const std::string text = mailWith("a.zip", corpus("names_utf8.zip"));
  const auto mail = mail::parseMail(text);
  ASSERT_TRUE(mail);
  std::size_t index = 0;
  while (index < mail->parts().size() && mail->parts()[index].name != "a.zip") ++index;
  ASSERT_LT(index, mail->parts().size());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.change);
    FakePlatform platform;
    int error = 0;
    auto folder = platform.openFolder("out", true, error);
    ASSERT_TRUE(folder);
    const save::AttachmentSaver saver(platform);
    archive::PartHead head;
    save::SaveOutcome saved = saver.save(
        *folder, "a.zip", *mail, index, false, std::nullopt, {},
        [&head](const std::uint8_t* data, std::size_t size) { return head.take(data, size); });
    ASSERT_TRUE(saved.written());
    ASSERT_TRUE(saved.identity);
    if (std::string(c.change) == "replaced")
      platform.files["out/a.zip"].content = corpus("links.zip");
    if (std::string(c.change) == "identity unknown") saved.identity.reset();
    platform.events.clear();
    EntryNames observer;
    archive::Unpacker unpacker(platform, saver, {}, observer);
    NameRegistry names;
    std::string folderName;
    EXPECT_EQ(unpacker.unpackSaved(*folder, names, "a.zip", saved, head, *mail, index, "2/a.zip",
                                   {}, false, folderName, error),
              archive::PartResult::Done);
    EXPECT_EQ(folderName, "a");
    EXPECT_EQ(observer.names, mailsEntries);
    const bool scratch = std::find(platform.events.begin(), platform.events.end(), "scratch") !=
                         platform.events.end();
    EXPECT_EQ(scratch, !c.fromTheFile) << "the mail is decoded again only when the file changed";
  }
}

// The real disk: no link is made, nothing lands outside the folder, and a second run keeps or
// replaces what is there as for attachments.
TEST(UnpackTest, OnTheRealDiskTraversalAndLinksStayContained) {
  testing::ScopedTempDir dir;
  testing::writeFile(dir.file("m.eml"), mailWith("links.tar.gz", corpus("links.tar.gz")));
  testing::writeFile(dir.file("t.eml"), mailWith("traversal.zip", corpus("traversal.zip")));
  const auto run = testing::runKorvani(
      {"extract", "--unpack", "-d", dir.file("out"), dir.file("m.eml"), dir.file("t.eml")});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(testing::entriesOf(dir.path()), (std::vector<std::string>{"m.eml", "out", "t.eml"}));
  EXPECT_EQ(testing::entriesOf(dir.file("out/m/links/docs")),
            (std::vector<std::string>{"again.txt.link", "readme.txt", "up.link"}));
  EXPECT_EQ(testing::readFile(dir.file("out/t/traversal/etc/escape.txt")), "absolute\n");
  const auto again = testing::runKorvani(
      {"extract", "--unpack", "-d", dir.file("out"), dir.file("m.eml"), dir.file("t.eml")});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_NE(again.err.find("out/t/traversal/safe.txt: already exists"), std::string::npos)
      << again.err;
  const auto skipping =
      testing::runKorvani({"extract", "--unpack", "--skip-existing", "-d", dir.file("out"),
                           dir.file("m.eml"), dir.file("t.eml")});
  EXPECT_EQ(skipping.exitCode, 0) << skipping.err;
}

}  // namespace
}  // namespace korvani
