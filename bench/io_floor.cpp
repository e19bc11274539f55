// The floor of a whole-file conversion done in memory, for compare.sh: what korvani's frame costs
// before any byte is converted.
//
//   korvani_io_floor INPUT OUTPUT_BYTES OUTPUT
//
// Reads INPUT whole into a new block and fills a second new block of OUTPUT_BYTES by memcpy from
// it, as korvani obtains and reads its blocks, then writes that block to OUTPUT as korvani
// writes its results. A conversion in the same design cannot take less time than this process.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/posix_platform.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: korvani_io_floor INPUT OUTPUT_BYTES OUTPUT\n", stderr);
    return 2;
  }
  korvani::PosixPlatform platform;
  std::unique_ptr<korvani::ReadableFile> file =
      platform.openForReading(argv[1], korvani::ShareMode::Exclusive);
  if (!file) return 1;
  const std::uint64_t length = file->length();
  korvani::Block image = platform.allocateZeroed(length);
  if (!image || file->read(image.data(), length) != 0) return 1;
  file.reset();
  const std::size_t size = std::strtoull(argv[2], nullptr, 10);
  korvani::Block output = platform.allocateZeroed(size);
  if (!output) return 1;
  for (std::size_t done = 0; done < size && length > 0;) {
    const std::size_t piece = size - done < length ? size - done : length;
    std::memcpy(output.data() + done, image.data(), piece);
    done += piece;
  }
  return platform.writeFile(argv[3], output.data(), size).status == korvani::WriteStatus::Written
             ? 0
             : 1;
}
