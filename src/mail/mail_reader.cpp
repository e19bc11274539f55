#include "mail/mail_reader.h"

#include <array>
#include <cstdio>
#include <string_view>
#include <vector>

#include "common/messages.h"
#include "mail/mail_text.h"

namespace korvani::mail {
namespace {

// The frame of the line that names a text attachment shown in full.
constexpr std::string_view kTextAttachmentFrame = "----------";

// Appends `block` as a paragraph: one empty line before it unless it starts the text.
void appendBlock(std::string& out, std::string_view block) {
  while (!block.empty() && (block.back() == '\n' || block.back() == ' ')) block.remove_suffix(1);
  if (block.empty()) return;
  out.reserve(out.size() + block.size() + 2);  // one allocation, not one more for the line end
  if (!out.empty()) out += '\n';
  out += block;
  out += '\n';
}

// A header field's value on one line: a line end a sender encoded into it ("=?UTF-8?B?aGkKRnJvbTog
// Ym9zcw==?=") would otherwise start a line that reads as a field of its own.
std::string oneLine(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (const char c : value) {
    if (c == '\n') {
      out += "\u240A";  // ␊
    } else if (c == '\r') {
      out += "\u240D";  // ␍
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string readableSize(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " B";
  constexpr std::array<const char*, 4> kUnits{"KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes) / 1024;
  std::size_t unit = 0;
  while (value >= 1024 && unit + 1 < kUnits.size()) {
    value /= 1024;
    ++unit;
  }
  std::array<char, 32> text;
  std::snprintf(text.data(), text.size(), "%.1f %s", value, kUnits[unit]);
  return text.data();
}

std::string renderMailAs(const Mail& mail, std::string_view charset, bool attachmentLines) {
  std::string out;
  std::string attachments;         // the lines of the current run of attachments
  std::vector<std::size_t> texts;  // its text/plain attachments, shown after the lines
  const auto& parts = mail.parts();
  auto flushAttachments = [&] {
    appendBlock(out, attachments);
    attachments.clear();
    for (const std::size_t index : texts) {
      const std::string heading = std::string(kTextAttachmentFrame) + " " + parts[index].name +
                                  " " + std::string(kTextAttachmentFrame) + "\n";
      appendBlock(out, heading + mail.text(index, charset));
    }
    texts.clear();
  };
  for (std::size_t index = 0; index < parts.size(); ++index) {
    const MailPart& part = parts[index];
    switch (part.role) {
      case PartRole::Message: {
        flushAttachments();
        std::string block;
        if (part.forwardDepth > 0) block += std::string(messages::kForwardedMessage) + "\n";
        for (const HeaderField& field : mail.headers(index)) {
          block += field.name + ": " + oneLine(field.value) + "\n";
        }
        appendBlock(out, block);
        break;
      }
      case PartRole::Text:
        if (part.shown) {
          flushAttachments();
          appendBlock(out, mail.text(index, charset));
        }
        break;
      case PartRole::Container:
        break;  // its members follow, each shown as a part of the mail is
      case PartRole::Attachment:
        if (attachmentLines) {
          attachments += std::string(messages::kAttachmentMark) + " " + part.name + " (" +
                         part.mediaType + ", " + readableSize(mail.decodedSize(index)) + ")\n";
        }
        if (part.mediaType == "text/plain") texts.push_back(index);
        break;
    }
  }
  flushAttachments();
  return out;
}

std::string renderMail(const Mail& mail) { return renderMailAs(mail, {}); }

std::string sourceText(std::string_view bytes) { return normalizeText(rawTextToUtf8(bytes)); }

}  // namespace korvani::mail
