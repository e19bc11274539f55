// Writes attachments of a mail to files, through the platform's one way of creating files.
//
// Plain C++ over the engine and the platform, run by the mail window on a worker thread. A file
// is created whole or not at all: an attachment stopped half-way, by the user or by a broken
// mail, leaves nothing behind. A link at a target name is never followed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "mail/mail_engine.h"
#include "platform/platform.h"

namespace korvani::gui {

struct SaveItem {
  std::size_t part = 0;    // index in Mail::parts()
  std::string target;      // the file to create
  std::uint64_t size = 0;  // its decoded size, for the progress report
  // Whether the user agreed to replace an entry already at `target`. When false, an entry
  // there (even one that appeared after the question) makes the item fail.
  bool replace = false;
};

struct SaveOutcome {
  std::size_t written = 0;
  bool stopped = false;               // the report asked to stop; later items were not tried
  std::vector<std::string> failures;  // one line per item that failed, UTF-8
};

// Called as bytes are written, with the bytes done and the bytes there are; returns false to
// stop. Called at least once per item.
using ByteReport = std::function<bool(std::uint64_t done, std::uint64_t total)>;

// Writes each item's decoded part to its target, in order. A target that is the mail file
// `source` itself is refused. Each written file gets the times of `source`, as `extract` does.
// The mail ends inside a truncated part: what is there is written and a failure line says so.
SaveOutcome saveAttachments(Platform& platform, const mail::Mail& mail,
                            const std::vector<SaveItem>& items, const std::string& source,
                            const ByteReport& report);

}  // namespace korvani::gui
