// `korvani extract` against another local user who can write in the target folder, and on a
// system without /proc: the real binary on the real file system.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "support/sanitizers.h"
#include "support/test_files.h"

namespace korvani {
namespace {

using testing::entriesOf;
using testing::readFile;
using testing::runKorvani;
using testing::ScopedTempDir;
using testing::writeFile;

// A mail carrying one attachment named `name` with `content` (base64 "c2FmZQ==" is "safe").
std::string mailWithAttachment(const std::string& name) {
  return "From: a@example.com\nSubject: keys\nMIME-Version: 1.0\n"
         "Content-Type: application/octet-stream; name=\"" +
         name + "\"\nContent-Transfer-Encoding: base64\n\nc2FmZQ==\n";
}

TEST(ExtractSafetyTest, LinksSwappedInDuringARunNeverMoveAWriteOrAStampOutside) {
  ScopedTempDir dir;
  ::mkdir(dir.file("mails").c_str(), 0700);
  ::mkdir(dir.file("dest").c_str(), 0700);
  ::mkdir(dir.file("outside").c_str(), 0700);
  constexpr int kMails = 150;
  std::vector<std::string> stems;
  for (int i = 0; i < kMails; ++i) {
    char stem[16];
    std::snprintf(stem, sizeof stem, "m%04d", i);
    stems.emplace_back(stem);
    writeFile(dir.file("mails/") + stem + ".eml", mailWithAttachment("authorized_keys"));
  }
  writeFile(dir.file("outside/authorized_keys"), "precious");
  const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, dir.file("outside/authorized_keys").c_str(), old, 0), 0);

  // The other user: each per-mail folder, once it appears, is moved aside and a link to the
  // outside folder takes its place; and a link is planted at the file's name in it beforehand.
  std::atomic<bool> done{false};
  std::thread attacker([&] {
    int round = 0;
    while (!done.load()) {
      for (const std::string& stem : stems) {
        const std::string folder = dir.file("dest/") + stem;
        const std::string aside = dir.file("dest/.aside-") + std::to_string(round) + "-" + stem;
        if (::rename(folder.c_str(), aside.c_str()) == 0) {
          ::symlink(dir.file("outside").c_str(), folder.c_str());
          ::symlink(dir.file("outside/authorized_keys").c_str(),
                    (aside + "/authorized_keys").c_str());
        }
      }
      ++round;
    }
  });
  const auto result = runKorvani({"extract", dir.file("mails"), "-d", dir.file("dest"), "--force"});
  done = true;
  attacker.join();

  // Whatever the run said about the folders it lost, nothing reached the outside folder.
  EXPECT_TRUE(result.exitCode == 0 || result.exitCode == 1) << result.err;
  EXPECT_EQ(entriesOf(dir.file("outside")), std::vector<std::string>{"authorized_keys"});
  EXPECT_EQ(readFile(dir.file("outside/authorized_keys")), "precious");
  struct stat status {};
  ASSERT_EQ(::stat(dir.file("outside/authorized_keys").c_str(), &status), 0);
  EXPECT_EQ(status.st_mtime, 1000000000);
}

TEST(ExtractSafetyTest, FilesGetTheMailsTimesInAnyFolderDevShmIncluded) {
  ScopedTempDir dir;
  writeFile(dir.file("m.eml"), mailWithAttachment("report.pdf"));
  const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, dir.file("m.eml").c_str(), times, 0), 0);
  std::vector<std::string> folders{dir.file("out")};
  char shm[] = "/dev/shm/korvani-test-XXXXXX";
  const bool haveShm = ::mkdtemp(shm) != nullptr;
  if (haveShm) folders.emplace_back(shm);
  for (const std::string& folder : folders) {
    SCOPED_TRACE(folder);
    const auto result = runKorvani({"extract", dir.file("m.eml"), "-d", folder});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    struct stat status {};
    ASSERT_EQ(::stat((folder + "/report.pdf").c_str(), &status), 0);
    EXPECT_EQ(status.st_mtime, 1000000000);  // the access time moves as the mail is read
  }
  if (haveShm) {
    ::unlink((std::string(shm) + "/report.pdf").c_str());
    ::rmdir(shm);
  }
}

#ifndef KORVANI_UNDER_ASAN
// Runs `arguments` with the built binary in a mount namespace of its own where /proc is an
// empty tmpfs. Returns the exit status, or -1 when such a namespace cannot be had here.
int runWithoutProc(const std::vector<std::string>& arguments) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", "/proc", "tmpfs", MS_NOSUID | MS_NODEV, "size=16k") != 0) {
      ::_exit(125);
    }
    std::vector<char*> argv{const_cast<char*>(KORVANI_BINARY)};
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(KORVANI_BINARY, argv.data());
    ::_exit(126);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -2;
  return WEXITSTATUS(status) == 125 ? -1 : WEXITSTATUS(status);
}
#endif

TEST(ExtractSafetyTest, FilesAreWrittenWhereThereIsNoProc) {
#ifdef KORVANI_UNDER_ASAN
  GTEST_SKIP() << "AddressSanitizer's run-time reads /proc before the program starts";
#else
  ScopedTempDir dir;
  writeFile(dir.file("a.eml"), mailWithAttachment("report.pdf"));
  writeFile(dir.file("b.eml"), mailWithAttachment("report.pdf"));
  ::mkdir(dir.file("dest").c_str(), 0700);
  writeFile(dir.file("dest/a.pdf"), "old");
  const int status =
      runWithoutProc({"extract", dir.file("a.eml"), dir.file("b.eml"), "-d", dir.file("dest")});
  if (status == -1) GTEST_SKIP() << "a mount namespace needs root (CAP_SYS_ADMIN)";
  EXPECT_EQ(status, 0);
  EXPECT_EQ(entriesOf(dir.file("dest")), (std::vector<std::string>{"a", "a.pdf", "b"}));
  EXPECT_EQ(readFile(dir.file("dest/a/report.pdf")), "safe");
  EXPECT_EQ(readFile(dir.file("dest/b/report.pdf")), "safe");
  EXPECT_EQ(entriesOf(dir.file("dest/a")), std::vector<std::string>{"report.pdf"});
  // An existing file is still neither replaced nor left with a temporary beside it.
  EXPECT_EQ(
      runWithoutProc({"extract", dir.file("a.eml"), dir.file("b.eml"), "-d", dir.file("dest")}), 1);
  EXPECT_EQ(entriesOf(dir.file("dest/a")), std::vector<std::string>{"report.pdf"});
#endif
}

}  // namespace
}  // namespace korvani
