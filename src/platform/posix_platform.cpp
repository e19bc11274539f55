#include "platform/posix_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace korvani {
namespace {

// The most one read() or write() call is asked to move: Linux moves at most about 2 GiB at once.
constexpr std::size_t kLargestTransfer = std::size_t{1} << 30;

// What one read of a stream asks for: as much as a pipe holds by default, sixteen times over.
constexpr std::size_t kStreamReadSize = std::size_t{1} << 20;

// An open file read from its descriptor's position on (read) or by position from `base` on
// (readAt): `base` is where a descriptor handed over already stood.
class PosixReadableFile : public ReadableFile {
 public:
  PosixReadableFile(int fd, std::uint64_t length, FileTimes times, std::uint64_t base = 0)
      : fd_(fd), length_(length), times_(times), base_(base) {}
  ~PosixReadableFile() override { ::close(fd_); }
  PosixReadableFile(const PosixReadableFile&) = delete;
  PosixReadableFile& operator=(const PosixReadableFile&) = delete;

  std::uint64_t length() const override { return length_; }

  int read(std::uint8_t* destination, std::uint64_t count) override {
    while (count > 0) {
      const std::size_t chunk =
          count > kLargestTransfer ? kLargestTransfer : static_cast<std::size_t>(count);
      const ssize_t n = ::read(fd_, destination, chunk);
      if (n < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      if (n == 0) break;  // the file shrank: the rest stays as it was
      destination += n;
      count -= static_cast<std::uint64_t>(n);
    }
    return 0;
  }

  int readAt(std::uint64_t offset, std::uint8_t* destination, std::size_t count,
             std::size_t& got) override {
    got = 0;
    while (got < count) {
      const std::size_t chunk = std::min(count - got, kLargestTransfer);
      const ssize_t n =
          ::pread(fd_, destination + got, chunk, static_cast<off_t>(base_ + offset + got));
      if (n < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    return 0;
  }

  FileTimes times() const override { return times_; }

 private:
  int fd_;
  std::uint64_t length_;
  FileTimes times_;
  std::uint64_t base_;
};

// A stream's bytes, held in memory.
class HeldStream : public ReadableFile {
 public:
  explicit HeldStream(std::string bytes) : bytes_(std::move(bytes)) {}

  std::uint64_t length() const override { return bytes_.size(); }

  int read(std::uint8_t* destination, std::uint64_t count) override {
    const auto n =
        static_cast<std::size_t>(std::min<std::uint64_t>(count, bytes_.size() - position_));
    std::memcpy(destination, bytes_.data() + position_, n);
    position_ += n;
    return 0;
  }

  int readAt(std::uint64_t offset, std::uint8_t* destination, std::size_t count,
             std::size_t& got) override {
    got = offset >= bytes_.size()
              ? 0
              : static_cast<std::size_t>(std::min<std::uint64_t>(count, bytes_.size() - offset));
    if (got > 0) std::memcpy(destination, bytes_.data() + offset, got);
    return 0;
  }

  FileTimes times() const override { return {}; }

 private:
  std::string bytes_;
  std::size_t position_ = 0;
};

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = other.release();
    }
    return *this;
  }
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

mode_t currentUmask() {
  // umask() can only be read by setting it; done once, before any thread of ours could race.
  static const mode_t mask = [] {
    const mode_t m = ::umask(022);
    ::umask(m);
    return m;
  }();
  return mask;
}

int writeAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const std::size_t chunk = size > kLargestTransfer ? kLargestTransfer : size;
    const ssize_t n = ::write(fd, data, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return ENOSPC;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

// Named temporaries are the fallback where the file system has no unnamed ones, or where an
// unnamed file cannot be linked in (no /proc). They are listed here so that SIGINT, SIGTERM or
// SIGHUP removes them before the process dies by that signal. The list is read by the signal
// handler, so it holds plain pointers set and cleared atomically; each points at the folder
// descriptor and name of one temporary, which stay valid while it is listed.
struct TemporaryName {
  int folder = -1;
  std::array<char, 32> name{};
};

class TemporaryRegistry {
 public:
  static void add(const TemporaryName* entry) {
    installHandlers();
    for (auto& slot : slots) {
      const TemporaryName* expected = nullptr;
      if (slot.compare_exchange_strong(expected, entry)) return;
    }
  }
  static void remove(const TemporaryName* entry) {
    for (auto& slot : slots) {
      const TemporaryName* expected = entry;
      if (slot.compare_exchange_strong(expected, nullptr)) return;
    }
  }

 private:
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

  static void installHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
      for (const int signalNumber : kSignals) {
        struct sigaction previous {};
        ::sigaction(signalNumber, nullptr, &previous);
        if (previous.sa_handler == SIG_IGN) continue;  // nohup and friends keep their say
        struct sigaction action {};
        action.sa_handler = &onSignal;
        ::sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        ::sigaction(signalNumber, &action, nullptr);
      }
    });
  }

