// The one way the attachments of parsed mails reach the disk, for `korvani extract` and the mail
// window alike.
//
// A run holds its target folder once (made when missing) and, for a run over several mails, one
// subfolder per mail, made on first use; every file is created, written chunk by chunk, given the
// mail file's times and put in place relative to a held folder (see Folder in platform.h), so
// that links planted in the target during a run never move a write or a time stamp elsewhere. A
// file appears whole or not at all. Nothing here prints: each save returns a SaveOutcome and the
// front end words it.
//
// An AttachmentSaver and its folders are used by one thread at a time; the Platform must outlive
// them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/safe_name.h"
#include "mail/mail_engine.h"
#include "platform/platform.h"

namespace korvani::save {

enum class SaveStatus {
  Written,        // the file is complete at its target
  Truncated,      // written, but the mail ends inside the part: the file holds what was there
  AlreadyExists,  // an entry is at the target and replacing it was not allowed
  TargetIsInput,  // the target is a mail file this run reads; nothing was written
  Unreadable,     // the part could not be read from the mail; nothing was written
  WriteFailed,    // the file could not be created or written (errorNumber); nothing was left
  Stopped         // the progress report asked to stop; nothing was written
};

struct SaveOutcome {
  SaveStatus status = SaveStatus::Written;
  std::string target;      // the folder's path and the file's name, as messages show it
  int errorNumber = 0;     // the OS's errno for WriteFailed
  std::uint64_t size = 0;  // the bytes written, when written
  std::string sha256;      // their SHA-256 in hex, when written and digests are recorded
  // The file written, when written and the platform can tell: whatever is at `target` later is
  // that file only while its identity and size are these.
  std::optional<FileIdentity> identity;
  bool written() const { return status == SaveStatus::Written || status == SaveStatus::Truncated; }
};

// Called as a file's bytes are written, with the bytes of this file handed over so far; returns
// false to stop (the file is then not created).
using ByteProgress = std::function<bool(std::uint64_t bytes)>;

class AttachmentSaver {
 public:
  explicit AttachmentSaver(Platform& platform) : platform(platform) {}

  // Marks the file `path` reaches (links followed) as an input of this run: no save replaces it.
  // A path that cannot be reached is ignored (nothing can be written onto it through a name that
  // does not exist).
  void addInput(const std::string& path);

  // Whether each save also sums the bytes it writes (SaveOutcome::sha256), for a manifest.
  void recordDigests(bool record) { digests = record; }

  // Writes part `index` of `mail` as the file `name` (one component, already safe) in `folder`.
  // An entry already at `name` is replaced only when `replace`, and never when it is an input of
  // the run. `times`, when given, become the file's last-write and last-access times before it
  // appears. `progress`, when given, is called after each chunk. `copy`, when given, receives
  // each chunk written as well (an archive to be unpacked, read once); what it returns is ignored.
  SaveOutcome save(Folder& folder, const std::string& name, const mail::Mail& mail,
                   std::size_t index, bool replace, const std::optional<FileTimes>& times,
                   const ByteProgress& progress = {}, const mail::ChunkSink& copy = {}) const;

 private:
  Platform& platform;
  std::vector<FileIdentity> inputs;
  bool digests = false;
};

// The folders of one run: the target folder the user named, and a subfolder per mail when the
// run writes several mails.
class TargetFolders {
 public:
  TargetFolders(Platform& platform, std::string root)
      : platform(platform), rootPath(std::move(root)) {}

  // The target folder, made when missing and held from the first call on. Null, with the errno
  // in `errorNumber` and the path in `failedPath`, when it cannot be had.
  Folder* root(int& errorNumber);

  // A subfolder name for the mail file named `stem` (its file name without the extension; an
  // mbox message adds "-N"): made safe, "mail" when nothing usable is left, unique in this run.
  std::string claimSubfolder(const std::string& stem);

  // Makes (or accepts) and holds the subfolder `name` of the target folder; never through a link.
  // Null with the errno on failure; `failedPath` then names the folder that failed.
  std::unique_ptr<Folder> subfolder(const std::string& name, int& errorNumber);

  // The folder a failed root() or subfolder() could not have.
  const std::string& failedPath() const { return failed; }

 private:
  Platform& platform;
  std::string rootPath;
  std::unique_ptr<Folder> held;
  NameRegistry names;
  std::string failed;
};

}  // namespace korvani::save
