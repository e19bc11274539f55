// The real Platform on Linux and other POSIX systems.
//
// Exclusive and shared opens are emulated with non-blocking flock() locks, and a target without
// any write permission bit is treated as read-only even for root, as a read-only file is on the
// desktop systems our users come from. A new file is written unnamed (O_TMPFILE) in the target's
// folder, held open, and linked in only when complete, or, where the file system cannot do that or
// there is no /proc to link it through, as a named temporary that is renamed into place and
// removed on failure and on SIGINT, SIGTERM and SIGHUP.
// So a failed or interrupted write loses nothing and leaves nothing. Constructing one makes the
// process ignore SIGXFSZ, so that a file size limit is reported as a write failure.
#pragma once

#include "platform/platform.h"

namespace korvani {

class PosixPlatform : public Platform {
 public:
  // `unnamedTemporaries` false: always use named temporaries (to test that path anywhere).
  explicit PosixPlatform(bool unnamedTemporaries = true);

  std::unique_ptr<ReadableFile> openForReading(const std::string& path, ShareMode mode,
                                               int* errorNumber = nullptr) override;
  bool readStatus(const std::string& path, FileStatus& status) override;
  bool setFileTimes(const std::string& path, const FileTimes& times) override;
  std::unique_ptr<NewFile> createFile(const std::string& path, ExistingEntry existing,
                                      WriteResult& result) override;
  bool entryExists(const std::string& path) override;
  std::unique_ptr<Folder> openFolder(const std::string& path, bool create,
                                     int& errorNumber) override;
  bool identityOf(const std::string& path, FileIdentity& identity) override;
  bool identityOfStandardOutput(FileIdentity& identity) override;
  bool sameFile(const std::string& first, const std::string& second) override;
  Block allocateZeroed(std::size_t size) override;
  bool localTime(std::tm& time) override;
  bool isTerminal(std::FILE* stream) override;

 private:
  bool unnamedTemporaries;
};

}  // namespace korvani