  static void onSignal(int signalNumber) {
    for (auto& slot : slots) {
      if (const TemporaryName* entry = slot.load())
        ::unlinkat(entry->folder, entry->name.data(), 0);
    }
    // SA_RESETHAND restored the default action: die by the same signal, so the status is honest.
    ::raise(signalNumber);
  }

  static inline std::array<std::atomic<const TemporaryName*>, 64> slots{};
};

// Whether an unnamed file can be given a name: linkat() reaches it through /proc/self/fd, which a
// chroot or a minimal container may lack. Asked once.
bool descriptorLinksWork() {
  static const bool available = ::access("/proc/self/fd", X_OK) == 0;
  return available;
}

// Fills `entry` with a fresh ".korvani-XXXXXXXX" name; the X are from a per-process sequence and
// the clock, so that two processes seldom try the same name (a clash is retried by the caller).
void nextTemporaryName(TemporaryName& entry) {
  static std::atomic<std::uint32_t> sequence{0};
  const std::uint32_t mixed = (static_cast<std::uint32_t>(::getpid()) * 2654435761U) ^
                              (sequence.fetch_add(1) * 40503U) ^
                              static_cast<std::uint32_t>(std::time(nullptr));
  std::snprintf(entry.name.data(), entry.name.size(), ".korvani-%08x", mixed);
}

// The descriptor that a path such as /dev/stdout, /dev/fd/3 or /proc/self/fd/3 stands for, or -1.
// Opening such a path anew would start a second, unrelated write at offset 0 of whatever file the
// descriptor has open (wiping the earlier lines of a log appended to with >>); writing through
// the descriptor itself continues where it is.
int descriptorNamedBy(const std::string& path) {
  static const std::pair<const char*, int> kStandardNames[] = {
      {"/dev/stdin", 0}, {"/dev/stdout", 1}, {"/dev/stderr", 2}};
  int descriptor = -1;
  for (const auto& [name, number] : kStandardNames) {
    if (path == name) descriptor = number;
  }
  // Only a path under /proc can name the process by its number: no getpid() for every mail.
  const std::string ownProcess = path.compare(0, 6, "/proc/") == 0
                                     ? "/proc/" + std::to_string(::getpid()) + "/fd/"
                                     : "/dev/fd/";
  for (const std::string& prefix : {std::string("/dev/fd/"), std::string("/proc/self/fd/"),
                                    std::string("/proc/thread-self/fd/"), ownProcess}) {
    if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = path.substr(prefix.size());
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) break;
    descriptor = std::stoi(digits);
  }
  if (descriptor >= 0 && ::fcntl(descriptor, F_GETFD) == -1) return -1;
  return descriptor;
}

// Reads what `fd` delivers, up to `size` bytes, waiting for it. A descriptor handed over
// non-blocking (its flags are shared with whoever handed it over, so they stay as they are) is
// waited on with poll(). Returns the bytes read, 0 at the end, or -1 with errno set.
ssize_t readWaiting(int fd, std::uint8_t* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer, size);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    struct pollfd waiting {
      fd, POLLIN, 0
    };
    if (::poll(&waiting, 1, -1) < 0 && errno != EINTR) return -1;
  }
}

// A file for the part of a stream beyond what is held in memory, in $TMPDIR, or in /tmp when that
// is unset or cannot be written: unnamed, or named and removed at once where the file system has
// no unnamed files. Returns its descriptor, or -1 with errno set.
int openSpoolIn(const std::string& folder, bool unnamed) {
  if (unnamed) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
  }
  std::string name = joinPath(folder, ".korvani-stream-XXXXXX");
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd >= 0) ::unlink(name.c_str());
  return fd;
}

int openSpool(bool unnamed) {
  const char* variable = std::getenv("TMPDIR");
  if (variable != nullptr && *variable != '\0') {
    const int fd = openSpoolIn(variable, unnamed);
    if (fd >= 0) return fd;
  }
  return openSpoolIn("/tmp", unnamed);
}

// Bytes held in memory up to a bound, then spooled into a temporary file: a stream read to its
// end (readStream), an archive gathered from a mail (openScratch).
class PosixScratch : public ScratchFile {
 public:
  PosixScratch(bool unnamed, std::size_t heldInMemory)
      : unnamed_(unnamed), heldInMemory_(heldInMemory) {}

