// The text of an RTF document, for a rich-text body that has no plain or HTML form.
#pragma once

#include <string>
#include <string_view>

namespace korvani::mail {

// The text `rtf` shows, as UTF-8, simply: groups that are not text (font and colour tables, style
// sheets, document information, pictures, objects, field instructions and every destination
// marked \*) give nothing; \par, \line, \sect and \page end a line, \tab is a tab; \'hh escapes
// are bytes in the document's code page (\ansicpg, else `fallbackCharset`, else code page 1252)
// and \uN a character, its \ucN replacement characters skipped. Everything else is dropped: no
// layout. Time is linear in the size of `rtf`; groups nest as deep as they like.
std::string rtfToText(std::string_view rtf, std::string_view fallbackCharset = {});

}  // namespace korvani::mail
