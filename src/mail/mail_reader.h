// A mail written out as a person reads it, for `korvani read` and the mail window.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "mail/mail_engine.h"

namespace korvani::mail {

// The mail as UTF-8 text: its header fields From, To, Cc, Date and Subject as "Name: value"
// lines, an empty line, the text of each shown Text part in order (an empty line between
// parts), each forwarded message in turn after a separator line with its own fields and text,
// and each attachment as one line "[添付] NAME (TYPE, SIZE)". After each run of attachment lines
// come the texts of its text/plain attachments, as mail programs show them below the message:
// each under a line naming it, decoded from its charset. Ends with one line end.
std::string renderMail(const Mail& mail);
// The same with every text part read in `charset` (a MIME label) whatever it declares; an empty
// `charset` is renderMail's own reading. Without `attachmentLines` the "[添付]" lines are left
// out (the texts of text/plain attachments stay), for a reader that lists the attachments
// beside the text.
std::string renderMailAs(const Mail& mail, std::string_view charset, bool attachmentLines = true);

// A mail's bytes as received (MailFile::source) made readable: 8-bit and ISO-2022-JP text
// decoded as raw header text is (mail_text.h's rawTextToUtf8, the code page 932 table for
// Japanese), line ends made LF. Encoded words and Base64 stay as they were sent.
std::string sourceText(std::string_view bytes);

// A byte count as people read it: "512 B", "1.5 KB", "64.0 MB" (powers of 1024).
std::string readableSize(std::uint64_t bytes);

}  // namespace korvani::mail
