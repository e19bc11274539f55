#include <cstdio>

#include "cli/cli_front_end.h"
#include "cli/cli_texts.h"
#include "platform/message_language.h"
#include "platform/posix_platform.h"
#include "platform/standard_output_platform.h"

int main(int argc, char** argv) {
  korvani::useMessageLanguage(korvani::cli::kTextDomain, KORVANI_LOCALE_FOLDER);
  korvani::PosixPlatform platform;
  korvani::cli::Environment environment{platform, stderr};
  int status = korvani::cli::run(argc, argv, environment);
  if (const int error = korvani::closeStandardOutput(); error != 0) {
    korvani::cli::printError(environment,
                             korvani::cli::texts::writeFailed(
                                 korvani::cli::tr(korvani::cli::texts::kStandardOutput), error));
    if (status == korvani::cli::kExitConverted) status = korvani::cli::kExitFailed;
  }
  return status;
}
