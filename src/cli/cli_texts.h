// What the command line says in its own words: the advice after a failure ("give --force…") and
// the today's-mail commands' lines, in English here and in the user's language through tr(). The
// system's fixed messages stay in common/messages.h; the core reports statuses and these words
// are the command line's.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "cli/translation.h"
#include "mail/mail_engine.h"

namespace korvani::cli::texts {

// binary-decode naming its output itself (no -o given), and its explanation in place of the
// locator's empty message, which on a terminal says nothing.
inline constexpr std::string_view kProposedOutputExists =
    N_("already exists; give --force to replace it, or name the output with -o");  // after the path
inline constexpr std::string_view kNotBase64Explanation =
    N_("the attachment's Content-Transfer-Encoding is not base64, so it cannot be decoded");

// extract and read. Texts that follow a path say so.
inline constexpr std::string_view kNotAMail = N_("is not a mail: no header could be read");
inline constexpr std::string_view kAttachmentExists =
    N_("already exists; give --force to replace it or --skip-existing to keep it");  // after the
                                                                                     // path
inline constexpr std::string_view kAttachmentTruncated = N_(
    "the mail ends inside this attachment; the part that is there was written");  // after the path
inline constexpr std::string_view kAttachmentUnreadable =
    N_("the attachment could not be read from the mail");  // after the path
// When a bound stopped the reading of a mail: the line on standard error (after the mail), the
// mark that ends its listing and its JSON "limit".
struct LimitWords {
  std::string_view reached;
  std::string_view mark;
  const char* name;
};
inline LimitWords limitWords(mail::ReadLimit limit) {
  switch (limit) {
    case mail::ReadLimit::Nesting:
      return {N_("nests its parts deeper than is read (64 levels); the rest were skipped"),
              N_("(the rest skipped: nested too deep)"), "nesting"};
    case mail::ReadLimit::Header:
      return {N_("has larger headers than are read (512 KiB or 20000 fields in all); the rest "
                 "of the mail was skipped"),
              N_("(the rest skipped: headers too large)"), "header"};
    case mail::ReadLimit::Preamble:
      return {N_("holds more text outside its parts than is read (4 MiB); the rest of the mail "
                 "was skipped"),
              N_("(the rest skipped: text outside the parts too large)"), "preamble"};
    default:
      return {N_("holds more parts than are read (10000); the rest were skipped"),
              N_("(the rest skipped: too many parts)"), "parts"};
  }
}
// After a listed winmail.dat (a Container) that could be read only in part.
inline constexpr std::string_view kDamagedMark = N_("(damaged)");  // after a listed container
inline constexpr std::string_view kNoMailFound = N_("holds no mail file");  // after the folder
inline constexpr std::string_view kReadingOutOfMemory = N_(
    "ran out of memory while it was laid out for reading; nothing was written");  // after the mail
inline constexpr std::string_view kStandardOutput = N_("standard output");  // in place of a path
inline constexpr std::string_view kTruncatedMark = N_("(cut short)");       // after a listed part
inline constexpr std::string_view kUnterminated = N_(
    "ends without its closing delimiter; its last part ends cleanly and was read whole");  // after
                                                                                           // the
                                                                                           // mail
inline constexpr std::string_view kUnterminatedMark = N_("(no closing delimiter)");  // after a part

// extract's choices and its summary.
inline constexpr std::string_view kFolderNotWalked =
    N_("skipped: a subfolder (--recursive reads it)");  // after the folder
inline constexpr std::string_view kSkippedNotAMail =
    N_("skipped: not a mail");  // after a file found in a folder
inline constexpr std::string_view kKeptExisting =
    N_("kept as it was (--skip-existing)");  // after the path
inline constexpr std::string_view kCurrentFolder = N_("the current folder");
// The progress line of extract on a terminal: mails done, of about how many, files written,
// megabytes written, mails per second, minutes:seconds left.
inline constexpr std::string_view kExtractProgress =
    N_("%s/%s mails, %s files, %s MB, %s mails/s, %s left");
// manifest-merge. After the path of a manifest.
inline constexpr std::string_view kNotAManifest = N_("is not a manifest of korvani extract");
// The first manifest's path, then the field that differs ("directory", "listed", "korvani").
inline constexpr std::string_view kManifestsDiffer =
    N_("does not match %s: their \"%s\" differ (another -d, --list or version)");
// The path of a file under -d.
inline constexpr std::string_view kWrittenTwice =
    N_("records %s, which another manifest records too: one run would have named them apart "
       "(--layout per-file)");
// After extract --list with -v or on a terminal: mails, megabytes read, seconds, MB per second.
inline constexpr std::string_view kListRate = N_("%s mails, %s MB read in %s s (%s MB/s)");

// extract --unpack: archives, the entries in them and their passwords. Texts that follow a path
// (an entry's or an archive's place, "3/見積.zip:書類/a.xlsx") say so; %s are filled in order.
inline constexpr std::string_view kEntrySkipped =
    N_("a device, FIFO or socket entry; skipped");  // after the entry
inline constexpr std::string_view kLinkWrittenAsFile =
    N_("a link to %s; written as the text file %s holding its target");  // after the entry
inline constexpr std::string_view kEntryDamaged =
    N_("could not be read (%s); nothing of it was written");  // after the entry
inline constexpr std::string_view kArchiveDamaged =
    N_("is damaged (%s); the entries before the damage were written");  // after the archive
inline constexpr std::string_view kSizeBoundReached =
    N_("stopped: unpacking it would pass %s bytes (--max-unpacked); every file written before "
       "is complete");  // after the archive
inline constexpr std::string_view kRatioBoundReached =
    N_("stopped: it unpacks to more than %s bytes, the bound of --max-ratio for its size (a zip "
       "bomb looks like this); every file written before is complete");  // after the archive
inline constexpr std::string_view kTooManyEntries =
    N_("stopped after %s entries; the rest were skipped");  // after the archive
inline constexpr std::string_view kTooDeep =
    N_("not opened: archives and mails are opened 8 levels deep");  // after the archive
inline constexpr std::string_view kOpenedByMail =
    N_("opened with the password from %s");  // after the archive; the password mail
inline constexpr std::string_view kOpenedByGiven =
    N_("opened with a password given (--password, --password-file)");   // after the archive
inline constexpr std::string_view kShownPassword = N_("password: %s");  // after the above, "; "
inline constexpr std::string_view kShutNoCandidate =
    N_("is encrypted and stayed shut: no password was found for it (give --password or "
       "--password-file)");  // after the archive
inline constexpr std::string_view kShutWrongPassword =
    N_("is encrypted and stayed shut: none of the passwords tried opened it");  // after the archive
inline constexpr std::string_view kShutUnsupported =
    N_("is encrypted in a way that cannot be opened (%s)");            // after the archive
inline constexpr std::string_view kEncryptedMark = N_("(encrypted)");  // after a listed entry
inline constexpr std::string_view kPasswordFileEmpty =
    N_("holds no password");  // after the --password-file
inline constexpr std::string_view kScratch =
    N_("the temporary copy of an archive");  // in place of a path
inline constexpr std::string_view kBadSize =
    N_("--max-unpacked takes a size such as 500M, 4G or 1048576");  // a usage error

// "PATH: TEXT", TEXT in the user's language (a whole literal, as tr() takes).
std::string about(std::string_view path, std::string_view text);

// "MAIL: NAME (part PATH) is damaged; …" for the damaged container `part` of the mail `mail`.
std::string containerDamaged(std::string_view mail, const mail::MailPart& part);

// "PATH: cannot be opened: REASON" and its kin for reading, writing and making a folder, with the
// OS's reason for `errorNumber` in the user's language.
std::string openFailed(std::string_view path, int errorNumber);
std::string readFailed(std::string_view path, int errorNumber);
std::string writeFailed(std::string_view path, int errorNumber);
std::string folderFailed(std::string_view path, int errorNumber);
// An output that is one of the run's mails.
std::string outputIsInput(std::string_view output, std::string_view mail);

// The classic modes on today's mail. Their own messages stay as they are; these lines follow them.
// After binary-decode found no attachment of its form: what extract finds in the same mail
// (after the mail's path).
inline std::string extractHint(std::size_t found) {
  if (found == 0) {
    return tr(N_("has no attachment: neither binary-decode nor korvani extract finds one in it"));
  }
  return format(trn("has no attachment that binary-decode can decode; korvani extract finds %s "
                    "attachment in it",
                    "has no attachment that binary-decode can decode; korvani extract finds %s "
                    "attachments in it",
                    found),
                {std::to_string(found)});
}
// After mail-decode or text-decode wrote text that lacks what Shift_JIS cannot hold (after the
// output's path).
inline constexpr std::string_view kCharactersDroppedFromMail =
    N_("some characters could not be kept in Shift_JIS, so part of the text is missing; korvani "
       "read shows the whole mail");
inline constexpr std::string_view kCharactersDroppedFromText =
    N_("some characters could not be kept in Shift_JIS, so part of the text is missing");

// Standard input given as a mail ("-").
inline constexpr std::string_view kStandardInput = N_("standard input");  // in place of "-"
inline constexpr std::string_view kStandardInputStem = "stdin";           // its subfolder under -d
inline constexpr std::string_view kStandardInputTwice =
    N_("standard input (-) can be read only once; give - once");  // a usage error

}  // namespace korvani::cli::texts
