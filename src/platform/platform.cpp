#include "platform/platform.h"

namespace korvani {

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

void stampFileTimes(Platform& platform, const FileStatus& sourceStatus,
                    const std::string& outputPath) {
  FileStatus outputStatus;
  if (!platform.readStatus(outputPath, outputStatus) || !outputStatus.regularFile) return;
  outputStatus.times = sourceStatus.times;
  platform.setFileTimes(outputPath, outputStatus.times);
}

WriteResult Platform::writeFile(const std::string& path, const std::uint8_t* data, std::size_t size,
                                ExistingEntry existing) {
  WriteResult result;
  std::unique_ptr<NewFile> file = createFile(path, existing, result);
  if (!file) return result;
  result = file->write(data, size);
  if (result.status != WriteStatus::Written) return result;
  return file->commit();
}

}  // namespace korvani
