// How many attachments the engine finds in a mail file: the figure a front end gives a user whose
// mail the classic binary decode could not read, to show that `extract` can.
#pragma once

#include <cstddef>
#include <string>

namespace korvani {
class Platform;
}

namespace korvani::mail {

// The Attachment parts (see PartRole) of every message in the mail or mbox file at `path`, as
// `extract` would write them. Opens and parses the file through `platform` (shared, as
// MailFile::open does), which costs time linear in its size; requires a MailLibrary. A message
// that is not a mail counts no part, and a file that cannot be opened or read counts 0.
std::size_t countAttachments(Platform& platform, const std::string& path);

}  // namespace korvani::mail
