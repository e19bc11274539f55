#include "archive/password_mail.h"

#include <array>
#include <cstring>

#include "mail/mail_engine.h"

namespace korvani::archive {
namespace {

// The words that say "password", longest first so that "password" is not read as "pass".
// The ASCII words are matched in any case and must not run on into a letter ("passport").
constexpr std::array<std::string_view, 10> kPasswordWords = {
    "パスワード", "ﾊﾟｽﾜｰﾄﾞ",  "パスコード", "暗証番号", "password",
    "passwd",     "passcode", "pass",       "pwd",      "pw"};

// Spaces, quote marks and bullets that may come before the word.
constexpr std::array<std::string_view, 14> kLeaders = {" ", "\t", "\u3000", ">", "・", "■", "□",
                                                       "◆", "◇",  "●",      "○", "※",  "*", "-"};

struct BracketPair {
  std::string_view open;
  std::string_view close;
};
constexpr std::array<BracketPair, 9> kBrackets = {{{"【", "】"},
                                                   {"「", "」"},
                                                   {"『", "』"},
                                                   {"[", "]"},
                                                   {"［", "］"},
                                                   {"(", ")"},
                                                   {"（", "）"},
                                                   {"<", ">"},
                                                   {"\"", "\""}}};

// The brackets of a subject's tags ("【見積】", "[ML:123]"): 【】, [] and ［］.
constexpr std::array<std::size_t, 3> kTagBrackets = {0, 3, 4};

constexpr std::array<std::string_view, 5> kSeparators = {":", "：", "は", "=", "＝"};

constexpr std::array<std::string_view, 4> kSpaces = {" ", "\t", "\u3000", "\r"};

bool startsWith(std::string_view text, std::string_view prefix) {
  return !prefix.empty() && text.substr(0, prefix.size()) == prefix;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool startsWithFolded(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (lower(text[i]) != prefix[i]) return false;
  }
  return true;
}

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Drops what `set` matches from the front of `text`, as often as it matches; returns whether
// anything was dropped.
template <std::size_t N>
bool skipAll(std::string_view& text, const std::array<std::string_view, N>& set) {
  bool skipped = false;
  for (bool again = true; again;) {
    again = false;
    for (std::string_view item : set) {
      if (startsWith(text, item)) {
        text.remove_prefix(item.size());
        again = skipped = true;
      }
    }
  }
  return skipped;
}

// The bracket pair that opens `text`, if one does.
const BracketPair* openingBracket(std::string_view text) {
  for (const BracketPair& pair : kBrackets) {
    if (startsWith(text, pair.open)) return &pair;
  }
  return nullptr;
}

std::string_view trimmed(std::string_view text) {
  skipAll(text, kSpaces);
  while (!text.empty()) {
    bool cut = false;
    for (std::string_view space : kSpaces) {
      if (text.size() >= space.size() && text.substr(text.size() - space.size()) == space) {
        text.remove_suffix(space.size());
        cut = true;
      }
    }
    if (!cut) break;
  }
  return text;
}

// The password one line gives, or "".
std::string passwordOfLine(std::string_view line) {
  skipAll(line, kLeaders);
  const BracketPair* around = openingBracket(line);
  if (around != nullptr) line.remove_prefix(around->open.size());
  std::size_t word = 0;
  for (std::string_view candidate : kPasswordWords) {
    const bool ascii = isAsciiLetter(candidate[0]);
    if (ascii ? startsWithFolded(line, candidate) : startsWith(line, candidate)) {
      word = candidate.size();
      if (ascii && line.size() > word && isAsciiLetter(line[word])) word = 0;
      if (word != 0) break;
    }
  }
  if (word == 0) return {};
  line.remove_prefix(word);
  bool separated = false;
  if (around != nullptr) {
    if (!startsWith(line, around->close)) return {};
    line.remove_prefix(around->close.size());
    separated = true;
  }
  separated = skipAll(line, kSpaces) || separated;
  for (std::string_view separator : kSeparators) {
    if (startsWith(line, separator)) {
      line.remove_prefix(separator.size());
      separated = true;
      break;
    }
  }
  if (!separated) return {};
  skipAll(line, kSpaces);
  std::string_view value;
  if (const BracketPair* bracket = openingBracket(line)) {
    line.remove_prefix(bracket->open.size());
    const std::size_t close = line.find(bracket->close);
    if (close == std::string_view::npos) return {};
    value = trimmed(line.substr(0, close));
  } else {
    std::size_t end = 0;
    while (end < line.size() && line[end] > ' ' && line[end] < 0x7F) ++end;
    value = line.substr(0, end);
  }
  if (value.empty() || value.size() > kMaxPasswordBytes) return {};
  return std::string(value);
}

std::string lowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = lower(c);
  return out;
}

// Days from 1970-01-01 to the given day of the proleptic Gregorian calendar.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

bool readNumber(std::string_view& text, int maxDigits, int& value) {
  int digits = 0;
  value = 0;
  while (!text.empty() && text[0] >= '0' && text[0] <= '9' && digits < maxDigits) {
    value = value * 10 + (text[0] - '0');
    text.remove_prefix(1);
    ++digits;
  }
  return digits > 0;
}

void skipSpaces(std::string_view& text) {
  while (!text.empty() && (text[0] == ' ' || text[0] == '\t' || text[0] == ',')) {
    text.remove_prefix(1);
  }
}

struct Zone {
  std::string_view name;
  int minutes;
};
constexpr std::array<Zone, 12> kZones = {{{"ut", 0},
                                          {"gmt", 0},
                                          {"z", 0},
                                          {"jst", 540},
                                          {"est", -300},
                                          {"edt", -240},
                                          {"cst", -360},
                                          {"cdt", -300},
                                          {"mst", -420},
                                          {"mdt", -360},
                                          {"pst", -480},
                                          {"pdt", -420}}};

constexpr std::array<std::string_view, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                      "jul", "aug", "sep", "oct", "nov", "dec"};

}  // namespace

