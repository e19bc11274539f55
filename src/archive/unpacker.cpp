#include "archive/unpacker.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <map>
#include <string_view>

#include "archive/archive_reader.h"
#include "archive/entry_name.h"
#include "mail/checksum.h"

namespace korvani::archive {
namespace {

// The bytes of a file looked at before the library is asked: enough for a tar header's magic.
constexpr std::size_t kHeadBytes = 512;

// The extensions an unpacked folder's name drops, longest first.
constexpr std::array<std::string_view, 14> kArchiveExtensions = {
    ".tar.gz", ".tar.bz2", ".tar.xz", ".tar.zst", ".zip", ".7z",  ".tgz",
    ".tbz2",   ".txz",     ".tar",    ".lzh",     ".lha", ".rar", ".cab"};

struct Signature {
  std::size_t offset;
  std::string_view bytes;
};
constexpr std::array<Signature, 16> kSignatures = {{
    {0, std::string_view("PK\x03\x04", 4)},
    {0, std::string_view("PK\x05\x06", 4)},  // an empty ZIP
    {0, std::string_view("PK\x07\x08", 4)},  // a ZIP that was split, in one piece
    {0, std::string_view("7z\xBC\xAF\x27\x1C", 6)},
    {0, std::string_view("\x1F\x8B", 2)},  // gzip
    {0, "BZh"},
    {0, std::string_view("\xFD"
                         "7zXZ\x00",
                         6)},
    {0, std::string_view("\x5D\x00\x00", 3)},  // lzma
    {0, "LZIP"},
    {0, std::string_view("\x04\x22\x4D\x18", 4)},  // lz4
    {0, std::string_view("\x28\xB5\x2F\xFD", 4)},  // zstd
    {0, std::string_view("\x1F\x9D", 2)},          // compress
    {0, std::string_view("Rar!\x1A\x07", 6)},
    {0, "MSCF"},
    {257, "ustar"},
    {2, "-l"},  // LZH: "-lh5-" and its kin
}};

bool endsWithFolded(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    char c = text[text.size() - suffix.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

constexpr const char* kUnreadableMail = "no mail could be read from it";

bool isMailName(std::string_view name) { return endsWithFolded(name, ".eml"); }

std::string stemOfMail(const std::string& name) {
  std::string stem = name.substr(0, name.size() - std::strlen(".eml"));
  return stem.empty() ? name + " (unpacked)" : stem;
}

// A folder made when something is first written into it.
class LazyFolder {
 public:
  LazyFolder(Folder* parent, std::string name) : parent(parent), name(std::move(name)) {}
  Folder* get(int& errorNumber) {
    if (!held && parent != nullptr) held = parent->makeFolder(name, errorNumber);
    return held.get();
  }
  std::string path() const { return parent != nullptr ? joinPath(parent->path(), name) : ""; }

 private:
  Folder* parent;
  std::string name;
  std::unique_ptr<Folder> held;
};

}  // namespace

struct Unpacker::Budget {
  std::uint64_t sizeLimit = 0;
  std::uint64_t ratioLimit = 0;
  std::uint64_t used = 0;
  std::optional<ArchiveStatus> reached;  // SizeBound or RatioBound, once one is

  Budget(const Bounds& bounds, std::uint64_t archiveSize) : sizeLimit(bounds.maxUnpacked) {
    const std::uint64_t product =
        archiveSize > UINT64_MAX / std::max<std::uint64_t>(bounds.maxRatio, 1)
            ? UINT64_MAX
            : archiveSize * bounds.maxRatio;
    ratioLimit = std::max(product, kRatioFloor);
  }
  // Takes `size` more bytes; false, with the bound noted, when they pass one.
  bool take(std::uint64_t size) {
    if (reached) return false;
    if (used + size > sizeLimit || used + size > ratioLimit) {
      reached = sizeLimit <= ratioLimit ? ArchiveStatus::SizeBound : ArchiveStatus::RatioBound;
      if (used + size <= sizeLimit) reached = ArchiveStatus::RatioBound;
      if (used + size <= ratioLimit) reached = ArchiveStatus::SizeBound;
      return false;
    }
    used += size;
    return true;
  }
  std::uint64_t limitOf(ArchiveStatus status) const {
    return status == ArchiveStatus::SizeBound ? sizeLimit : ratioLimit;
  }
};

// One archive (or a mail inside one) walked, and the walks it starts for what it holds.
class Unpacker::Walk {
 public:
  Walk(Unpacker& unpacker, Budget& budget, const std::vector<Password>& passwords)
      : unpacker(unpacker), budget(budget), passwords(passwords) {}

  // Reads the attachment into a scratch file when its head may begin an archive. Null when it
  // does not; `failed` when it could not be read.
  std::unique_ptr<ReadableFile> gather(const mail::Mail& mail, std::size_t index, bool& failed,
                                       int& errorNumber) {
    failed = false;
    if (!partMayBeArchive(mail, index)) return nullptr;
    std::unique_ptr<ScratchFile> scratch = unpacker.platform.openScratch();
    errorNumber = 0;
    const bool read = mail.decode(index, [&](const std::uint8_t* data, std::size_t size) {
      errorNumber = scratch->append(data, size);
      return errorNumber == 0;
    });
    std::unique_ptr<ReadableFile> bytes;
    if (read && errorNumber == 0) bytes = scratch->finish(errorNumber);
    failed = !bytes;
    return bytes;
  }

  // Opens `bytes` as an archive and unpacks it into `target`. NotAnArchive when it is none (or a
  // document that is a ZIP inside: .docx, .odt).
  PartResult archive(ReadableFile& bytes, LazyFolder& target, const std::string& path, int depth,
                     bool mayDefer) {
    std::unique_ptr<ArchiveReader> reader = ArchiveReader::open(bytes, nullptr);
    if (!reader) return PartResult::NotAnArchive;
    ArchiveEvent event;
    event.path = path;
    event.folder = target.path();
    event.format = reader->formatName();
    bool encrypted = false;
    if (reader->isIndexed()) {
      bool document = false;
      if (!probe(*reader, encrypted, document)) {
        // The index itself could not be read: an encrypted 7z header, or damage.
        event.encrypted = reader->encryptionUnsupported();
        event.status = event.encrypted ? ArchiveStatus::Shut : ArchiveStatus::Damaged;
        event.shutReason = ShutReason::Unsupported;
        event.detail = reader->error();
        unpacker.observer.archive(event);
        return PartResult::Done;
      }
      if (document) return PartResult::NotAnArchive;
      reader = ArchiveReader::open(bytes, nullptr);
      if (!reader) return PartResult::NotAnArchive;
    }
    event.encrypted = encrypted;
    std::optional<std::string> passphrase;
    if (encrypted) {
      const std::optional<std::size_t> opener = findPassword(bytes, *reader, event);
      if (!opener && unpacker.settings.list) {
        // A listing shows the names, which are not encrypted, of an archive still shut.
        locked = true;
        reader = ArchiveReader::open(bytes, nullptr);
        if (!reader) return PartResult::NotAnArchive;
        entries(*reader, target, path, depth, event);
        return PartResult::Done;
      }
      if (!opener) {
        if (mayDefer && event.shutReason != ShutReason::Unsupported) return PartResult::Deferred;
        event.status = ArchiveStatus::Shut;
        unpacker.observer.archive(event);
        return PartResult::Done;
      }
      event.openedBy = passwords[*opener];
      passphrase = passwords[*opener].text;
      reader = ArchiveReader::open(bytes, &*passphrase);
      if (!reader) return PartResult::NotAnArchive;
    }
    entries(*reader, target, path, depth, event);
    unpacker.observer.archive(event);
    return PartResult::Done;
  }

  // A mail found inside an archive: its attachments into `target`, archives among them opened.
  void mailInside(std::unique_ptr<ReadableFile> owned, LazyFolder& target, const std::string& path,
                  int depth) {
    int errorNumber = 0;
    const auto file = mail::MailFile::read(std::move(owned), errorNumber);
    if (!file || file->messageCount() == 0) {
      unreadableMail(path, errorNumber);
      return;
    }
    NameRegistry names;
    for (std::size_t message = 0; message < file->messageCount() && !budget.reached; ++message) {
      const std::string mailPath = file->isMbox() ? path + "#" + std::to_string(message + 1) : path;
      const auto parsed = file->parse(message, &errorNumber);
      if (!parsed) {
        unreadableMail(mailPath, errorNumber);
        continue;
      }
      const auto& parts = parsed->parts();
      for (std::size_t index = 0; index < parts.size() && !budget.reached; ++index) {
        if (parts[index].role != mail::PartRole::Attachment) continue;
        attachmentInside(*parsed, index, names, target, mailPath, depth);
      }
    }
  }

 private:
  // A mail inside that gives nothing to read (no header in it, or its bytes could not be read
  // back, `errorNumber`) is reported as a damaged archive is, in the words the library's details
  // take; its file stays as it was written.
  void unreadableMail(const std::string& path, int errorNumber) {
    ArchiveEvent event;
    event.status = ArchiveStatus::Damaged;
    event.path = path;
    event.errorNumber = errorNumber;
    event.detail = kUnreadableMail;
    unpacker.observer.archive(event);
  }

  struct Node {
    Node* parent = nullptr;
    std::string name;  // as claimed in the parent's registry
    NameRegistry names;
    std::map<std::string, std::unique_ptr<Node>> folders;  // by the safe name the entry gave
  };

  // Reads every header without the data: whether any entry is encrypted, whether the ZIP is a
  // document. False when the headers cannot be read.
  static bool probe(ArchiveReader& reader, bool& encrypted, bool& document) {
    EntryHeader header;
    bool first = true;
    for (std::size_t count = 0; count < kMaxEntries; ++count) {
      const ReadStep step = reader.next(header);
      if (step == ReadStep::End) return true;
      if (step == ReadStep::Failed) return false;
      encrypted = encrypted || header.encrypted;
      if (reader.isZip() &&
          ((first && header.name == "mimetype") || header.name == "[Content_Types].xml")) {
        document = true;
      }
      first = false;
    }
    return true;
  }

  // The first password that reads the first encrypted entry whole; none, with the reason in
  // `event`, when none does. A wrong password shows itself at the entry's first block (ZIP's
  // check byte, AES's verifier), so every candidate is first tried on that block alone, and only
  // one that passes it is read whole, which the checksum at the end confirms (a wrong ZipCrypto
  // password passes the check byte once in 256): many candidates cost one large read, not many.
  std::optional<std::size_t> findPassword(ReadableFile& bytes, ArchiveReader& plain,
                                          ArchiveEvent& event) {
    if (!plain.decrypts()) {
      event.shutReason = ShutReason::Unsupported;
      return std::nullopt;
    }
    if (passwords.empty()) {
      event.shutReason = ShutReason::NoCandidate;
      return std::nullopt;
    }
    event.shutReason = ShutReason::WrongPassword;
    for (std::size_t candidate = 0; candidate < passwords.size(); ++candidate) {
      ++event.passwordsTried;
      bool unsupported = false;
      if (!readsFirstEncrypted(bytes, passwords[candidate].text, false, unsupported, event)) {
        if (unsupported) return std::nullopt;
        continue;
      }
      if (readsFirstEncrypted(bytes, passwords[candidate].text, true, unsupported, event)) {
        return candidate;
      }
      if (unsupported) return std::nullopt;
    }
    return std::nullopt;
  }

  // Whether `password` reads the first encrypted entry of `bytes`: its first block, or `whole`
  // (as far as the bounds allow, which is proof enough). `unsupported` is set, with the reason
  // in `event`, when the library cannot decrypt it at all.
  bool readsFirstEncrypted(ReadableFile& bytes, const std::string& password, bool whole,
                           bool& unsupported, ArchiveEvent& event) {
    const auto reader = ArchiveReader::open(bytes, &password);
    if (!reader) return false;
    EntryHeader header;
    ReadStep step = ReadStep::Entry;
    while ((step = reader->next(header)) == ReadStep::Entry && !header.encrypted) {
    }
    if (step != ReadStep::Entry) return false;
    std::uint64_t read = 0;
    const std::uint64_t enough = std::min(budget.sizeLimit, budget.ratioLimit);
    const DataEnd end = reader->readData([&](std::uint64_t, const std::uint8_t*, std::size_t size) {
      read += size;
      return whole && read < enough;
    });
    if (end != DataEnd::Failed) return true;
    if (reader->encryptionUnsupported()) {
      unsupported = true;
      event.shutReason = ShutReason::Unsupported;
      event.detail = reader->error();
    }
    return false;
  }

  void entries(ArchiveReader& reader, LazyFolder& target, const std::string& path, int depth,
               ArchiveEvent& event) {
    root.name.clear();
    rootFolder = &target;
    for (;;) {
      if (budget.reached) {
        event.status = *budget.reached;
        event.bound = budget.limitOf(*budget.reached);
        return;
      }
      if (failedFolder) {
        event.status = ArchiveStatus::FolderFailed;
        event.errorNumber = folderError;
        return;
      }
      EntryHeader header;
      const ReadStep step = reader.next(header);
      if (step == ReadStep::End) return;
      if (step == ReadStep::Failed) {
        event.status =
            reader.encryptionUnsupported() ? ArchiveStatus::Shut : ArchiveStatus::Damaged;
        event.shutReason = ShutReason::Unsupported;
        event.detail = reader.error();
        return;
      }
      if (event.entries == kMaxEntries) {
        event.status = ArchiveStatus::TooManyEntries;
        return;
      }
      ++event.entries;
      if (!entry(reader, header, path, depth)) {
        event.status = ArchiveStatus::Damaged;
        event.detail = reader.error();
        return;
      }
    }
  }

  // One entry; false when the archive cannot be read further.
  bool entry(ArchiveReader& reader, const EntryHeader& header, const std::string& path, int depth) {
    const DecodedName decoded = decodeEntryName(header.name);
    EntryPath safe = safeEntryPath(decoded.text);
    EntryEvent event;
    event.name = decoded.text;
    while (!event.name.empty() && (event.name.back() == '/' || event.name.back() == '\\')) {
      event.name.pop_back();
    }
    event.path = path + ":" + event.name;
    event.nameEncoding = nameEncodingName(decoded.encoding);
    event.nameBytes = header.name;
    event.nameChanged = safe.changed;
    event.encrypted = header.encrypted;
    if (header.type == EntryType::Folder) {
      if (!safe.components.empty() && !unpacker.settings.list) {
        Node* node = nodeFor(safe.components, safe.components.size());
        int errorNumber = 0;
        if (!folderOf(node, errorNumber) && !failedFolder) {
          event.kind = EntryKind::Folder;
          event.status = EntryStatus::WriteFailed;
          event.errorNumber = errorNumber;
          event.target = joinPath(rootFolder->path(), pathOf(node));
          unpacker.observer.entry(event);
        }
      }
      return true;
    }
    if (safe.components.empty()) {
      safe.components.push_back("entry");
      event.nameChanged = true;
    }
    Node* node = nodeFor(safe.components, safe.components.size() - 1);
    if (header.type == EntryType::SymbolicLink || header.type == EntryType::HardLink) {
      event.kind = EntryKind::Link;
      event.linkTarget = decodeEntryName(header.linkTarget).text;
      return link(node, safe.components.back(), event);
    }
    if (header.type == EntryType::Other) {
      event.kind = EntryKind::Special;
      event.status = EntryStatus::Skipped;
      unpacker.observer.entry(event);
      return true;
    }
    return file(reader, header, node, safe.components.back(), event, depth);
  }

  bool link(Node* node, const std::string& name, EntryEvent& event) {
    const std::string claimed = node->names.claim(name + ".link");
    event.target = targetOf(node, claimed);
    if (unpacker.settings.list) {
      event.status = EntryStatus::Listed;
      unpacker.observer.entry(event);
      return true;
    }
    const std::string content = event.linkTarget + "\n";
    if (!budget.take(content.size())) return true;
    int errorNumber = 0;
    Folder* folder = folderOf(node, errorNumber);
    WriteResult result{WriteStatus::OpenFailed, errorNumber};
    std::unique_ptr<NewFile> out;
    if (folder) out = folder->createFile(claimed, existing(), timesOf({}), result);
    if (out)
      result = out->write(reinterpret_cast<const std::uint8_t*>(content.data()), content.size());
    if (out && result.status == WriteStatus::Written) result = out->commit();
    event.status = statusOf(result, EntryStatus::LinkWritten);
    event.errorNumber = result.errorNumber;
    event.size = static_cast<std::int64_t>(content.size());
    unpacker.observer.entry(event);
    return true;
  }

  bool file(ArchiveReader& reader, const EntryHeader& header, Node* node, const std::string& name,
            EntryEvent& event, int depth) {
    const std::string claimed = node->names.claim(name);
    event.target = targetOf(node, claimed);
    event.size = header.size;
    const bool mail = isMailName(claimed);
    const bool list = unpacker.settings.list;
    std::unique_ptr<NewFile> out;
    WriteResult result;
    if (!list) {
      int errorNumber = 0;
      Folder* folder = folderOf(node, errorNumber);
      result = {WriteStatus::OpenFailed, errorNumber};
      if (folder) {
        out = folder->createFile(claimed, existing(), timesOf(header.lastWrite), result);
      }
      if (!out) {
        event.status = statusOf(result, EntryStatus::Written);
        event.errorNumber = result.errorNumber;
        unpacker.observer.entry(event);
        return true;
      }
    }
    // The entry goes into a scratch as well when it may be an archive or a mail to open.
    std::unique_ptr<ScratchFile> scratch;
    bool looked = false;
    bool tooDeep = false;
    std::uint64_t written = 0;
    int scratchError = 0;
    std::optional<mail::Sha256> digest;
    if (unpacker.settings.digests) digest.emplace();
    static const std::uint8_t kZeros[4096] = {};
    const auto put = [&](const std::uint8_t* data, std::size_t size) {
      if (!budget.take(size)) return false;
      if (out) {
        result = out->write(data, size);
        if (result.status != WriteStatus::Written) return false;
      }
      if (scratch && scratchError == 0) scratchError = scratch->append(data, size);
      if (digest) digest->update(data, size);
      written += size;
      return true;
    };
    const DataEnd end =
        (list && locked && header.encrypted)
            ? DataEnd::Stopped
            : reader.readData(
                  [&](std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
                    if (!looked) {
                      looked = true;
                      const bool nests =
                          mail || mayBeArchive(std::string_view(reinterpret_cast<const char*>(data),
                                                                std::min(size, kHeadBytes)));
                      if (nests && depth + 1 >= kMaxDepth) tooDeep = true;
                      if (nests && !tooDeep) scratch = unpacker.platform.openScratch();
                      if (list && !scratch) return false;  // nothing more to learn
                    }
                    // A hole of a sparse file is written as the zeros it stands for.
                    while (written < offset) {
                      const auto gap = static_cast<std::size_t>(
                          std::min<std::uint64_t>(offset - written, sizeof kZeros));
                      if (!put(kZeros, gap)) return false;
                    }
                    return put(data, size);
                  });
    if (end == DataEnd::Failed) {
      event.status = EntryStatus::Damaged;
      event.detail = reader.error();
      unpacker.observer.entry(event);
      return true;  // a fatal failure ends the walk at the next header
    }
    if (budget.reached || (end == DataEnd::Stopped && result.status != WriteStatus::Written)) {
      if (result.status != WriteStatus::Written) {
        event.status = EntryStatus::WriteFailed;
        event.errorNumber = result.errorNumber;
        unpacker.observer.entry(event);
      }
      return true;  // the bound ends the walk
    }
    if (list) {
      event.status = EntryStatus::Listed;
      if (event.size < 0 || scratch) event.size = static_cast<std::int64_t>(written);
    } else {
      result = out->commit();
      event.status = statusOf(result, EntryStatus::Written);
      event.errorNumber = result.errorNumber;
      event.size = static_cast<std::int64_t>(written);
      if (digest) event.sha256 = digest->hex();
    }
    unpacker.observer.entry(event);
    if (tooDeep) {
      ArchiveEvent deep;
      deep.status = ArchiveStatus::TooDeep;
      deep.path = event.path;
      unpacker.observer.archive(deep);
    }
    if (!scratch || scratchError != 0) return true;
    int errorNumber = 0;
    std::unique_ptr<ReadableFile> bytes = scratch->finish(errorNumber);
    if (!bytes) return true;
    int folderErrorNumber = 0;
    Folder* here = unpacker.settings.list ? nullptr : folderOf(node, folderErrorNumber);
    if (!unpacker.settings.list && !here) return true;
    const std::string nestedName =
        node->names.claim(mail ? stemOfMail(claimed) : unpackFolderName(claimed));
    LazyFolder nested(here, nestedName);
    Walk inner(unpacker, budget, passwords);
    if (mail) {
      inner.mailInside(std::move(bytes), nested, event.path, depth + 1);
    } else {
      inner.archive(*bytes, nested, event.path, depth + 1, false);
    }
    return true;
  }

  void attachmentInside(const mail::Mail& mail, std::size_t index, NameRegistry& names,
                        LazyFolder& target, const std::string& mailPath, int depth) {
    const mail::MailPart& part = mail.parts()[index];
    EntryEvent event;
    event.kind = EntryKind::MailPart;
    event.path = mailPath + ":" + part.path;
    event.name = part.name;
    event.nameEncoding = "mail";
    const std::string claimed = names.claim(part.name);
    if (unpacker.settings.list) {
      event.status = EntryStatus::Listed;
      event.size = static_cast<std::int64_t>(mail.decodedSize(index));
      unpacker.observer.entry(event);
    } else {
      int errorNumber = 0;
      Folder* folder = target.get(errorNumber);
      if (!folder) {
        event.status = EntryStatus::WriteFailed;
        event.errorNumber = errorNumber;
        event.target = target.path();
        unpacker.observer.entry(event);
        return;
      }
      std::uint64_t before = 0;
      const save::SaveOutcome outcome =
          unpacker.saver.save(*folder, claimed, mail, index, unpacker.settings.replace,
                              unpacker.settings.times, [&](std::uint64_t bytes) {
                                const bool room = budget.take(bytes - before);
                                before = bytes;
                                return room;
                              });
      event.target = outcome.target;
      event.errorNumber = outcome.errorNumber;
      event.size = static_cast<std::int64_t>(before);
      switch (outcome.status) {
        case save::SaveStatus::Written:
          event.status = EntryStatus::Written;
          break;
        case save::SaveStatus::Truncated:
          event.status = EntryStatus::Truncated;
          break;
        case save::SaveStatus::AlreadyExists:
        case save::SaveStatus::TargetIsInput:
          event.status = EntryStatus::AlreadyExists;
          break;
        case save::SaveStatus::Stopped:
          return;  // the bound, reported by the archive around it
        case save::SaveStatus::Unreadable:
          event.status = EntryStatus::Damaged;
          break;
        case save::SaveStatus::WriteFailed:
          event.status = EntryStatus::WriteFailed;
          break;
      }
      unpacker.observer.entry(event);
    }
    if (budget.reached) return;
    bool failed = false;
    int errorNumber = 0;
    std::unique_ptr<ReadableFile> bytes = gather(mail, index, failed, errorNumber);
    if (!bytes) return;
    if (depth + 1 >= kMaxDepth) {
      ArchiveEvent deep;
      deep.status = ArchiveStatus::TooDeep;
      deep.path = event.path + "/" + part.name;
      unpacker.observer.archive(deep);
      return;
    }
    int folderError = 0;
    Folder* here = unpacker.settings.list ? nullptr : target.get(folderError);
    LazyFolder nested(here, names.claim(unpackFolderName(claimed)));
    Walk inner(unpacker, budget, passwords);
    inner.archive(*bytes, nested, event.path + "/" + part.name, depth + 1, false);
  }

  Node* nodeFor(const std::vector<std::string>& components, std::size_t count) {
    Node* node = &root;
    for (std::size_t i = 0; i < count; ++i) {
      auto& child = node->folders[components[i]];
      if (!child) {
        child = std::make_unique<Node>();
        child->parent = node;
        child->name = node->names.claim(components[i]);
      }
      node = child.get();
    }
    return node;
  }

  static std::string pathOf(const Node* node) {
    std::vector<const std::string*> names;
    for (; node != nullptr && node->parent != nullptr; node = node->parent) {
      names.push_back(&node->name);
    }
    std::string path;
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
      if (!path.empty()) path += '/';
      path += **name;
    }
    return path;
  }

  std::string targetOf(const Node* node, const std::string& name) const {
    if (unpacker.settings.list) return {};
    return joinPath(joinPath(rootFolder->path(), pathOf(node)), name);
  }

  // The held folder of `node`, made when missing; the chain of folders from the root to the last
  // one asked for stays open, as entries come folder by folder.
  Folder* folderOf(Node* node, int& errorNumber) {
    std::vector<Node*> chain;
    for (Node* at = node; at != nullptr && at->parent != nullptr; at = at->parent) {
      chain.push_back(at);
    }
    std::reverse(chain.begin(), chain.end());
    Folder* base = rootFolder->get(errorNumber);
    if (!base) {
      failedFolder = true;
      folderError = errorNumber;
      return nullptr;
    }
    std::size_t kept = 0;
    while (kept < open.size() && kept < chain.size() && open[kept].first == chain[kept]) ++kept;
    open.resize(kept);
    for (std::size_t i = kept; i < chain.size(); ++i) {
      Folder* parent = open.empty() ? base : open.back().second.get();
      std::unique_ptr<Folder> made = parent->makeFolder(chain[i]->name, errorNumber);
      if (!made) return nullptr;
      open.emplace_back(chain[i], std::move(made));
    }
    return open.empty() ? base : open.back().second.get();
  }

  ExistingEntry existing() const {
    return unpacker.settings.replace ? ExistingEntry::ReplaceEntry : ExistingEntry::Keep;
  }

  const FileTimes* timesOf(const std::optional<std::int64_t>& lastWrite) {
    if (lastWrite) {
      entryTimes = FileTimes{0, *lastWrite, *lastWrite};
      return &entryTimes;
    }
    return unpacker.settings.times ? &*unpacker.settings.times : nullptr;
  }

  static EntryStatus statusOf(const WriteResult& result, EntryStatus written) {
    switch (result.status) {
      case WriteStatus::Written:
        return written;
      case WriteStatus::AlreadyExists:
        return EntryStatus::AlreadyExists;
      case WriteStatus::OpenFailed:
      case WriteStatus::WriteFailed:
        break;
    }
    return EntryStatus::WriteFailed;
  }

  Unpacker& unpacker;
  Budget& budget;
  const std::vector<Password>& passwords;
  Node root;
  LazyFolder* rootFolder = nullptr;
  std::vector<std::pair<Node*, std::unique_ptr<Folder>>> open;
  bool failedFolder = false;
  int folderError = 0;
  bool locked = false;  // a listing of an encrypted archive that no password opened
  FileTimes entryTimes;
};

PartResult Unpacker::unpackPart(Folder* parent, NameRegistry& names, const std::string& name,
                                const mail::Mail& mail, std::size_t index, const std::string& path,
                                const std::vector<Password>& passwords, bool mayDefer,
                                std::string& folderName, int& errorNumber) {
  errorNumber = 0;
  Budget probeBudget(settings.bounds, 0);
  Walk gatherer(*this, probeBudget, passwords);
  bool failed = false;
  std::unique_ptr<ReadableFile> bytes = gatherer.gather(mail, index, failed, errorNumber);
  if (!bytes) return failed ? PartResult::Unreadable : PartResult::NotAnArchive;
  return unpackBytes(parent, names, name, std::move(bytes), path, passwords, mayDefer, folderName);
}

PartResult Unpacker::unpackBytes(Folder* parent, NameRegistry& names, const std::string& name,
                                 std::unique_ptr<ReadableFile> bytes, const std::string& path,
                                 const std::vector<Password>& passwords, bool mayDefer,
                                 std::string& folderName) {
  if (!bytes) return PartResult::NotAnArchive;
  // The folder's name is claimed only once the bytes are known to be an archive; a deferred one
  // keeps its claim.
  Budget budget(settings.bounds, bytes->length());
  Walk walk(*this, budget, passwords);
  NameRegistry trial = names;
  const std::string claimed = trial.claim(unpackFolderName(name));
  LazyFolder target(parent, claimed);
  const PartResult result = walk.archive(*bytes, target, path, 0, mayDefer);
  if (result != PartResult::NotAnArchive) {
    names = std::move(trial);
    folderName = claimed;
  }
  return result;
}

PartResult Unpacker::unpackSaved(Folder& parent, NameRegistry& names, const std::string& name,
                                 const save::SaveOutcome& saved, const PartHead& head,
                                 const mail::Mail& mail, std::size_t index, const std::string& path,
                                 const std::vector<Password>& passwords, bool mayDefer,
                                 std::string& folderName, int& errorNumber) {
  errorNumber = 0;
  if (!head.looksLikeArchive()) return PartResult::NotAnArchive;
  // The identity is that of the file opened, so a file put at the name after this check is never
  // read; one put there between the save and this open is told apart by its identity.
  FileIdentity opened;
  int openError = 0;
  std::unique_ptr<ReadableFile> file =
      saved.identity ? parent.openFile(name, openError, &opened) : nullptr;
  if (!file || opened != *saved.identity || file->length() != saved.size) {
    return unpackPart(&parent, names, name, mail, index, path, passwords, mayDefer, folderName,
                      errorNumber);
  }
  return unpackBytes(&parent, names, name, std::move(file), path, passwords, mayDefer, folderName);
}

bool PartHead::take(const std::uint8_t* data, std::size_t size) {
  if (head.size() < kHeadBytes) {
    head.append(reinterpret_cast<const char*>(data), std::min(size, kHeadBytes - head.size()));
  }
  return true;
}

bool PartHead::looksLikeArchive() const { return mayBeArchive(head); }

PartResult Unpacker::resume(Folder* parent, const std::string& folderName, const mail::Mail& mail,
                            std::size_t index, const std::string& path,
                            const std::vector<Password>& passwords, int& errorNumber) {
  Budget probeBudget(settings.bounds, 0);
  Walk gatherer(*this, probeBudget, passwords);
  bool failed = false;
  std::unique_ptr<ReadableFile> bytes = gatherer.gather(mail, index, failed, errorNumber);
  if (!bytes) return failed ? PartResult::Unreadable : PartResult::NotAnArchive;
  Budget budget(settings.bounds, bytes->length());
  Walk walk(*this, budget, passwords);
  LazyFolder target(parent, folderName);
  return walk.archive(*bytes, target, path, 0, false);
}

std::string unpackFolderName(const std::string& name) {
  for (std::string_view extension : kArchiveExtensions) {
    if (name.size() > extension.size() && endsWithFolded(name, extension)) {
      return name.substr(0, name.size() - extension.size());
    }
  }
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) return name.substr(0, dot);
  return name + " (unpacked)";
}

bool partMayBeArchive(const mail::Mail& mail, std::size_t index) {
  std::string head;
  mail.decode(index, [&](const std::uint8_t* data, std::size_t size) {
    head.append(reinterpret_cast<const char*>(data), std::min(size, kHeadBytes - head.size()));
    return head.size() < kHeadBytes;
  });
  return mayBeArchive(head);
}

bool mayBeArchive(std::string_view head) {
  for (const Signature& signature : kSignatures) {
    if (head.size() >= signature.offset + signature.bytes.size() &&
        head.substr(signature.offset, signature.bytes.size()) == signature.bytes) {
      if (signature.offset == 2 && (head.size() < 7 || head[6] != '-')) continue;
      return true;
    }
  }
  return false;
}

}  // namespace korvani::archive
