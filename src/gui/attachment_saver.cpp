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
    WriteResult result;
    auto file = platform.createFile(
        item.target, item.replace ? ExistingEntry::ReplaceEntry : ExistingEntry::Keep, result);
    bool stopped = false;
    bool read = true;
    if (file) {
      read = mail.decode(item.part, [&](const std::uint8_t* data, std::size_t size) {
        result = file->write(data, size);
        done += size;
        if (result.status != WriteStatus::Written) return false;
        stopped = !report(done, total);
        return !stopped;
      });
      // Destroying the file uncommitted leaves nothing behind.
      if (stopped) {
        outcome.stopped = true;
        return outcome;
      }
      if (result.status == WriteStatus::Written && !read) {
        outcome.failures.push_back(item.target +
                                   std::string(messages::mailwindow::kUnreadablePart));
        continue;
      }
      if (result.status == WriteStatus::Written) result = file->commit();
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
