#include <unistd.h>

#include <cerrno>

#include "platform/forwarding_platform.h"

namespace korvani {

WriteResult StandardOutputPlatform::writeFile(const std::string& path, const std::uint8_t* data,
                                              std::size_t size) {
  if (path != name) return inner.writeFile(path, data, size);
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

}  // namespace korvani
