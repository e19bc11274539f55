#include "gui/mail_content.h"

#include <algorithm>
#include <new>
#include <optional>
#include <string_view>
#include <utility>

#include "archive/password_mail.h"
#include "common/messages.h"
#include "gui/mail_window_texts.h"
#include "mail/mail_reader.h"
#include "mail/mail_text.h"
#include "mail/shown_text.h"
#include "save/attachment_saver.h"

namespace korvani::gui {
namespace {

constexpr std::string_view kEllipsis = "\xE2\x80\xA6";  // U+2026
// A field is shown on one line of its own: a line end a sender encoded into it is shown as the
// sign for LF, so that a Subject never reads as a second field below it.
constexpr std::string_view kLineFeedPicture = "\xE2\x90\x8A";  // U+240A

// Whether `byte` starts a character of UTF-8, that is, is not one of its continuation bytes.
bool startsCharacter(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) != 0x80; }

std::string fieldValue(const std::vector<mail::HeaderField>& fields, std::string_view name) {
  for (const mail::HeaderField& field : fields) {
    if (field.name == name) return field.value;
  }
  return {};
}

// `value` as a field is shown: controls visible, one line, cut at kShownFieldChars. Returns
// whether it was cut.
bool shapeField(std::string& value) {
  std::string shown = mail::shownText(value);
  value.clear();
  for (const char byte : shown) {
    if (byte == '\n') {
      value += kLineFeedPicture;
    } else {
      value += byte;
    }
  }
  return cutLongField(value, kShownFieldChars);
}

void addProblem(std::string& problem, std::string_view line) {
  if (line.empty()) return;
  if (!problem.empty()) problem += ' ';
  problem += line;
}

// "LINE NAME": a line of mail_window_texts.h and the archive or entry it is about.
std::string about(std::string_view line, const std::string& place) {
  return std::string(line) + " " + place;
}

// The label of message `index` of `content`'s file, for pairing passwords.
std::string labelOf(const MailContent& content, std::size_t index) {
  return content.file->isMbox() ? content.path + "#" + std::to_string(index + 1) : content.path;
}

// The passwords of the password mails of content.file that pair with the archive `name` of the
// mail shown, in the order of the file.
std::vector<archive::Password> pairedPasswords(const MailContent& content,
                                               const std::string& name) {
  std::vector<archive::Password> found;
  const archive::MailFacts facts =
      archive::factsOf(*content.mail, labelOf(content, content.messageIndex));
  for (std::size_t index = 0; index < content.file->messageCount(); ++index) {
    const std::shared_ptr<const mail::Mail> other =
        index == content.messageIndex ? content.mail : content.file->parse(index);
    if (!other) continue;
    archive::MailFacts otherFacts = archive::factsOf(*other, labelOf(content, index));
    std::vector<std::string> passwords = archive::passwordsInText(otherFacts.text);
    if (passwords.empty() || !archive::pairs(facts, name, otherFacts)) continue;
    for (std::string& password : passwords)
      found.push_back({std::move(password), otherFacts.label});
  }
  return found;
}

// Keeps what a listing reports.
class ListingRecord : public archive::UnpackObserver {
 public:
  std::vector<archive::EntryEvent> entries;
  std::optional<archive::ArchiveEvent> ending;  // a listing of a locked archive reports none

  void entry(const archive::EntryEvent& event) override {
    if (event.kind != archive::EntryKind::Folder) entries.push_back(event);
  }
  void archive(const archive::ArchiveEvent& event) override {
    // A nested archive ends before its own: the outermost one ends last.
    ending = event;
  }
};

// Forgets the message shown, leaving the file and its message list.
void clearMessage(MailContent& content) {
  content.mail.reset();
  content.headers = {};
  content.text = {};
  content.attachments = {};
  content.problem.clear();
  content.archiveProblem.clear();
}

}  // namespace

