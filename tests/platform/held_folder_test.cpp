// Folders held open on the real file system: what is made in them stays in them, whatever is
// planted among their entries, and files appear whole, stamped, with or without /proc.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/posix_platform.h"
#include "support/test_files.h"

namespace korvani {
namespace {

using testing::entriesOf;
using testing::readFile;
using testing::ScopedTempDir;
using testing::writeFile;

WriteResult writeIn(Folder& folder, const std::string& name, const std::string& content,
                    ExistingEntry existing, const FileTimes* times = nullptr) {
  WriteResult result;
  std::unique_ptr<NewFile> file = folder.createFile(name, existing, times, result);
  if (!file) return result;
  result = file->write(reinterpret_cast<const std::uint8_t*>(content.data()), content.size());
  if (result.status != WriteStatus::Written) return result;
  return file->commit();
}

// Both ways a file is made: unnamed and linked in through /proc, and as a named temporary.
class HeldFolderTest : public ::testing::TestWithParam<bool> {
 protected:
  std::unique_ptr<Folder> hold(const std::string& path) {
    int error = 0;
    auto folder = platform.openFolder(path, true, error);
    EXPECT_TRUE(folder) << path << ": " << error;
    return folder;
  }
  ScopedTempDir dir;
  PosixPlatform platform{GetParam()};
};

TEST_P(HeldFolderTest, SubfoldersAreMadeOrAcceptedButNeverReachedThroughALink) {
  auto root = hold(dir.path());
  ::mkdir(dir.file("outside").c_str(), 0700);
  ASSERT_EQ(::symlink(dir.file("outside").c_str(), dir.file("link").c_str()), 0);
  writeFile(dir.file("plain"), "x");
  int error = 0;
  EXPECT_TRUE(root->makeFolder("new", error));
  EXPECT_TRUE(root->makeFolder("new", error)) << "an existing folder is accepted";
  for (const char* name : {"link", "plain"}) {
    SCOPED_TRACE(name);
    error = 0;
    EXPECT_FALSE(root->makeFolder(name, error));
    EXPECT_EQ(error, ENOTDIR);
    error = 0;
    EXPECT_FALSE(root->openFolder(name, error));
    EXPECT_EQ(error, ENOTDIR);
  }
  for (const char* name : {"", ".", "..", "a/b"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(root->makeFolder(name, error));
    EXPECT_EQ(error, EINVAL);
    WriteResult result;
    EXPECT_FALSE(root->createFile(name, ExistingEntry::Keep, nullptr, result));
    EXPECT_EQ(result.errorNumber, EINVAL);
  }
  EXPECT_TRUE(entriesOf(dir.file("outside")).empty());
}

TEST_P(HeldFolderTest, AHeldFolderKeepsItsFilesWhenItsPathIsSwappedForALink) {
  ::mkdir(dir.file("outside").c_str(), 0700);
  auto root = hold(dir.path());
  int error = 0;
  auto mine = root->makeFolder("mine", error);
  ASSERT_TRUE(mine);
  // Another user moves the folder away and puts a link to somewhere else in its place.
  ASSERT_EQ(::rename(dir.file("mine").c_str(), dir.file("moved").c_str()), 0);
  ASSERT_EQ(::symlink(dir.file("outside").c_str(), dir.file("mine").c_str()), 0);
  EXPECT_EQ(writeIn(*mine, "a.txt", "data", ExistingEntry::ReplaceEntry).status,
            WriteStatus::Written);
  EXPECT_EQ(readFile(dir.file("moved/a.txt")), "data");
  EXPECT_TRUE(entriesOf(dir.file("outside")).empty());
}

TEST_P(HeldFolderTest, ALinkAtTheNameIsReplacedOrKeptButNeverWrittenThrough) {
  auto root = hold(dir.path());
  writeFile(dir.file("victim"), "precious");
  ASSERT_EQ(::symlink(dir.file("victim").c_str(), dir.file("name").c_str()), 0);
  EXPECT_EQ(writeIn(*root, "name", "new", ExistingEntry::Keep).status, WriteStatus::AlreadyExists);
  const FileTimes times{0, 1000000007, 1100000009};
  EXPECT_EQ(writeIn(*root, "name", "new", ExistingEntry::ReplaceEntry, &times).status,
            WriteStatus::Written);
  struct stat entry {};
  ASSERT_EQ(::lstat(dir.file("name").c_str(), &entry), 0);
  EXPECT_TRUE(S_ISREG(entry.st_mode));
  EXPECT_EQ(readFile(dir.file("name")), "new");
  EXPECT_EQ(entry.st_mtime, 1000000007);
  EXPECT_EQ(entry.st_atime, 1100000009);
  struct stat victim {};
  ASSERT_EQ(::stat(dir.file("victim").c_str(), &victim), 0);
  EXPECT_EQ(readFile(dir.file("victim")), "precious");
  EXPECT_NE(victim.st_mtime, 1000000007) << "the stamp went to the new file only";
  EXPECT_EQ(entriesOf(dir.path()), (std::vector<std::string>{"name", "victim"}));
}

// A folder the run made itself is not looked into before each file (nothing was there), yet an
// entry planted in it meanwhile, a link included, is kept and never written through; its mode
// is the umask's, with no second call to set it.
TEST_P(HeldFolderTest, AFolderMadeByTheRunStillKeepsWhatIsPlantedInIt) {
  auto root = hold(dir.path());
  writeFile(dir.file("victim"), "precious");
  int error = 0;
  auto made = root->makeFolder("made", error);
  ASSERT_TRUE(made);
  ASSERT_EQ(::symlink(dir.file("victim").c_str(), dir.file("made/link").c_str()), 0);
  writeFile(dir.file("made/file"), "theirs");
  for (const char* name : {"link", "file"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(writeIn(*made, name, "mine", ExistingEntry::Keep).status, WriteStatus::AlreadyExists);
  }
  EXPECT_EQ(readFile(dir.file("victim")), "precious");
  EXPECT_EQ(readFile(dir.file("made/file")), "theirs");
  EXPECT_EQ(writeIn(*made, "new", "mine", ExistingEntry::Keep).status, WriteStatus::Written);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  struct stat entry {};
  ASSERT_EQ(::stat(dir.file("made/new").c_str(), &entry), 0);
  EXPECT_EQ(entry.st_mode & 0777, 0666 & ~mask);
  EXPECT_EQ(entriesOf(dir.file("made")), (std::vector<std::string>{"file", "link", "new"}));
}

TEST_P(HeldFolderTest, UncommittedFilesLeaveNothingAndCommittedOnesAreWhole) {
  auto root = hold(dir.path());
  {
    WriteResult result;
    auto file = root->createFile("half", ExistingEntry::Keep, nullptr, result);
    ASSERT_TRUE(file);
    file->write(reinterpret_cast<const std::uint8_t*>("abc"), 3);
  }
  EXPECT_TRUE(entriesOf(dir.path()).empty());
  EXPECT_EQ(writeIn(*root, "whole", "abc", ExistingEntry::Keep).status, WriteStatus::Written);
  EXPECT_EQ(writeIn(*root, "whole", "xyz", ExistingEntry::Keep).status, WriteStatus::AlreadyExists);
  EXPECT_EQ(readFile(dir.file("whole")), "abc");
  EXPECT_EQ(entriesOf(dir.path()), std::vector<std::string>{"whole"});
}

TEST_P(HeldFolderTest, ListsEntriesByNameWithTheirKindsAndNoLinkFollowed) {
  auto root = hold(dir.path());
  writeFile(dir.file("b.eml"), "x");
  ::mkdir(dir.file("a").c_str(), 0700);
  ASSERT_EQ(::symlink("b.eml", dir.file("c").c_str()), 0);
  ASSERT_EQ(::mkfifo(dir.file("d").c_str(), 0600), 0);
  std::vector<FolderEntry> entries;
  int error = 0;
  ASSERT_TRUE(root->list(entries, error));
  std::vector<std::pair<std::string, EntryKind>> seen;
  for (const FolderEntry& entry : entries) seen.emplace_back(entry.name, entry.kind);
  EXPECT_EQ(seen, (std::vector<std::pair<std::string, EntryKind>>{{"a", EntryKind::Folder},
                                                                  {"b.eml", EntryKind::RegularFile},
                                                                  {"c", EntryKind::SymbolicLink},
                                                                  {"d", EntryKind::Other}}));
  FileIdentity link;
  FileIdentity file;
  ASSERT_TRUE(root->identityOf("c", link));
  ASSERT_TRUE(platform.identityOf(dir.file("c"), file));
  EXPECT_NE(link, file) << "the folder names the link itself; the path reaches the file";
  ASSERT_TRUE(root->identityOf("b.eml", link));
  EXPECT_EQ(link, file);
}

TEST_P(HeldFolderTest, TheUsersFolderIsMadeWhenMissingAndMustBeAFolder) {
  int error = 0;
  EXPECT_FALSE(platform.openFolder(dir.file("missing"), false, error));
  EXPECT_EQ(error, ENOENT);
  EXPECT_TRUE(platform.openFolder(dir.file("made"), true, error));
  writeFile(dir.file("file"), "x");
  EXPECT_FALSE(platform.openFolder(dir.file("file"), true, error));
  EXPECT_EQ(error, ENOTDIR);
  // A link to a folder, typed by the user, is followed there.
  ASSERT_EQ(::symlink(dir.file("made").c_str(), dir.file("typed").c_str()), 0);
  auto typed = platform.openFolder(dir.file("typed"), false, error);
  ASSERT_TRUE(typed);
  EXPECT_EQ(writeIn(*typed, "f", "x", ExistingEntry::Keep).status, WriteStatus::Written);
  EXPECT_EQ(readFile(dir.file("made/f")), "x");
}

TEST_P(HeldFolderTest, AFileIsReadBackByNameButNeverThroughALinkOrFromAnythingElse) {
  auto root = hold(dir.path());
  writeFile(dir.file("victim"), "precious");
  ASSERT_EQ(::symlink(dir.file("victim").c_str(), dir.file("link").c_str()), 0);
  ::mkdir(dir.file("folder").c_str(), 0700);
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  const std::pair<const char*, int> refused[] = {
      {"link", ELOOP},     {"folder", EISDIR}, {"fifo", EINVAL},
      {"missing", ENOENT}, {"..", EINVAL},     {"a/b", EINVAL},
  };
  for (const auto& [name, expected] : refused) {
    SCOPED_TRACE(name);
    int error = 0;
    EXPECT_FALSE(root->openFile(name, error));
    EXPECT_EQ(error, expected);
  }
  // The identity a file has while it is written is the one it is opened by, until another file
  // takes its name.
  WriteResult result;
  auto file = root->createFile("a.zip", ExistingEntry::Keep, nullptr, result);
  ASSERT_TRUE(file);
  const std::string bytes = "PK\3\4 and the rest";
  file->write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  FileIdentity written;
  ASSERT_TRUE(file->identity(written));
  ASSERT_EQ(file->commit().status, WriteStatus::Written);
  int error = 0;
  FileIdentity opened;
  auto read = root->openFile("a.zip", error, &opened);
  ASSERT_TRUE(read) << error;
  EXPECT_EQ(opened, written);
  ASSERT_EQ(read->length(), bytes.size());
  // Past the end, readAt() gives what there is.
  std::string back(bytes.size(), '\0');
  std::size_t got = 0;
  EXPECT_EQ(read->readAt(2, reinterpret_cast<std::uint8_t*>(back.data()), back.size(), got), 0);
  back.resize(got);
  EXPECT_EQ(back, bytes.substr(2));
  EXPECT_EQ(writeIn(*root, "a.zip", "other", ExistingEntry::ReplaceEntry).status,
            WriteStatus::Written);
  ASSERT_TRUE(root->openFile("a.zip", error, &opened));
  EXPECT_NE(opened, written);
}

INSTANTIATE_TEST_SUITE_P(BothWays, HeldFolderTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Unnamed" : "NamedTemporary";
                         });

}  // namespace
}  // namespace korvani
