#include "platform/platform.h"

namespace korvani {

void stampFileTimes(Platform& platform, const FileStatus& sourceStatus, const std::string& outputPath) {
  FileStatus outputStatus;
  if (!platform.readStatus(outputPath, outputStatus)) return;
  outputStatus.times = sourceStatus.times;
  platform.setFileTimes(outputPath, outputStatus.times);
}

}  // namespace korvani
