#include "platform/posix_platform.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace korvani {
namespace {

class PosixReadableFile : public ReadableFile {
 public:
  PosixReadableFile(int fd, std::uint64_t length) : fd_(fd), length_(length) {}
  ~PosixReadableFile() override { ::close(fd_); }
  PosixReadableFile(const PosixReadableFile&) = delete;
  PosixReadableFile& operator=(const PosixReadableFile&) = delete;

  std::uint64_t length() const override { return length_; }

  int read(std::uint8_t* destination, std::uint64_t count) override {
    while (count > 0) {
      const std::size_t chunk = count > (1u << 30) ? (1u << 30) : static_cast<std::size_t>(count);
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

 private:
  int fd_;
  std::uint64_t length_;
};

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
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
    const std::size_t chunk = size > (1u << 30) ? (1u << 30) : size;
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

// Writes straight into a target that is not a regular file (a character device such as
// /dev/null, or a FIFO with a reader). Opened non-blocking so that a FIFO nobody reads fails
// instead of hanging.
WriteResult writeToSpecialFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) return {WriteStatus::OpenFailed, errno};
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
  if (const int error = writeAll(fd.get(), data, size)) return {WriteStatus::WriteFailed, error};
  if (::close(fd.release()) != 0) return {WriteStatus::WriteFailed, errno};
  return {};
}

// A whole-file image or result is touched from end to end once, and with 4 KiB pages most of
// that costs page faults. Where the system gives huge pages on request, large blocks ask.
void adviseHugePages(void* memory, std::size_t size) {
  constexpr std::size_t kWorthHugePages = std::size_t{4} << 20;
  if (size < kWorthHugePages) return;
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(memory);
  const std::uintptr_t aligned = (start + page - 1) & ~(page - 1);
  ::madvise(reinterpret_cast<void*>(aligned), size - (aligned - start), MADV_HUGEPAGE);
}

}  // namespace

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
  return std::make_unique<PosixReadableFile>(fd.release(), static_cast<std::uint64_t>(status.st_size));
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

WriteResult PosixPlatform::writeFile(const std::string& path, const std::uint8_t* data,
                                     std::size_t size) {
  std::string target = path;
  mode_t targetMode = 0666 & ~currentUmask();
  struct stat existing {};
  const bool exists = ::stat(path.c_str(), &existing) == 0;
  if (!exists && errno != ENOENT) return {WriteStatus::OpenFailed, errno};
  if (exists) {
    if (S_ISDIR(existing.st_mode)) return {WriteStatus::OpenFailed, EISDIR};
    if (!S_ISREG(existing.st_mode)) return writeToSpecialFile(path, data, size);
    if ((existing.st_mode & 0222) == 0) return {WriteStatus::OpenFailed, EACCES};
    // The target must be writable and not held by another process; it is not truncated here.
    FileDescriptor probe(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (probe.get() < 0) return {WriteStatus::OpenFailed, errno};
    if (::flock(probe.get(), LOCK_EX | LOCK_NB) != 0) return {WriteStatus::OpenFailed, errno};
    targetMode = existing.st_mode & 07777;
    // Replace what a symbolic link points at, not the link.
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved)) target = resolved;
  }

  std::string temporary = folderOf(target) + "/.korvani-XXXXXX";
  FileDescriptor fd(::mkstemp(temporary.data()));
  if (fd.get() < 0) return {WriteStatus::OpenFailed, errno};
  ::fchmod(fd.get(), targetMode);
  if (exists && ::fchown(fd.get(), existing.st_uid, existing.st_gid) != 0) {
    // Only root may give the file away; otherwise it stays ours, as a rewritten file would.
  }
  int error = writeAll(fd.get(), data, size);
  if (error == 0 && ::close(fd.release()) != 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    return {WriteStatus::WriteFailed, error};
  }
  return {};
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
