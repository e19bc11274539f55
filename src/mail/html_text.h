// An HTML part made plain text, for a mail that has no text/plain alternative: laid out as a
// reader expects to see it on a terminal, the way text-mode browsers dump a page.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvani::mail {

// The most HTML rendered of one part. A newsletter is a few hundred KiB; what lies beyond this is
// not rendered, and the text ends with messages::kHtmlCut on a line of its own.
inline constexpr std::size_t kHtmlRenderedBytes = std::size_t{8} << 20;

struct HtmlText {
  std::string text;
  // The HTML was longer than kHtmlRenderedBytes: `text` is what the first part of it gives,
  // followed by an empty line and messages::kHtmlCut.
  bool cut = false;
  // The renderer gave up (the parser or the text ran out of memory): `text` is empty and the
  // part must not be shown as if it had been read.
  bool failed = false;
};

// Renders `html` (UTF-8, whatever its own <meta> says) as plain UTF-8 text with libxml2's HTML
// parser, which recovers from whatever markup mailers write. The text:
// - script, style, head, title, template and noscript give nothing;
// - runs of white space inside text collapse to one space; entities come out decoded; <pre> keeps
//   its text as it stands;
// - paragraphs, headings, lists, tables, <pre>, <blockquote>, <dl> and <hr> stand apart with an
//   empty line around them; div, li, tr, dt, dd and the other blocks start a line; <br> ends one;
//   never more than one empty line in a row, none at the start, one line end at the end;
// - a link is its text followed by " <URL>", once, unless the text already shows the URL (or the
//   address of a mailto: link); links to "#..." or "javascript:" and links without text show
//   only their text;
// - each list item starts with "・" (unordered) or its number and ". " (ordered, from the list's
//   `start`), its further lines indented under the text; nested lists are indented further;
// - a table row is one line, its cells separated by a tab;
// - an image is "[alt]", or nothing when it has no alt text;
// - a <blockquote>'s lines start with "> ", a <dd>'s with two spaces. Nesting deeper than eight
//   such levels indents no further, so that no line start grows with the depth of the markup.
// Time and memory are linear in the size of `html` (no tree is built). Never throws.
HtmlText renderHtml(std::string_view html);

// The text renderHtml gives, for a caller that has no other way to fail: throws std::bad_alloc
// when the renderer gave up, as any allocation of the text itself would, so that a text cut short
// by memory exhaustion is never returned as if it were whole.
std::string htmlToText(std::string_view html);

}  // namespace korvani::mail
