// The one seam between the core and the operating system.
//
// Every file, file time, lock, memory block and clock reading the workers need goes through a
// Platform passed in by the front end. PosixPlatform is the real one; the tests use an in-memory
// fake that can fail on demand. No function here shows a message: failures come back as results
// (with the OS's errno where there is one) and the workers decide what the user is told.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvani {

// A file's times in whole seconds since the epoch.
struct FileTimes {
  std::int64_t creation = 0;
  std::int64_t lastWrite = 0;
  std::int64_t lastAccess = 0;
};

// The status of one file as the platform reports it. Only `times` is used by the workers; the
// rest travels with it as the platform reported it.
struct FileStatus {
  FileTimes times;
  std::uint64_t size = 0;
  std::uint32_t attributes = 0;  // permission bits on POSIX
  std::string fullPath;
  // A regular file reached by its name: not a device, a FIFO or a descriptor path such as
  // /dev/stdout. Only such a file is given the source's times.
  bool regularFile = true;
};

// How a file is opened for reading. Shared: others may read and write it meanwhile, and it
// cannot be opened while another process holds it exclusively. Exclusive: it cannot be opened
// while anyone else holds it open in either mode (on POSIX an advisory, non-blocking lock).
enum class ShareMode { Shared, Exclusive };

// A zero-filled block of memory owned by whoever holds it; freed on destruction. An empty
// (falsy) Block means the memory could not be had. A block of size 0 is valid and truthy.
class Block {
 public:
  Block() = default;
  Block(std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t* data() const { return data_.get(); }
  std::size_t size() const { return size_; }
  explicit operator bool() const { return data_ != nullptr; }
  void reset() {
    data_.reset();
    size_ = 0;
  }

 private:
  struct Free {
    void operator()(std::uint8_t* p) const { std::free(p); }
  };
  std::unique_ptr<std::uint8_t, Free> data_;
  std::size_t size_ = 0;
};

// An open file, read from its start. Closed on destruction.
class ReadableFile {
 public:
  virtual ~ReadableFile() = default;
  // The file's length in bytes when it was opened.
  virtual std::uint64_t length() const = 0;
  // Reads up to `count` bytes into `destination`, continuing where the last read stopped.
  // Returns 0, or the OS's errno when the read itself failed. Bytes the file does not deliver
  // (it shrank meanwhile) are left as they were.
  virtual int read(std::uint8_t* destination, std::uint64_t count) = 0;
  // Reads up to `count` bytes at `offset` into `destination`, leaving read()'s position alone.
  // `got` receives the bytes delivered: fewer than `count` only at the end of the file. Returns
  // 0, or the OS's errno when the read failed. Safe to call from several threads at once (the
  // mail engine parses the messages of one file on several).
  virtual int readAt(std::uint64_t offset, std::uint8_t* destination, std::size_t count,
                     std::size_t& got) = 0;
  // The file's times as they were when it was opened.
  virtual FileTimes times() const = 0;
};

enum class WriteStatus {
  Written,       // the whole content is in the file
  OpenFailed,    // the target could not be created or opened; nothing was created or changed
  WriteFailed,   // the open succeeded but writing failed; nothing was left behind or changed
  AlreadyExists  // ExistingEntry::Keep found an entry at the path; nothing was created or changed
};

struct WriteResult {
  WriteStatus status = WriteStatus::Written;
  int errorNumber = 0;  // the OS's errno when status is OpenFailed or WriteFailed
};

// What creating a file does when an entry is already at its path.
enum class ExistingEntry {
  // A path the user typed (-o, a Save-As choice): an existing regular file is replaced, through a
  // symbolic link, keeping its mode; a device, FIFO or descriptor path (/dev/stdout) is written
  // in place, never replaced.
  ReplaceTarget,
  // A name the program chose: any entry at the path (a file, a folder, a symbolic link, a
  // dangling one included) means AlreadyExists, decided at the moment the file is put in place.
  Keep,
  // A name the program chose, with the user's leave to replace: the entry itself is replaced by
  // the new regular file. A symbolic link is never followed; what it points at is untouched.
  ReplaceEntry
};

// Which file an entry is, whatever its name: two paths with equal identities reach one file.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

// A file being created. Its bytes are invisible at the final path until commit() puts them there
// in one step; destroying it without a successful commit() leaves nothing behind.
class NewFile {
 public:
  virtual ~NewFile() = default;
  // Appends `size` bytes. Returns Written, or WriteFailed with the errno.
  virtual WriteResult write(const std::uint8_t* data, std::size_t size) = 0;
  // Puts the complete file at its path. Returns Written, AlreadyExists (Keep only) or
  // WriteFailed. After a failure nothing was left behind and an existing file is unchanged.
  virtual WriteResult commit() = 0;
  // The identity the file will have at its path once committed (it is the same file before and
  // after). False where the platform cannot tell, or for a file written in place.
  virtual bool identity(FileIdentity& /*identity*/) const { return false; }
};

// What a folder listing found at a name. A symbolic link is reported as one, never followed.
enum class EntryKind { RegularFile, Folder, SymbolicLink, Other };

struct FolderEntry {
  std::string name;
  EntryKind kind = EntryKind::Other;
};

// A folder held open. Every name given to it is one component (no '/'), looked up below the
// folder it holds, never through a symbolic link at that name: renaming the folder, replacing it
// or any folder above it with a link, or planting links among its entries while it is held never
// moves a read, a write or a time stamp outside it. Closed on destruction.
class Folder {
 public:
  virtual ~Folder() = default;

