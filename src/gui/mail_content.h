// What the mail window shows of one mail file, read by the engine away from the window.
//
// These functions are plain C++ over the engine's header and take no Qt types, so that the
// window can run them on a worker thread: each call reads, fills a MailContent and returns; the
// window then shows it. A MailContent is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mail/mail_engine.h"

namespace korvani {
class Platform;
}

namespace korvani::gui {

struct AttachmentEntry {
  std::size_t part = 0;    // its index in Mail::parts()
  std::string name;        // the engine's safe file name, UTF-8
  std::string mediaType;   // lower-case type/subtype
  std::uint64_t size = 0;  // decoded
  bool truncated = false;
};

// One message of an mbox file, for the message list.
struct MessageSummary {
  std::string date;
  std::string from;
  std::string subject;
};

struct MailContent {
  std::string path;     // the file's bytes as the file system spells them
  bool opened = false;  // false: the file could not be opened or read at all
  std::shared_ptr<const mail::MailFile> file;
  std::vector<MessageSummary> messages;  // one per message of an mbox file; empty otherwise

  // The message shown: index within the file, the mail (null when it is not a mail), its
  // decoded header fields, its text as `korvani read` writes it, and its attachments.
  std::size_t messageIndex = 0;
  std::shared_ptr<const mail::Mail> mail;
  std::vector<mail::HeaderField> headers;
  std::string text;
  std::vector<AttachmentEntry> attachments;

  // One line saying what went wrong; empty when all of it could be read.
  std::string problem;
};

// Called after each step of a long read with the steps done and the steps there are; returns
// false to stop.
using StepReport = std::function<bool(std::uint64_t done, std::uint64_t total)>;

// Opens the file at `path` through `platform`, summarises every message when it is an mbox file
// (one step each), and reads its first message. Returns false when `report` stopped it; `content`
// is then incomplete. A file that cannot be read gives opened == false and the reason in `problem`.
// `platform` is used only within the call, on the calling thread.
bool loadMailFile(Platform& platform, const std::string& path, MailContent& content,
                  const StepReport& report);

// Reads message `index` of the already opened content.file into `content`.
void loadMessage(MailContent& content, std::size_t index);

}  // namespace korvani::gui
