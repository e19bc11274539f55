// Faults from outside, for every mode, through the real binary on real files: each must give
// exit status 1, its message, and lose nothing (no partial output, an existing target keeps its
// content, the source is untouched).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/sanitizers.h"
#include "support/test_files.h"

namespace korvani {
namespace {

using testing::entriesOf;
using testing::fileExists;
using testing::readFile;
using testing::runKorvani;
using testing::ScopedTempDir;
using testing::writeFile;

// A mail as binary-encode writes it, carrying `payload`.
std::string mailCarrying(const std::string& payload) {
  ScopedTempDir dir;
  writeFile(dir.file("payload.bin"), payload);
  EXPECT_EQ(
      runKorvani({"binary-encode", dir.file("payload.bin"), "-o", dir.file("m.eml")}).exitCode, 0);
  return readFile(dir.file("m.eml"));
}

struct Mode {
  const char* command;
  std::string (*source)(std::size_t outputSize);  // a source whose output has about that size
  const char* sourceOpenFailed;
  const char* outputOpenFailed;
  const char* imageFailed;
  const char* outputBufferFailed;
};

const Mode kModes[] = {
    {"binary-decode", [](std::size_t n) { return mailCarrying(std::string(n, 'x')); },
     "入力ファイル名異常", "保存ファイルオープンＮＧ", "読込バッファ獲得異常",
     "変換先バッファ獲得ＮＧ"},
    {"binary-encode", [](std::size_t n) { return std::string(n, 'x'); },
     "変換元ファイルオープンＮＧ", "保存ファイルのオープンＮＧ",
     "変換元データ読込用バッファ獲得ＮＧ", "変換先バッファ獲得ＮＧ"},
    {"mail-decode", [](std::size_t n) { return std::string(n, 'x'); }, "入力ファイルオープンＮＧ",
     "出力ファイルオープンＮＧ", "入力データバッファ獲得ＮＧ", "出力データバッファ獲得ＮＧ"},
    {"text-decode", [](std::size_t n) { return std::string(n, 'x'); }, "入力ファイルオープンＮＧ",
     "出力ファイルオープンＮＧ", "入力データバッファ獲得ＮＧ", "出力データバッファ獲得ＮＧ"},
};

void PrintTo(const Mode& mode, std::ostream* stream) { *stream << mode.command; }

class FaultTest : public ::testing::TestWithParam<Mode> {
 protected:
  // Runs the mode on `source` into `output` and checks exit 1, the message and that the source
  // and an existing output are unchanged.
  // `failingPath` set: an open failure, "MESSAGE: PATH: the OS's reason" on one line.
  void expectFailure(const std::string& source, const std::string& output,
                     const std::string& message, const std::string& failingPath = "") {
    const bool sourceIsFile = std::filesystem::is_regular_file(source);
    const std::string sourceBefore =
        sourceIsFile && std::filesystem::file_size(source) < (1u << 30) ? readFile(source) : "";
    const bool outputIsFile = std::filesystem::is_regular_file(output);
    const std::string outputBefore = outputIsFile ? readFile(output) : "";
    const bool outputExisted = std::filesystem::exists(std::filesystem::symlink_status(output));

    const auto result = runKorvani({GetParam().command, source, "-o", output});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    if (failingPath.empty()) {
      EXPECT_EQ(result.err, "korvani: " + message + "\n");
    } else {
      const std::string start = "korvani: " + message + ": " + failingPath + ": ";
      EXPECT_EQ(result.err.substr(0, start.size()), start);
      EXPECT_GT(result.err.size(), start.size() + 1);
      EXPECT_EQ(result.err.find('\n'), result.err.size() - 1);
    }
    EXPECT_EQ(std::filesystem::exists(std::filesystem::symlink_status(output)), outputExisted);
    if (outputIsFile) {
      EXPECT_EQ(readFile(output), outputBefore);
    }
    if (!sourceBefore.empty()) {
      EXPECT_EQ(readFile(source), sourceBefore);
    }
  }

