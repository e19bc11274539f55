#include "platform/message_language.h"

#include <libintl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <clocale>

namespace korvani {
namespace {

// The folder the running program lies in, or "" when /proc cannot tell.
std::string programFolder() {
  std::array<char, 4096> path{};
  const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (length <= 0) return {};
  std::string folder(path.data(), static_cast<std::size_t>(length));
  const std::size_t slash = folder.rfind('/');
  return slash == std::string::npos ? std::string() : folder.substr(0, slash);
}

bool isFolder(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

void useMessageLanguage(const std::string& domain, const std::string& installedFolder) {
  std::setlocale(LC_MESSAGES, "");
  std::string folder = installedFolder;
  if (const std::string program = programFolder(); !program.empty()) {
    for (const std::string& candidate : {program + "/locale", program + "/../share/locale"}) {
      if (isFolder(candidate)) {
        folder = candidate;
        break;
      }
    }
  }
  ::bindtextdomain(domain.c_str(), folder.c_str());
  ::bind_textdomain_codeset(domain.c_str(), "UTF-8");
  // strerror() translates through the C library's own domain: in UTF-8 too, as the rest.
  ::bind_textdomain_codeset("libc", "UTF-8");
}

}  // namespace korvani
