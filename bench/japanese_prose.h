// Japanese prose for the benchmarks: a deterministic shuffle of sentences of ordinary mail and
// prose, cut into lines the way mail programs wrap them, and glibc's iconv to put it into the
// other character sets. Shared by the micro-benchmarks and the data maker of the peer comparison.
#pragma once

#include <cstddef>
#include <string>

namespace korvani::bench {

// UTF-8 prose of whole lines of `charactersPerLine` characters, each ending in CR LF, as many as
// fit in `size` bytes. The same arguments always give the same text.
std::string makeProse(std::size_t size, std::size_t charactersPerLine);

// `text` converted from the character set `from` to `to` by iconv in one call; "" when iconv
// does not know the sets or rejects the text. ISO-2022-JP comes back to ASCII before each line
// end, as it does in mail.
std::string convertAll(const char* to, const char* from, const std::string& text);

}  // namespace korvani::bench
