// Runs the korvani command in-process on the in-memory platform.
#pragma once

#include <string>
#include <vector>

#include "support/fake_platform.h"

namespace korvani::testing {

struct CliRun {
  int exitCode = -1;
  std::string err;
};

// Runs `korvani ARGUMENTS` on `platform`, capturing what it says on standard error.
CliRun runOn(FakePlatform& platform, const std::vector<std::string>& arguments);

}  // namespace korvani::testing
