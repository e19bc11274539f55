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
//
// A stream (readStream) is held in memory up to kStreamHeldInMemory bytes: a mail piped in is
// seldom larger, and the bound keeps a stream of any length from costing more memory than one
// ordinary large mail. Beyond it the whole stream goes on into an unnamed file (O_TMPFILE) in
// $TMPDIR, or /tmp, or a named one removed as soon as it is made where there are no unnamed
// files; either way it is gone when the result is, even after SIGKILL.
#pragma once

#include "platform/platform.h"

namespace korvani {

inline constexpr std::size_t kStreamHeldInMemory = std::size_t{8} << 20;

class PosixPlatform : public Platform {
 public:
  // `unnamedTemporaries` false: always use named temporaries (to test that path anywhere).
  // `streamHeldInMemory`: the bound above, smaller to test the spooling of streams cheaply.
  explicit PosixPlatform(bool unnamedTemporaries = true,
                         std::size_t streamHeldInMemory = kStreamHeldInMemory);

  std::unique_ptr<ReadableFile> openForReading(const std::string& path, ShareMode mode,
                                               int* errorNumber = nullptr) override;
  bool isStream(const std::string& path) override;
  std::unique_ptr<ReadableFile> readStream(const std::string& path,
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
  // Held in memory up to the same bound as a stream, then in an unnamed temporary file.
  std::unique_ptr<ScratchFile> openScratch() override;
  Block allocateZeroed(std::size_t size) override;
  bool localTime(std::tm& time) override;
  bool isTerminal(std::FILE* stream) override;
  unsigned processorCount() override;
  std::uint64_t steadyMilliseconds() override;

 private:
  bool unnamedTemporaries;
  std::size_t streamHeldInMemory;
};

}  // namespace korvani
