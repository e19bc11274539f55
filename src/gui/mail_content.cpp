#include "gui/mail_content.h"

#include <string_view>

#include "common/messages.h"
#include "gui/mail_window_texts.h"
#include "mail/mail_reader.h"

namespace korvani::gui {
namespace {

std::string fieldValue(const std::vector<mail::HeaderField>& fields, std::string_view name) {
  for (const mail::HeaderField& field : fields) {
    if (field.name == name) return field.value;
  }
  return {};
}

}  // namespace

bool loadMailFile(Platform& platform, const std::string& path, MailContent& content,
                  const StepReport& report) {
  content = MailContent();
  content.path = path;
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
      }
      content.messages.push_back(std::move(summary));
      if (!report(index + 1, count)) return false;
    }
  }
  if (file->messageCount() > 0) loadMessage(content, 0);
  return true;
}

void loadMessage(MailContent& content, std::size_t index) {
  content.messageIndex = index;
  content.mail.reset();
  content.headers.clear();
  content.text.clear();
  content.attachments.clear();
  content.problem.clear();
  int errorNumber = 0;
  std::shared_ptr<const mail::Mail> parsed = content.file->parse(index, &errorNumber);
  if (!parsed) {
    content.problem = errorNumber != 0 ? messages::describeReadFailure(content.path, errorNumber)
                                       : std::string(texts::kNotAMail);
    return;
  }
  content.mail = parsed;
  if (!parsed->parts().empty()) content.headers = parsed->headers(0);
  content.text = mail::renderMail(*parsed);
  const std::vector<mail::MailPart>& parts = parsed->parts();
  for (std::size_t part = 0; part < parts.size(); ++part) {
    if (parts[part].role != mail::PartRole::Attachment) continue;
    content.attachments.push_back({part, parts[part].name, parts[part].mediaType,
                                   parsed->decodedSize(part), parts[part].truncated});
    if (parts[part].truncated && content.problem.empty()) {
      content.problem = std::string(texts::kTruncatedPart) + " " + parts[part].name;
    }
  }
  // The bound on parts says more than a cut-short attachment: it is shown in its place.
  if (parsed->limitReached()) content.problem = texts::kPartLimit;
}

}  // namespace korvani::gui
