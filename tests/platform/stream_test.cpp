// Streams read whole through the real platform: pipes, standard input and descriptor paths, held
// in memory up to the bound and spooled to a file beyond it, which no one sees.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix_platform.h"
#include "support/test_files.h"

namespace korvani {
namespace {

using testing::entriesOf;
using testing::ScopedTempDir;

constexpr std::size_t kHeld = 4096;  // the memory bound of the platforms under test

// A pipe whose other end a thread fills with `bytes` and closes. The test reads it by path.
class Pipe {
 public:
  explicit Pipe(std::string bytes) {
    int ends[2];
    EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    readEnd = ends[0];
    writer = std::thread([fd = ends[1], bytes = std::move(bytes)] {
      for (std::size_t at = 0; at < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
        if (n <= 0) break;  // the reader gave up (EPIPE)
        at += static_cast<std::size_t>(n);
      }
      ::close(fd);
    });
  }
  ~Pipe() {
    ::close(readEnd);  // a writer still writing then fails instead of waiting
    writer.join();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  std::string path() const { return "/dev/fd/" + std::to_string(readEnd); }
  int readEnd = -1;

 private:
  std::thread writer;
};

std::string byPosition(ReadableFile& file, std::size_t chunk = 1000) {
  std::string bytes(file.length(), '\0');
  for (std::size_t at = 0; at < bytes.size(); at += chunk) {
    std::size_t got = 0;
    EXPECT_EQ(file.readAt(at, reinterpret_cast<std::uint8_t*>(bytes.data() + at),
                          std::min(chunk, bytes.size() - at), got),
              0);
  }
  return bytes;
}

std::string inOrder(ReadableFile& file) {
  std::string bytes(file.length(), '\0');
  EXPECT_EQ(file.read(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()), 0);
  return bytes;
}

// Each test spools into a folder of its own, to see that nothing is ever left there.
class StreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::signal(SIGPIPE, SIG_IGN);
    if (const char* previous = std::getenv("TMPDIR")) savedTmpdir = previous;
    ::setenv("TMPDIR", spool.path().c_str(), 1);
  }
  void TearDown() override {
    if (savedTmpdir.empty()) {
      ::unsetenv("TMPDIR");
    } else {
      ::setenv("TMPDIR", savedTmpdir.c_str(), 1);
    }
  }

