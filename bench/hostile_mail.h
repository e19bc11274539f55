// The hostile shapes of mail that bench/hostile.sh measures: inputs a careless parser spends
// quadratic time or unbounded memory on, each beside an ordinary mail of the same size.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace korvani::bench {

// One made mail (or mbox file), and what it holds in a few words ("4 612 parts"), for the
// table; `summary` is empty when the size says it all.
struct HostileMail {
  std::string bytes;
  std::string summary;
};

struct HostileShape {
  const char* name;
  const char* description;
  HostileMail (*make)(std::size_t size);
};

// Every shape, in the order of the benchmark's table. Each `make` gives about `size` bytes (a
// little more where a whole line or part must end it) with LF line ends, the same bytes for the
// same size every time.
std::span<const HostileShape> hostileShapes();

// The shape called `name`; nullptr when there is none.
const HostileShape* findHostileShape(std::string_view name);

}  // namespace korvani::bench
