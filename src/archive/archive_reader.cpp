#include "archive/archive_reader.h"

#include <archive.h>
#include <archive_entry.h>
#include <locale.h>

#include <algorithm>
#include <vector>

#include "platform/platform.h"

namespace korvani::archive {
namespace {

// What one read callback hands libarchive: large enough that a 100 MiB archive costs a hundred
// calls, small enough to stay out of the way of the memory bound.
constexpr std::size_t kReadBlock = std::size_t{1} << 20;

struct ArchiveFree {
  void operator()(struct archive* handle) const { archive_read_free(handle); }
};
using ArchiveHandle = std::unique_ptr<struct archive, ArchiveFree>;

// libarchive converts names to and from "the current locale": under the C locale a UTF-8 name
// (ZIP's UTF-8 flag, 7z, pax) cannot be converted and is lost. Its calls run under a UTF-8 locale
// of this thread only; names in other encodings pass through as their bytes, which
// entry_name.cpp decodes.
locale_t utf8Locale() {
  static const locale_t locale = [] {
    for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
      const locale_t made = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr));
      if (made != static_cast<locale_t>(nullptr)) return made;
    }
    return static_cast<locale_t>(nullptr);
  }();
  return locale;
}

class Utf8Names {
 public:
  Utf8Names()
      : previous(utf8Locale() != static_cast<locale_t>(nullptr) ? uselocale(utf8Locale())
                                                                : static_cast<locale_t>(nullptr)) {}
  ~Utf8Names() {
    if (previous != static_cast<locale_t>(nullptr)) uselocale(previous);
  }
  Utf8Names(const Utf8Names&) = delete;
  Utf8Names& operator=(const Utf8Names&) = delete;

 private:
  locale_t previous;
};

struct Source {
  ReadableFile* file = nullptr;
  std::uint64_t position = 0;
  std::vector<std::uint8_t> buffer;
};

la_ssize_t readBlock(struct archive* handle, void* data, const void** block) {
  auto& source = *static_cast<Source*>(data);
  std::size_t got = 0;
  const int error =
      source.file->readAt(source.position, source.buffer.data(), source.buffer.size(), got);
  if (error != 0) {
    archive_set_error(handle, error, "the archive could not be read");
    return -1;
  }
  source.position += got;
  *block = source.buffer.data();
  return static_cast<la_ssize_t>(got);
}

la_int64_t skipBytes(struct archive*, void* data, la_int64_t request) {
  auto& source = *static_cast<Source*>(data);
  const std::uint64_t left =
      source.file->length() - std::min(source.position, source.file->length());
  const auto skipped =
      std::min<std::uint64_t>(static_cast<std::uint64_t>(std::max<la_int64_t>(request, 0)), left);
  source.position += skipped;
  return static_cast<la_int64_t>(skipped);
}

la_int64_t seekTo(struct archive*, void* data, la_int64_t offset, int whence) {
  auto& source = *static_cast<Source*>(data);
  const auto length = static_cast<la_int64_t>(source.file->length());
  la_int64_t base = 0;
  if (whence == SEEK_CUR) base = static_cast<la_int64_t>(source.position);
  if (whence == SEEK_END) base = length;
  const la_int64_t target = base + offset;
  if (target < 0) return ARCHIVE_FATAL;
  source.position = static_cast<std::uint64_t>(target);
  return target;
}

EntryType typeOf(struct archive_entry* entry) {
  if (archive_entry_hardlink(entry) != nullptr) return EntryType::HardLink;
  switch (archive_entry_filetype(entry)) {
    case AE_IFREG:
      return EntryType::File;
    case AE_IFDIR:
      return EntryType::Folder;
    case AE_IFLNK:
      return EntryType::SymbolicLink;
    default:
      return EntryType::Other;
  }
}

}  // namespace

struct ArchiveReader::Impl {
  Source source;
  ArchiveHandle handle;
  std::string error;
  bool unsupported = false;
  // open() reads the first header to learn whether there is an archive at all; next() hands it
  // out first.
  std::optional<int> firstStep;
  struct archive_entry* entry = nullptr;
  bool fatal = false;

  void noteError() {
    const char* text = archive_error_string(handle.get());
    error = text != nullptr ? text : "the archive is damaged";
    // libarchive says "not supported" or "unavailable" of encryption it cannot undo (7z, RAR,
    // ZIP's strong encryption), and "passphrase" of a wrong or missing one.
    const bool aboutEncryption =
        error.find("ncrypt") != std::string::npos || error.find("rypto") != std::string::npos;
    unsupported = aboutEncryption && (error.find("not supported") != std::string::npos ||
                                      error.find("unavailable") != std::string::npos ||
                                      error.find("unsupported") != std::string::npos);
  }
};

ArchiveReader::ArchiveReader(std::unique_ptr<Impl> impl) : impl(std::move(impl)) {}
ArchiveReader::~ArchiveReader() {
  const Utf8Names names;
  impl.reset();
}

