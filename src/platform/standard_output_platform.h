// The command line's "-o -": the output goes to standard output instead of a file. Everything
// else is handed to the real platform.
#pragma once

#include "platform/platform.h"

namespace korvani {

// Sends the output named "-" to standard output. That output has no status and no times, so
// stamping it is silently skipped, and it is never the source. Only a front end that was given
// "-o -" uses it: a name a mail proposes is never taken for standard output.
class StandardOutputPlatform : public Platform {
 public:
  explicit StandardOutputPlatform(Platform& inner) : inner(inner) {}

  std::unique_ptr<ReadableFile> openForReading(const std::string& path, ShareMode mode,
                                               int* errorNumber = nullptr) override {
    return inner.openForReading(path, mode, errorNumber);
  }
  bool isStream(const std::string& path) override { return inner.isStream(path); }
  std::unique_ptr<ReadableFile> readStream(const std::string& path,
                                           int* errorNumber = nullptr) override {
    return inner.readStream(path, errorNumber);
  }
  bool readStatus(const std::string& path, FileStatus& status) override {
    return path != kName && inner.readStatus(path, status);
  }
  bool setFileTimes(const std::string& path, const FileTimes& times) override {
    return path != kName && inner.setFileTimes(path, times);
  }
  std::unique_ptr<NewFile> createFile(const std::string& path, ExistingEntry existing,
                                      WriteResult& result) override;
  bool entryExists(const std::string& path) override { return inner.entryExists(path); }
  std::unique_ptr<Folder> openFolder(const std::string& path, bool create,
                                     int& errorNumber) override {
    return inner.openFolder(path, create, errorNumber);
  }
  bool identityOf(const std::string& path, FileIdentity& identity) override {
    return path != kName && inner.identityOf(path, identity);
  }
  bool identityOfStandardOutput(FileIdentity& identity) override {
    return inner.identityOfStandardOutput(identity);
  }
  bool sameFile(const std::string& first, const std::string& second) override {
    return first != kName && second != kName && inner.sameFile(first, second);
  }
  std::unique_ptr<ScratchFile> openScratch() override { return inner.openScratch(); }
  Block allocateZeroed(std::size_t size) override { return inner.allocateZeroed(size); }
  bool localTime(std::tm& time) override { return inner.localTime(time); }
  bool isTerminal(std::FILE* stream) override { return inner.isTerminal(stream); }
  unsigned processorCount() override { return inner.processorCount(); }
  std::uint64_t steadyMilliseconds() override { return inner.steadyMilliseconds(); }

  static constexpr const char* kName = "-";

 private:
  Platform& inner;
};

// Flushes and closes the process's standard output, where the last of a full disk or of a failing
// network file system shows. Returns 0, or the errno of the failure. Standard output that was
// closed from the start is no failure. Only a program's main() calls it, as its last step.
int closeStandardOutput();

}  // namespace korvani
