// What the mail engine shows of a TNEF message (tnef_reader.h): its fields as a person reads
// them, its body, its attachments' names and types, and a meeting as an iCalendar file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "mail/mail_engine.h"
#include "mail/mail_text.h"
#include "mail/tnef_reader.h"

namespace korvani::mail {

// A string of the message as UTF-8: UTF-16 as it is, bytes in `codePage` (read as raw text,
// its charset guessed, when the message names none); cut at the first NUL, trimmed.
std::string tnefText(const tnef::Text& text, unsigned codePage);

// From, Date and Subject of an embedded message, those it has, in that order.
std::vector<HeaderField> tnefHeaders(const tnef::Message& message);

struct TnefBody {
  std::string mediaType;  // "text/html", "text/rtf" or "text/plain"; empty when there is none
  std::string bytes;      // as the message holds it (RTF decompressed, UTF-16 made UTF-8)
  std::string charset;    // the charset of `bytes`; "" to guess
  bool damaged = false;   // the compressed RTF could not be read whole
};

// The body a person reads: the HTML one, else the rich text, else the plain text.
TnefBody tnefBody(const tnef::Message& message);

// The name the attachment proposes (not yet made safe): its long name, else its short one, else
// the name it is shown under; "" when it has none. Names are in the message's OEM code page.
// `origin`, when given, receives the name's bytes and "tnef:CHARSET" (the code page's charset,
// or "utf-16le").
std::string tnefAttachmentName(const tnef::Attachment& attachment, const tnef::Message& message,
                               TextOrigin* origin = nullptr);

// The attachment's lower-case "type/subtype", application/octet-stream when it names none.
std::string tnefMediaType(const tnef::Attachment& attachment, const tnef::Message& message);

// A meeting request (or cancellation) as an iCalendar object, when the message is one and says
// when the meeting starts.
std::optional<std::string> tnefCalendar(const tnef::Message& message);

}  // namespace korvani::mail
