// An mbox file cut into its messages, without holding the file in memory.
//
// A message starts after each "From " line that opens the file or follows an empty line; it ends
// before the empty line that precedes the next such line, or at the end of the file. Lines that
// are "From " escaped by one or more '>' (mboxo and mboxrd) are marked, so that only the messages
// holding one need to be read once more to find them: each such line loses one '>' as the
// message is read, with no copy of it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace korvani::mail {

struct MboxMessage {
  std::uint64_t begin = 0;  // offset of the message's first header line
  std::uint64_t end = 0;    // offset just past its last byte
  bool hasEscapedFrom = false;
};

// Whether a file starting with `head` is an mbox file: it starts with "From ".
bool looksLikeMbox(std::string_view head);

// Reads up to `size` bytes into `buffer`; returns how many (0 at the end), or -1 on an error.
using ChunkReader = std::function<long(char* buffer, std::size_t size)>;

// Cuts the stream `read` delivers from its start. Returns false when a read fails.
bool splitMbox(const ChunkReader& read, std::vector<MboxMessage>& messages);

// The offsets of the '>' to take away from the stream `read` delivers, which starts at offset
// `begin`: the first one of each line that is '>'* "From " with at least one '>'. Returns false
// when a read fails.
bool escapedFromOffsets(const ChunkReader& read, std::uint64_t begin,
                        std::vector<std::uint64_t>& offsets);

}  // namespace korvani::mail
