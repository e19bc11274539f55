// An HTML part made plain text, for a mail that has no text/plain alternative.
#pragma once

#include <string>
#include <string_view>

namespace korvani::mail {

// Renders `html` (UTF-8) as plain UTF-8 text with libxml2's HTML parser, which recovers from
// whatever markup mailers write: the contents of script, style, head and template elements are
// skipped; block elements (p, div, li, tr, headings, ...) and <br> end a line; runs of white space
// inside text collapse to one space; entities come out decoded; no more than one empty line in a
// row. Never fails: unparseable input gives "".
std::string htmlToText(std::string_view html);

}  // namespace korvani::mail
