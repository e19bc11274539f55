// End-to-end tests of how the command line speaks: help, usage errors, value spellings, the
// user's language, and extract's choices (layout, existing files, what it says at the end).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_front_end.h"
#include "cli/cli_usage.h"
#include "support/cli_run.h"
#include "support/fake_platform.h"
#include "support/test_files.h"

namespace korvani {
namespace {

using testing::CommandResult;
using testing::entriesOf;
using testing::FakePlatform;
using testing::readFile;
using testing::runKorvani;
using testing::runOn;
using testing::runProgram;
using testing::ScopedTempDir;
using testing::writeFile;

const std::string kCorpus = KORVANI_MAIL_CORPUS;
const std::vector<std::string> kCommands = {"binary-decode", "binary-encode", "mail-decode",
                                            "text-decode",   "extract",       "read"};

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The folder LOCPATH must name for ja_JP.UTF-8 to exist: "" when the system has it, else one made
// here once with localedef (as a machine without the locale generated needs).
const std::string& japaneseLocaleFolder() {
  static ScopedTempDir made;
  static const std::string folder = [] {
    const CommandResult installed = runProgram("locale", {"-a"});
    if (contains(installed.out, "ja_JP.utf8") || contains(installed.out, "ja_JP.UTF-8")) {
      return std::string();
    }
    const CommandResult result =
        runProgram("localedef", {"-i", "ja_JP", "-f", "UTF-8", made.file("ja_JP.UTF-8")});
    EXPECT_TRUE(result.exitCode == 0 || result.exitCode == 1) << result.err;  // 1: warnings only
    return made.path();
  }();
  return folder;
}

// Runs the built program with the messages of `language` ("C" or "ja").
CommandResult runIn(const std::string& language, const std::vector<std::string>& arguments,
                    const std::string& workingDirectory = std::string()) {
  std::vector<std::string> command = {"-u", "LC_ALL", "-u", "LC_MESSAGES", "-u", "LANGUAGE"};
  if (language == "ja") {
    command.push_back("LANG=ja_JP.UTF-8");
    if (!japaneseLocaleFolder().empty()) command.push_back("LOCPATH=" + japaneseLocaleFolder());
  } else {
    command.push_back("LANG=C");
  }
  command.push_back(KORVANI_BINARY);
  command.insert(command.end(), arguments.begin(), arguments.end());
  return runProgram("env", command, workingDirectory);
}

TEST(CommandLineTest, EveryWayOfAskingGetsAnAnswerInTheProgramsOwnWords) {
  ScopedTempDir dir;
  writeFile(dir.file("-dash.eml"), readFile(kCorpus + "/gmail.eml"));
  writeFile(dir.file("in.txt"), "=1B$B$\"=1B(B\n");
  struct Case {
    std::vector<std::string> arguments;
    int exitCode;
    bool onStandardOutput;
    std::string says;
  } cases[] = {
      {{}, 2, true, "Classic conversions:"},
      {{"help"}, 0, true, "  extract "},
      {{"--help"}, 0, true, "  binary-decode "},
      {{"help", "read"}, 0, true, "Usage: korvani read [OPTIONS] MAIL"},
      {{"help", "frob"}, 2, false, "korvani: \"frob\" is not a korvani command\n"},
      {{"frobnicate"}, 2, false, "korvani: \"frobnicate\" is not a korvani command\n"},
      {{"rea"}, 2, false, "did you mean \"read\"?"},
      {{"extact", "m.eml"}, 2, false, "did you mean \"extract\"?"},
      {{"-v"}, 2, false, "did you mean \"--version\"?"},
      {{"--version"}, 0, true, "korvani "},
      {{"read", "--version"}, 0, true, "korvani "},
      {{"extract", "m.eml", "-d", "out", "--version"}, 0, true, "korvani "},
      {{"extract", "--help"}, 0, true, "--skip-existing"},
      {{"read", "-dash.eml"}, 2, false, "read: unknown option -dash.eml (a file whose name"},
      {{"read", "--", "-dash.eml"}, 0, true, "見積書_2024.pdf"},
      {{"read"}, 2, false, "korvani: read: MAIL is required\n"},
      {{"binary-encode", "in.txt", "-o"}, 2, false, "korvani: binary-encode: --output needs"},
      {{"extract", "m.eml", "--force", "--skip-existing"}, 2, false, "cannot be given together"},
      {{"text-decode", "in.txt", "-o", "o", "--charset", "latin1"},
       2,
       false,
       "korvani: text-decode: --charset: \"latin1\" is not one of auto|jis|utf-8|sjis|euc\n"},
      {{"extract", "-", "-"},
       2,
       false,
       "korvani: extract: standard input (-) can be read only once"},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& argument : c.arguments) shown += argument + " ";
    SCOPED_TRACE(shown);
    const CommandResult result = runKorvani(c.arguments, dir.path());
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_TRUE(contains(c.onStandardOutput ? result.out : result.err, c.says))
        << result.out << result.err;
    // Every line on standard error is the program's: "korvani: ", never an empty message.
    std::size_t start = 0;
    for (std::size_t end = result.err.find('\n'); end != std::string::npos;
         start = end + 1, end = result.err.find('\n', start)) {
      const std::string line = result.err.substr(start, end - start);
      EXPECT_EQ(line.rfind("korvani: ", 0), 0u) << line;
      EXPECT_GT(line.size(), 9u);
    }
    if (c.exitCode == 2 && !c.onStandardOutput) {
      EXPECT_TRUE(contains(result.err, "--help\" shows its options") ||
                  contains(result.err, "\"korvani help\" lists the commands"))
          << result.err;
    }
  }
}

TEST(CommandLineTest, HelpFitsAHundredColumnsAndShowsNoLibraryInsidesInEitherLanguage) {
  std::vector<std::vector<std::string>> requests = {{"--help"}};
  for (const std::string& command : kCommands) requests.push_back({command, "--help"});
  for (const std::string language : {"C", "ja"}) {
    for (const auto& request : requests) {
      SCOPED_TRACE(language + " " + request.front());
      const CommandResult result = runIn(language, request);
      ASSERT_EQ(result.exitCode, 0) << result.err;
      EXPECT_FALSE(contains(result.out, "ENUM:"));
      EXPECT_FALSE(contains(result.out, "->"));
      EXPECT_FALSE(contains(result.out, "TEXT"));  // CLI11's name for a value it knows nothing of
      std::size_t start = 0;
      for (std::size_t end = result.out.find('\n'); end != std::string::npos;
           start = end + 1, end = result.out.find('\n', start)) {
        const std::string line = result.out.substr(start, end - start);
        EXPECT_LE(cli::displayWidth(line), cli::kHelpWidth) << line;
      }
      EXPECT_EQ(contains(result.out, "使い方"), language == "ja") << result.out;
    }
  }
}

TEST(CommandLineTest, TheOwnMessagesSpeakJapaneseUnderAJaLocaleAndTheClassicOnesStayAsTheyAre) {
  ScopedTempDir dir;
  struct Case {
    std::vector<std::string> arguments;
    std::string english;
    std::string japanese;
  } cases[] = {
      {{"read", "missing.eml"},
       "korvani: missing.eml: cannot be opened: No such file or directory\n",
       "korvani: missing.eml: 開けません: そのようなファイルやディレクトリはありません\n"},
      {{"rea"}, "did you mean \"read\"?", "「read」のことですか?"},
      {{"extract", kCorpus + "/kana.eml", "-d", "out", "-v"},
       "korvani: no attachment in " + kCorpus + "/kana.eml\n",
       "korvani: " + kCorpus + "/kana.eml に添付ファイルはありません\n"},
      // The classic mode's own message is the same in every language.
      {{"binary-encode", "missing.bin", "-o", "m.eml"},
       "korvani: 変換元ファイルオープンＮＧ: missing.bin: ",
       "korvani: 変換元ファイルオープンＮＧ: missing.bin: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.front());
    EXPECT_TRUE(contains(runIn("C", c.arguments, dir.path()).err, c.english));
    const CommandResult japanese = runIn("ja", c.arguments, dir.path());
    EXPECT_TRUE(contains(japanese.err, c.japanese)) << japanese.err;
  }
}

TEST(CommandLineTest, CharsetsTakeTheirUsualSpellings) {
  ScopedTempDir dir;
  // "日本" in each charset, quoted-printable.
  const struct {
    std::string canonical;
    std::vector<std::string> spellings;
    std::string text;
  } charsets[] = {
      {"jis", {"iso-2022-jp", "ISO-2022-JP", "iso2022jp"}, "=1B$BF|K\\=1B(B"},
      {"utf-8", {"utf8", "UTF-8", "Utf8"}, "=E6=97=A5=E6=9C=AC"},
      {"sjis", {"shift_jis", "Shift_JIS", "cp932", "windows-31j", "ms932"}, "=93=FA=96=7B"},
      {"euc", {"euc-jp", "EUC-JP", "eucjp"}, "=C6=FC=CB=DC"},
  };
  for (const auto& charset : charsets) {
    writeFile(dir.file("in.txt"), charset.text + "\n");
    const CommandResult reference =
        runKorvani({"text-decode", dir.file("in.txt"), "-o", "-", "--charset", charset.canonical,
                    "--output-charset", "utf-8"});
    ASSERT_EQ(reference.exitCode, 0) << reference.err;
    EXPECT_EQ(reference.out.rfind("日本", 0), 0u) << reference.out;
    for (const std::string& spelling : charset.spellings) {
      SCOPED_TRACE(spelling);
      const CommandResult result = runKorvani({"text-decode", dir.file("in.txt"), "-o", "-",
                                               "--charset", spelling, "--output-charset", "utf8"});
      EXPECT_EQ(result.exitCode, 0) << result.err;
      EXPECT_EQ(result.out, reference.out);
    }
  }
  const CommandResult sjis =
      runKorvani({"read", kCorpus + "/kana.eml", "--output-charset", "CP932"});
  EXPECT_EQ(sjis.out, runKorvani({"read", kCorpus + "/kana.eml", "--output-charset", "sjis"}).out);
}

TEST(ExtractChoicesTest, ATerminalHearsWhatWasWrittenWhereUnlessQuiet) {
  const std::string gmail = readFile(kCorpus + "/gmail.eml");
  const std::string outlook = readFile(kCorpus + "/outlook.eml");
  const std::string kana = readFile(kCorpus + "/kana.eml");
  struct Case {
    std::vector<std::string> arguments;
    bool terminal;
    std::string says;
  } cases[] = {
      {{"extract", "g.eml", "o.eml", "k.eml", "-d", "out"},
       true,
       "korvani: 3 files from 2 mails written to out\n"},
      {{"extract", "g.eml"}, true, "korvani: 1 file from 1 mail written to the current folder\n"},
      {{"extract", "k.eml"}, true, "korvani: no attachment in k.eml\n"},
      {{"extract", "k.eml", "k.eml"}, true, "korvani: no attachment in 2 mails\n"},
      {{"extract", "g.eml", "o.eml", "-q"}, true, ""},
      {{"extract", "g.eml", "o.eml"}, false, ""},
      {{"extract", "k.eml", "-v"}, false, "korvani: no attachment in k.eml\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.back());
    FakePlatform platform;
    platform.addFile("g.eml", gmail);
    platform.addFile("o.eml", outlook);
    platform.addFile("k.eml", kana);
    platform.terminal = c.terminal;
    const testing::CliRun result = runOn(platform, c.arguments);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    // The progress line is redrawn in place; what stays is the last line.
    const std::size_t cleared = result.err.rfind("\033[K");
    EXPECT_EQ(cleared == std::string::npos ? result.err : result.err.substr(cleared + 3), c.says);
  }
}

TEST(ExtractChoicesTest, LayoutExistingFilesAndVerboseListing) {
  ScopedTempDir dir;
  const std::string gmail = kCorpus + "/gmail.eml";
  const std::string outlook = kCorpus + "/outlook.eml";
  // flat: two mails share the folder; the second file of one name is numbered.
  CommandResult result =
      runKorvani({"extract", gmail, gmail, outlook, "--layout", "flat", "-d", dir.file("flat")});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(entriesOf(dir.file("flat")),
            (std::vector<std::string>{"①本.csv", "売上表.xlsx", "見積書_2024 (2).pdf",
                                      "見積書_2024.pdf"}));
  // per-mail: one mail gets its subfolder too.
  result = runKorvani({"extract", gmail, "--layout", "per-mail", "-d", dir.file("each")});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(entriesOf(dir.file("each")), std::vector<std::string>{"gmail"});

  // A second run: refused without a choice, kept with --skip-existing, replaced with --force.
  writeFile(dir.file("flat/売上表.xlsx"), "mine");
  result = runKorvani({"extract", outlook, "-d", dir.file("flat")});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(contains(result.err, "--skip-existing to keep it")) << result.err;
  result = runKorvani({"extract", outlook, "-d", dir.file("flat"), "--skip-existing", "-v"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(readFile(dir.file("flat/売上表.xlsx")), "mine");
  EXPECT_EQ(result.out, "");  // -v lists the files written: none
  EXPECT_TRUE(contains(result.err, "korvani: no attachment in") ||
              contains(result.err, "2 files kept as they were (--skip-existing)"))
      << result.err;
  result = runKorvani({"extract", outlook, "-d", dir.file("flat"), "--force", "-v"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, dir.file("flat/①本.csv") + "\n" + dir.file("flat/売上表.xlsx") + "\n");
  EXPECT_NE(readFile(dir.file("flat/売上表.xlsx")), "mine");
}

TEST(ExtractChoicesTest, APlainFolderGivesItsMailsAndSkipsTheRestWithoutFailing) {
  ScopedTempDir dir;
  std::filesystem::create_directories(dir.file("in/sub"));
  writeFile(dir.file("in/a.eml"), readFile(kCorpus + "/gmail.eml"));
  writeFile(dir.file("in/picture.png"), "\x89PNG\r\n\x1a\n\0\0\0\rIHDR");
  writeFile(dir.file("in/run.sh"), "#!/bin/sh\necho hello\n");
  writeFile(dir.file("in/.hidden.eml"), readFile(kCorpus + "/outlook.eml"));
  writeFile(dir.file("in/sub/b.eml"), readFile(kCorpus + "/outlook.eml"));

  CommandResult result = runKorvani({"extract", "--list", dir.file("in")});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_TRUE(contains(result.out, "見積書_2024.pdf"));
  EXPECT_FALSE(contains(result.out, "売上表.xlsx")) << "neither the hidden file nor sub/";

  result = runKorvani({"extract", "-v", dir.file("in"), "-d", dir.file("out")});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  for (const std::string& note : {dir.file("in/picture.png") + ": skipped: not a mail",
                                  dir.file("in/run.sh") + ": skipped: not a mail",
                                  dir.file("in/sub") + ": skipped: a subfolder"}) {
    EXPECT_TRUE(contains(result.err, "korvani: " + note)) << result.err;
  }

  result = runKorvani({"extract", "--list", "-r", dir.file("in")});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(contains(result.out, "売上表.xlsx"));

  // Named as a file, what is not a mail is a failure, as ever.
  result = runKorvani({"extract", "--list", dir.file("in/run.sh")});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(contains(result.err, "is not a mail")) << result.err;
}

}  // namespace
}  // namespace korvani
