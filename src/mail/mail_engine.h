// The engine for the mail people have today: MIME structure (RFC 2045-2049), encoded words
// (RFC 2047), parameters (RFC 2231), forwarded messages and mbox files, on GMime.
//
// This header speaks std types and the structs below only; GMime, GLib, libxml2 and uchardet
// stay inside src/mail/. Nothing here prints or writes: mail files are opened and read through
// the Platform the caller passes, and the front ends decide what is written where and what the
// user is told.
//
// Threads:
// - A MailLibrary is made on the main thread before any other object of this header exists and
//   before any other thread uses the engine, and lives until every MailFile and Mail is gone and
//   every thread that used them has stopped. It sets up the global state of GMime, GLib's types
//   and libxml2, so that no worker thread is the first to need it; one per process is enough
//   (more are counted: the first sets up, the last one gone tears down).
// - A MailFile's const methods may run on any threads at once: each parse() reads the file's
//   bytes (held in memory, or read by position from the open file) through a stream of its own,
//   and shares nothing else with other parses. The Platform's ReadableFile behind a large file
//   is read from those threads concurrently (readAt only).
// - A Mail is used by one thread at a time (decoding moves the position of its parts' streams);
//   it may be handed from one thread to another, and it may outlive the MailFile it came from.
// - parseMail() may run on any threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvani {
class Platform;
class ReadableFile;
}  // namespace korvani

namespace korvani::mail {

// Brings the MIME library up on construction and down on destruction (see Threads above).
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
// The bytes of the header fields (with their continuation lines) in all the headers of one mail:
// its own, its parts' and its forwarded messages'; and the number of those fields.
inline constexpr std::uint64_t kMaxHeaderBytes = std::uint64_t{512} << 10;
inline constexpr std::uint64_t kMaxHeaderFields = 20000;
// The text of one mail outside the parts of its multiparts: preambles and epilogues, or the whole
// body of a multipart that names no boundary (read as its text).
inline constexpr std::uint64_t kMaxPreambleBytes = std::uint64_t{4} << 20;

// The decoded bytes of the winmail.dat parts (TNEF) of one mail held in memory to show what they
// hold: a part that would take the total past this stays a plain attachment.
inline constexpr std::uint64_t kMaxContainerBytes = std::uint64_t{256} << 20;

// The bound that stopped the reading of a mail, if one did.
enum class ReadLimit {
  None,
  Parts,    // more than kMaxPartsPerMail parts (or delimiter lines for twice as many)
  Nesting,  // nested deeper than kMaxNesting
  Header,   // more header bytes or fields than kMaxHeaderBytes or kMaxHeaderFields
  Preamble  // more text outside the parts than kMaxPreambleBytes
};

enum class PartRole {
  Message,     // the mail itself (path "") or a forwarded message/rfc822 part
  Text,        // a text/plain or text/html body part: what the mail shows, not a file
  Attachment,  // every other leaf part: a file to extract
  // A part that holds parts of its own, which follow it: a winmail.dat (application/ms-tnef,
  // TNEF) that could be read. Not a file to extract (its members are), but listed.
  Container
};

// The members of a Container come right after it: its body (a Text part: text/plain, text/html
// or text/rtf), a meeting as an .ics Attachment, then its attachments in order, each embedded
// message as a Message followed by its own members. Their paths are the container's path, '/',
// its name, ':' and the member's position from 1 ("2/winmail.dat:1"); an embedded message's
// members add '.' and theirs ("2/winmail.dat:3.1"). Their transfer encoding is "binary".
struct MailPart {
  PartRole role = PartRole::Attachment;
  std::string path;              // "1", "1.2", "3.1.1": positions from 1, as IMAP numbers them
  std::string mediaType;         // lower-case "type/subtype"
  std::string transferEncoding;  // lower-case, "7bit" when the mail names none
  std::string name;  // Attachment and Container: a safe file name, unique within the mail
  // Attachment: how `name` came about. The proposed name's bytes in their own charset, as the
  // mail carries them ("" when it proposed none); how they were read ("rfc2231:iso-2022-jp",
  // "rfc2047:B:shift_jis", "raw:cp932", "uuencode:cp932", or "none" when the name was made from
  // the part's place and type); and what making it safe and unique changed (SafeName::changes,
  // then "numbered" for a duplicate made unique, "unusable" for a proposal nothing was left of).
  std::string nameBytes;
  std::string nameDecoding;
  std::vector<std::string> nameChanges;
  bool shown = true;       // Text: false for an alternative that another one replaces
  bool truncated = false;  // the mail ends inside this part, cut in the middle of its data
  // The mail ends after this part without the closing delimiter of its multipart, but the part
  // itself is whole (it ends on a line end and its encoding is complete): worth a warning only.
  bool unterminated = false;
  int forwardDepth = 0;  // how many forwarded messages enclose the part
  // Container: some of it could not be read (a length past its end, a wrong checksum, a
  // property that makes no sense, a body that would not decompress): its members are what
  // could be read.
  bool damaged = false;
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
  // The bound the mail reached, when it held more than a bound above allows: parts() then holds
  // the parts before it, and the reading stopped there.
  ReadLimit limit() const;
  bool limitReached() const { return limit() != ReadLimit::None; }

