#include "mail/mbox_splitter.h"

#include <array>

namespace korvani::mail {
namespace {

bool isEscapedFrom(std::string_view line) {
  std::size_t quotes = 0;
  while (quotes < line.size() && line[quotes] == '>') ++quotes;
  return quotes > 0 && line.substr(quotes, 5) == "From ";
}

}  // namespace

bool looksLikeMbox(std::string_view head) { return head.substr(0, 5) == "From "; }

namespace {

// Only a line's first bytes matter ("From ", ">>>From "), so a line is kept up to a bound.
constexpr std::size_t kLineHead = 64;

// Calls `line(start, head, next)` for each line of the stream `read` delivers from offset
// `offset`: where it starts, its first kLineHead bytes (without the LF) and where the next one
// starts. Returns false when a read fails.
template <typename OnLine>
bool forEachLine(const ChunkReader& read, std::uint64_t offset, OnLine&& line) {
  std::array<char, 65536> chunk;
  std::string head;
  std::uint64_t lineStart = offset;
  bool atLineStart = true;
  for (;;) {
    const long got = read(chunk.data(), chunk.size());
    if (got < 0) return false;
    if (got == 0) break;
    for (long i = 0; i < got; ++i) {
      const char c = chunk[static_cast<std::size_t>(i)];
      ++offset;
      atLineStart = false;
      if (c == '\n') {
        line(lineStart, std::string_view(head), offset);
        head.clear();
        lineStart = offset;
        atLineStart = true;
      } else if (head.size() < kLineHead) {
        head.push_back(c);
      }
    }
  }
  if (!atLineStart) line(lineStart, std::string_view(head), offset);
  return true;
}

}  // namespace

bool splitMbox(const ChunkReader& read, std::vector<MboxMessage>& messages) {
  messages.clear();
  bool previousEmpty = true;  // the file's start counts as following an empty line
  std::uint64_t previousStart = 0;
  bool inMessage = false;
  std::uint64_t end = 0;
  const bool read_ =
      forEachLine(read, 0, [&](std::uint64_t start, std::string_view line, std::uint64_t next) {
        const bool empty = line.empty() || line == "\r";
        if (previousEmpty && line.substr(0, 5) == "From ") {
          if (inMessage) messages.back().end = previousStart;  // before the empty line
          messages.push_back({next, next, false});
          inMessage = true;
        } else if (inMessage && isEscapedFrom(line)) {
          messages.back().hasEscapedFrom = true;
        }
        previousEmpty = empty;
        previousStart = start;
        end = next;
      });
  if (!read_) return false;
  if (inMessage) messages.back().end = end;
  return true;
}

bool escapedFromOffsets(const ChunkReader& read, std::uint64_t begin,
                        std::vector<std::uint64_t>& offsets) {
  offsets.clear();
  return forEachLine(read, begin, [&](std::uint64_t start, std::string_view line, std::uint64_t) {
    if (isEscapedFrom(line)) offsets.push_back(start);
  });
}

}  // namespace korvani::mail