  int append(const std::uint8_t* data, std::size_t size) override {
    if (error_ != 0) return error_;
    length_ += size;
    try {
      if (spool_.get() < 0 && held_.size() + size <= heldInMemory_) {
        held_.append(reinterpret_cast<const char*>(data), size);
        return 0;
      }
    } catch (const std::bad_alloc&) {
      return error_ = ENOMEM;
    }
    if (spool_.get() < 0) {
      spool_ = FileDescriptor(openSpool(unnamed_));
      if (spool_.get() < 0) return error_ = errno;
      error_ =
          writeAll(spool_.get(), reinterpret_cast<const std::uint8_t*>(held_.data()), held_.size());
      std::string().swap(held_);
      if (error_ != 0) return error_;
    }
    return error_ = writeAll(spool_.get(), data, size);
  }

  std::unique_ptr<ReadableFile> finish(int& errorNumber) override {
    errorNumber = error_;
    if (error_ != 0) return nullptr;
    if (spool_.get() < 0) return std::make_unique<HeldStream>(std::move(held_));
    // Back to the start, for read() as for readAt().
    if (::lseek(spool_.get(), 0, SEEK_SET) != 0) {
      errorNumber = errno;
      return nullptr;
    }
    return std::make_unique<PosixReadableFile>(spool_.release(), length_, FileTimes{});
  }

 private:
  bool unnamed_;
  std::size_t heldInMemory_;
  std::string held_;
  FileDescriptor spool_{-1};
  std::uint64_t length_ = 0;
  int error_ = 0;
};

std::unique_ptr<NewFile> fail(WriteResult& result, WriteStatus status, int error) {
  result = {status, error};
  return nullptr;
}

// Writes straight into an open descriptor: a device, a FIFO with a reader, or the descriptor a
// path such as /dev/stdout names. There is nothing to put in place; commit() closes our copy.
class InPlaceFile : public NewFile {
 public:
  explicit InPlaceFile(int fd) : fd_(fd) {}
  WriteResult write(const std::uint8_t* data, std::size_t size) override {
    if (const int error = writeAll(fd_.get(), data, size)) return {WriteStatus::WriteFailed, error};
    return {};
  }
  WriteResult commit() override {
    if (::close(fd_.release()) != 0) return {WriteStatus::WriteFailed, errno};
    return {};
  }

 private:
  FileDescriptor fd_;
};

std::unique_ptr<NewFile> writeInPlace(int fd, WriteResult& result) {
  if (fd < 0) return fail(result, WriteStatus::OpenFailed, errno);
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return std::make_unique<InPlaceFile>(fd);
}

// How a finished file takes its final name: only where no entry is (linkat and
// renameat2(RENAME_NOREPLACE) check and create in one step), or replacing the entry itself
// (rename never follows a symbolic link at the new name).
enum class Commit { NoReplace, ReplaceEntry };