std::vector<std::string> passwordsInText(std::string_view text) {
  std::vector<std::string> found;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string password = passwordOfLine(text.substr(0, end));
    if (!password.empty()) {
      bool known = false;
      for (const std::string& earlier : found) known = known || earlier == password;
      if (!known) found.push_back(std::move(password));
    }
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return found;
}

std::string bareSubject(std::string_view subject) {
  // Every 【…】 and […] tag, wherever it stands.
  std::string untagged;
  for (std::size_t at = 0; at < subject.size();) {
    const BracketPair* tag = nullptr;
    for (const std::size_t tagBracket : kTagBrackets) {
      if (startsWith(subject.substr(at), kBrackets[tagBracket].open)) tag = &kBrackets[tagBracket];
    }
    if (tag != nullptr) {
      const std::size_t close = subject.find(tag->close, at + tag->open.size());
      if (close != std::string_view::npos) {
        at = close + tag->close.size();
        untagged += ' ';
        continue;
      }
    }
    untagged += subject[at++];
  }
  std::string_view rest = trimmed(untagged);
  static constexpr std::array<std::string_view, 5> kPrefixes = {"re", "fwd", "fw", "転送", "返信"};
  for (bool again = true; again;) {
    again = false;
    for (std::string_view prefix : kPrefixes) {
      if (!startsWithFolded(rest, prefix) && !startsWith(rest, prefix)) continue;
      std::string_view after = rest.substr(prefix.size());
      if (startsWith(after, ":") || startsWith(after, "：")) {
        after.remove_prefix(after[0] == ':' ? 1 : std::strlen("："));
        rest = trimmed(after);
        again = true;
        break;
      }
    }
  }
  return std::string(rest);
}

