// Archives among the attachments, unpacked into a folder named after each (`見積.zip` gives
// `見積/`), and the archives and mails inside them, opened in turn.
//
// Every entry goes through the one creation path of a held Folder (see platform.h): written
// unnamed and put in place whole, never through a link, with the entry's time. Every name goes
// through safeEntryPath() and one NameRegistry per folder: no entry lands outside its archive's
// folder, whatever its name. A link entry is never made a link: it becomes a small text file
// NAME.link holding its target. Devices, FIFOs and sockets are skipped. An encrypted archive is
// opened only with a password that proves itself on its first encrypted entry.
//
// Bounds (each reached one is reported, and what was written before stays whole):
// - the bytes unpacked from one attachment, its nested archives and mails included, stop at
//   Bounds::maxUnpacked, and at Bounds::maxRatio times the attachment's size (but never below
//   kRatioFloor), which stops a small archive that unpacks to a great deal (a "zip bomb");
// - kMaxEntries entries per archive;
// - archives and mails inside archives are opened up to kMaxDepth levels deep.
//
// Nothing here prints: every entry and archive is handed to an UnpackObserver, which words it.
// An Unpacker is used by one thread at a time; the Platform and the observer outlive it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/safe_name.h"
#include "mail/mail_engine.h"
#include "platform/platform.h"
#include "save/attachment_saver.h"

namespace korvani::archive {

inline constexpr std::uint64_t kDefaultMaxUnpacked = std::uint64_t{4} << 30;
inline constexpr std::uint64_t kDefaultMaxRatio = 200;
// However small the archive, this much may come out of it: a few KiB of ZIP holding a log of
// repeated lines is no bomb.
inline constexpr std::uint64_t kRatioFloor = std::uint64_t{1} << 20;
inline constexpr std::size_t kMaxEntries = 100000;
inline constexpr int kMaxDepth = 8;

struct Bounds {
  std::uint64_t maxUnpacked = kDefaultMaxUnpacked;
  std::uint64_t maxRatio = kDefaultMaxRatio;
};

// A password to try, and where it came from.
struct Password {
  std::string text;
  std::string mail;  // the label of the password mail that gave it; empty for one the user gave
};

enum class EntryStatus {
  Written,        // a file, complete at `target`
  Truncated,      // an attachment of a mail inside the archive: that mail ends inside it
  LinkWritten,    // a link entry, written as the text file `target` (NAME.link) holding its target
  Listed,         // a listing: nothing was written
  Skipped,        // a device, FIFO or socket entry: nothing was made
  AlreadyExists,  // an entry is at `target` and replacing it was not allowed
  WriteFailed,    // `target` could not be made or written (errorNumber); nothing was left
  Damaged         // its data could not be read (detail); nothing was left of it
};

enum class EntryKind { File, Folder, Link, Special, MailPart };

struct EntryEvent {
  EntryStatus status = EntryStatus::Written;
  EntryKind kind = EntryKind::File;
  std::string path;          // where it is: "3/見積.zip:書類/a.xlsx", "3/a.zip:fwd.eml:2"
  std::string target;        // the file's path, as messages show it ("" in a listing)
  std::string name;          // its name inside the archive, decoded ("書類/a.xlsx")
  std::string nameEncoding;  // "ascii", "utf-8", "cp932" or "cp437"; "mail" for a mail's part
  std::string nameBytes;     // the name as the archive holds it ("" for a mail's part)
  bool nameChanged = false;  // safety changed the name
  bool encrypted = false;
  std::int64_t size = -1;  // bytes written, or the size the archive gives in a listing
  std::string linkTarget;  // Link: what the link pointed at, decoded
  int errorNumber = 0;
  std::string detail;  // the library's words for Damaged
  std::string sha256;  // of the bytes written, when UnpackSettings::digests
};

enum class ArchiveStatus {
  Unpacked,        // every entry was read
  Damaged,         // reading stopped at a damaged place (detail); the entries before are whole
  SizeBound,       // stopped at Bounds::maxUnpacked
  RatioBound,      // stopped at Bounds::maxRatio times the attachment's size
  TooManyEntries,  // stopped after kMaxEntries entries
  TooDeep,         // nested deeper than kMaxDepth: left as a file
  Shut,            // encrypted and not opened (shutReason)
  FolderFailed     // its folder could not be made (errorNumber)
};

enum class ShutReason { NoCandidate, WrongPassword, Unsupported };

struct ArchiveEvent {
  ArchiveStatus status = ArchiveStatus::Unpacked;
  std::string path;    // "3/見積.zip", "3/a.zip:in/b.zip"
  std::string folder;  // the folder it is unpacked into, as messages show it
  std::string format;  // the library's name of its format
  bool encrypted = false;
  std::optional<Password> openedBy;  // the password that opened an encrypted one
  ShutReason shutReason = ShutReason::NoCandidate;
  std::size_t passwordsTried = 0;
  std::uint64_t bound = 0;  // SizeBound, RatioBound: the bytes the bound allowed
  std::size_t entries = 0;  // the entries read
  int errorNumber = 0;
  std::string detail;
};

class UnpackObserver {
 public:
  virtual ~UnpackObserver() = default;
  virtual void entry(const EntryEvent& event) = 0;
  // After its entries: how the archive ended.
  virtual void archive(const ArchiveEvent& event) = 0;
};

struct UnpackSettings {
  Bounds bounds;
  bool replace = false;  // an existing file of the same name is replaced (--force)
  bool list = false;     // read and report, write nothing
  bool digests = false;  // sum each file's bytes (EntryEvent::sha256), for a manifest
  // The times of a file whose entry gives none (and of the attachments of a mail inside).
  std::optional<FileTimes> times;
};

// What became of one attachment.
enum class PartResult {
  NotAnArchive,  // nothing was done
  Done,          // unpacked or stopped, and reported
  Deferred,      // encrypted, and no password at hand opened it; nothing was made or reported
  Unreadable     // the attachment could not be read from the mail (errorNumber 0) or into a
                 // scratch (errorNumber); nothing was made or reported
};

class PartHead;

class Unpacker {
 public:
  Unpacker(Platform& platform, const save::AttachmentSaver& saver, UnpackSettings settings,
           UnpackObserver& observer)
      : platform(platform), saver(saver), settings(settings), observer(observer) {}

