#include "platform/posix_platform.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "support/test_files.h"

namespace korvani {
namespace {

using testing::fileExists;
using testing::readFile;
using testing::ScopedTempDir;
using testing::writeFile;

class PosixPlatformTest : public ::testing::Test {
 protected:
  std::size_t entries() const {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) ++n;
    return n;
  }
  WriteResult write(const std::string& path, const std::string& content) {
    return platform.writeFile(path, reinterpret_cast<const std::uint8_t*>(content.data()),
                              content.size());
  }

  ScopedTempDir dir;
  PosixPlatform platform;
};

TEST_F(PosixPlatformTest, ReadsAWholeFileInEitherMode) {
  writeFile(dir.file("in"), "hello");
  for (ShareMode mode : {ShareMode::Shared, ShareMode::Exclusive}) {
    auto file = platform.openForReading(dir.file("in"), mode);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->length(), 5u);
    std::uint8_t bytes[5];
    EXPECT_EQ(file->read(bytes, 5), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 5), "hello");
  }
}

TEST_F(PosixPlatformTest, LockedFoldersFifosAndMissingFilesCannotBeOpened) {
  writeFile(dir.file("in"), "x");
  const int holder = ::open(dir.file("in").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  int error = 0;
  EXPECT_FALSE(platform.openForReading(dir.file("in"), ShareMode::Exclusive, &error));
  EXPECT_EQ(error, EWOULDBLOCK);
  EXPECT_FALSE(platform.openForReading(dir.file("in"), ShareMode::Shared));
  ::flock(holder, LOCK_UN);
  ASSERT_EQ(::flock(holder, LOCK_SH), 0);  // a reader sharing the file
  EXPECT_TRUE(platform.openForReading(dir.file("in"), ShareMode::Shared));
  EXPECT_FALSE(platform.openForReading(dir.file("in"), ShareMode::Exclusive));
  ::close(holder);

  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  EXPECT_FALSE(platform.openForReading(dir.file("fifo"), ShareMode::Exclusive));  // no hang
  EXPECT_FALSE(platform.openForReading(dir.path(), ShareMode::Shared, &error));
  EXPECT_EQ(error, EISDIR);
  EXPECT_FALSE(platform.openForReading(dir.file("missing"), ShareMode::Shared, &error));
  EXPECT_EQ(error, ENOENT);
}

TEST_F(PosixPlatformTest, WriteCreatesOrReplacesWholeAndKeepsTheTargetsMode) {
  EXPECT_EQ(write(dir.file("out"), "first").status, WriteStatus::Written);
  EXPECT_EQ(readFile(dir.file("out")), "first");
  ::chmod(dir.file("out").c_str(), 0640);
  EXPECT_EQ(write(dir.file("out"), "second, longer").status, WriteStatus::Written);
  EXPECT_EQ(readFile(dir.file("out")), "second, longer");
  struct stat info {};
  ::stat(dir.file("out").c_str(), &info);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(entries(), 1u) << "no temporary file is left";
}

TEST_F(PosixPlatformTest, WriteThroughASymbolicLinkReplacesItsTarget) {
  writeFile(dir.file("real"), "old");
  ASSERT_EQ(::symlink("real", dir.file("link").c_str()), 0);
  EXPECT_EQ(write(dir.file("link"), "new").status, WriteStatus::Written);
  EXPECT_EQ(readFile(dir.file("real")), "new");
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link")));
}

TEST_F(PosixPlatformTest, UnopenableTargetsAreOpenFailuresThatChangeNothing) {
  writeFile(dir.file("readonly"), "keep");
  ::chmod(dir.file("readonly").c_str(), 0444);
  writeFile(dir.file("locked"), "keep");
  const int holder = ::open(dir.file("locked").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(holder, LOCK_SH), 0);
  const std::string targets[] = {dir.file("missing/out"), dir.path(), dir.file("readonly"),
                                 dir.file("locked")};
  for (const auto& target : targets) {
    EXPECT_EQ(write(target, "new").status, WriteStatus::OpenFailed) << target;
  }
  ::close(holder);
  EXPECT_EQ(readFile(dir.file("readonly")), "keep");
  EXPECT_EQ(readFile(dir.file("locked")), "keep");
  EXPECT_FALSE(fileExists(dir.file("missing")));
  EXPECT_EQ(entries(), 2u);
}

TEST_F(PosixPlatformTest, SpecialTargetsAreWrittenDirectlyAndAReaderlessFifoFails) {
  EXPECT_EQ(write("/dev/null", "discarded").status, WriteStatus::Written);
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  EXPECT_EQ(write(dir.file("fifo"), "x").status, WriteStatus::OpenFailed);
}

TEST_F(PosixPlatformTest, FileTimesRoundTripInWholeSeconds) {
  writeFile(dir.file("f"), "x");
  ASSERT_TRUE(platform.setFileTimes(dir.file("f"), FileTimes{0, 1000000007, 1100000009}));
  FileStatus status;
  ASSERT_TRUE(platform.readStatus(dir.file("f"), status));
  EXPECT_EQ(status.times.lastWrite, 1000000007);
  EXPECT_EQ(status.times.lastAccess, 1100000009);
  EXPECT_EQ(status.size, 1u);
  EXPECT_FALSE(platform.readStatus(dir.file("nothing"), status));
  EXPECT_FALSE(platform.setFileTimes(dir.file("nothing"), FileTimes{}));
}

TEST_F(PosixPlatformTest, StampingCopiesTheSourceTimesOnlyWhenTheOutputExists) {
  writeFile(dir.file("out"), "x");
  FileStatus source;
  source.times = FileTimes{5, 1234567890, 1234567891};
  stampFileTimes(platform, source, dir.file("out"));
  FileStatus status;
  ASSERT_TRUE(platform.readStatus(dir.file("out"), status));
  EXPECT_EQ(status.times.lastWrite, 1234567890);
  EXPECT_EQ(status.times.lastAccess, 1234567891);
  stampFileTimes(platform, source, dir.file("absent"));  // silently nothing
  EXPECT_FALSE(fileExists(dir.file("absent")));
}

TEST_F(PosixPlatformTest, AllocatesZeroFilledBlocksIncludingEmptyOnes) {
  Block empty = platform.allocateZeroed(0);
  EXPECT_TRUE(empty);
  EXPECT_EQ(empty.size(), 0u);
  Block block = platform.allocateZeroed(1 << 20);
  ASSERT_TRUE(block);
  for (std::size_t i = 0; i < block.size(); i += 4093) EXPECT_EQ(block.data()[i], 0);
  EXPECT_FALSE(platform.allocateZeroed(SIZE_MAX / 2));
}

}  // namespace
}  // namespace korvani