std::optional<std::int64_t> parseMailDate(std::string_view date) {
  skipSpaces(date);
  // An optional day name.
  if (!date.empty() && isAsciiLetter(date[0])) {
    while (!date.empty() && isAsciiLetter(date[0])) date.remove_prefix(1);
    skipSpaces(date);
  }
  int day = 0;
  if (!readNumber(date, 2, day)) return std::nullopt;
  skipSpaces(date);
  if (date.size() < 3) return std::nullopt;
  int month = 0;
  for (std::size_t i = 0; i < kMonths.size(); ++i) {
    if (startsWithFolded(date, kMonths[i])) month = static_cast<int>(i) + 1;
  }
  if (month == 0) return std::nullopt;
  while (!date.empty() && isAsciiLetter(date[0])) date.remove_prefix(1);
  skipSpaces(date);
  int year = 0;
  std::string_view yearText = date;
  if (!readNumber(date, 4, year)) return std::nullopt;
  const std::size_t yearDigits = yearText.size() - date.size();
  if (yearDigits == 2) year += year < 50 ? 2000 : 1900;  // RFC 5322's obsolete two-digit years
  if (yearDigits == 3) year += 1900;
  skipSpaces(date);
  int hour = 0;
  int minute = 0;
  int second = 0;
  if (!readNumber(date, 2, hour) || date.empty() || date[0] != ':') return std::nullopt;
  date.remove_prefix(1);
  if (!readNumber(date, 2, minute)) return std::nullopt;
  if (!date.empty() && date[0] == ':') {
    date.remove_prefix(1);
    if (!readNumber(date, 2, second)) return std::nullopt;
  }
  if (day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return std::nullopt;
  skipSpaces(date);
  int offsetMinutes = 0;
  if (!date.empty() && (date[0] == '+' || date[0] == '-')) {
    const int sign = date[0] == '-' ? -1 : 1;
    date.remove_prefix(1);
    int hhmm = 0;
    std::string_view digits = date;
    if (!readNumber(date, 4, hhmm) || digits.size() - date.size() != 4) return std::nullopt;
    offsetMinutes = sign * (hhmm / 100 * 60 + hhmm % 100);
  } else {
    for (const Zone& zone : kZones) {
      if (startsWithFolded(date, zone.name) &&
          (date.size() == zone.name.size() || !isAsciiLetter(date[zone.name.size()]))) {
        offsetMinutes = zone.minutes;
        break;
      }
    }
  }
  const std::int64_t days =
      daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  const std::int64_t minutes = std::int64_t{hour} * 60 + minute - offsetMinutes;
  return days * 86400 + minutes * 60 + second;
}

std::string addressOf(std::string_view from) {
  const std::size_t open = from.rfind('<');
  if (open != std::string_view::npos) {
    const std::size_t close = from.find('>', open);
    if (close != std::string_view::npos)
      return lowerAscii(trimmed(from.substr(open + 1, close - open - 1)));
  }
  return lowerAscii(trimmed(from));
}

bool pairs(const MailFacts& archiveMail, std::string_view archiveName,
           const MailFacts& passwordMail) {
  if (archiveMail.address.empty() || archiveMail.address != passwordMail.address) return false;
  if (!archiveMail.date || !passwordMail.date) return false;
  const std::int64_t after = *passwordMail.date - *archiveMail.date;
  if (after > kPasswordMailAfter || after < -kPasswordMailBefore) return false;
  const std::string subject = bareSubject(archiveMail.subject);
  if (!subject.empty() && bareSubject(passwordMail.subject).find(subject) != std::string::npos) {
    return true;
  }
  return !archiveName.empty() && (passwordMail.subject.find(archiveName) != std::string::npos ||
                                  passwordMail.text.find(archiveName) != std::string::npos);
}

MailFacts factsOf(const mail::Mail& mail, const std::string& label) {
  MailFacts facts;
  facts.label = label;
  for (const mail::HeaderField& field : mail.headers(0)) {
    if (field.name == "From") facts.address = addressOf(field.value);
    if (field.name == "Date") facts.date = parseMailDate(field.value);
    if (field.name == "Subject") facts.subject = field.value;
  }
  const auto& parts = mail.parts();
  for (std::size_t index = 0; index < parts.size(); ++index) {
    const mail::MailPart& part = parts[index];
    if (part.role != mail::PartRole::Text || !part.shown || part.forwardDepth > 0) continue;
    facts.text += mail.text(index);
    facts.text += '\n';
  }
  return facts;
}

}  // namespace korvani::archive