bool breakLongLines(std::string& text, std::size_t maxChars) {
  // Nearly every text has no such line: look before copying.
  std::size_t chars = 0;
  bool tooLong = false;
  for (const char byte : text) {
    if (byte == '\n') {
      chars = 0;
    } else if (startsCharacter(byte) && ++chars > maxChars) {
      tooLong = true;
      break;
    }
  }
  if (!tooLong) return false;
  std::string broken;
  broken.reserve(text.size() + text.size() / maxChars + 1);
  chars = 0;
  for (const char byte : text) {
    if (byte == '\n') {
      chars = 0;
    } else if (startsCharacter(byte) && chars++ == maxChars) {
      broken += '\n';
      chars = 1;
    }
    broken += byte;
  }
  text = std::move(broken);
  return true;
}

bool cutLongField(std::string& value, std::size_t maxChars) {
  std::size_t chars = 0;
  std::size_t kept = 0;  // the bytes of the first maxChars - 1 characters
  for (std::size_t at = 0; at < value.size(); ++at) {
    if (!startsCharacter(value[at])) continue;
    if (chars == maxChars - 1) kept = at;
    if (++chars > maxChars) {
      value.resize(kept);
      value += kEllipsis;
      return true;
    }
  }
  return false;
}

bool loadMailFile(Platform& platform, const std::string& path, MailContent& content,
                  const StepReport& report, const TextRenderer& render) {
  content = MailContent();
  content.path = path;
  try {
    int errorNumber = 0;
    std::shared_ptr<const mail::MailFile> file = mail::MailFile::open(platform, path, errorNumber);
    if (!file) {
      // The fixed title and the OS's reason, on one line.
      std::string reason =
          messages::describeOpenFailure(messages::kDecodeOpenFailed, path, errorNumber);
      for (char& c : reason) {
        if (c == '\n') c = ' ';
      }
      content.problem = std::string(texts::kOpenFailed) + " " + reason;
      return true;
    }
    content.opened = true;
    content.file = file;
    if (file->isMbox()) {
      const std::size_t count = file->messageCount();
      content.messages.reserve(count);
      for (std::size_t index = 0; index < count; ++index) {
        MessageSummary summary;
        if (const auto message = file->parse(index)) {
          const std::vector<mail::HeaderField> fields = message->headers(0);
          summary = {fieldValue(fields, "Date"), fieldValue(fields, "From"),
                     fieldValue(fields, "Subject")};
          shapeField(summary.date);
          shapeField(summary.from);
          shapeField(summary.subject);
        }
        content.messages.push_back(std::move(summary));
        if (!report(index + 1, count)) return false;
      }
    }
    if (file->messageCount() > 0) loadMessage(content, 0, render);
  } catch (const std::bad_alloc&) {
    // The messages listed so far stay listed.
    clearMessage(content);
    content.problem = texts::kMailOutOfMemory;
  }
  return true;
}

