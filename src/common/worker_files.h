// The file handling the three workers share: loading a whole source into memory, and writing a
// finished result and reporting what went wrong, each in the worker's own words.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/message_sink.h"
#include "platform/platform.h"

namespace korvani {

// The texts a worker shows for each step of loading its source.
struct SourceTexts {
  std::string_view openFailed;
  std::string_view statusFailed;  // empty: the worker does not read the source's status
  std::string_view imageFailed;   // no memory for the image, or a source of 4 GiB or more
};

struct LoadedSource {
  Block image;               // the whole file, zero-filled past what was read
  std::uint32_t length = 0;  // offsets are 32-bit: a longer source is refused, not truncated
  FileStatus status;         // read before any content, so the times are those it had before
};

// Opens `path` as `mode` says, reads its status (when `texts.statusFailed` is set), allocates a
// zero-filled image of its length and reads the whole file into it; the file is closed again
// before returning. On failure shows the text of the step that failed (an open failure with the
// path and the OS's reason on a second line, a read failure as describeReadFailure) and returns
// false; `source` is then left empty.
bool loadSource(Platform& platform, MessageSink& sink, const std::string& path, ShareMode mode,
                const SourceTexts& texts, LoadedSource& source);

// Writes the `size` bytes at `data` to `path`, treating an entry already there as `existing`
// says, all or nothing. On failure shows `openFailed` with the path and the OS's reason on a
// second line, "PATH: already exists…" for AlreadyExists, or the write failure, and returns false.
bool writeOutput(Platform& platform, MessageSink& sink, const std::string& path,
                 ExistingEntry existing, const std::uint8_t* data, std::size_t size,
                 std::string_view openFailed);

}  // namespace korvani
