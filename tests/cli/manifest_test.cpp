// `extract --manifest`: a record of every file written or listed that can be checked against the
// files themselves, and of how each name was read.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "mail/checksum.h"
#include "support/test_files.h"

namespace korvani {
namespace {

using testing::fileExists;
using testing::readFile;
using testing::runKorvani;
using testing::ScopedTempDir;
using testing::writeFile;

const std::string kCorpus = KORVANI_MAIL_CORPUS;

std::string sha256Of(const std::string& bytes) {
  mail::Sha256 digest;
  digest.update(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return digest.hex();
}

TEST(ManifestTest, EveryFileWrittenIsRecordedAsItIsOnDisk) {
  ScopedTempDir dir;
  const std::vector<std::string> mails = {"outlook.eml",  "outlook_2231.eml", "sjis_word_name.eml",
                                          "raw_sjis.eml", "gmail.eml",        "windows_path.eml"};
  std::vector<std::string> arguments = {"extract", "-d", dir.file("out"), "--manifest",
                                        dir.file("manifest.json")};
  for (const std::string& mail : mails) arguments.push_back(kCorpus + "/" + mail);
  const auto result = runKorvani(arguments);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const auto manifest = nlohmann::json::parse(readFile(dir.file("manifest.json")));
  EXPECT_EQ(manifest["directory"], dir.file("out"));
  ASSERT_EQ(manifest["mails"].size(), mails.size());
  std::size_t files = 0;
  std::vector<std::string> decodings;
  for (const auto& mail : manifest["mails"]) {
    EXPECT_TRUE(mail.contains("message_id") && mail.contains("date") && mail.contains("from") &&
                mail.contains("subject"))
        << mail.dump();
    for (const auto& file : mail["files"]) {
      ++files;
      const std::string path = dir.file("out/" + file["path"].get<std::string>());
      ASSERT_TRUE(fileExists(path)) << path;
      const std::string bytes = readFile(path);
      EXPECT_EQ(file["status"], "written");
      EXPECT_EQ(file["size"], bytes.size()) << path;
      EXPECT_EQ(file["sha256"], sha256Of(bytes)) << path;
      decodings.push_back(file["name_decoding"]);
    }
  }
  EXPECT_GE(files, mails.size());
  // The ways the corpus carries its names, each recorded as such.
  for (const char* decoding : {"rfc2047:B:iso-2022-jp", "rfc2231:iso-2022-jp", "raw:cp932"}) {
    EXPECT_NE(std::find(decodings.begin(), decodings.end(), decoding), decodings.end()) << decoding;
  }

  // A second run keeps what is there, and says so file by file.
  arguments.push_back("--skip-existing");
  ASSERT_EQ(runKorvani(arguments).exitCode, 0);
  const auto again = nlohmann::json::parse(readFile(dir.file("manifest.json")));
  for (const auto& mail : again["mails"]) {
    for (const auto& file : mail["files"]) EXPECT_EQ(file["status"], "kept");
  }
}

TEST(ManifestTest, AListingIsRecordedWithTheSameFieldsAndWritesNoFile) {
  ScopedTempDir dir;
  const std::string mail = kCorpus + "/outlook.eml";
  auto result =
      runKorvani({"extract", "--list", mail, "--manifest", dir.file("m.json")}, dir.path());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const auto manifest = nlohmann::json::parse(readFile(dir.file("m.json")));
  EXPECT_EQ(manifest["listed"], true);
  const auto& file = manifest["mails"][0]["files"][0];
  EXPECT_EQ(file["status"], "listed");
  EXPECT_EQ(file["name"], "①本.csv");
  EXPECT_EQ(file["sha256"], sha256Of(readFile(kCorpus + "/expected/outlook/①本.csv")));
  EXPECT_EQ(testing::entriesOf(dir.path()), std::vector<std::string>{"m.json"});

  // --json carries the same fields of each attachment and each mail.
  result = runKorvani({"extract", "--json", mail});
  const auto listing = nlohmann::json::parse(result.out);
  EXPECT_EQ(listing[0]["subject"], "①②㈱の件");
  const auto& part = listing[0]["parts"][1];
  EXPECT_EQ(part["name_decoding"], "rfc2047:B:iso-2022-jp");
  EXPECT_EQ(part["sha256"], file["sha256"]);
  EXPECT_EQ(part["name_changes"], nlohmann::json::array());
}

TEST(ManifestTest, AManifestIsNeverWrittenOverAMailOfTheRunNorHalfWritten) {
  ScopedTempDir dir;
  const std::string original = readFile(kCorpus + "/gmail.eml");
  writeFile(dir.file("m.eml"), original);
  auto result = runKorvani(
      {"extract", dir.file("m.eml"), "-d", dir.file("out"), "--manifest", dir.file("m.eml")});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("itself"), std::string::npos) << result.err;
  EXPECT_EQ(readFile(dir.file("m.eml")), original);
  EXPECT_FALSE(fileExists(dir.file("out")));

  // A manifest that cannot be written fails the run; nothing half-written is left.
  result = runKorvani({"extract", dir.file("m.eml"), "-d", dir.file("out"), "--manifest",
                       dir.file("missing/m.json")});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("missing/m.json: cannot be written"), std::string::npos) << result.err;
  EXPECT_FALSE(fileExists(dir.file("missing")));
}

}  // namespace
}  // namespace korvani