  ScopedTempDir dir;
  ScopedTempDir spool;
  std::string savedTmpdir;
};

TEST_F(StreamTest, WhatIsAStream) {
  testing::writeFile(dir.file("mail.eml"), "x");
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  const Pipe pipe("");
  const int regular = ::open(dir.file("mail.eml").c_str(), O_RDONLY | O_CLOEXEC);
  const struct {
    std::string path;
    bool stream;
  } cases[] = {
      {"-", true},
      {dir.file("fifo"), true},
      {"/dev/null", true},
      {pipe.path(), true},
      {"/dev/fd/" + std::to_string(regular), true},  // read through the descriptor, where it is
      {dir.file("mail.eml"), false},
      {dir.path(), false},
      {dir.file("missing"), false},
  };
  PosixPlatform platform;
  for (const auto& c : cases) EXPECT_EQ(platform.isStream(c.path), c.stream) << c.path;
  ::close(regular);
}

TEST_F(StreamTest, APipeIsReadWholeHeldOrSpooledAndNoFileIsSeen) {
  for (const bool unnamed : {true, false}) {
    PosixPlatform platform(unnamed, kHeld);
    for (const std::size_t length : {std::size_t{0}, std::size_t{1}, kHeld - 1, kHeld, kHeld + 1,
                                     5 * kHeld + 3, std::size_t{3} << 20}) {
      SCOPED_TRACE(std::to_string(length) + (unnamed ? " unnamed" : " named"));
      const std::string bytes = testing::randomBytes(length, static_cast<unsigned>(length));
      const Pipe pipe(bytes);
      int error = -1;
      const auto file = platform.readStream(pipe.path(), &error);
      ASSERT_TRUE(file) << error;
      EXPECT_EQ(error, 0);
      EXPECT_EQ(file->length(), length);
      EXPECT_EQ(byPosition(*file), bytes);
      EXPECT_EQ(inOrder(*file), bytes);
      std::size_t got = 1;
      std::uint8_t past = 0;
      EXPECT_EQ(file->readAt(length, &past, 1, got), 0);
      EXPECT_EQ(got, 0u);
      EXPECT_EQ(file->times().lastWrite, 0);  // a stream has no times to hand on
      EXPECT_EQ(entriesOf(spool.path()), std::vector<std::string>{});
    }
  }
}

TEST_F(StreamTest, ASpoolFolderThatCannotBeUsedFallsBackOnTmp) {
  ::setenv("TMPDIR", dir.file("missing").c_str(), 1);
  PosixPlatform platform(true, kHeld);
  const std::string bytes = testing::randomBytes(2 * kHeld, 4);
  const Pipe pipe(bytes);
  const auto file = platform.readStream(pipe.path());
  ASSERT_TRUE(file);
  EXPECT_EQ(byPosition(*file), bytes);
}

// A FIFO and the other ways in are run end to end by the script test of the mail program's pipe.
TEST_F(StreamTest, StandardInputIsReadOnce) {
  PosixPlatform platform;
  const Pipe pipe("From: a\n\nbody\n");
  const int savedInput = ::dup(STDIN_FILENO);
  ASSERT_EQ(::dup2(pipe.readEnd, STDIN_FILENO), 0);
  const auto first = platform.readStream("-");
  const auto second = platform.readStream("-");
  ::dup2(savedInput, STDIN_FILENO);
  ::close(savedInput);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(inOrder(*first), "From: a\n\nbody\n");
  EXPECT_EQ(second->length(), 0u);
}

TEST_F(StreamTest, ARegularFileBehindADescriptorIsReadFromWhereItStands) {
  testing::writeFile(dir.file("mail.eml"), "0123456789");
  const int fd = ::open(dir.file("mail.eml").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::lseek(fd, 3, SEEK_SET), 3);
  PosixPlatform platform(true, 4);
  const auto file = platform.readStream("/dev/fd/" + std::to_string(fd));
  ::close(fd);
  ASSERT_TRUE(file);
  EXPECT_EQ(byPosition(*file, 3), "3456789");
  EXPECT_EQ(inOrder(*file), "3456789");
}

TEST_F(StreamTest, FailuresGiveTheErrnoAndLeaveNothing) {
  const std::string spoolPath = spool.path();
  const struct {
    const char* name;
    std::string path;  // empty: a pipe of 4 * kHeld bytes
    std::string tmpdir;
    rlim_t fileSizeLimit;  // RLIM_INFINITY: none
    int error;
  } cases[] = {
      {"folder", dir.path(), spoolPath, RLIM_INFINITY, EISDIR},
      {"missing", dir.file("missing"), spoolPath, RLIM_INFINITY, ENOENT},
      {"spool full", "", spoolPath, 2 * kHeld, EFBIG},
  };
  for (const bool unnamed : {true, false}) {
    PosixPlatform platform(unnamed, kHeld);  // SIGXFSZ ignored from here on
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (unnamed ? " unnamed" : " named"));
      const Pipe pipe(testing::randomBytes(4 * kHeld, 3));
      ::setenv("TMPDIR", c.tmpdir.c_str(), 1);
      struct rlimit saved {};
      ::getrlimit(RLIMIT_FSIZE, &saved);
      struct rlimit limit = saved;
      limit.rlim_cur = c.fileSizeLimit;
      ::setrlimit(RLIMIT_FSIZE, &limit);
      int error = 0;
      const auto file = platform.readStream(c.path.empty() ? pipe.path() : c.path, &error);
      ::setrlimit(RLIMIT_FSIZE, &saved);
      EXPECT_FALSE(file);
      EXPECT_EQ(error, c.error);
      EXPECT_EQ(entriesOf(spoolPath), std::vector<std::string>{});
    }
  }
}

}  // namespace
}  // namespace korvani
