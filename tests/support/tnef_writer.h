// Builds winmail.dat (TNEF) streams and the mails that carry them, so that the tests of the mail
// engine need no binary files: attachments with short and long names in any code page or in
// UTF-16, bodies in plain text, HTML or compressed RTF, meetings and embedded messages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvani::testing {

struct TnefMessage;

struct TnefAttachment {
  std::string title;     // the short name, as bytes (attAttachTitle); "" for none
  std::string longName;  // PR_ATTACH_LONG_FILENAME as bytes; "" for none
  bool unicode = false;  // the long name is UTF-8 here, written as UTF-16 (PT_UNICODE)
  std::string mimeTag;   // PR_ATTACH_MIME_TAG; "" for none
  std::string data;      // the file
  // An embedded message in place of a file: written as the object of the attachment (an
  // interface identifier, then its own stream). Holds at most one message.
  std::vector<TnefMessage> embedded;
};

struct TnefMessage {
  std::uint32_t oemCodePage = 0;       // attOemCodepage; 0 for none
  std::uint32_t internetCodePage = 0;  // PR_INTERNET_CPID; 0 for none
  std::string messageClass;            // attMessageClass; "" for none
  std::string subject;                 // attSubject, as bytes
  std::string senderName;              // PR_SENDER_NAME and PR_SENDER_EMAIL_ADDRESS
  std::string senderAddress;
  std::uint64_t sent = 0;   // PR_CLIENT_SUBMIT_TIME (FILETIME); 0 for none
  std::string body;         // attBody; "" for none
  std::string html;         // PR_BODY_HTML; "" for none
  std::string rtf;          // PR_RTF_COMPRESSED, compressed here; "" for none
  std::uint64_t start = 0;  // a meeting's start and end (PR_START_DATE, PR_END_DATE)
  std::uint64_t end = 0;
  std::string location;  // a meeting's location (a named property), as bytes
  std::vector<TnefAttachment> attachments;
};

// The stream of `message`.
std::string writeTnef(const TnefMessage& message);

// One attribute of a stream: level (1 message, 2 attachment), id (type in the high word),
// length, data and checksum. `checksumDelta` is added to the right sum (0 writes it right).
std::string tnefAttribute(std::uint8_t level, std::uint32_t id, const std::string& data,
                          int checksumDelta = 0);

// The signature and a key: what every stream starts with.
std::string tnefHeader();

// A block of MAPI properties with one property: `tag` (type in the low word, id in the high
// one) and the value as the block holds it (for a variable type: count, length, data, padding).
std::string mapiBlock(std::uint32_t count, const std::string& properties);
std::string mapiString(std::uint16_t type, std::uint16_t id, const std::string& bytes);

// `text` in LZFu, as PR_RTF_COMPRESSED holds it (header included).
std::string compressRtf(const std::string& text);

// "YYYY-MM-DD hh:mm:ss" UTC as a FILETIME.
std::uint64_t filetime(int year, int month, int day, int hour, int minute, int second);

// A multipart/mixed mail (boundary "b") with a text/plain part holding `text` (none when empty),
// then `tnef` in Base64 under Content-Type `type` and the file name `name`.
std::string mailWithTnef(const std::string& tnef, const std::string& text = "See the attachment.",
                         const std::string& name = "winmail.dat",
                         const std::string& type = "application/ms-tnef");

}  // namespace korvani::testing
