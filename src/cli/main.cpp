#include <cstdio>

#include "cli/cli_front_end.h"
#include "cli/cli_texts.h"
#include "common/messages.h"
#include "platform/posix_platform.h"
#include "platform/standard_output_platform.h"

int main(int argc, char** argv) {
  korvani::PosixPlatform platform;
  korvani::cli::Environment environment{platform, stderr};
  int status = korvani::cli::run(argc, argv, environment);
  if (const int error = korvani::closeStandardOutput(); error != 0) {
    korvani::cli::printError(environment, korvani::messages::describeWriteFailure(
                                              korvani::cli::texts::kStandardOutput, error));
    if (status == korvani::cli::kExitConverted) status = korvani::cli::kExitFailed;
  }
  return status;
}
