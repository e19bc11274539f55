// The real Platform on Linux and other POSIX systems.
//
// Exclusive and shared opens are emulated with non-blocking flock() locks, and a target without
// any write permission bit is treated as read-only even for root, as a read-only file is on the
// desktop systems our users come from. Writes go to a temporary file beside the target that is
// renamed over it only when every byte is on disk, so a failed write loses nothing.
#pragma once

#include "platform/platform.h"

namespace korvani {

class PosixPlatform : public Platform {
 public:
  std::unique_ptr<ReadableFile> openForReading(const std::string& path, ShareMode mode,
                                               int* errorNumber = nullptr) override;
  bool readStatus(const std::string& path, FileStatus& status) override;
  bool setFileTimes(const std::string& path, const FileTimes& times) override;
  WriteResult writeFile(const std::string& path, const std::uint8_t* data,
                        std::size_t size) override;
  Block allocateZeroed(std::size_t size) override;
  bool localTime(std::tm& time) override;
};

}  // namespace korvani