  // The path it was opened by (or its parent's path and its name), for messages.
  virtual const std::string& path() const = 0;

  // Makes the subfolder `name`, or accepts the folder already there, and holds it. An entry at
  // `name` that is not a folder (a symbolic link to one included) fails with ENOTDIR. Returns
  // null and sets `errorNumber` on failure.
  virtual std::unique_ptr<Folder> makeFolder(const std::string& name, int& errorNumber) = 0;

  // Holds the existing subfolder `name`; a symbolic link there fails with ENOTDIR. Returns null
  // and sets `errorNumber` on failure.
  virtual std::unique_ptr<Folder> openFolder(const std::string& name, int& errorNumber) = 0;

  // The entries of the folder, "." and ".." left out, sorted by name (bytewise). Returns false
  // and sets `errorNumber` when it cannot be read.
  virtual bool list(std::vector<FolderEntry>& entries, int& errorNumber) = 0;

  // Starts creating the regular file `name` in this folder, as Platform::createFile does for a
  // name the program chose: `existing` is Keep or ReplaceEntry (ReplaceTarget counts as
  // ReplaceEntry here: a link at `name` is replaced, never followed). When `times` is given, the
  // finished file carries its last-write and last-access times from the moment it appears (they
  // are set on the open file before it is put in place; the creation time cannot be set).
  virtual std::unique_ptr<NewFile> createFile(const std::string& name, ExistingEntry existing,
                                              const FileTimes* times, WriteResult& result) = 0;

  // Whether any entry is at `name`; a dangling symbolic link counts.
  virtual bool entryExists(const std::string& name) = 0;

  // Opens the regular file `name` of this folder for reading, never through a symbolic link at
  // `name` (ELOOP) and never blocking on a FIFO; a folder fails with EISDIR, any other entry that
  // is not a regular file with EINVAL. The result's readAt() is safe from several threads, its
  // times() are the file's. `identity`, when given, receives the identity of the file opened (not
  // of whatever is at `name` by then). Returns null and sets `errorNumber` on failure.
  virtual std::unique_ptr<ReadableFile> openFile(const std::string& name, int& errorNumber,
                                                 FileIdentity* identity = nullptr) = 0;

  // The identity of the entry at `name`, itself when it is a symbolic link. False when there is
  // no entry or it cannot be read.
  virtual bool identityOf(const std::string& name, FileIdentity& identity) = 0;
};

// Bytes gathered to be read back by position (an archive a library reads with seeks, say): held in
// memory up to a bound of the platform's, and beyond it in an unnamed temporary file that
// vanishes with the result, so that memory stays bounded whatever their length.
class ScratchFile {
 public:
  virtual ~ScratchFile() = default;
  // Appends `size` bytes. Returns 0, or the OS's errno when the temporary file cannot be made or
  // written (a full disk); the scratch is then of no further use.
  virtual int append(const std::uint8_t* data, std::size_t size) = 0;
  // Ends the appending and hands the bytes over as a file read from its start, whose readAt() is
  // safe from several threads; times() are all zero. Null with the errno when the bytes cannot be
  // read back. The scratch is of no further use after this call.
  virtual std::unique_ptr<ReadableFile> finish(int& errorNumber) = 0;
};

// The path that names standard input to Platform::isStream() and readStream().
inline constexpr const char* kStandardInputPath = "-";

class Platform {
 public:
  virtual ~Platform() = default;

  // Opens an existing regular file for reading. Returns null when it cannot be opened: it does
  // not exist, is a folder, FIFO or device, is unreadable, or is held by another process as
  // `mode` forbids. Never blocks. `errorNumber`, when given, receives the reason.
  virtual std::unique_ptr<ReadableFile> openForReading(const std::string& path, ShareMode mode,
                                                       int* errorNumber = nullptr) = 0;

  // Whether `path` names a stream, whose bytes can be read once in order but not by position:
  // "-" (standard input), a descriptor path (/dev/stdin, /dev/fd/N, /proc/self/fd/N), a FIFO, a
  // character device or a socket. False for a regular file, a folder, and a path that cannot be
  // reached: openForReading() opens those or says why. Never opens `path`.
  virtual bool isStream(const std::string& path) = 0;

