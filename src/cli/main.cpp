#include <cstdio>

#include "cli/cli_front_end.h"
#include "platform/posix_platform.h"

int main(int argc, char** argv) {
  korvani::PosixPlatform platform;
  korvani::cli::Environment environment{platform, stderr};
  return korvani::cli::run(argc, argv, environment);
}
