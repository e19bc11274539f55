#include "mail/attachment_count.h"

#include <algorithm>

#include "mail/mail_engine.h"

namespace korvani::mail {

std::size_t countAttachments(Platform& platform, const std::string& path) {
  int errorNumber = 0;
  const std::unique_ptr<MailFile> file = MailFile::open(platform, path, errorNumber);
  if (!file) return 0;
  std::size_t count = 0;
  for (std::size_t index = 0; index < file->messageCount(); ++index) {
    const std::unique_ptr<Mail> mail = file->parse(index);
    if (!mail) continue;
    count += static_cast<std::size_t>(
        std::count_if(mail->parts().begin(), mail->parts().end(),
                      [](const MailPart& part) { return part.role == PartRole::Attachment; }));
  }
  return count;
}

}  // namespace korvani::mail