void loadMessage(MailContent& content, std::size_t index, const TextRenderer& render) {
  content.messageIndex = index;
  clearMessage(content);
  try {
    int errorNumber = 0;
    std::shared_ptr<const mail::Mail> parsed = content.file->parse(index, &errorNumber);
    if (!parsed) {
      content.problem = errorNumber != 0 ? messages::describeReadFailure(content.path, errorNumber)
                                         : std::string(texts::kNotAMail);
      return;
    }
    content.mail = parsed;
    bool shortened = false;
    if (!parsed->parts().empty()) content.headers = parsed->headers(0);
    for (mail::HeaderField& field : content.headers) shortened |= shapeField(field.value);

    const std::vector<mail::MailPart>& parts = parsed->parts();
    std::string partProblem;
    std::string damagedProblem;
    // The containers that enclose the part looked at, innermost last: each one's row and the
    // start of its members' paths (its own path and '/').
    std::vector<std::pair<std::size_t, std::string>> enclosing;
    for (std::size_t part = 0; part < parts.size(); ++part) {
      const mail::MailPart& shape = parts[part];
      while (!enclosing.empty() && !shape.path.starts_with(enclosing.back().second)) {
        enclosing.pop_back();
      }
      const bool isContainer = shape.role == mail::PartRole::Container;
      if (shape.role != mail::PartRole::Attachment && !isContainer) continue;
      AttachmentEntry entry{part, shape.name, shape.mediaType, parsed->decodedSize(part),
                            shape.truncated};
      shortened |= shapeField(entry.mediaType);
      entry.isContainer = isContainer;
      entry.damaged = isContainer && shape.damaged;
      if (!enclosing.empty()) entry.container = enclosing.back().first;
      if (isContainer) enclosing.emplace_back(content.attachments.size(), shape.path + '/');
      if (!isContainer && archive::partMayBeArchive(*parsed, part))
        entry.archive = ArchiveState::Closed;
      content.attachments.push_back(std::move(entry));
      if (shape.truncated && partProblem.empty()) {
        partProblem = std::string(texts::kTruncatedPart) + " " + shape.name;
      }
      if (shape.damaged && isContainer && damagedProblem.empty()) {
        damagedProblem = std::string(texts::kDamagedContainer) + " " + shape.name;
      }
    }
    // The bound on parts says more than a cut-short attachment: it is shown in its place.
    if (parsed->limitReached()) partProblem = texts::kPartLimit;

    // The text is the one thing of a mail whose size the sender sets freely (a large HTML part
    // renders to megabytes): memory that runs out there still leaves the rest shown.
    try {
      content.text = mail::shownText(render(*parsed));
      shortened |= breakLongLines(content.text, kShownLineChars);
    } catch (const std::bad_alloc&) {
      content.text = {};
      addProblem(content.problem, texts::kTextOutOfMemory);
    }
    addProblem(content.problem, partProblem);
    addProblem(content.problem, damagedProblem);
    if (shortened) addProblem(content.problem, texts::kLongLinesShortened);
  } catch (const std::bad_alloc&) {
    clearMessage(content);
    content.problem = texts::kMailOutOfMemory;
  }
}

std::string describeArchive(const archive::ArchiveEvent& event) {
  using archive::ArchiveStatus;
  switch (event.status) {
    case ArchiveStatus::Unpacked:
      return {};
    case ArchiveStatus::Damaged:
      return about(texts::kArchiveDamaged, event.path);
    case ArchiveStatus::SizeBound:
    case ArchiveStatus::RatioBound:
      return about(texts::kArchiveTooLarge, event.path);
    case ArchiveStatus::TooManyEntries:
      return about(texts::kArchiveTooManyEntries, event.path);
    case ArchiveStatus::TooDeep:
      return about(texts::kArchiveTooDeep, event.path);
    case ArchiveStatus::Shut:
      return about(event.shutReason == archive::ShutReason::Unsupported
                       ? texts::kEncryptionUnsupported
                       : texts::kArchiveShut,
                   event.path);
    case ArchiveStatus::FolderFailed:
      return messages::describeWriteFailure(event.folder, event.errorNumber);
  }
  return {};
}

std::string shownProblem(const MailContent& content) {
  std::string line = content.problem;
  addProblem(line, content.archiveProblem);
  return line;
}