  // The header fields From, To, Cc, Date and Subject of the Message at `index`, those present,
  // in that order (an embedded message of a Container has From, Date and Subject).
  std::vector<HeaderField> headers(std::size_t index) const;
  // The Message-ID of the Message at `index`, without its angle brackets; "" when it has none.
  std::string messageId(std::size_t index) const;

  // Decodes the content of the part at `index` (base64, quoted-printable, uuencode or none) and
  // hands it to `sink` in chunks of at most 64 KiB, reading the mail as it goes: memory stays
  // the same whatever the part's size. A Container gives its bytes (the winmail.dat), a member
  // its own, from memory. Returns false when `sink` stopped, the mail could not be
  // read (or its file changed since it was opened), or a uuencoded part with data lines gave no
  // byte; `size`, when given, receives the bytes handed over.
  bool decode(std::size_t index, const ChunkSink& sink, std::uint64_t* size = nullptr) const;

  // The decoded size of the part at `index` (decodes it once, writing nothing).
  std::uint64_t decodedSize(std::size_t index) const;

  // The text of the Text part at `index` as UTF-8 a person reads: converted from its declared
  // charset (guessed when it declares none), byte-order mark and NUL bytes removed, LF line
  // ends, HTML and RTF rendered as plain text. A non-empty `charset` (a MIME label) is used in
  // place of the declared or guessed one, for a reader who knows better; RTF keeps its own.
  std::string text(std::size_t index, std::string_view charset = {}) const;

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

  // Opens the regular file at `path` through `platform` (shared: others may read and write it
  // meanwhile) and, when it is an mbox file, finds its messages. A file under 1 MiB is read whole
  // at once; a larger one stays open and is read as its messages and parts are, a window of
  // 64 KiB at a time, so that memory stays bounded whatever its size. Returns null and sets
  // `errorNumber` to the OS's errno when the file cannot be opened or read (EISDIR for a
  // folder), or to ESTALE when it grew or shrank while it was read. A large file that changes
  // later fails the parse or decode that reads it. `platform` is used only within this call.
  //
  // A `path` that names a stream (Platform::isStream: "-" for standard input, a pipe, a FIFO, a
  // device) is read to its end first, through Platform::readStream, and the bytes are then read
  // as a file's are: an mbox on standard input is split into its messages. This call then
  // blocks until the stream ends, and a stream opened a second time has nothing left to give.
  static std::unique_ptr<MailFile> open(Platform& platform, const std::string& path,
                                        int& errorNumber);

  // Reads the mail file (or mbox file) whose bytes `file` holds, as open() reads a regular file:
  // a mail found inside an archive, say, gathered in a ScratchFile. The result owns `file`.
  static std::unique_ptr<MailFile> read(std::unique_ptr<ReadableFile> file, int& errorNumber);

  bool isMbox() const;
  std::size_t messageCount() const;  // 1 for a plain mail file
  // Whether it was read from a stream: then it has no times of its own (times() are zero and
  // are not to be given to the files made from it), and as it was read whole before open()
  // returned, nothing written later can change it.
  bool isStream() const;
  MailFileTimes times() const;   // as the Platform gave them when the file was opened
  std::uint64_t length() const;  // its bytes, as they were when it was opened

  // Parses message `index` (from 0). Returns null when there is no such message, when it is not
  // a mail (nothing in it reads as a header), or when the file could not be read: then
  // `errorNumber`, when given, receives the OS's errno (it is 0 in the other cases). A read that
  // fails later, while a part is decoded, makes Mail::decode() return false.
  std::unique_ptr<Mail> parse(std::size_t index, int* errorNumber = nullptr) const;

  // The bytes of message `index` as they stand in the file (an mbox message without its
  // separator line), at most `maxBytes` of them; `cut` tells whether there were more. Returns
  // nullopt, with the OS's errno in `errorNumber`, when the file could not be read.
  std::optional<std::string> source(std::size_t index, std::size_t maxBytes, bool& cut,
                                    int& errorNumber) const;

 private:
  std::unique_ptr<Impl> impl;
};

// Parses a mail held in memory (the tests, the fuzz target). Null when it is not a mail.
std::unique_ptr<Mail> parseMail(std::string_view bytes);

}  // namespace korvani::mail
