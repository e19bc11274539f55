#include "support/cli_run.h"

#include <cstdio>
#include <cstdlib>

#include "cli/cli_front_end.h"

namespace korvani::testing {

CliRun runOn(FakePlatform& platform, const std::vector<std::string>& arguments) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* stream = ::open_memstream(&buffer, &size);
  cli::Environment environment{platform, stream};
  std::vector<const char*> argv{"korvani"};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  CliRun run;
  run.exitCode = cli::run(static_cast<int>(argv.size()), argv.data(), environment);
  std::fclose(stream);
  run.err.assign(buffer, size);
  std::free(buffer);
  return run;
}

}  // namespace korvani::testing
