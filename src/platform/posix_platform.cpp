#include "platform/posix_platform.h"

#include <fcntl.h>
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
#include <mutex>
#include <string>

namespace korvani {
namespace {

// The most one read() or write() call is asked to move: Linux moves at most about 2 GiB at once.
constexpr std::size_t kLargestTransfer = std::size_t{1} << 30;

class PosixReadableFile : public ReadableFile {
 public:
  PosixReadableFile(int fd, std::uint64_t length, FileTimes times)
      : fd_(fd), length_(length), times_(times) {}
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
      const ssize_t n = ::pread(fd_, destination + got, chunk, static_cast<off_t>(offset + got));
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

// Named temporaries are the fallback where the file system has no unnamed ones. They are listed
// here so that SIGINT, SIGTERM or SIGHUP removes them before the process dies by that signal.
// The list is read by the signal handler, so it holds plain pointers set and cleared atomically.
class TemporaryRegistry {
 public:
  static void add(const char* path) {
    installHandlers();
    for (auto& slot : slots) {
      const char* expected = nullptr;
      if (slot.compare_exchange_strong(expected, path)) return;
    }
  }
  static void remove(const char* path) {
    for (auto& slot : slots) {
      const char* expected = path;
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
      if (const char* path = slot.load()) ::unlink(path);
    }
    // SA_RESETHAND restored the default action: die by the same signal, so the status is honest.
    ::raise(signalNumber);
  }

  static inline std::array<std::atomic<const char*>, 16> slots{};
};

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
  const std::string ownProcess = "/proc/" + std::to_string(::getpid()) + "/fd/";
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

// A regular file written in the target's folder, unnamed (O_TMPFILE) where the file system
// allows it, so that not even SIGKILL can leave a half-written file behind; named
// ".korvani-XXXXXX" otherwise, removed on failure, on destruction and on the usual signals.
class PosixNewFile : public NewFile {
 public:
  PosixNewFile(std::string target, Commit commit, bool unnamed)
      : target(std::move(target)),
        folder(folderOf(this->target)),
        commitBy(commit),
        tryUnnamed(unnamed) {}
  ~PosixNewFile() override { discard(); }
  PosixNewFile(const PosixNewFile&) = delete;
  PosixNewFile& operator=(const PosixNewFile&) = delete;

  // Creates the temporary with `mode`. Returns 0 or the errno.
  int open(mode_t mode) {
    if (tryUnnamed) {
      fd = FileDescriptor(::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
      if (fd.get() >= 0) {
        ::fchmod(fd.get(), mode);  // the umask was applied already; an existing file's mode is not
        return 0;
      }
      if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
    }
    temporary = folder + "/.korvani-XXXXXX";
    fd = FileDescriptor(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0) {
      temporary.clear();
      return errno;
    }
    TemporaryRegistry::add(temporary.c_str());
    ::fchmod(fd.get(), mode);
    return 0;
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
    const WriteResult result = temporary.empty() ? linkUnnamed() : renameNamed();
    discard();
    return result;
  }

 private:
  WriteResult linkUnnamed() {
    const std::string self = "/proc/self/fd/" + std::to_string(fd.get());
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      return closeLinked();
    }
    if (errno != EEXIST) return {WriteStatus::WriteFailed, errno};
    if (commitBy == Commit::NoReplace) return {WriteStatus::AlreadyExists, 0};
    // Give it a name of its own beside the target, then rename that over the target's entry.
    for (int attempt = 0; attempt < 100; ++attempt) {
      temporary = folder + "/.korvani-XXXXXX";
      FileDescriptor placeholder(::mkostemp(temporary.data(), O_CLOEXEC));
      if (placeholder.get() < 0) break;
      ::unlink(temporary.c_str());
      if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        TemporaryRegistry::add(temporary.c_str());
        return renameNamed();
      }
      if (errno != EEXIST) break;
    }
    const int error = errno;
    temporary.clear();
    return {WriteStatus::WriteFailed, error};
  }

