#include "gui/attachment_saver.h"

#include "common/messages.h"

namespace korvani::gui {

SaveOutcome saveAttachments(Platform& platform, const mail::Mail& mail,
                            const std::vector<SaveItem>& items, const std::string& source,
                            const ByteReport& report) {
  SaveOutcome outcome;
  std::uint64_t total = 0;
  for (const SaveItem& item : items) total += item.size;
  FileStatus sourceStatus;
  const bool stampTimes = platform.readStatus(source, sourceStatus) && sourceStatus.regularFile;

  std::uint64_t done = 0;
  for (const SaveItem& item : items) {
    if (!report(done, total)) {
      outcome.stopped = true;
      return outcome;
    }
    if (platform.sameFile(item.target, source)) {
      outcome.failures.push_back(item.target + std::string(messages::mailwindow::kTargetIsSource));
      continue;
    }
    bool stopped = false;
    bool read = false;
    const WriteResult result = platform.writeFileFrom(
        item.target, item.replace ? ExistingEntry::ReplaceEntry : ExistingEntry::Keep,
        [&](const Platform::ChunkWriter& write) {
          return mail.decode(item.part, [&](const std::uint8_t* data, std::size_t size) {
            const bool written = write(data, size);
            done += size;
            if (!written) return false;
            stopped = !report(done, total);
            return !stopped;
          });
        },
        read);
    // A stopped item was not committed, so it left nothing behind.
    if (stopped) {
      outcome.stopped = true;
      return outcome;
    }
    if (result.status == WriteStatus::Written && !read) {
      outcome.failures.push_back(item.target + std::string(messages::mailwindow::kUnreadablePart));
      continue;
    }
    switch (result.status) {
      case WriteStatus::Written:
        ++outcome.written;
        if (stampTimes) stampFileTimes(platform, sourceStatus, item.target);
        if (mail.parts()[item.part].truncated) {
          outcome.failures.push_back(std::string(messages::mailwindow::kTruncatedPart) + " " +
                                     item.target);
        }
        break;
      case WriteStatus::AlreadyExists:
        outcome.failures.push_back(item.target + std::string(messages::mailwindow::kTargetExists));
        break;
      case WriteStatus::OpenFailed:
      case WriteStatus::WriteFailed:
        outcome.failures.push_back(messages::describeWriteFailure(item.target, result.errorNumber));
        break;
    }
  }
  report(done, total);
  return outcome;
}

}  // namespace korvani::gui
