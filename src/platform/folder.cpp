#include "platform/folder.h"

#include <sys/stat.h>

#include <cerrno>

namespace korvani {

bool makeFolder(const std::string& path, int& errorNumber) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  if (errno != EEXIST) {
    errorNumber = errno;
    return false;
  }
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    errorNumber = errno;
    return false;
  }
  if (!S_ISDIR(status.st_mode)) {
    errorNumber = ENOTDIR;
    return false;
  }
  return true;
}

}  // namespace korvani