  // Reads the stream `path` names (see isStream) to its end and returns its bytes as a file with
  // a known length whose readAt() is safe from several threads. "-" and descriptor paths are read
  // through the descriptor they stand for, from where it stands; any other path is opened for
  // reading, which for a FIFO waits until a writer opens it. Blocks until the stream ends. The
  // bytes are held in memory up to a bound of the platform's, and a longer stream goes on into an
  // unnamed temporary file that vanishes with the result, so that memory stays bounded whatever
  // its length. A descriptor that turns out to be a regular file (`< mail.eml`) is read by
  // position from where it stands, not copied. The result's times() are all zero: a stream has
  // none of its own to hand on. Returns null when the stream cannot be opened or read, or the
  // temporary file cannot be written (a full disk): `errorNumber`, when given, receives the errno
  // (EISDIR for a folder), and nothing is left behind.
  virtual std::unique_ptr<ReadableFile> readStream(const std::string& path,
                                                   int* errorNumber = nullptr) = 0;

  // Reads the status of the file at `path`. Returns false when it cannot be read.
  virtual bool readStatus(const std::string& path, FileStatus& status) = 0;

  // Gives the file at `path` the last-write and last-access times of `times`, in whole seconds.
  // POSIX has no way to set a creation time, so `times.creation` is not applied. The file's
  // own attributes are left as they are. Returns false on failure.
  virtual bool setFileTimes(const std::string& path, const FileTimes& times) = 0;

  // Starts creating the file at `path`, handling an entry already there as `existing` says.
  // Returns null and sets `result` (OpenFailed with the errno, or AlreadyExists for Keep) when it
  // cannot be started: a missing folder, a folder at the path, a read-only or locked target.
  virtual std::unique_ptr<NewFile> createFile(const std::string& path, ExistingEntry existing,
                                              WriteResult& result) = 0;

  // Creates the file at `path` with the `size` bytes at `data`, all or nothing: createFile(),
  // one write() and commit(). On any failure no partial file is left and an existing file keeps
  // its previous content.
  WriteResult writeFile(const std::string& path, const std::uint8_t* data, std::size_t size,
                        ExistingEntry existing = ExistingEntry::ReplaceTarget);

  // Whether any directory entry is at `path`; a dangling symbolic link counts.
  virtual bool entryExists(const std::string& path) = 0;

  // Holds the folder at `path`, a path the user gave (a symbolic link to a folder is followed
  // there, once). With `create`, a missing last component is made first. Returns null and sets
  // `errorNumber` when it cannot be held: missing, not a folder (ENOTDIR), unreadable.
  virtual std::unique_ptr<Folder> openFolder(const std::string& path, bool create,
                                             int& errorNumber) = 0;

  // The identity of the file `path` reaches, links followed. False when it cannot be reached.
  virtual bool identityOf(const std::string& path, FileIdentity& identity) = 0;

  // The identity of the file standard output writes to, as identityOf() gives a path's: a shell's
  // `>> MAIL` makes it the mail itself. False when standard output is closed or is no file whose
  // status can be read.
  virtual bool identityOfStandardOutput(FileIdentity& identity) = 0;

  // Whether `first` and `second` are the same file (links followed, hard links included).
  // False when either cannot be reached.
  virtual bool sameFile(const std::string& first, const std::string& second) = 0;

  // An empty scratch to append to (see ScratchFile). Never null: the temporary file, when one is
  // needed, is made by the append that needs it.
  virtual std::unique_ptr<ScratchFile> openScratch() = 0;

  // A zero-filled block of `size` bytes, or an empty Block when the memory cannot be had.
  virtual Block allocateZeroed(std::size_t size) = 0;

  // The current local time. Returns false when it cannot be obtained.
  virtual bool localTime(std::tm& time) = 0;

  // Whether `stream` (standard error, say) is shown on a terminal, where a progress line may be
  // drawn and redrawn.
  virtual bool isTerminal(std::FILE* stream) = 0;

  // How many processors this process may run on (at least 1): how many workers a run can keep
  // busy at once.
  virtual unsigned processorCount() = 0;

  // Milliseconds on a clock that only moves forward, from an unspecified start: for rates and
  // the time a run has left, never for dates.
  virtual std::uint64_t steadyMilliseconds() = 0;
};

// "folder/name", as the user reads a path: `name` alone when `folder` is empty, one '/' between.
std::string joinPath(const std::string& folder, const std::string& name);

// Stamps `source`'s times on the file at `outputPath`, as the workers do after writing: only if
// the output's status can be read and it is a regular file; any failure is silent. The output keeps
// its own attributes.
void stampFileTimes(Platform& platform, const FileStatus& sourceStatus,
                    const std::string& outputPath);

}  // namespace korvani
