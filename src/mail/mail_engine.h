// The engine for the mail people have today: MIME structure (RFC 2045-2049), encoded words
// (RFC 2047), parameters (RFC 2231), forwarded messages and mbox files, on GMime.
//
// This header speaks std types and the structs below only; GMime, GLib, libxml2 and uchardet
// stay inside src/mail/. Nothing here prints or touches the disk beyond reading the mail: the
// front ends decide what is written where and what the user is told.
//
// A MailLibrary must live while any other object of this header is used (one per process, made
// by the front end). Objects are not shared between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace korvani::mail {

// Brings the MIME library up on construction and down on destruction.
class MailLibrary {
 public:
  MailLibrary();
  ~MailLibrary();
  MailLibrary(const MailLibrary&) = delete;
  MailLibrary& operator=(const MailLibrary&) = delete;
};

// Bounds that keep hostile mail from costing more than a real one ever does.
inline constexpr std::size_t kMaxPartsPerMail = 10000;
inline constexpr int kMaxNesting = 64;  // multiparts and forwarded messages, one inside another

enum class PartRole {
  Message,    // the mail itself (path "") or a forwarded message/rfc822 part
  Text,       // a text/plain or text/html body part: what the mail shows, not a file
  Attachment  // every other leaf part: a file to extract
};

struct MailPart {
  PartRole role = PartRole::Attachment;
  std::string path;              // "1", "1.2", "3.1.1": positions from 1, as IMAP numbers them
  std::string mediaType;         // lower-case "type/subtype"
  std::string transferEncoding;  // lower-case, "7bit" when the mail names none
  std::string name;              // Attachment: a safe file name, unique within the mail
  bool shown = true;             // Text: false for an alternative that another one replaces
  bool truncated = false;        // the mail ends inside this part
  int forwardDepth = 0;          // how many forwarded messages enclose the part
};

struct HeaderField {
  std::string name;   // "From", "To", "Cc", "Date" or "Subject"
  std::string value;  // decoded, unfolded UTF-8
};

// Receives decoded bytes chunk by chunk; returns false to stop.
using ChunkSink = std::function<bool(const std::uint8_t* data, std::size_t size)>;

// One parsed message. Its parts come in the mail's order, each Message before its contents.
class Mail {
 public:
  struct Impl;
  explicit Mail(std::unique_ptr<Impl> impl);
  ~Mail();

  const std::vector<MailPart>& parts() const;
  // True when the mail held more than kMaxPartsPerMail parts or nested deeper than kMaxNesting:
  // parts() then holds the ones before the bound.
  bool limitReached() const;

  // The header fields From, To, Cc, Date and Subject of the Message at `index`, those present,
  // in that order.
  std::vector<HeaderField> headers(std::size_t index) const;

  // Decodes the content of the part at `index` (base64, quoted-printable, uuencode or none) and
  // hands it to `sink` in chunks of at most 64 KiB, reading the mail as it goes: memory stays
  // the same whatever the part's size. Returns false when `sink` stopped or the mail could not
  // be read; `size`, when given, receives the bytes handed over.
  bool decode(std::size_t index, const ChunkSink& sink, std::uint64_t* size = nullptr) const;

  // The decoded size of the part at `index` (decodes it once, writing nothing).
  std::uint64_t decodedSize(std::size_t index) const;

  // The text of the Text part at `index` as UTF-8 a person reads: converted from its declared
  // charset (guessed when it declares none), byte-order mark and NUL bytes removed, LF line
  // ends, HTML rendered as plain text.
  std::string text(std::size_t index) const;

 private:
  std::unique_ptr<Impl> impl;
};

// A mail file's times, in seconds since the epoch, for the files made from it.
struct MailFileTimes {
  std::int64_t lastWrite = 0;
  std::int64_t lastAccess = 0;
};

// A file holding one mail, or an mbox file holding any number.
class MailFile {
 public:
  struct Impl;
  explicit MailFile(std::unique_ptr<Impl> impl);
  ~MailFile();

  // Opens the regular file at `path` and, when it is an mbox file, finds its messages. A small
  // file is read whole at once; a large one is read as the parts are, in bounded memory. Returns
  // null and sets `errorNumber` when the file cannot be opened or read (EISDIR for a folder).
  static std::unique_ptr<MailFile> open(const std::string& path, int& errorNumber);

  bool isMbox() const;
  std::size_t messageCount() const;  // 1 for a plain mail file
  MailFileTimes times() const;       // as they were when the file was opened

  // Parses message `index` (from 0). Returns null when it is not a mail: nothing in it reads as
  // a header.
  std::unique_ptr<Mail> parse(std::size_t index) const;

 private:
  std::unique_ptr<Impl> impl;
};

// Parses a mail held in memory (the tests, the fuzz target). Null when it is not a mail.
std::unique_ptr<Mail> parseMail(std::string_view bytes);

}  // namespace korvani::mail
