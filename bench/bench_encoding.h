// The encoders the benchmark data makers share, written out plainly and independently of the
// code under test, so that a fault there cannot hide in the data.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvani::bench {

// `data` in Base64 (RFC 4648), padded, on one line.
std::string base64(std::string_view data);

// `data` in Base64 lines of 76 characters, each followed by `lineEnd`.
std::string base64Lines(std::string_view data, std::string_view lineEnd);

// `size` pseudo-random bytes, the same ones every time (splitmix64 from a fixed seed).
std::string makeRandom(std::size_t size);

}  // namespace korvani::bench
