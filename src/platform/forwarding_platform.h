// A Platform that hands every call to another one; front ends derive from it to change one
// aspect (where an output goes, what it is converted to) and leave the rest alone.
#pragma once

#include "platform/platform.h"

namespace korvani {

class ForwardingPlatform : public Platform {
 public:
  explicit ForwardingPlatform(Platform& inner) : inner(inner) {}

  std::unique_ptr<ReadableFile> openForReading(const std::string& path, ShareMode mode,
                                               int* errorNumber = nullptr) override {
    return inner.openForReading(path, mode, errorNumber);
  }
  bool readStatus(const std::string& path, FileStatus& status) override {
    return inner.readStatus(path, status);
  }
  bool setFileTimes(const std::string& path, const FileTimes& times) override {
    return inner.setFileTimes(path, times);
  }
  WriteResult writeFile(const std::string& path, const std::uint8_t* data,
                        std::size_t size) override {
    return inner.writeFile(path, data, size);
  }
  Block allocateZeroed(std::size_t size) override { return inner.allocateZeroed(size); }
  bool localTime(std::tm& time) override { return inner.localTime(time); }

 protected:
  Platform& inner;
};

// Sends the output named `name` ("-" on the command line) to standard output instead of a file.
// That output has no status and no times, so stamping it is silently skipped.
class StandardOutputPlatform : public ForwardingPlatform {
 public:
  StandardOutputPlatform(Platform& inner, std::string name)
      : ForwardingPlatform(inner), name(std::move(name)) {}

  bool readStatus(const std::string& path, FileStatus& status) override {
    return path != name && inner.readStatus(path, status);
  }
  bool setFileTimes(const std::string& path, const FileTimes& times) override {
    return path != name && inner.setFileTimes(path, times);
  }
  WriteResult writeFile(const std::string& path, const std::uint8_t* data,
                        std::size_t size) override;

 private:
  std::string name;
};

}  // namespace korvani
