#include "support/fake_platform.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>

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

class FakeScratch : public ScratchFile {
 public:
  explicit FakeScratch(int failWith) : failWith(failWith) {}
  int append(const std::uint8_t* data, std::size_t size) override {
    if (failWith) return failWith;
    content.append(reinterpret_cast<const char*>(data), size);
    return 0;
  }
  std::unique_ptr<ReadableFile> finish(int& errorNumber) override {
    errorNumber = failWith;
    if (failWith) return nullptr;
    return std::make_unique<FakeReadableFile>(std::move(content), 0, FileTimes{});
  }

 private:
  int failWith;
  std::string content;
};

}  // namespace

std::unique_ptr<ScratchFile> FakePlatform::openScratch() {
  events.push_back("scratch");
  return std::make_unique<FakeScratch>(failScratchWith);
}

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

bool FakePlatform::isStream(const std::string& path) { return streams.count(path) > 0; }

std::unique_ptr<ReadableFile> FakePlatform::readStream(const std::string& path, int* errorNumber) {
  events.push_back("stream " + path);
  const auto it = streams.find(path);
  const int error = folders.count(path)   ? EISDIR
                    : it == streams.end() ? ENOENT
                                          : it->second.failWith;
  if (error) {
    if (errorNumber) *errorNumber = error;
    return nullptr;
  }
  // Read to its end: a second reading finds nothing left.
  std::string content = std::move(it->second.content);
  it->second.content.clear();
  return std::make_unique<FakeReadableFile>(std::move(content), 0, FileTimes{});
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
  FakeNewFile(FakePlatform& platform, std::string path, ExistingEntry existing,
              const FileTimes* times)
      : platform(platform),
        path(std::move(path)),
        existing(existing),
        times(times ? std::optional<FileTimes>(*times) : std::nullopt) {}
  WriteResult write(const std::uint8_t* data, std::size_t size) override {
    const std::size_t number = platform.writes++;
    if (platform.failWriteWith) return {WriteStatus::WriteFailed, platform.failWriteWith};
    if (platform.failWriteNumber && *platform.failWriteNumber == number) {
      return {WriteStatus::WriteFailed, ENOSPC};
    }
    content.append(reinterpret_cast<const char*>(data), size);
    return {};
  }
  WriteResult commit() override {
    if (platform.failCommitWith) return {WriteStatus::WriteFailed, platform.failCommitWith};
    if (existing == ExistingEntry::Keep && platform.entryExists(path)) {
      return {WriteStatus::AlreadyExists, 0};
    }
    platform.files[path].content = std::move(content);
    platform.files[path].times = times ? *times : FileTimes{9, 9, 9};  // else the time of writing
    return {};
  }
  bool identity(FileIdentity& identity) const override {
    identity = {1, std::hash<std::string>{}(path)};  // as FakePlatform::identityOf gives it
    return true;
  }

 private:
  FakePlatform& platform;
  std::string path;
  ExistingEntry existing;
  std::optional<FileTimes> times;
  std::string content;
};

std::string joinPath(const std::string& folder, const std::string& name) {
  return folder.empty() || folder == "." ? name : folder + "/" + name;
}

