// The mails the arguments of `extract` and `read` name: a file as it stands ("-" for standard
// input), a folder as the mail files in it, as mail programs see them.
//
// A folder with `cur/` and `new/` is a Maildir: its mails are the files of those two, in the order
// of their names (delivery order), never `tmp/` (mails still being delivered) and never the mail
// programs' own files beside them (Dovecot's and Courier's indexes, `maildirfolder`,
// `subscriptions`). Its subfolders `.Sent`, `.Archive`… are read only with `recursive`. Any other
// folder: its files (hidden ones left out) and, with `recursive`, its subfolders in turn. Links
// are never followed inside a folder.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace korvani::cli {

struct MailInput {
  std::string path;
  // Named by the user (not found in a folder): a file that is not a mail is then a failure; one
  // found in a folder is only skipped.
  bool named = true;
};

// A folder that could not be read, and why.
struct UnreadableFolder {
  std::string path;
  int errorNumber = 0;
};

struct MailInputs {
  std::vector<MailInput> mails;
  std::vector<UnreadableFolder> unreadable;
  // Subfolders left out because `recursive` was not given, for the verbose listing.
  std::vector<std::string> skippedFolders;
  // Folders named by the user in which no mail file was found.
  std::vector<std::string> emptyFolders;
};

MailInputs collectMailInputs(Platform& platform, const std::vector<std::string>& arguments,
                             bool recursive);

// Whether the folder whose entries are `entries` is a Maildir (it has `cur` and `new`).
bool isMaildir(const std::vector<FolderEntry>& entries);

}  // namespace korvani::cli