void listArchive(Platform& platform, MailContent& content, std::size_t row,
                 const std::string& password) {
  content.archiveProblem.clear();
  if (!content.mail || row >= content.attachments.size()) return;
  const std::string name = content.attachments[row].name;
  const std::size_t part = content.attachments[row].part;
  try {
    std::vector<archive::Password> candidates = pairedPasswords(content, name);
    if (!password.empty()) candidates.push_back({password, {}});
    const save::AttachmentSaver saver(platform);
    archive::UnpackSettings settings;
    settings.list = true;
    ListingRecord record;
    archive::Unpacker unpacker(platform, saver, settings, record);
    NameRegistry names;
    std::string folderName;
    int errorNumber = 0;
    const archive::PartResult result =
        unpacker.unpackPart(nullptr, names, name, *content.mail, part, name, candidates, false,
                            folderName, errorNumber);

    // The rows listed before (under a password that did not open it) give way to these.
    std::vector<AttachmentEntry>& rows = content.attachments;
    std::erase_if(rows, [row](const AttachmentEntry& entry) {
      return entry.archiveEntry && entry.container == row;
    });
    if (result == archive::PartResult::NotAnArchive) {
      rows[row].archive = ArchiveState::NotAnArchive;
      content.archiveProblem = about(texts::kNotAnArchive, name);
      return;
    }
    if (result == archive::PartResult::Unreadable) {
      content.archiveProblem = errorNumber != 0 ? messages::describeWriteFailure(name, errorNumber)
                                                : name + std::string(texts::kUnreadablePart);
      return;
    }
    const std::string prefix = name + ":";
    for (const archive::EntryEvent& event : record.entries) {
      AttachmentEntry entry;
      entry.part = part;
      entry.name = event.path.starts_with(prefix) ? event.path.substr(prefix.size()) : event.name;
      entry.size = event.size > 0 ? static_cast<std::uint64_t>(event.size) : 0;
      entry.container = row;
      entry.archiveEntry = true;
      entry.place = event.path;
      rows.push_back(std::move(entry));
    }
    AttachmentEntry& archiveRow = rows[row];
    // A locked listing ends without a word of the archive: its names were read, not its data.
    const bool locked = !record.ending && std::any_of(record.entries.begin(), record.entries.end(),
                                                      [](const archive::EntryEvent& event) {
                                                        return event.encrypted;
                                                      });
    if (locked) {
      archiveRow.archive = ArchiveState::Locked;
      content.archiveProblem =
          about(password.empty() ? texts::kPasswordNeeded : texts::kWrongPassword, name);
      return;
    }
    archiveRow.archive = ArchiveState::Listed;
    if (record.ending && record.ending->openedBy) {
      archiveRow.password = record.ending->openedBy->text;
    }
    if (record.ending) content.archiveProblem = describeArchive(*record.ending);
  } catch (const std::bad_alloc&) {
    content.archiveProblem = texts::kMailOutOfMemory;
  }
}

bool runsCode(std::string_view name) {
  static constexpr std::string_view kExtensions[] = {".exe", ".bat", ".cmd", ".js", ".vbs",
                                                     ".scr", ".lnk", ".jar", ".ps1"};
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  const std::string extension = mail::asciiLowercase(name.substr(dot));
  for (const std::string_view known : kExtensions) {
    if (extension == known) return true;
  }
  return false;
}

bool holdsScript(const mail::Mail& mail, std::size_t part) {
  constexpr std::string_view kTag = "<script";
  std::string window;  // the end of the chunk before, so that a tag split between two is found
  bool found = false;
  mail.decode(part, [&](const std::uint8_t* data, std::size_t size) {
    window.append(reinterpret_cast<const char*>(data), size);
    found = mail::asciiLowercase(window).find(kTag) != std::string::npos;
    window.erase(0, window.size() - std::min(window.size(), kTag.size() - 1));
    return !found;
  });
  return found;
}

std::string headerValue(const MailContent& content, std::string_view name) {
  return fieldValue(content.headers, name);
}

std::string_view shownBody(const MailContent& content) {
  const std::string_view text = content.text;
  if (content.headers.empty()) return text;
  const std::size_t end = text.find("\n\n");
  return end == std::string_view::npos ? std::string_view() : text.substr(end + 2);
}

bool loadSource(const MailContent& content, std::string& source, bool& cut, int& errorNumber) {
  source.clear();
  cut = false;
  errorNumber = 0;
  if (!content.file) return true;
  std::optional<std::string> bytes =
      content.file->source(content.messageIndex, kShownSourceBytes, cut, errorNumber);
  if (!bytes) return false;
  source = mail::shownText(mail::sourceText(*bytes));
  breakLongLines(source, kShownLineChars);
  return true;
}
}  // namespace korvani::gui