bool isOneComponent(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// A folder of the fake file system: its path is the prefix of the names made in it.
class FakeFolder : public Folder {
 public:
  FakeFolder(FakePlatform& platform, std::string path)
      : platform(platform), path_(std::move(path)) {}
  const std::string& path() const override { return path_; }
  std::unique_ptr<Folder> makeFolder(const std::string& name, int& errorNumber) override {
    platform.events.push_back("mkdir " + joinPath(path_, name));
    if (!isOneComponent(name)) {
      errorNumber = EINVAL;
      return nullptr;
    }
    if (platform.failFolderWith) {
      errorNumber = platform.failFolderWith;
      return nullptr;
    }
    if (platform.files.count(joinPath(path_, name))) {
      errorNumber = ENOTDIR;
      return nullptr;
    }
    platform.folders.insert(joinPath(path_, name));
    return std::make_unique<FakeFolder>(platform, joinPath(path_, name));
  }
  std::unique_ptr<Folder> openFolder(const std::string& name, int& errorNumber) override {
    if (!isOneComponent(name) || !platform.folders.count(joinPath(path_, name))) {
      errorNumber = isOneComponent(name) ? ENOENT : EINVAL;
      return nullptr;
    }
    return std::make_unique<FakeFolder>(platform, joinPath(path_, name));
  }
  bool list(std::vector<FolderEntry>& entries, int&) override {
    entries.clear();
    const std::string prefix = path_ == "." || path_.empty() ? "" : path_ + "/";
    const auto direct = [&](const std::string& path) {
      return path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
             path.find('/', prefix.size()) == std::string::npos;
    };
    for (const auto& [path, file] : platform.files) {
      if (direct(path)) entries.push_back({path.substr(prefix.size()), EntryKind::RegularFile});
    }
    for (const std::string& path : platform.folders) {
      if (direct(path)) entries.push_back({path.substr(prefix.size()), EntryKind::Folder});
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return true;
  }
  std::unique_ptr<NewFile> createFile(const std::string& name, ExistingEntry existing,
                                      const FileTimes* times, WriteResult& result) override {
    if (!isOneComponent(name)) {
      result = {WriteStatus::OpenFailed, EINVAL};
      return nullptr;
    }
    return platform.createFileWithTimes(
        joinPath(path_, name),
        existing == ExistingEntry::ReplaceTarget ? ExistingEntry::ReplaceEntry : existing, times,
        result);
  }
  bool entryExists(const std::string& name) override {
    return platform.entryExists(joinPath(path_, name));
  }
  // "open PATH"; a folder fails with EISDIR, a missing file with ENOENT.
  std::unique_ptr<ReadableFile> openFile(const std::string& name, int& errorNumber,
                                         FileIdentity* identity) override {
    if (!isOneComponent(name)) {
      errorNumber = EINVAL;
      return nullptr;
    }
    const std::string path = joinPath(path_, name);
    std::unique_ptr<ReadableFile> file =
        platform.openForReading(path, ShareMode::Shared, &errorNumber);
    if (file && identity) platform.identityOf(path, *identity);
    return file;
  }
  bool identityOf(const std::string& name, FileIdentity& identity) override {
    return platform.identityOf(joinPath(path_, name), identity);
  }

 private:
  FakePlatform& platform;
  std::string path_;
};

}  // namespace

std::unique_ptr<NewFile> FakePlatform::createFile(const std::string& path, ExistingEntry existing,
                                                  WriteResult& result) {
  return createFileWithTimes(path, existing, nullptr, result);
}

std::unique_ptr<NewFile> FakePlatform::createFileWithTimes(const std::string& path,
                                                           ExistingEntry existing,
                                                           const FileTimes* times,
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
  return std::make_unique<FakeNewFile>(*this, path, existing, times);
}

std::unique_ptr<Folder> FakePlatform::openFolder(const std::string& path, bool create,
                                                 int& errorNumber) {
  events.push_back("folder " + path);
  if (failFolderWith) {
    errorNumber = failFolderWith;
    return nullptr;
  }
  if (files.count(path)) {
    errorNumber = ENOTDIR;
    return nullptr;
  }
  if (!folders.count(path) && path != "." && !path.empty()) {
    if (!create) {
      errorNumber = ENOENT;
      return nullptr;
    }
    folders.insert(path);
  }
  return std::make_unique<FakeFolder>(*this, path);
}

bool FakePlatform::identityOf(const std::string& path, FileIdentity& identity) {
  // Each path is its own file in the fake (there are no links): the path stands for the inode.
  if (!files.count(path)) return false;
  identity = {1, std::hash<std::string>{}(path)};
  return true;
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
