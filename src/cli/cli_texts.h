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
// After the mail, when a bound stopped its reading; the listing names the bound in brackets.
inline constexpr std::string_view kPartLimitReached =
    "holds more parts, or nests them deeper, than are read; the rest were skipped";
inline constexpr std::string_view kHeaderLimitReached =
    "has larger headers than are read (512 KiB or 20000 fields in all); the rest of the mail was "
    "skipped";
inline constexpr std::string_view kPreambleLimitReached =
    "holds more text outside its parts than is read (4 MiB); the rest of the mail was skipped";
inline constexpr std::string_view kPreambleLimitMark =
    "(the rest skipped: text outside the parts too large)";
inline constexpr std::string_view kPartLimitMark = "(the rest skipped: too many parts)";
inline constexpr std::string_view kNestingLimitMark = "(the rest skipped: nested too deep)";
inline constexpr std::string_view kHeaderLimitMark = "(the rest skipped: headers too large)";

// The line on standard error and the listing's mark for `limit` (not None).
inline std::string_view limitText(mail::ReadLimit limit) {
  switch (limit) {
    case mail::ReadLimit::Header:
      return kHeaderLimitReached;
    case mail::ReadLimit::Preamble:
      return kPreambleLimitReached;
    default:
      return kPartLimitReached;
  }
}
inline std::string_view limitMark(mail::ReadLimit limit) {
  switch (limit) {
    case mail::ReadLimit::Nesting:
      return kNestingLimitMark;
    case mail::ReadLimit::Header:
      return kHeaderLimitMark;
    case mail::ReadLimit::Preamble:
      return kPreambleLimitMark;
    default:
      return kPartLimitMark;
  }
}
// The JSON listing's "limit": null when the mail was read to its end.
inline const char* limitName(mail::ReadLimit limit) {
  switch (limit) {
    case mail::ReadLimit::Parts:
      return "parts";
    case mail::ReadLimit::Nesting:
      return "nesting";
    case mail::ReadLimit::Header:
      return "header";
    case mail::ReadLimit::Preamble:
      return "preamble";
    default:
      return nullptr;
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

}  // namespace korvani::cli::texts
