#include "support/fake_platform.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace korvani::testing {
namespace {

class FakeReadableFile : public ReadableFile {
 public:
  FakeReadableFile(std::string content, int failWith, FileTimes times)
      : content(std::move(content)), failWith(failWith), times_(times) {}
  std::uint64_t length() const override { return content.size(); }
  int read(std::uint8_t* destination, std::uint64_t count) override {
    if (failWith) return failWith;
    const std::uint64_t n = std::min<std::uint64_t>(count, content.size() - offset);
    std::memcpy(destination, content.data() + offset, n);
    offset += n;
    return 0;
  }
  int readAt(std::uint64_t at, std::uint8_t* destination, std::size_t count,
             std::size_t& got) override {
    got = 0;
    if (failWith) return failWith;
    if (at >= content.size()) return 0;
    got = static_cast<std::size_t>(std::min<std::uint64_t>(count, content.size() - at));
    std::memcpy(destination, content.data() + at, got);
    return 0;
  }
  FileTimes times() const override { return times_; }

 private:
  std::string content;
  int failWith;
  FileTimes times_;
  std::size_t offset = 0;
};

}  // namespace

FakePlatform::FakePlatform() {
  clock.tm_year = 105;  // 9 March 2005, 14:05:07
  clock.tm_mon = 2;
  clock.tm_mday = 9;
  clock.tm_hour = 14;
  clock.tm_min = 5;
  clock.tm_sec = 7;
}

void FakePlatform::addFile(const std::string& path, std::string content, FileTimes times) {
  files[path] = FakeFile{std::move(content), times};
}

std::optional<std::string> FakePlatform::contentOf(const std::string& path) const {
  const auto it = files.find(path);
  if (it == files.end()) return std::nullopt;
  return it->second.content;
}

std::unique_ptr<ReadableFile> FakePlatform::openForReading(const std::string& path, ShareMode,
                                                           int* errorNumber) {
  events.push_back("open " + path);
  const auto it = files.find(path);
  int error = 0;
  if (folders.count(path))
    error = EISDIR;
  else if (it == files.end())
    error = ENOENT;
  else if (it->second.locked)
    error = EWOULDBLOCK;
  if (error) {
    if (errorNumber) *errorNumber = error;
    return nullptr;
  }
  return std::make_unique<FakeReadableFile>(it->second.content, failReadWith, it->second.times);
}

bool FakePlatform::readStatus(const std::string& path, FileStatus& status) {
  events.push_back("status " + path);
  const auto it = files.find(path);
  if (failStatus || failStatusOf.count(path) || it == files.end()) return false;
  status.times = it->second.times;
  status.size = it->second.content.size();
  status.fullPath = path;
  return true;
}

bool FakePlatform::setFileTimes(const std::string& path, const FileTimes& times) {
  events.push_back("times " + path);
  const auto it = files.find(path);
  if (it == files.end()) return false;
  it->second.times = times;
  return true;
}

namespace {

// Collects the bytes and puts them in the fake's file table only at commit().
class FakeNewFile : public NewFile {
 public:
  FakeNewFile(FakePlatform& platform, std::string path, ExistingEntry existing)
      : platform(platform), path(std::move(path)), existing(existing) {}
  WriteResult write(const std::uint8_t* data, std::size_t size) override {
    if (platform.failWriteWith) return {WriteStatus::WriteFailed, platform.failWriteWith};
    content.append(reinterpret_cast<const char*>(data), size);
    return {};
  }
  WriteResult commit() override {
    if (existing == ExistingEntry::Keep && platform.files.count(path)) {
      return {WriteStatus::AlreadyExists, 0};
    }
    platform.files[path].content = std::move(content);
    platform.files[path].times = FileTimes{9, 9, 9};  // the time of writing
    return {};
  }

 private:
  FakePlatform& platform;
  std::string path;
  ExistingEntry existing;
  std::string content;
};

}  // namespace

std::unique_ptr<NewFile> FakePlatform::createFile(const std::string& path, ExistingEntry existing,
                                                  WriteResult& result) {
  events.push_back("write " + path);
  const auto it = files.find(path);
  result = {};
  if (folders.count(path))
    result = {WriteStatus::OpenFailed, EISDIR};
  else if (path.find('/') != std::string::npos && !folders.count(path.substr(0, path.rfind('/'))))
    result = {WriteStatus::OpenFailed, ENOENT};
  else if (it != files.end() && existing == ExistingEntry::Keep)
    result = {WriteStatus::AlreadyExists, 0};
  else if (it != files.end() && (it->second.readOnly || it->second.locked))
    result = {WriteStatus::OpenFailed, EACCES};
  if (result.status != WriteStatus::Written) return nullptr;
  return std::make_unique<FakeNewFile>(*this, path, existing);
}

bool FakePlatform::entryExists(const std::string& path) {
  return files.count(path) > 0 || folders.count(path) > 0;
}

bool FakePlatform::sameFile(const std::string& first, const std::string& second) {
  return first == second && files.count(first) > 0;
}

Block FakePlatform::allocateZeroed(std::size_t size) {
  const std::size_t number = allocations++;
  if (failAllocationNumber && *failAllocationNumber == number) return {};
  if (size > allocationLimit) return {};
  void* memory = std::calloc(size == 0 ? 1 : size, 1);
  return memory ? Block(static_cast<std::uint8_t*>(memory), size) : Block();
}

bool FakePlatform::localTime(std::tm& time) {
  if (clockFails) return false;
  time = clock;
  return true;
}

void RecordingSink::showMessage(std::string_view text, MessageOwner owner) {
  if (events) events->push_back("message " + std::string(text));
  messages.push_back({std::string(text), owner});
}

std::vector<std::string> RecordingSink::texts() const {
  std::vector<std::string> result;
  for (const auto& message : messages) result.push_back(message.text);
  return result;
}

bool ScriptedChooser::chooseOutputFile(const std::string& defaultName, std::string& path) {
  if (events) events->push_back("choose " + defaultName);
  proposedNames.push_back(defaultName);
  if (!answer) return false;
  path = *answer;
  return true;
}

}  // namespace korvani::testing
