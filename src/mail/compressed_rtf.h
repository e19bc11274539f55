// The compressed RTF in which Outlook keeps a rich-text body (PR_RTF_COMPRESSED), made RTF again.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvani::mail {

// The most RTF one body gives: what lies beyond is not decompressed, and the result says so.
inline constexpr std::size_t kMaxRtfBytes = std::size_t{128} << 20;

struct DecompressedRtf {
  std::string rtf;
  // The data ended before the size the header names, or lied about its own size, or the RTF
  // was longer than kMaxRtfBytes: `rtf` holds what could be made of it.
  bool damaged = false;
};

// Decompresses `compressed` (a header of four 32-bit words, then the data, compressed or not as
// the header's third word says). An unknown format gives an empty, damaged result. Time and
// memory are linear in the size of `compressed` (the output is at most 17 times it).
DecompressedRtf decompressRtf(std::string_view compressed);

}  // namespace korvani::mail
