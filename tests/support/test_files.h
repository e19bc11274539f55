// Helpers for tests that touch the real disk or run the real binary.
#pragma once

#include <string>
#include <vector>

namespace korvani::testing {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it on destruction.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // `text` with each "{name}" replaced by file(name): expected messages that name a path.
  std::string expand(std::string text) const;

 private:
  std::string path_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
bool fileExists(const std::string& path);

// The names in `folder`, sorted: to see that nothing (no temporary file) was left behind.
std::vector<std::string> entriesOf(const std::string& folder);

// Bytes 0..255 repeated or random bytes of a given length, for round trips.
std::string randomBytes(std::size_t length, unsigned seed);

struct CommandResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs the built `korvani` binary with `arguments` (no shell), in `workingDirectory` when given,
// with standard input from /dev/null.
CommandResult runKorvani(const std::vector<std::string>& arguments,
                         const std::string& workingDirectory = std::string());

// Runs any program the same way; `program` is looked up in PATH. A non-zero
// `addressSpaceLimit` caps the child's address space (RLIMIT_AS) in bytes, so that large
// allocations fail in it.
CommandResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& workingDirectory = std::string(),
                         std::size_t addressSpaceLimit = 0);

// Runs the built `korvani` binary with its address space capped at `addressSpaceLimit` bytes.
CommandResult runKorvaniWithAddressSpace(const std::vector<std::string>& arguments,
                                         std::size_t addressSpaceLimit);

}  // namespace korvani::testing
