// The memory-bandwidth limit of compare.sh: how long a memcpy of BYTES takes on this machine.
//
//   korvani_memcpy_limit BYTES [RUNS]
//
// Prints two medians over RUNS (default 5) in seconds: a copy into a block just obtained the
// way korvani obtains its result blocks (so the first touch of its pages is included, as every
// whole-file conversion pays it), and the same copy again into that block once its pages are
// in place (bandwidth alone). The source is filled and touched beforehand.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/posix_platform.h"

namespace {

double secondsOf(void (*copy)(std::uint8_t*, const std::uint8_t*, std::size_t),
                 std::uint8_t* destination, const std::uint8_t* source, std::size_t size) {
  const auto start = std::chrono::steady_clock::now();
  copy(destination, source, size);
  const auto end = std::chrono::steady_clock::now();
  return std::chrono::duration<double>(end - start).count();
}

void copyBytes(std::uint8_t* destination, const std::uint8_t* source, std::size_t size) {
  std::memcpy(destination, source, size);
  // Keeps the copy from being left out as unused.
  asm volatile("" : : "r"(destination) : "memory");
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[(values.size() - 1) / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: korvani_memcpy_limit BYTES [RUNS]\n", stderr);
    return 2;
  }
  const std::size_t size = std::strtoull(argv[1], nullptr, 10);
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  korvani::PosixPlatform platform;
  korvani::Block source = platform.allocateZeroed(size);
  if (!source) return 1;
  std::memset(source.data(), 0x5A, size);
  std::vector<double> fresh, warm;
  for (int run = 0; run < runs; ++run) {
    korvani::Block destination = platform.allocateZeroed(size);
    if (!destination) return 1;
    fresh.push_back(secondsOf(copyBytes, destination.data(), source.data(), size));
    warm.push_back(secondsOf(copyBytes, destination.data(), source.data(), size));
  }
  std::printf("%.6f %.6f\n", median(fresh), median(warm));
  return 0;
}
