#include "cli/cli_texts.h"

#include <cstring>

namespace korvani::cli::texts {
namespace {

std::string withReason(std::string_view pattern, std::string_view path, int errorNumber) {
  const std::string reason =
      errorNumber != 0 ? std::string(std::strerror(errorNumber)) : tr(N_("unknown reason"));
  return format(pattern, {path, reason});
}

}  // namespace

std::string about(std::string_view path, std::string_view text) {
  std::string line(path);
  line += ": ";
  line += tr(text);
  return line;
}

std::string containerDamaged(std::string_view mail, const mail::MailPart& part) {
  return format(tr(N_("%s: %s (part %s) is damaged; what could be read of it is kept")),
                {mail, part.name, part.path});
}

std::string openFailed(std::string_view path, int errorNumber) {
  return withReason(tr(N_("%s: cannot be opened: %s")), path, errorNumber);
}

std::string readFailed(std::string_view path, int errorNumber) {
  return withReason(tr(N_("%s: cannot be read: %s")), path, errorNumber);
}

std::string writeFailed(std::string_view path, int errorNumber) {
  return withReason(tr(N_("%s: cannot be written: %s")), path, errorNumber);
}

std::string folderFailed(std::string_view path, int errorNumber) {
  return withReason(tr(N_("%s: the folder cannot be made: %s")), path, errorNumber);
}

std::string outputIsInput(std::string_view output, std::string_view mail) {
  return format(tr(N_("%s is the mail %s itself; choose another output")), {output, mail});
}

}  // namespace korvani::cli::texts
