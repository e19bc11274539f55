#include "support/test_files.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>

namespace korvani::testing {

ScopedTempDir::ScopedTempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/korvani-test-XXXXXX";
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ignored;
  // Give back write permission first, so read-only files and folders made by a test go too.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(path_, ignored);
}

std::string ScopedTempDir::expand(std::string text) const {
  for (std::size_t open = text.find('{'); open != std::string::npos; open = text.find('{', open)) {
    const std::size_t close = text.find('}', open);
    if (close == std::string::npos) break;
    const std::string path = file(text.substr(open + 1, close - open - 1));
    text.replace(open, close - open + 1, path);
    open += path.size();
  }
  return text;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

bool fileExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

std::vector<std::string> entriesOf(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string randomBytes(std::size_t length, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(length, '\0');
  for (auto& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
  return bytes;
}

CommandResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& workingDirectory, std::size_t addressSpaceLimit) {
  ScopedTempDir capture;
  const std::string outPath = capture.file("out");
  const std::string errPath = capture.file("err");
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  const pid_t child = ::fork();
  if (child == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (!workingDirectory.empty() && ::chdir(workingDirectory.c_str()) != 0) ::_exit(127);
    if (addressSpaceLimit != 0) {
      const struct rlimit limit = {addressSpaceLimit, addressSpaceLimit};
      if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(126);
    }
    ::execvp(program.c_str(), argv.data());
    ::_exit(127);
  }
  CommandResult result;
  int status = 0;
  ::waitpid(child, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = readFile(outPath);
  result.err = readFile(errPath);
  return result;
}

CommandResult runKorvani(const std::vector<std::string>& arguments,
                         const std::string& workingDirectory) {
  return runProgram(KORVANI_BINARY, arguments, workingDirectory);
}

}  // namespace korvani::testing

namespace korvani::testing {

CommandResult runKorvaniWithAddressSpace(const std::vector<std::string>& arguments,
                                         std::size_t addressSpaceLimit) {
  return runProgram(KORVANI_BINARY, arguments, std::string(), addressSpaceLimit);
}

}  // namespace korvani::testing