  // Links the unnamed file at the target; a failed close then takes the name away again.
  WriteResult closeLinked() {
    if (::close(fd.release()) == 0) return {};
    const int error = errno;
    ::unlink(target.c_str());
    return {WriteStatus::WriteFailed, error};
  }

  WriteResult renameNamed() {
    if (::close(fd.release()) != 0) return {WriteStatus::WriteFailed, errno};
    if (commitBy == Commit::ReplaceEntry) {
      if (::rename(temporary.c_str(), target.c_str()) != 0)
        return {WriteStatus::WriteFailed, errno};
      forgetTemporary();
      return {};
    }
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
      forgetTemporary();
      return {};
    }
    if (errno == EEXIST) return {WriteStatus::AlreadyExists, 0};
    if (errno != EINVAL && errno != ENOSYS) return {WriteStatus::WriteFailed, errno};
    // No RENAME_NOREPLACE here: link() refuses an existing name just as well.
    if (::link(temporary.c_str(), target.c_str()) != 0) {
      return {errno == EEXIST ? WriteStatus::AlreadyExists : WriteStatus::WriteFailed,
              errno == EEXIST ? 0 : errno};
    }
    return {};  // discard() removes the temporary name
  }

  void forgetTemporary() {
    TemporaryRegistry::remove(temporary.c_str());
    temporary.clear();
  }

  void discard() {
    if (fd.get() >= 0) ::close(fd.release());
    if (!temporary.empty()) {
      ::unlink(temporary.c_str());
      forgetTemporary();
    }
  }

  std::string target;
  std::string folder;
  Commit commitBy;
  bool tryUnnamed;
  FileDescriptor fd{-1};
  std::string temporary;  // the named temporary, when there is one
};

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

PosixPlatform::PosixPlatform(bool unnamedTemporaries) : unnamedTemporaries(unnamedTemporaries) {
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
  if (::fstat(fd.get(), &status) != 0) {
    error = errno;
    return nullptr;
  }
  if (!S_ISREG(status.st_mode)) {
    error = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
    return nullptr;
  }
  const int lock = (mode == ShareMode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
  if (::flock(fd.get(), lock) != 0) {
    error = errno;
    return nullptr;
  }
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
  FileTimes times;
  times.lastWrite = status.st_mtime;
  times.lastAccess = status.st_atime;
  times.creation = status.st_ctime;
  return std::make_unique<PosixReadableFile>(fd.release(),
                                             static_cast<std::uint64_t>(status.st_size), times);
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

  std::string target = path;
  Commit commit = existing == ExistingEntry::Keep ? Commit::NoReplace : Commit::ReplaceEntry;
  mode_t targetMode = 0666 & ~currentUmask();
  bool keepOwner = false;
  struct stat resolved {};
  if (existing == ExistingEntry::ReplaceTarget && exists && ::stat(path.c_str(), &resolved) == 0) {
    if (S_ISDIR(resolved.st_mode)) return fail(result, WriteStatus::OpenFailed, EISDIR);
    if (!S_ISREG(resolved.st_mode)) {
      // Opened non-blocking so that a FIFO nobody reads fails instead of hanging.
      return writeInPlace(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY),
                          result);
    }
    if ((resolved.st_mode & 0222) == 0) return fail(result, WriteStatus::OpenFailed, EACCES);
    // The target must be writable and not held by another process; it is not truncated here.
    FileDescriptor probe(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (probe.get() < 0) return fail(result, WriteStatus::OpenFailed, errno);
    if (::flock(probe.get(), LOCK_EX | LOCK_NB) != 0) {
      return fail(result, WriteStatus::OpenFailed, errno);
    }
    targetMode = resolved.st_mode & 07777;
    keepOwner = true;
    // Replace what a symbolic link typed by the user points at, not the link.
    char real[PATH_MAX];
    if (::realpath(path.c_str(), real)) target = real;
  }

  auto file = std::make_unique<PosixNewFile>(std::move(target), commit, unnamedTemporaries);
  if (const int error = file->open(targetMode)) return fail(result, WriteStatus::OpenFailed, error);
  if (keepOwner) file->keepOwner(resolved.st_uid, resolved.st_gid);
  return file;
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

}  // namespace korvani