  // Opens part `index` of `mail` (the attachment at `path`, "3/見積.zip") when its bytes are an
  // archive, and unpacks it into a folder of `parent` named after `name` (its file name without
  // the extension) and claimed in `names`, the registry of `parent`; `folderName` receives the
  // claimed name. In a listing `parent` is null. `passwords` are tried in order. With `mayDefer`,
  // an encrypted archive that none of them opens is left for resume(), with nothing reported.
  PartResult unpackPart(Folder* parent, NameRegistry& names, const std::string& name,
                        const mail::Mail& mail, std::size_t index, const std::string& path,
                        const std::vector<Password>& passwords, bool mayDefer,
                        std::string& folderName, int& errorNumber);

  // The times of a file whose entry gives none, from now on (the mail's file's, say).
  void setTimes(const std::optional<FileTimes>& times) { settings.times = times; }

  // As unpackPart(), for an attachment whose bytes are at hand as `bytes`, read by position.
  PartResult unpackBytes(Folder* parent, NameRegistry& names, const std::string& name,
                         std::unique_ptr<ReadableFile> bytes, const std::string& path,
                         const std::vector<Password>& passwords, bool mayDefer,
                         std::string& folderName);

  // As unpackPart(), for an attachment just saved as the file `name` of `parent` (`saved` the
  // outcome of that save) while `head` took its bytes: when they may begin an archive, it is read
  // back from that file. A file there that is no longer the one written (replaced, or of another
  // size) is not trusted: the part is then decoded from the mail again.
  PartResult unpackSaved(Folder& parent, NameRegistry& names, const std::string& name,
                         const save::SaveOutcome& saved, const PartHead& head,
                         const mail::Mail& mail, std::size_t index, const std::string& path,
                         const std::vector<Password>& passwords, bool mayDefer,
                         std::string& folderName, int& errorNumber);

  // Unpacks a deferred archive into `folderName` of `parent`, as named before; it is reported
  // whatever happens.
  PartResult resume(Folder* parent, const std::string& folderName, const mail::Mail& mail,
                    std::size_t index, const std::string& path,
                    const std::vector<Password>& passwords, int& errorNumber);

 private:
  struct Budget;
  class Walk;

  Platform& platform;
  const save::AttachmentSaver& saver;
  UnpackSettings settings;
  UnpackObserver& observer;
};

// Looks at an attachment's first bytes as it is saved (AttachmentSaver::save's `copy`) to tell
// whether it may be an archive, which Unpacker::unpackSaved() then reads back from the file
// written: one decoding of the mail serves both the file and the unpacking.
class PartHead {
 public:
  // Takes the next chunk; always true. Only the first few hundred bytes are kept.
  bool take(const std::uint8_t* data, std::size_t size);
  // Whether the bytes taken may begin an archive (see mayBeArchive).
  bool looksLikeArchive() const;

 private:
  std::string head;
};

// The name of the folder an archive file named `name` is unpacked into: `name` without its
// archive extensions ("見積.zip" gives "見積", "logs.tar.gz" gives "logs"); `name` with
// " (unpacked)" after it when nothing else is left.
std::string unpackFolderName(const std::string& name);

// Whether the first bytes of a file, `head`, could begin an archive of a supported format (a
// cheap look before the library decides, so that a PDF is not copied aside to be asked).
bool mayBeArchive(std::string_view head);
// mayBeArchive() of the first bytes of part `index` of `mail`, decoding only those.
bool partMayBeArchive(const mail::Mail& mail, std::size_t index);

}  // namespace korvani::archive
