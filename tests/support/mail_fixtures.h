// Mails the tests share.
#pragma once

#include <string>

namespace korvani::testing {

// A multipart mail (boundary "b") whose one Base64 attachment holds "abcd" and proposes `name`
// (raw bytes) in its Content-Disposition; `partHeader` (whole lines with CR LF) goes between the
// part's Content-Transfer-Encoding and Content-Disposition lines.
std::string mailNaming(const std::string& name, const std::string& partHeader = std::string());

}  // namespace korvani::testing