  ScopedTempDir dir;
};

TEST_P(FaultTest, SourcesThatCannotBeOpenedNeverHang) {
  const Mode& mode = GetParam();
  ::mkdir(dir.file("folder").c_str(), 0700);
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  for (const std::string& source :
       {dir.file("missing"), dir.file("folder"), dir.file("fifo"), std::string("/dev/zero")}) {
    SCOPED_TRACE(source);
    expectFailure(source, dir.file("out"), mode.sourceOpenFailed, source);
  }
}

TEST_P(FaultTest, SourceLockedByAnotherProcessCannotBeOpened) {
  const Mode& mode = GetParam();
  writeFile(dir.file("in"), mode.source(1000));
  const int holder = ::open(dir.file("in").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  expectFailure(dir.file("in"), dir.file("out"), mode.sourceOpenFailed, dir.file("in"));
  ::close(holder);
}

TEST_P(FaultTest, SourceOf4GiBOrMoreIsRefusedWithTheImageMessage) {
  const Mode& mode = GetParam();
  const int fd = ::open(dir.file("huge").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_EQ(::ftruncate(fd, (off_t{1} << 32) + 10), 0);  // sparse: costs nothing
  ::close(fd);
  expectFailure(dir.file("huge"), dir.file("out"), mode.imageFailed);
}

TEST_P(FaultTest, TargetsThatCannotBeOpenedAreLeftAsTheyWere) {
  const Mode& mode = GetParam();
  writeFile(dir.file("in"), mode.source(1000));
  ::mkdir(dir.file("folder").c_str(), 0700);
  writeFile(dir.file("readonly"), "previous content");
  ::chmod(dir.file("readonly").c_str(), 0444);
  writeFile(dir.file("locked"), "previous content");
  const int holder = ::open(dir.file("locked").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(holder, LOCK_SH), 0);
  for (const std::string& output :
       {dir.file("nowhere/out"), dir.file("folder"), dir.file("readonly"), dir.file("locked")}) {
    SCOPED_TRACE(output);
    expectFailure(dir.file("in"), output, mode.outputOpenFailed, output);
  }
  ::close(holder);
  EXPECT_EQ(entriesOf(dir.path()),
            (std::vector<std::string>{"folder", "in", "locked", "readonly"}));
}

// A tmpfs of 64 KiB, mounted for the test; only root may mount.
class ScopedTmpfs {
 public:
  explicit ScopedTmpfs(const std::string& folder) : folder(folder) {
    ::mkdir(folder.c_str(), 0700);
    mounted = ::geteuid() == 0 &&
              ::mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") == 0;
  }
  ~ScopedTmpfs() {
    if (mounted) ::umount2(folder.c_str(), MNT_DETACH);
  }
  bool isMounted() const { return mounted; }

 private:
  std::string folder;
  bool mounted = false;
};

TEST_P(FaultTest, FullDiskDuringTheWriteLosesNothing) {
  const Mode& mode = GetParam();
  ScopedTmpfs disk(dir.file("disk"));
  if (!disk.isMounted()) GTEST_SKIP() << "mounting a small tmpfs needs root (CAP_SYS_ADMIN)";
  writeFile(dir.file("in"), mode.source(200 * 1024));
  const std::string target = dir.file("disk/target");
  writeFile(target, "previous content");
  expectFailure(dir.file("in"), target,
                "ファイル書込ＮＧ: " + target + ": No space left on device");
  EXPECT_EQ(entriesOf(dir.file("disk")), std::vector<std::string>{"target"});

  // And a new file is not left behind half written either.
  expectFailure(dir.file("in"), dir.file("disk/new"),
                "ファイル書込ＮＧ: " + dir.file("disk/new") + ": No space left on device");
  EXPECT_EQ(entriesOf(dir.file("disk")), std::vector<std::string>{"target"});
}

TEST_P(FaultTest, MemoryThatCannotBeHadGivesTheBufferMessages) {
#ifdef KORVANI_UNDER_ASAN
  GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#else
  const Mode& mode = GetParam();
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  // The whole source does not fit: the image cannot be had.
  const int fd = ::open(dir.file("big").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_EQ(::ftruncate(fd, 512 * kMiB), 0);
  ::close(fd);
  auto result = testing::runKorvaniWithAddressSpace(
      {mode.command, dir.file("big"), "-o", dir.file("out")}, 256 * kMiB);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, std::string("korvani: ") + mode.imageFailed + "\n");
  // The source fits, but not the result besides it. The program's own libraries (GMime, GLib,
  // libxml2 with ICU) take some 50 MiB of address space before any conversion starts.
  writeFile(dir.file("in"), mode.source(96 * kMiB));
  result = testing::runKorvaniWithAddressSpace(
      {mode.command, dir.file("in"), "-o", dir.file("out")}, 220 * kMiB);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, std::string("korvani: ") + mode.outputBufferFailed + "\n");
  EXPECT_FALSE(fileExists(dir.file("out")));
#endif
}

// The UTF-8 form of a finished text is made outside the platform's blocks; when it cannot be had
// that is the output-buffer failure, never an abort.
TEST(MemoryFaultTest, Utf8OutputWithoutMemoryIsAnOrdinaryFailure) {
#ifdef KORVANI_UNDER_ASAN
  GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#else
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  ScopedTempDir dir;
  writeFile(dir.file("in"), std::string(40 * kMiB, 'x'));
  auto result = testing::runKorvaniWithAddressSpace(
      {"text-decode", dir.file("in"), "-o", dir.file("out")}, 170 * kMiB);
  ASSERT_EQ(result.exitCode, 0) << "the limit leaves room for the Shift_JIS result";
  ::unlink(dir.file("out").c_str());
  result = testing::runKorvaniWithAddressSpace(
      {"text-decode", dir.file("in"), "-o", dir.file("out"), "--output-charset", "utf-8"},
      170 * kMiB);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "korvani: 出力データバッファ獲得ＮＧ\n");
  EXPECT_FALSE(fileExists(dir.file("out")));
#endif
}

INSTANTIATE_TEST_SUITE_P(EveryMode, FaultTest, ::testing::ValuesIn(kModes),
                         [](const ::testing::TestParamInfo<Mode>& info) {
                           std::string name = info.param.command;
                           name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                           return name;
                         });

}  // namespace
}  // namespace korvani
