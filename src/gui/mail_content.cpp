#include "gui/mail_content.h"

#include <new>
#include <string_view>
#include <utility>

#include "common/messages.h"
#include "gui/mail_window_texts.h"
#include "mail/shown_text.h"

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

// Forgets the message shown, leaving the file and its message list.
void clearMessage(MailContent& content) {
  content.mail.reset();
  content.headers = {};
  content.text = {};
  content.attachments = {};
  content.problem.clear();
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

}  // namespace korvani::gui
