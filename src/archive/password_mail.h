// The other half of a password-protected archive: the mail that brings its password.
//
// Japanese business mail sends an encrypted ZIP in one mail and its password in a second one from
// the same sender soon after ("【パスワード】Xy7k…", "パスワード：Xy7k"). Within one run, a
// password mail is one whose shown text has such a line; it is paired with a mail holding an
// encrypted archive when both come from the same address, it is dated from an hour before to a
// day after that mail, and its subject holds the other's subject (once the Re:, Fw:, 転送: and
// bracketed tags are dropped from both) or it names the archive's file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvani::mail {
class Mail;
}

namespace korvani::archive {

// How far a password mail may be dated from the archive's mail: a day after, an hour before.
inline constexpr std::int64_t kPasswordMailAfter = std::int64_t{24} * 60 * 60;
inline constexpr std::int64_t kPasswordMailBefore = std::int64_t{60} * 60;

// The longest password taken from a line, in bytes; a longer value is no password.
inline constexpr std::size_t kMaxPasswordBytes = 256;

// What pairing needs to know of a mail.
struct MailFacts {
  std::string label;    // the mail as the user knows it: "in.mbox#3"
  std::string address;  // the From address, ASCII letters in lower case; empty when none
  std::optional<std::int64_t> date;  // seconds since the epoch (UTC); none when unreadable
  std::string subject;               // as decoded
  std::string text;                  // its shown text (Text parts), for the archive's name
};

struct PasswordMail {
  MailFacts facts;
  std::vector<std::string> passwords;  // in the order the lines came
};

// The passwords the lines of `text` (UTF-8) give: a line that begins, after spaces, quote marks
// and bullets, with a word for password (パスワード, 暗証番号, パスコード, Password, PW, …),
// perhaps in brackets, then ':', '：', 'は', '=' or a space, then the value: what a bracket pair
// (【】「」『』[]()（）"") holds, or else the run of printable ASCII that follows.
std::vector<std::string> passwordsInText(std::string_view text);

// `subject` without the Re:, Fw:, Fwd: and 転送: in front and without any 【…】 or […] tag,
// spaces trimmed.
std::string bareSubject(std::string_view subject);

// The seconds since the epoch of an RFC 5322 date ("Tue, 3 Jun 2025 10:04:05 +0900"); none when
// it cannot be read.
std::optional<std::int64_t> parseMailDate(std::string_view date);

// The address of a From field ("山田 <Yamada@Example.jp>" gives "yamada@example.jp").
std::string addressOf(std::string_view from);

// Whether `passwordMail` is the password mail of the archive `archiveName` in `archiveMail`.
bool pairs(const MailFacts& archiveMail, std::string_view archiveName,
           const MailFacts& passwordMail);

// The facts of the mail `mail`, known to the user as `label`.
MailFacts factsOf(const mail::Mail& mail, const std::string& label);

}  // namespace korvani::archive
