#include "save/attachment_saver.h"

#include <algorithm>

#include "mail/checksum.h"

namespace korvani::save {

void AttachmentSaver::addInput(const std::string& path) {
  FileIdentity identity;
  if (platform.identityOf(path, identity)) inputs.push_back(identity);
}

SaveOutcome AttachmentSaver::save(Folder& folder, const std::string& name, const mail::Mail& mail,
                                  std::size_t index, bool replace,
                                  const std::optional<FileTimes>& times,
                                  const ByteProgress& progress, const mail::ChunkSink& copy) const {
  SaveOutcome outcome;
  outcome.target = joinPath(folder.path(), name);
  // Without leave to replace, creating refuses any entry by itself; only a replacement needs to
  // make sure that what it replaces is not a mail being read.
  if (replace && !inputs.empty()) {
    FileIdentity identity;
    if (folder.identityOf(name, identity) &&
        std::find(inputs.begin(), inputs.end(), identity) != inputs.end()) {
      outcome.status = SaveStatus::TargetIsInput;
      return outcome;
    }
  }
  WriteResult result;
  std::unique_ptr<NewFile> file =
      folder.createFile(name, replace ? ExistingEntry::ReplaceEntry : ExistingEntry::Keep,
                        times ? &*times : nullptr, result);
  if (!file) {
    outcome.status = result.status == WriteStatus::AlreadyExists ? SaveStatus::AlreadyExists
                                                                 : SaveStatus::WriteFailed;
    outcome.errorNumber = result.errorNumber;
    return outcome;
  }
  std::uint64_t bytes = 0;
  bool stopped = false;
  std::optional<mail::Sha256> digest;
  if (digests) digest.emplace();
  const bool read = mail.decode(index, [&](const std::uint8_t* data, std::size_t size) {
    result = file->write(data, size);
    if (result.status != WriteStatus::Written) return false;
    if (digest) digest->update(data, size);
    if (copy) copy(data, size);
    bytes += size;
    stopped = progress && !progress(bytes);
    return !stopped;
  });
  if (result.status != WriteStatus::Written) {
    outcome.status = SaveStatus::WriteFailed;
    outcome.errorNumber = result.errorNumber;
    return outcome;
  }
  if (stopped) {
    outcome.status = SaveStatus::Stopped;
    return outcome;
  }
  if (!read) {
    outcome.status = SaveStatus::Unreadable;
    return outcome;
  }
  FileIdentity written;
  const bool known = file->identity(written);
  result = file->commit();
  switch (result.status) {
    case WriteStatus::Written:
      outcome.size = bytes;
      if (known) outcome.identity = written;
      if (digest) outcome.sha256 = digest->hex();
      outcome.status = mail.parts()[index].truncated ? SaveStatus::Truncated : SaveStatus::Written;
      break;
    case WriteStatus::AlreadyExists:
      outcome.status = SaveStatus::AlreadyExists;
      break;
    case WriteStatus::OpenFailed:
    case WriteStatus::WriteFailed:
      outcome.status = SaveStatus::WriteFailed;
      outcome.errorNumber = result.errorNumber;
      break;
  }
  return outcome;
}

Folder* TargetFolders::root(int& errorNumber) {
  if (!held) {
    held = platform.openFolder(rootPath, true, errorNumber);
    if (!held) failed = rootPath;
  }
  return held.get();
}

std::string TargetFolders::claimSubfolder(const std::string& stem) {
  std::string name = safeName(stem, NameSource::DecodedText).name;
  if (name.empty()) name = "mail";
  return names.claim(name);
}

std::unique_ptr<Folder> TargetFolders::subfolder(const std::string& name, int& errorNumber) {
  Folder* parent = root(errorNumber);
  if (!parent) return nullptr;
  std::unique_ptr<Folder> folder = parent->makeFolder(name, errorNumber);
  if (!folder) failed = joinPath(parent->path(), name);
  return folder;
}

}  // namespace korvani::save