namespace korvani {
namespace {

// Files from inside containers are recorded like attachments, under the container's place.
TEST(ManifestTest, FilesFromWinmailDatAndArchivesAreRecordedUnderTheirContainer) {
  ScopedTempDir dir;
  const std::string archives = KORVANI_ARCHIVE_CORPUS;
  const auto result =
      runKorvani({"extract", "--unpack", "-d", dir.file("out"), "--manifest", dir.file("m.json"),
                  kCorpus + "/winmail_japanese.eml", archives + "/ppap.mbox"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const auto manifest = nlohmann::json::parse(readFile(dir.file("m.json")));
  std::map<std::string, std::string> decodingOf;  // by the file's place
  for (const auto& mail : manifest["mails"]) {
    for (const auto& file : mail["files"]) {
      decodingOf[file["part"]] = file["name_decoding"];
      ASSERT_EQ(file["status"], "written") << file.dump();
      const std::string bytes = readFile(dir.file("out/" + file["path"].get<std::string>()));
      EXPECT_EQ(file["sha256"], sha256Of(bytes)) << file.dump();
      EXPECT_EQ(file["size"], bytes.size());
    }
  }
  EXPECT_EQ(decodingOf["2/見積.zip:quote.txt"], "archive:ascii");
  // The archive's entries join the record of its own mail, though the password came later.
  ASSERT_EQ(manifest["mails"].size(), 3u);
  EXPECT_EQ(manifest["mails"][1]["files"].size(), 3u);
  std::size_t fromTnef = 0;
  for (const auto& [place, decoding] : decodingOf) {
    if (place.find("/winmail.dat:") != std::string::npos && decoding == "tnef:cp932") ++fromTnef;
  }
  EXPECT_GE(fromTnef, 2u);
}

// manifest-merge refuses what one run could not have written, says why, and writes nothing.
TEST(ManifestTest, MergeRefusesManifestsOfAnotherFolderListingOrNoManifestAtAll) {
  ScopedTempDir dir;
  const std::string mail = kCorpus + "/outlook.eml";
  ASSERT_EQ(runKorvani({"extract", mail, "-d", "out", "--manifest", "a.json"}, dir.path()).exitCode,
            0);
  ASSERT_EQ(
      runKorvani({"extract", mail, "-d", "other", "--manifest", "b.json"}, dir.path()).exitCode, 0);
  ASSERT_EQ(runKorvani({"extract", "--list", mail, "--manifest", "c.json"}, dir.path()).exitCode,
            0);
  writeFile(dir.file("d.json"), "[1, 2]");
  writeFile(dir.file("e.json"), "{\"korvani\": ");
  const struct {
    std::vector<std::string> manifests;
    std::string message;
  } kCases[] = {
      {{"a.json", "b.json"},
       "korvani: b.json: does not match a.json: their \"directory\" differ (another -d, --list "
       "or version)\n"},
      {{"b.json", "c.json"},
       "korvani: c.json: does not match b.json: their \"directory\" differ (another -d, --list "
       "or version)\n"},
      {{"a.json", "a.json"},
       "korvani: a.json: records ①本.csv, which another manifest records too: one run would "
       "have named them apart (--layout per-file)\n"},
      {{"a.json", "d.json"}, "korvani: d.json: is not a manifest of korvani extract\n"},
      {{"e.json"}, "korvani: e.json: is not a manifest of korvani extract\n"},
  };
  for (const auto& test : kCases) {
    std::vector<std::string> arguments = {"manifest-merge", "merged.json"};
    arguments.insert(arguments.end(), test.manifests.begin(), test.manifests.end());
    const auto result = runKorvani(arguments, dir.path());
    EXPECT_EQ(result.exitCode, 1) << test.message;
    EXPECT_EQ(result.err, test.message);
    EXPECT_FALSE(fileExists(dir.file("merged.json")));
  }
  // One manifest merged alone is itself.
  ASSERT_EQ(runKorvani({"manifest-merge", "merged.json", "a.json"}, dir.path()).exitCode, 0);
  EXPECT_EQ(readFile(dir.file("merged.json")), readFile(dir.file("a.json")));
}

}  // namespace
}  // namespace korvani