std::unique_ptr<ArchiveReader> ArchiveReader::open(ReadableFile& file,
                                                   const std::string* passphrase) {
  const Utf8Names names;
  auto impl = std::make_unique<Impl>();
  impl->source.file = &file;
  impl->source.buffer.resize(kReadBlock);
  impl->handle.reset(archive_read_new());
  struct archive* handle = impl->handle.get();
  if (handle == nullptr) return nullptr;
  archive_read_support_format_zip_seekable(handle);
  archive_read_support_format_7zip(handle);
  archive_read_support_format_tar(handle);
  archive_read_support_format_gnutar(handle);
  archive_read_support_format_lha(handle);
  archive_read_support_format_rar(handle);
  archive_read_support_format_rar5(handle);
  archive_read_support_format_cab(handle);
  archive_read_support_filter_gzip(handle);
  archive_read_support_filter_bzip2(handle);
  archive_read_support_filter_xz(handle);
  archive_read_support_filter_lzma(handle);
  archive_read_support_filter_lzip(handle);
  archive_read_support_filter_lz4(handle);
  archive_read_support_filter_zstd(handle);
  archive_read_support_filter_compress(handle);
  if (passphrase != nullptr) archive_read_add_passphrase(handle, passphrase->c_str());
  archive_read_set_callback_data(handle, &impl->source);
  archive_read_set_read_callback(handle, readBlock);
  archive_read_set_skip_callback(handle, skipBytes);
  archive_read_set_seek_callback(handle, seekTo);
  if (archive_read_open1(handle) != ARCHIVE_OK) return nullptr;
  const int step = archive_read_next_header(handle, &impl->entry);
  // A format that recognised the bytes is set even when its first header then fails (an index
  // that is encrypted or damaged): that is an archive, to be reported, not a plain file.
  if (step < ARCHIVE_WARN && archive_format(handle) == 0) return nullptr;
  impl->firstStep = step;
  return std::make_unique<ArchiveReader>(std::move(impl));
}

ReadStep ArchiveReader::next(EntryHeader& header) {
  const Utf8Names names;
  if (impl->fatal) return ReadStep::Failed;
  int step = 0;
  if (impl->firstStep) {
    step = *impl->firstStep;
    impl->firstStep.reset();
  } else {
    step = archive_read_next_header(impl->handle.get(), &impl->entry);
  }
  if (step == ARCHIVE_EOF) return ReadStep::End;
  if (step < ARCHIVE_WARN) {
    impl->noteError();
    impl->fatal = true;
    return ReadStep::Failed;
  }
  struct archive_entry* entry = impl->entry;
  header = EntryHeader{};
  const char* name = archive_entry_pathname(entry);
  if (name == nullptr) name = archive_entry_pathname_utf8(entry);
  if (name != nullptr) header.name = name;
  header.type = typeOf(entry);
  header.size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1;
  if (archive_entry_mtime_is_set(entry)) header.lastWrite = archive_entry_mtime(entry);
  const char* target = header.type == EntryType::HardLink ? archive_entry_hardlink(entry)
                                                          : archive_entry_symlink(entry);
  if (target != nullptr) header.linkTarget = target;
  header.encrypted = archive_entry_is_encrypted(entry) != 0;
  return ReadStep::Entry;
}

DataEnd ArchiveReader::readData(const DataSink& sink) {
  const Utf8Names names;
  for (;;) {
    const void* block = nullptr;
    std::size_t size = 0;
    la_int64_t offset = 0;
    const int step = archive_read_data_block(impl->handle.get(), &block, &size, &offset);
    if (step == ARCHIVE_EOF) return DataEnd::Complete;
    // A warning here is a checksum that does not match: damaged data, or a wrong passphrase that
    // passed the one-byte check of traditional ZIP encryption.
    if (step != ARCHIVE_OK) {
      impl->noteError();
      if (step == ARCHIVE_FATAL) impl->fatal = true;
      return DataEnd::Failed;
    }
    if (size > 0 && !sink(static_cast<std::uint64_t>(std::max<la_int64_t>(offset, 0)),
                          static_cast<const std::uint8_t*>(block), size)) {
      return DataEnd::Stopped;
    }
  }
}

const std::string& ArchiveReader::error() const { return impl->error; }

bool ArchiveReader::encryptionUnsupported() const { return impl->unsupported; }

bool ArchiveReader::decrypts() const {
  return (archive_read_format_capabilities(impl->handle.get()) &
          ARCHIVE_READ_FORMAT_CAPS_ENCRYPT_DATA) != 0;
}

std::string ArchiveReader::formatName() const {
  const char* name = archive_format_name(impl->handle.get());
  return name != nullptr ? name : "";
}

bool ArchiveReader::isZip() const {
  return (archive_format(impl->handle.get()) & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_ZIP;
}

}  // namespace korvani::archive

namespace korvani::archive {

bool ArchiveReader::isIndexed() const {
  const int base = archive_format(impl->handle.get()) & ARCHIVE_FORMAT_BASE_MASK;
  return base == ARCHIVE_FORMAT_ZIP || base == ARCHIVE_FORMAT_7ZIP;
}

}  // namespace korvani::archive
