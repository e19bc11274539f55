#include "platform/standard_output_platform.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace korvani {
namespace {

// Standard output stays open after the conversion: commit() has nothing to put in place.
class StandardOutputFile : public NewFile {
 public:
  WriteResult write(const std::uint8_t* data, std::size_t size) override {
    while (size > 0) {
      const ssize_t n = ::write(STDOUT_FILENO, data, size);
      if (n < 0) {
        if (errno == EINTR) continue;
        return {WriteStatus::WriteFailed, errno};
      }
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return {};
  }
  WriteResult commit() override { return {}; }
};

}  // namespace

std::unique_ptr<NewFile> StandardOutputPlatform::createFile(const std::string& path,
                                                            ExistingEntry existing,
                                                            WriteResult& result) {
  if (path != kName) return inner.createFile(path, existing, result);
  result = {};
  return std::make_unique<StandardOutputFile>();
}

int closeStandardOutput() {
  if (std::fclose(stdout) == 0 || errno == EBADF) return 0;
  return errno;
}

}  // namespace korvani
