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

bool splitMbox(const ChunkReader& read, std::vector<MboxMessage>& messages) {
  messages.clear();
  std::array<char, 65536> chunk;
  // Only a line's first bytes matter ("From ", ">>>From "), so a line is kept up to a bound.
  constexpr std::size_t kLineHead = 64;
  std::string head;
  std::uint64_t lineStart = 0;
  std::uint64_t offset = 0;
  bool previousEmpty = true;  // the file's start counts as following an empty line
  std::uint64_t previousStart = 0;
  bool inMessage = false;
  bool atLineStart = true;
  auto endOfLine = [&](std::uint64_t next) {
    const std::string_view line(head);
    const bool empty = line.empty() || line == "\r";
    if (previousEmpty && line.substr(0, 5) == "From ") {
      if (inMessage) messages.back().end = previousStart;  // before the empty line
      messages.push_back({next, next, false});
      inMessage = true;
    } else if (inMessage && isEscapedFrom(line)) {
      messages.back().hasEscapedFrom = true;
    }
    previousEmpty = empty;
    previousStart = lineStart;
    lineStart = next;
    head.clear();
  };
  for (;;) {
    const long got = read(chunk.data(), chunk.size());
    if (got < 0) return false;
    if (got == 0) break;
    for (long i = 0; i < got; ++i) {
      const char c = chunk[static_cast<std::size_t>(i)];
      ++offset;
      atLineStart = false;
      if (c == '\n') {
        endOfLine(offset);
        atLineStart = true;
      } else if (head.size() < kLineHead) {
        head.push_back(c);
      }
    }
  }
  if (!atLineStart) endOfLine(offset);
  if (inMessage) messages.back().end = offset;
  return true;
}

std::string unescapeFromLines(std::string_view message) {
  std::string out;
  out.reserve(message.size());
  std::size_t at = 0;
  while (at < message.size()) {
    std::size_t end = message.find('\n', at);
    end = end == std::string_view::npos ? message.size() : end + 1;
    const std::string_view line = message.substr(at, end - at);
    out.append(isEscapedFrom(line) ? line.substr(1) : line);
    at = end;
  }
  return out;
}

}  // namespace korvani::mail
