// One archive read entry by entry, on libarchive. No libarchive type leaves archive_reader.cpp.
//
// The archive's bytes are read from a ReadableFile by position (readAt), so that formats whose
// index lies at the end (ZIP's central directory, 7z's header) are read by seeking, never by
// holding the archive in memory. The formats are ZIP, 7z, tar (plain or compressed with gzip,
// bzip2, xz, lzma, lzip, lz4, zstd or compress), LZH, RAR, RAR5 and CAB; nothing that names files
// outside the archive (mtree), and no filter that runs another program.
//
// A reader is used by one thread at a time; the ReadableFile must outlive it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace korvani {
class ReadableFile;
}

namespace korvani::archive {

enum class EntryType { File, Folder, SymbolicLink, HardLink, Other };

struct EntryHeader {
  std::string name;  // the bytes the archive holds, in whatever encoding its maker used
  EntryType type = EntryType::File;
  std::int64_t size = -1;  // as the header says; -1 when it does not
  std::optional<std::int64_t> lastWrite;
  std::string linkTarget;  // SymbolicLink and HardLink: the bytes of the target
  bool encrypted = false;
};

enum class ReadStep { Entry, End, Failed };

// What readData() ended with.
enum class DataEnd { Complete, Stopped, Failed };

// Receives an entry's data: `offset` is where `data` belongs in the entry (beyond the bytes so
// far after a hole of a sparse file). Returns false to stop.
using DataSink =
    std::function<bool(std::uint64_t offset, const std::uint8_t* data, std::size_t size)>;

class ArchiveReader {
 public:
  struct Impl;
  explicit ArchiveReader(std::unique_ptr<Impl> impl);
  ~ArchiveReader();

  // Opens `file` as an archive, decrypting with `passphrase` when given. Null when no supported
  // format recognises it (a PDF, a document, a gzip file that holds no tar): it is no archive.
  static std::unique_ptr<ArchiveReader> open(ReadableFile& file, const std::string* passphrase);

  // Moves to the next entry. Failed: the archive is damaged (or its index is encrypted) and
  // cannot be read further; error() says how.
  ReadStep next(EntryHeader& header);

  // Reads the current entry's data into `sink`. Failed: the data is damaged, a passphrase is
  // wrong or missing, or its encryption is not supported; error() says how.
  DataEnd readData(const DataSink& sink);

  // libarchive's words for the last failure.
  const std::string& error() const;
  // Whether the last failure was an encryption the library cannot undo.
  bool encryptionUnsupported() const;
  // Whether the format can decrypt encrypted data at all.
  bool decrypts() const;
  // The format's name, as libarchive gives it ("ZIP 2.0 (deflation)").
  std::string formatName() const;
  // Whether the archive is a ZIP (whose documents, .docx and .odt, are ZIP files too).
  bool isZip() const;
  // Whether its entries are listed in an index (ZIP, 7z), so that reading every header without
  // the data costs little.
  bool isIndexed() const;

 private:
  std::unique_ptr<Impl> impl;
};

}  // namespace korvani::archive
