// The structure of a winmail.dat: the TNEF stream Outlook and Exchange send in place of a
// message's body and attachments, with its MAPI property blocks.
//
// The reader walks the stream once, checks every length against what is left before it reads a
// byte, and keeps only views into the bytes it was given and the few properties the mail engine
// shows: what it returns is valid only as long as those bytes are. Whatever goes wrong (a length
// past the end, a bad checksum, a property of an unknown type, more attachments than are read)
// stops the reading of that block or of the stream there; what was read before stays, and
// `damaged` says so. It never throws, and its time is linear in the stream's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace korvani::mail::tnef {

// The first four bytes of every stream, little-endian.
inline constexpr std::uint32_t kSignature = 0x223E9F78;
// The most attachments read from one stream; more are not read, and `limited` says so.
inline constexpr std::size_t kMaxAttachments = 10000;

// A string property: bytes in the message's code page, or UTF-16LE.
struct Text {
  std::string_view bytes;
  bool utf16 = false;
  bool empty() const { return bytes.empty(); }
};

// A point in time as Windows gives it: FILETIME (100 ns since 1601, UTC) or the TNEF's own date,
// whose zone the stream does not say.
struct Date {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool utc = false;
};

struct Attachment {
  Text title;             // the short (8.3) name
  Text longName;          // PR_ATTACH_LONG_FILENAME
  Text displayName;       // PR_DISPLAY_NAME
  Text mimeTag;           // PR_ATTACH_MIME_TAG
  std::string_view data;  // the file's bytes
  bool hasData = false;
  // PR_ATTACH_DATA_OBJ: for an embedded message, the interface identifier and the message's own
  // TNEF stream after it.
  std::string_view object;
  bool hasObject = false;
};

struct Message {
  std::uint32_t oemCodePage = 0;       // the code page of the names and the TNEF's own strings
  std::uint32_t internetCodePage = 0;  // PR_INTERNET_CPID: the body's
  Text messageClass;
  Text subject;
  Text senderName;
  Text senderAddress;
  std::optional<Date> sent;
  std::optional<Date> start;  // of a meeting
  std::optional<Date> end;
  Text location;                   // of a meeting
  Text body;                       // plain text
  Text html;                       // PR_BODY_HTML, bytes in the body's code page
  std::string_view compressedRtf;  // PR_RTF_COMPRESSED
  std::vector<Attachment> attachments;
  bool damaged = false;  // something could not be read; what is here is what could
  bool limited = false;  // more than kMaxAttachments attachments
};

// True when `bytes` starts with the TNEF signature.
bool looksLikeTnef(std::string_view bytes);

// Reads the stream in `bytes` into `message`. Returns false, leaving `message` empty, when
// `bytes` does not start with the signature and a key. `verifyChecksums` is false for the stream
// of an embedded message, whose bytes the sum of the attribute around it already covered: each
// byte is then summed once however deep the messages nest.
bool readMessage(std::string_view bytes, Message& message, bool verifyChecksums = true);

// The TNEF stream of an embedded message: the object's bytes after the interface identifier of
// IMessage, or nullopt when the object holds something else (an OLE storage, say).
std::optional<std::string_view> embeddedMessage(std::string_view object);

}  // namespace korvani::mail::tnef