FileIdentity identityOfStatus(const struct stat& status) {
  return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

// The status of the open file `fd`, which is to be a regular file; false, with the errno, when it
// cannot be had or the file is not one.
bool regularFileStatus(int fd, struct stat& status, int& errorNumber) {
  if (::fstat(fd, &status) != 0) {
    errorNumber = errno;
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    errorNumber = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
    return false;
  }
  return true;
}

FileTimes timesOfStatus(const struct stat& status) {
  FileTimes times;
  times.lastWrite = status.st_mtime;
  times.lastAccess = status.st_atime;
  times.creation = status.st_ctime;
  return times;
}

// A folder descriptor, shared by the Folder that holds it and the files being made in it.
using SharedDescriptor = std::shared_ptr<const FileDescriptor>;

// A regular file written in a held folder, unnamed (O_TMPFILE) where the file system allows it
// and /proc can link it in, so that not even SIGKILL can leave a half-written file behind; named
// ".korvani-XXXXXXXX" otherwise, removed on failure, on destruction and on the usual signals.
// Every step is relative to the folder's descriptor.
class PosixNewFile : public NewFile {
 public:
  PosixNewFile(SharedDescriptor folder, std::string name, Commit commit, bool unnamed,
               const FileTimes* times)
      : folder(std::move(folder)),
        name(std::move(name)),
        commitBy(commit),
        tryUnnamed(unnamed && descriptorLinksWork()),
        stampTimes(times != nullptr),
        times(times ? *times : FileTimes{}) {}
  ~PosixNewFile() override { discard(); }
  PosixNewFile(const PosixNewFile&) = delete;
  PosixNewFile& operator=(const PosixNewFile&) = delete;

  // Creates the temporary with `mode`. Returns 0 or the errno.
  int open(mode_t mode) {
    if (tryUnnamed) {
      fd = FileDescriptor(::openat(dir(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
      if (fd.get() >= 0) {
        // The umask was applied to `mode` again; an existing file's mode (which it may clear bits
        // of) is put back whole. A mode the umask leaves as it is needs no second call.
        if ((mode & currentUmask()) != 0) ::fchmod(fd.get(), mode);
        return 0;
      }
      if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
    }
    const int error = createNamed(0600);
    if (error == 0) ::fchmod(fd.get(), mode);
    return error;
  }

  void keepOwner(uid_t user, gid_t group) {
    if (::fchown(fd.get(), user, group) != 0) {
      // Only root may give the file away; otherwise it stays ours, as a rewritten file would.
    }
  }

  WriteResult write(const std::uint8_t* data, std::size_t size) override {
    if (const int error = writeAll(fd.get(), data, size)) return {WriteStatus::WriteFailed, error};
    return {};
  }

  WriteResult commit() override {
    if (stampTimes) {
      // On the open file, before it has a name: a link planted at the name cannot take them.
      const struct timespec stamps[2] = {{static_cast<time_t>(times.lastAccess), 0},
                                         {static_cast<time_t>(times.lastWrite), 0}};
      ::futimens(fd.get(), stamps);  // a file system that keeps no times keeps the file anyway
    }
    const WriteResult result = listed ? renameNamed() : linkUnnamed();
    discard();
    return result;
  }

  bool identity(FileIdentity& identity) const override {
    struct stat status {};
    if (fd.get() < 0 || ::fstat(fd.get(), &status) != 0) return false;
    identity = identityOfStatus(status);
    return true;
  }

 private:
  int dir() const { return folder->get(); }

  // Creates a named temporary in the folder, listed for removal. Returns 0 or the errno.
  int createNamed(mode_t mode) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      nextTemporaryName(temporary);
      temporary.folder = dir();
      fd = FileDescriptor(::openat(dir(), temporary.name.data(),
                                   O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, mode));
      if (fd.get() >= 0) {
        TemporaryRegistry::add(&temporary);
        listed = true;
        return 0;
      }
      if (errno != EEXIST) return errno;
    }
    return EEXIST;
  }

  WriteResult linkUnnamed() {
    const std::string self = "/proc/self/fd/" + std::to_string(fd.get());
    if (::linkat(AT_FDCWD, self.c_str(), dir(), name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      return closeLinked();
    }
    if (errno != EEXIST) return {WriteStatus::WriteFailed, errno};
    if (commitBy == Commit::NoReplace) return {WriteStatus::AlreadyExists, 0};
    // Give it a name of its own beside the target, then rename that over the target's entry.
    for (int attempt = 0; attempt < 100; ++attempt) {
      nextTemporaryName(temporary);
      temporary.folder = dir();
      if (::linkat(AT_FDCWD, self.c_str(), dir(), temporary.name.data(), AT_SYMLINK_FOLLOW) == 0) {
        TemporaryRegistry::add(&temporary);
        listed = true;
        return renameNamed();
      }
      if (errno != EEXIST) break;
    }
    return {WriteStatus::WriteFailed, errno};
  }

  // Links the unnamed file at the target; a failed close then takes the name away again.
  WriteResult closeLinked() {
    if (::close(fd.release()) == 0) return {};
    const int error = errno;
    ::unlinkat(dir(), name.c_str(), 0);
    return {WriteStatus::WriteFailed, error};
  }

  WriteResult renameNamed() {
    if (fd.get() >= 0 && ::close(fd.release()) != 0) return {WriteStatus::WriteFailed, errno};
    const char* from = temporary.name.data();
    if (commitBy == Commit::ReplaceEntry) {
      if (::renameat(dir(), from, dir(), name.c_str()) != 0) {
        return {WriteStatus::WriteFailed, errno};
      }
      forgetTemporary();
      return {};
    }
    if (::renameat2(dir(), from, dir(), name.c_str(), RENAME_NOREPLACE) == 0) {
      forgetTemporary();
      return {};
    }
    if (errno == EEXIST) return {WriteStatus::AlreadyExists, 0};
    if (errno != EINVAL && errno != ENOSYS) return {WriteStatus::WriteFailed, errno};
    // No RENAME_NOREPLACE here: link() refuses an existing name just as well.
    if (::linkat(dir(), from, dir(), name.c_str(), 0) != 0) {
      return {errno == EEXIST ? WriteStatus::AlreadyExists : WriteStatus::WriteFailed,
              errno == EEXIST ? 0 : errno};
    }
    return {};  // discard() removes the temporary name
  }

  void forgetTemporary() {
    TemporaryRegistry::remove(&temporary);
    listed = false;
  }

  void discard() {
    if (fd.get() >= 0) ::close(fd.release());
    if (listed) {
      ::unlinkat(dir(), temporary.name.data(), 0);
      forgetTemporary();
    }
  }

  SharedDescriptor folder;
  std::string name;
  Commit commitBy;
  bool tryUnnamed;
  bool stampTimes;
  FileTimes times;
  FileDescriptor fd{-1};
  TemporaryName temporary;  // the named temporary, when `listed`
  bool listed = false;
};

bool isOneComponent(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

EntryKind kindOf(mode_t mode) {
  if (S_ISREG(mode)) return EntryKind::RegularFile;
  if (S_ISDIR(mode)) return EntryKind::Folder;
  if (S_ISLNK(mode)) return EntryKind::SymbolicLink;
  return EntryKind::Other;
}

// Starts a file named `name` in the held folder `folder`, replacing an entry there only as
// `existing` says.
// `made`: the folder was made by this process, so that no entry was there before; without
// leave to replace, the link that puts the file in place refuses an entry made since, and the
// look beforehand (which saves writing a file that will not be kept) is left out.
std::unique_ptr<NewFile> createIn(const SharedDescriptor& folder, const std::string& name,
                                  ExistingEntry existing, const FileTimes* times, bool unnamed,
                                  bool made, WriteResult& result) {
  result = {};
  if (!isOneComponent(name)) return fail(result, WriteStatus::OpenFailed, EINVAL);
  struct stat entry {};
  const bool look = !(made && existing == ExistingEntry::Keep);
  const bool exists =
      look && ::fstatat(folder->get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0;
  if (look && !exists && errno != ENOENT) return fail(result, WriteStatus::OpenFailed, errno);
  if (exists && existing == ExistingEntry::Keep) return fail(result, WriteStatus::AlreadyExists, 0);
  if (exists && S_ISDIR(entry.st_mode)) return fail(result, WriteStatus::OpenFailed, EISDIR);
  const Commit commit = existing == ExistingEntry::Keep ? Commit::NoReplace : Commit::ReplaceEntry;
  auto file = std::make_unique<PosixNewFile>(folder, name, commit, unnamed, times);
  if (const int error = file->open(0666 & ~currentUmask())) {
    return fail(result, WriteStatus::OpenFailed, error);
  }
  return file;
}

class PosixFolder : public Folder {
 public:
  PosixFolder(SharedDescriptor fd, std::string path, bool unnamed, bool made = false)
      : fd(std::move(fd)), path_(std::move(path)), unnamed(unnamed), made(made) {}

  const std::string& path() const override { return path_; }

  std::unique_ptr<Folder> makeFolder(const std::string& name, int& errorNumber) override {
    if (!isOneComponent(name)) {
      errorNumber = EINVAL;
      return nullptr;
    }
    const bool madeNow = ::mkdirat(fd->get(), name.c_str(), 0777) == 0;
    if (!madeNow && errno != EEXIST) {
      errorNumber = errno;
      return nullptr;
    }
    std::unique_ptr<PosixFolder> folder = openSubfolder(name, errorNumber);
    if (folder) folder->made = madeNow;
    return folder;
  }

  std::unique_ptr<Folder> openFolder(const std::string& name, int& errorNumber) override {
    return openSubfolder(name, errorNumber);
  }

  std::unique_ptr<PosixFolder> openSubfolder(const std::string& name, int& errorNumber) {
    if (!isOneComponent(name)) {
      errorNumber = EINVAL;
      return nullptr;
    }
    const int sub =
        ::openat(fd->get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (sub < 0) {
      errorNumber = errno == ELOOP ? ENOTDIR : errno;
      return nullptr;
    }
    return std::make_unique<PosixFolder>(std::make_shared<const FileDescriptor>(sub),
                                         joinPath(path_, name), unnamed);
  }

  bool list(std::vector<FolderEntry>& entries, int& errorNumber) override {
    entries.clear();
    const int copy = ::openat(fd->get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* stream = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (stream == nullptr) {
      errorNumber = errno;
      if (copy >= 0) ::close(copy);
      return false;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(stream)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      EntryKind kind = EntryKind::Other;
      switch (entry->d_type) {
        case DT_REG:
          kind = EntryKind::RegularFile;
          break;
        case DT_DIR:
          kind = EntryKind::Folder;
          break;
        case DT_LNK:
          kind = EntryKind::SymbolicLink;
          break;
        case DT_UNKNOWN: {
          struct stat status {};
          if (::fstatat(fd->get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
            kind = kindOf(status.st_mode);
          }
          break;
        }
        default:
          break;
      }
      entries.push_back({name, kind});
      errno = 0;
    }
    const int error = errno;
    ::closedir(stream);
    if (error != 0) {
      errorNumber = error;
      return false;
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return true;
  }

  std::unique_ptr<NewFile> createFile(const std::string& name, ExistingEntry existing,
                                      const FileTimes* times, WriteResult& result) override {
    return createIn(fd, name, existing, times, unnamed, made, result);
  }

  bool entryExists(const std::string& name) override {
    struct stat entry {};
    return ::fstatat(fd->get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0;
  }

  std::unique_ptr<ReadableFile> openFile(const std::string& name, int& errorNumber,
                                         FileIdentity* identity) override {
    if (!isOneComponent(name)) {
      errorNumber = EINVAL;
      return nullptr;
    }
    // O_NONBLOCK: a FIFO planted at the name would otherwise wait for a writer.
    FileDescriptor file(::openat(fd->get(), name.c_str(),
                                 O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.get() < 0) {
      errorNumber = errno;
      return nullptr;
    }
    struct stat status {};
    if (!regularFileStatus(file.get(), status, errorNumber)) return nullptr;
    // O_NONBLOCK stays, as for openForReading(): a regular file's reads ignore it.
    if (identity) *identity = identityOfStatus(status);
    return std::make_unique<PosixReadableFile>(
        file.release(), static_cast<std::uint64_t>(status.st_size), timesOfStatus(status));
  }

  bool identityOf(const std::string& name, FileIdentity& identity) override {
    struct stat entry {};
    if (::fstatat(fd->get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) return false;
    identity = identityOfStatus(entry);
    return true;
  }

 private:
  SharedDescriptor fd;
  std::string path_;
  bool unnamed;
  bool made;  // made by makeFolder() of this process: nothing was in it before the run
};

// Holds the folder at `path` as a user gave it (links followed). Null with the errno on failure.
SharedDescriptor holdFolder(const std::string& path) {
  const int fd = ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_shared<const FileDescriptor>(fd);
}

// A whole-file image or result is touched from end to end once, and with 4 KiB pages most of
// that costs page faults. Where the system gives huge pages on request, large blocks ask.
void adviseHugePages(void* memory, std::size_t size) {
  constexpr std::size_t kWorthHugePages = std::size_t{4} << 20;
  if (size < kWorthHugePages) return;
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(memory);
  const std::uintptr_t aligned = (start + page - 1) & ~(page - 1);
  // The address is rounded up to a page boundary, which needs it as an integer.
  void* const first = reinterpret_cast<void*>(aligned);  // NOLINT(performance-no-int-to-ptr)
  ::madvise(first, size - (aligned - start), MADV_HUGEPAGE);
}

}  // namespace

PosixPlatform::PosixPlatform(bool unnamedTemporaries, std::size_t streamHeldInMemory)
    : unnamedTemporaries(unnamedTemporaries), streamHeldInMemory(streamHeldInMemory) {
  // A file size limit (ulimit -f) then fails the write with EFBIG, which is reported, instead of
  // killing the process without a word.
  ::signal(SIGXFSZ, SIG_IGN);
}

std::unique_ptr<ReadableFile> PosixPlatform::openForReading(const std::string& path, ShareMode mode,
                                                            int* errorNumber) {
  int ignored = 0;
  int& error = errorNumber ? *errorNumber : ignored;
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) {
    error = errno;
    return nullptr;
  }
  struct stat status {};
  if (!regularFileStatus(fd.get(), status, error)) return nullptr;
  const int lock = (mode == ShareMode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
  if (::flock(fd.get(), lock) != 0) {
    error = errno;
    return nullptr;
  }
  // O_NONBLOCK stays: it changes nothing in the reads of a regular file, and clearing it would
  // cost two more calls per mail.
  return std::make_unique<PosixReadableFile>(
      fd.release(), static_cast<std::uint64_t>(status.st_size), timesOfStatus(status));
}

bool PosixPlatform::isStream(const std::string& path) {
  if (path == kStandardInputPath || descriptorNamedBy(path) >= 0) return true;
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
}

std::unique_ptr<ReadableFile> PosixPlatform::readStream(const std::string& path, int* errorNumber) {
  int ignored = 0;
  int& error = errorNumber ? *errorNumber : ignored;
  error = 0;
  const int named = path == kStandardInputPath ? STDIN_FILENO : descriptorNamedBy(path);
  // Blocking: a FIFO is meant to wait for its writer.
  FileDescriptor fd(named >= 0 ? ::fcntl(named, F_DUPFD_CLOEXEC, 3)
                               : ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  struct stat status {};
  if (fd.get() < 0 || ::fstat(fd.get(), &status) != 0) {
    error = errno;
    return nullptr;
  }
  if (S_ISDIR(status.st_mode)) {
    error = EISDIR;
    return nullptr;
  }
  if (S_ISREG(status.st_mode)) {
    const off_t position = ::lseek(fd.get(), 0, SEEK_CUR);
    if (position < 0) {
      error = errno;
      return nullptr;
    }
    const auto size = static_cast<std::uint64_t>(status.st_size);
    const std::uint64_t start = std::min(static_cast<std::uint64_t>(position), size);
    return std::make_unique<PosixReadableFile>(fd.release(), size - start, FileTimes{}, start);
  }

  PosixScratch scratch(unnamedTemporaries, streamHeldInMemory);
  try {
    std::vector<std::uint8_t> buffer(kStreamReadSize);
    for (;;) {
      const ssize_t n = readWaiting(fd.get(), buffer.data(), buffer.size());
      if (n < 0) {
        error = errno;
        return nullptr;
      }
      if (n == 0) break;
      error = scratch.append(buffer.data(), static_cast<std::size_t>(n));
      if (error != 0) return nullptr;
    }
  } catch (const std::bad_alloc&) {
    error = ENOMEM;
    return nullptr;
  }
  return scratch.finish(error);
}

bool PosixPlatform::readStatus(const std::string& path, FileStatus& status) {
  struct statx info {};
  if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &info) != 0) return false;
  status.times.lastWrite = info.stx_mtime.tv_sec;
  status.times.lastAccess = info.stx_atime.tv_sec;
  // Not every file system records a birth time; the change time is the nearest stand-in.
  status.times.creation =
      (info.stx_mask & STATX_BTIME) ? info.stx_btime.tv_sec : info.stx_ctime.tv_sec;
  status.size = info.stx_size;
  status.attributes = info.stx_mode & 07777;
  status.regularFile = S_ISREG(info.stx_mode) && descriptorNamedBy(path) < 0;
  char resolved[PATH_MAX];
  status.fullPath = ::realpath(path.c_str(), resolved) ? resolved : path;
  return true;
}

bool PosixPlatform::setFileTimes(const std::string& path, const FileTimes& times) {
  // atime first, then mtime; whole seconds. The creation time cannot be set on POSIX.
  const struct timespec stamps[2] = {{static_cast<time_t>(times.lastAccess), 0},
                                     {static_cast<time_t>(times.lastWrite), 0}};
  return ::utimensat(AT_FDCWD, path.c_str(), stamps, 0) == 0;
}

std::unique_ptr<NewFile> PosixPlatform::createFile(const std::string& path, ExistingEntry existing,
                                                   WriteResult& result) {
  result = {};
  if (const int descriptor = descriptorNamedBy(path); descriptor >= 0) {
    return writeInPlace(::fcntl(descriptor, F_DUPFD_CLOEXEC, 3), result);
  }
  struct stat entry {};
  const bool exists = ::lstat(path.c_str(), &entry) == 0;
  if (!exists && errno != ENOENT) return fail(result, WriteStatus::OpenFailed, errno);
  if (exists && existing == ExistingEntry::Keep) return fail(result, WriteStatus::AlreadyExists, 0);
  if (exists && S_ISDIR(entry.st_mode)) return fail(result, WriteStatus::OpenFailed, EISDIR);

  // A chosen name, a new file, or a dangling link typed by the user: the new file takes the
  // entry's place in its folder. Only an existing target the user typed is resolved further.
  struct stat resolved {};
  if (existing != ExistingEntry::ReplaceTarget || !exists || ::stat(path.c_str(), &resolved) != 0) {
    const SharedDescriptor folder = holdFolder(folderOf(path));
    if (!folder) return fail(result, WriteStatus::OpenFailed, errno);
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return createIn(
        folder, name,
        existing == ExistingEntry::ReplaceTarget ? ExistingEntry::ReplaceEntry : existing, nullptr,
        unnamedTemporaries, false, result);
  }
  if (S_ISDIR(resolved.st_mode)) return fail(result, WriteStatus::OpenFailed, EISDIR);
  if (!S_ISREG(resolved.st_mode)) {
    // Opened non-blocking so that a FIFO nobody reads fails instead of hanging.
    return writeInPlace(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY), result);
  }
  if ((resolved.st_mode & 0222) == 0) return fail(result, WriteStatus::OpenFailed, EACCES);
  // The target must be writable and not held by another process; it is not truncated here.
  FileDescriptor probe(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (probe.get() < 0) return fail(result, WriteStatus::OpenFailed, errno);
  if (::flock(probe.get(), LOCK_EX | LOCK_NB) != 0) {
    return fail(result, WriteStatus::OpenFailed, errno);
  }
  // Replace what a symbolic link typed by the user points at, not the link.
  char real[PATH_MAX];
  const std::string target = ::realpath(path.c_str(), real) ? std::string(real) : path;
  const SharedDescriptor folder = holdFolder(folderOf(target));
  if (!folder) return fail(result, WriteStatus::OpenFailed, errno);
  auto file = std::make_unique<PosixNewFile>(folder, target.substr(target.rfind('/') + 1),
                                             Commit::ReplaceEntry, unnamedTemporaries, nullptr);
  if (const int error = file->open(resolved.st_mode & 07777)) {
    return fail(result, WriteStatus::OpenFailed, error);
  }
  file->keepOwner(resolved.st_uid, resolved.st_gid);
  return file;
}

std::unique_ptr<Folder> PosixPlatform::openFolder(const std::string& path, bool create,
                                                  int& errorNumber) {
  if (create && ::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
    errorNumber = errno;
    return nullptr;
  }
  SharedDescriptor folder = holdFolder(path);
  if (!folder) {
    errorNumber = errno;
    return nullptr;
  }
  return std::make_unique<PosixFolder>(std::move(folder), path, unnamedTemporaries);
}

bool PosixPlatform::identityOf(const std::string& path, FileIdentity& identity) {
  struct stat status {};
  const int descriptor = descriptorNamedBy(path);
  if (descriptor >= 0 ? ::fstat(descriptor, &status) != 0 : ::stat(path.c_str(), &status) != 0) {
    return false;
  }
  identity = identityOfStatus(status);
  return true;
}

bool PosixPlatform::identityOfStandardOutput(FileIdentity& identity) {
  struct stat status {};
  if (::fstat(STDOUT_FILENO, &status) != 0) return false;
  identity = identityOfStatus(status);
  return true;
}

bool PosixPlatform::entryExists(const std::string& path) {
  struct stat entry {};
  return ::lstat(path.c_str(), &entry) == 0;
}

bool PosixPlatform::sameFile(const std::string& first, const std::string& second) {
  struct stat a {};
  struct stat b {};
  const auto statOf = [](const std::string& path, struct stat& status) {
    const int descriptor = descriptorNamedBy(path);
    return descriptor >= 0 ? ::fstat(descriptor, &status) == 0 : ::stat(path.c_str(), &status) == 0;
  };
  return statOf(first, a) && statOf(second, b) && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::unique_ptr<ScratchFile> PosixPlatform::openScratch() {
  return std::make_unique<PosixScratch>(unnamedTemporaries, streamHeldInMemory);
}

Block PosixPlatform::allocateZeroed(std::size_t size) {
  // calloc hands out fresh zero pages for large blocks without touching them.
  void* memory = std::calloc(size == 0 ? 1 : size, 1);
  if (memory == nullptr) return {};
  adviseHugePages(memory, size);
  return Block(static_cast<std::uint8_t*>(memory), size);
}

bool PosixPlatform::localTime(std::tm& time) {
  const std::time_t now = std::time(nullptr);
  return now != static_cast<std::time_t>(-1) && ::localtime_r(&now, &time) != nullptr;
}

bool PosixPlatform::isTerminal(std::FILE* stream) {
  const int descriptor = stream ? ::fileno(stream) : -1;
  return descriptor >= 0 && ::isatty(descriptor) == 1;
}

unsigned PosixPlatform::processorCount() {
  // The processors this process may run on (a container or taskset may allow fewer than exist).
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
    const int count = CPU_COUNT(&allowed);
    if (count > 0) return static_cast<unsigned>(count);
  }
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<unsigned>(online) : 1;
}

std::uint64_t PosixPlatform::steadyMilliseconds() {
  struct timespec now {};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000 +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000000;
}

}  // namespace korvani
