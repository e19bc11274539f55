#include "common/worker_files.h"

#include <limits>
#include <memory>

#include "common/messages.h"

namespace korvani {

bool loadSource(Platform& platform, MessageSink& sink, const std::string& path, ShareMode mode,
                const SourceTexts& texts, LoadedSource& source) {
  source = LoadedSource();
  int openError = 0;
  std::unique_ptr<ReadableFile> file = platform.openForReading(path, mode, &openError);
  if (!file) {
    sink.showMessage(messages::describeOpenFailure(texts.openFailed, path, openError));
    return false;
  }
  if (!texts.statusFailed.empty() && !platform.readStatus(path, source.status)) {
    sink.showMessage(texts.statusFailed);
    return false;
  }
  const std::uint64_t length = file->length();
  if (length <= std::numeric_limits<std::uint32_t>::max()) {
    source.image = platform.allocateZeroed(length);
  }
  if (!source.image) {
    sink.showMessage(texts.imageFailed);
    return false;
  }
  source.length = static_cast<std::uint32_t>(length);
  if (const int error = file->read(source.image.data(), source.length)) {
    source = LoadedSource();
    sink.showMessage(messages::describeReadFailure(path, error));
    return false;
  }
  return true;
}

bool writeOutput(Platform& platform, MessageSink& sink, const std::string& path,
                 ExistingEntry existing, const std::uint8_t* data, std::size_t size,
                 std::string_view openFailed) {
  const WriteResult result = platform.writeFile(path, data, size, existing);
  switch (result.status) {
    case WriteStatus::Written:
      return true;
    case WriteStatus::OpenFailed:
      sink.showMessage(messages::describeOpenFailure(openFailed, path, result.errorNumber));
      return false;
    case WriteStatus::AlreadyExists:
      sink.showMessage(path + ": " + std::string(messages::kOutputExists));
      return false;
    case WriteStatus::WriteFailed:
      sink.showMessage(messages::describeWriteFailure(path, result.errorNumber));
      return false;
  }
  return false;
}

}  // namespace korvani
