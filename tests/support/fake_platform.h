// Test doubles for the platform seam and the front-end interfaces: an in-memory file system with
// a fixed clock that fails on demand, a sink that records messages, and a chooser that answers
// as told. Every call is logged in order so that tests can check what happened when.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/output_chooser.h"
#include "common/message_sink.h"
#include "platform/platform.h"

namespace korvani::testing {

struct FakeFile {
  std::string content;
  FileTimes times;
  bool readOnly = false;
  bool locked = false;  // held by another process: every open and write of it fails
};

// A stream (standard input "-", a pipe, a FIFO): read once, then it is at its end.
struct FakeStream {
  std::string content;
  int failWith = 0;  // reading it fails with this errno
};

class FakePlatform : public Platform {
 public:
  std::map<std::string, FakeFile> files;
  std::map<std::string, FakeStream> streams;  // isStream() is true for these; "-" when given
  std::set<std::string> folders;    // paths that are folders: they cannot be opened or written
  std::vector<std::string> events;  // "open PATH", "status PATH", "write PATH", "times PATH", ...

  // Failure switches.
  bool failStatus = false;                          // readStatus fails for every path
  std::set<std::string> failStatusOf;               // readStatus fails for these paths only
  int failReadWith = 0;                             // ReadableFile::read returns this errno
  int failWriteWith = 0;                            // writing a created file fails with this errno
  std::optional<std::size_t> failWriteNumber;       // the n-th write (0-based) fails with ENOSPC
  int failCommitWith = 0;                           // commit() fails with this errno (EIO at close)
  int failFolderWith = 0;                           // making or opening a folder fails with this
  int failScratchWith = 0;                          // appending to a scratch fails with this
  std::optional<std::size_t> failAllocationNumber;  // the n-th allocateZeroed (0-based) fails
  std::size_t allocationLimit = SIZE_MAX;           // any larger allocation fails
  bool clockFails = false;
  std::uint64_t steadyClock = 0;   // what steadyMilliseconds() said last
  bool terminal = false;           // what isTerminal() says of every stream
  std::string standardOutputFile;  // the file standard output writes to; none when empty
  std::tm clock{};                 // the local time handed out

  std::size_t allocations = 0;  // allocateZeroed calls so far
  std::size_t writes = 0;       // NewFile::write calls so far

  FakePlatform();
  void addFile(const std::string& path, std::string content, FileTimes times = {});
  // Content of `path`, or nullopt when there is no such file.
  std::optional<std::string> contentOf(const std::string& path) const;

  std::unique_ptr<ReadableFile> openForReading(const std::string& path, ShareMode mode,
                                               int* errorNumber = nullptr) override;
  bool isStream(const std::string& path) override;
  // "stream PATH"; a stream not in `streams` fails with ENOENT, a folder with EISDIR.
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
  bool identityOfStandardOutput(FileIdentity& identity) override {
    return identityOf(standardOutputFile, identity);
  }
  // Starts a file as createFile() does; the committed file gets `times` when given.
  std::unique_ptr<NewFile> createFileWithTimes(const std::string& path, ExistingEntry existing,
                                               const FileTimes* times, WriteResult& result);
  bool sameFile(const std::string& first, const std::string& second) override;
  // "scratch"; held in memory, whatever its size.
  std::unique_ptr<ScratchFile> openScratch() override;
  Block allocateZeroed(std::size_t size) override;
  bool localTime(std::tm& time) override;
  bool isTerminal(std::FILE*) override { return terminal; }
  // One processor: the fake is used by one thread at a time. The clock moves 1 ms per reading.
  unsigned processorCount() override { return 1; }
  std::uint64_t steadyMilliseconds() override { return ++steadyClock; }
};

struct RecordedMessage {
  std::string text;
  MessageOwner owner;
  bool operator==(const RecordedMessage&) const = default;
};

class RecordingSink : public MessageSink {
 public:
  explicit RecordingSink(std::vector<std::string>* events = nullptr) : events(events) {}
  std::vector<RecordedMessage> messages;
  void showMessage(std::string_view text, MessageOwner owner = MessageOwner::None) override;
  // The texts alone.
  std::vector<std::string> texts() const;

 private:
  std::vector<std::string>* events;
};

class ScriptedChooser : public OutputChooser {
 public:
  explicit ScriptedChooser(std::optional<std::string> answer,
                           std::vector<std::string>* events = nullptr)
      : answer(std::move(answer)), events(events) {}
  bool chooseOutputFile(const std::string& defaultName, std::string& path) override;

  std::optional<std::string> answer;  // nullopt: the user cancels
  std::vector<std::string> proposedNames;

 private:
  std::vector<std::string>* events;
};

}  // namespace korvani::testing
