// What the command line says in its own words: the advice after a failure ("give --force…") and
// the today's-mail commands' lines. The system's fixed messages stay in common/messages.h; the
// core reports statuses and these words are the command line's.
#pragma once

#include <string_view>

#include "mail/mail_engine.h"

namespace korvani::cli::texts {

// binary-decode naming its output itself (no -o given), and its explanation after the locator's
// empty message, which on a terminal says nothing.
inline constexpr std::string_view kNoProposedName =
    "the mail proposes no file name for its attachment; name the output with -o";
inline constexpr std::string_view kUnusableProposedName =
    "the mail proposes no usable file name for its attachment; name the output with -o";
inline constexpr std::string_view kProposedOutputExists =
    "already exists; give --force to replace it, or name the output with -o";  // after the path
inline constexpr std::string_view kNotBase64Explanation =
    "the attachment's Content-Transfer-Encoding is not base64, so it cannot be decoded";

// extract and read. Texts that follow a path say so.
inline constexpr std::string_view kNotAMail = "is not a mail: no header could be read";
inline constexpr std::string_view kAttachmentExists =
    "already exists; give --force to replace it";  // after the path
inline constexpr std::string_view kAttachmentTruncated =
    "the mail ends inside this attachment; the part that is there was written";  // after the path
inline constexpr std::string_view kAttachmentUnreadable =
    "the attachment could not be read from the mail";  // after the path
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
      return {"nests its parts deeper than is read (64 levels); the rest were skipped",
              "(the rest skipped: nested too deep)", "nesting"};
    case mail::ReadLimit::Header:
      return {
          "has larger headers than are read (512 KiB or 20000 fields in all); the rest of the "
          "mail was skipped",
          "(the rest skipped: headers too large)", "header"};
    case mail::ReadLimit::Preamble:
      return {
          "holds more text outside its parts than is read (4 MiB); the rest of the mail was "
          "skipped",
          "(the rest skipped: text outside the parts too large)", "preamble"};
    default:
      return {"holds more parts than are read (10000); the rest were skipped",
              "(the rest skipped: too many parts)", "parts"};
  }
}
inline constexpr std::string_view kNoMailFound = "holds no mail file";  // after the folder
inline constexpr std::string_view kReadingOutOfMemory =
    "ran out of memory while it was laid out for reading; nothing was written";  // after the mail
inline constexpr std::string_view kStandardOutput = "standard output";  // in place of a path
inline constexpr std::string_view kTruncatedMark = "(cut short)";       // after a listed part
inline constexpr std::string_view kUnterminated =
    "ends without its closing delimiter; its last part ends cleanly and was read whole";  // after
                                                                                          // the
                                                                                          // mail
inline constexpr std::string_view kUnterminatedMark = "(no closing delimiter)";  // after a part

// Standard input given as a mail ("-").
inline constexpr std::string_view kStandardInput = "standard input";  // in place of "-"
inline constexpr std::string_view kStandardInputStem = "stdin";       // its subfolder under -d
inline constexpr std::string_view kStandardInputTwice =
    "standard input (-) can be read only once; give - once";  // a usage error

}  // namespace korvani::cli::texts
