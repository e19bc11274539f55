#include "mail/html_text.h"

#include <libxml/HTMLparser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "common/messages.h"
#include "mail/c_handles.h"
#include "mail/mail_text.h"

namespace korvani::mail {
namespace {

// Line starts indent no further than this many levels of lists, quotes and definitions: markup
// nested ten thousand deep must not make every line ten thousand prefixes long.
constexpr std::size_t kMaxIndentLevels = 8;

// An <ol start> beyond this is not a number a list counts from.
constexpr std::size_t kMaxStartDigits = 9;

// Where the cut may move back to the start of a tag, so that no half tag shows as text.
constexpr std::size_t kCutTagLookBack = std::size_t{64} * 1024;

// The memory a render needs at most, in bytes per byte of HTML: libxml2's copy of the input and
// its checked UTF-8 form, and the text. It is asked for before libxml2 starts and given back: this
// libxml2 does not survive every allocation that fails inside it, so memory too short for the
// whole render is found out before it begins.
constexpr std::size_t kHeadroomPerByte = 3;
constexpr std::size_t kHeadroomBase = std::size_t{1} << 20;

// What an element does to the text around it.
enum class Role : std::uint8_t {
  Inline,        // its text runs on with the text around it; every element not named below
  Skipped,       // nothing inside it is shown
  Break,         // ends the line
  Line,          // a block on lines of its own
  Paragraph,     // a block with an empty line before and after it
  List,          // items marked "・"
  OrderedList,   // items numbered
  Item,          // a list item
  Table,         // rows, one per line
  Row,           // cells, separated by tabs
  Cell,          // a table cell
  Preformatted,  // its text as it stands
  Quote,         // lines marked "> "
  Definition,    // lines indented
  Link,          // its text, then its address
  Image          // its alt text
};

struct ElementRule {
  std::string_view name;
  Role role;
};

constexpr ElementRule kElementRules[] = {
    {"script", Role::Skipped},   {"style", Role::Skipped},
    {"head", Role::Skipped},     {"title", Role::Skipped},
    {"template", Role::Skipped}, {"noscript", Role::Skipped},
    {"br", Role::Break},         {"p", Role::Paragraph},
    {"h1", Role::Paragraph},     {"h2", Role::Paragraph},
    {"h3", Role::Paragraph},     {"h4", Role::Paragraph},
    {"h5", Role::Paragraph},     {"h6", Role::Paragraph},
    {"hr", Role::Paragraph},     {"dl", Role::Paragraph},
    {"div", Role::Line},         {"html", Role::Line},
    {"body", Role::Line},        {"section", Role::Line},
    {"article", Role::Line},     {"header", Role::Line},
    {"footer", Role::Line},      {"nav", Role::Line},
    {"main", Role::Line},        {"aside", Role::Line},
    {"address", Role::Line},     {"center", Role::Line},
    {"form", Role::Line},        {"fieldset", Role::Line},
    {"legend", Role::Line},      {"figure", Role::Line},
    {"figcaption", Role::Line},  {"caption", Role::Line},
    {"details", Role::Line},     {"summary", Role::Line},
    {"dt", Role::Line},          {"ul", Role::List},
    {"menu", Role::List},        {"dir", Role::List},
    {"ol", Role::OrderedList},   {"li", Role::Item},
    {"table", Role::Table},      {"tr", Role::Row},
    {"td", Role::Cell},          {"th", Role::Cell},
    {"pre", Role::Preformatted}, {"listing", Role::Preformatted},
    {"xmp", Role::Preformatted}, {"plaintext", Role::Preformatted},
    {"blockquote", Role::Quote}, {"dd", Role::Definition},
    {"a", Role::Link},           {"img", Role::Image},
};

Role roleOf(const xmlChar* name) {
  if (!name) return Role::Inline;
  const std::string_view element(reinterpret_cast<const char*>(name));
  for (const ElementRule& rule : kElementRules) {
    if (rule.name == element) return rule.role;
  }
  return Role::Inline;
}

// The value of attribute `name` in libxml2's list of name and value pairs, or "".
std::string_view attribute(const xmlChar** attributes, std::string_view name) {
  for (; attributes && attributes[0]; attributes += 2) {
    if (name == reinterpret_cast<const char*>(attributes[0])) {
      return attributes[1] ? reinterpret_cast<const char*>(attributes[1]) : "";
    }
  }
  return {};
}

bool isHtmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

// What starts the lines of a list item, a quote or a definition.
struct Indent {
  enum class Kind : std::uint8_t { Bullet, Number, Quote, Definition };
  Kind kind;
  bool markerPending;    // the item's first line, which carries its marker, is still to come
  std::uint32_t number;  // Number: the item's number
};

// Builds the text line by line. Breaks, spaces and tabs are only remembered until the next
// visible text, so that no line ends in white space, no line is only a prefix, and the text
// neither starts nor ends with empty lines.
class TextWriter {
 public:
  // Text whose runs of white space are one space.
  void text(std::string_view content) {
    std::size_t at = 0;
    while (at < content.size()) {
      if (isHtmlSpace(content[at])) {
        pendingSpace = true;
        ++at;
        continue;
      }
      std::size_t end = at;
      while (end < content.size() && !isHtmlSpace(content[end])) ++end;
      word(content.substr(at, end - at));
      at = end;
    }
  }

  // Text as it stands, its line ends kept.
  void preformatted(std::string_view content) {
    std::size_t at = 0;
    for (;;) {
      const std::size_t lineEnd = content.find('\n', at);
      const std::string_view piece = content.substr(at, lineEnd - at);
      if (!piece.empty()) word(piece);
      if (lineEnd == std::string_view::npos) break;
      if (!out.empty()) {
        writePendingLineEnds();
        out += '\n';
      }
      at = lineEnd + 1;
    }
  }

  // A piece shown as it is, after the space or tabs before it.
  void word(std::string_view piece) {
    beforeContent();
    out.append(piece);
  }

  void space() { pendingSpace = true; }

  // Ends the line; a second break in a row leaves an empty line.
  void lineBreak() { wantedLineEnds = std::max(wantedLineEnds, lineEndsAtEnd()) + 1; }

  // What follows starts on a new line (1) or after an empty line (2).
  void endBlock(int lineEnds) { wantedLineEnds = std::max(wantedLineEnds, lineEnds); }

  void cellSeparator() { ++pendingTabs; }

  void pushIndent(Indent indent) { indents.push_back(indent); }
  void popIndent() {
    if (!indents.empty()) indents.pop_back();
  }

  std::size_t size() const { return out.size(); }
  std::string_view since(std::size_t at) const {
    return at < out.size() ? std::string_view(out).substr(at) : std::string_view();
  }

  std::string finish() {
    while (!out.empty() && out.back() == '\n') out.pop_back();
    if (!out.empty()) out += '\n';
    return std::move(out);
  }

 private:
  int lineEndsAtEnd() const {
    if (out.empty() || out.back() != '\n') return 0;
    return out.size() >= 2 && out[out.size() - 2] == '\n' ? 2 : 1;
  }

  void writePendingLineEnds() {
    const int have = lineEndsAtEnd();
    const int wanted = std::min(wantedLineEnds, 2);
    if (!out.empty() && wanted > have) out.append(static_cast<std::size_t>(wanted - have), '\n');
    wantedLineEnds = 0;
  }

  void beforeContent() {
    writePendingLineEnds();
    if (out.empty() || out.back() == '\n') {
      writeLinePrefix();
    } else if (pendingTabs > 0) {
      out.append(pendingTabs, '\t');
    } else if (pendingSpace) {
      out += ' ';
    }
    pendingTabs = 0;
    pendingSpace = false;
  }

  void writeLinePrefix() {
    const std::size_t shown = std::min(indents.size(), kMaxIndentLevels);
    for (std::size_t level = 0; level < shown; ++level) writeIndent(indents[level]);
    // Deeper levels add no indentation, but the innermost item still shows its marker.
    if (indents.size() > shown && indents.back().markerPending) writeIndent(indents.back());
    for (std::size_t level = shown; level < indents.size(); ++level) {
      indents[level].markerPending = false;
    }
  }

  void writeIndent(Indent& indent) {
    switch (indent.kind) {
      case Indent::Kind::Bullet:
        out += indent.markerPending ? "・" : "  ";  // the bullet is two columns wide
        break;
      case Indent::Kind::Number: {
        const std::string marker = std::to_string(indent.number) + ". ";
        if (indent.markerPending) {
          out += marker;
        } else {
          out.append(marker.size(), ' ');
        }
        break;
      }
      case Indent::Kind::Quote:
        out += "> ";
        break;
      case Indent::Kind::Definition:
        out += "  ";
        break;
    }
    indent.markerPending = false;
  }

  std::string out;
  std::vector<Indent> indents;
  int wantedLineEnds = 0;
  std::size_t pendingTabs = 0;
  bool pendingSpace = false;
};

// A link's address as browsers take it: without the white space a line break in the attribute
// leaves. Empty when there is nowhere for a reader to go.
std::string linkTarget(std::string_view href) {
  std::string target;
  for (char c : href) {
    if (static_cast<unsigned char>(c) > ' ') target += c;
  }
  if (target.empty() || target.front() == '#') return {};
  if (asciiLowercase(target.substr(0, 11)) == "javascript:") return {};
  return target;
}

std::string_view withoutPrefix(std::string_view text, std::string_view prefix) {
  if (text.size() >= prefix.size() &&
      std::equal(prefix.begin(), prefix.end(), text.begin(),
                 [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); })) {
    text.remove_prefix(prefix.size());
  }
  return text;
}

// The forms in which a link's text may show its address: as it stands, without its scheme,
// without a final '/'.
bool showsTarget(std::string_view word, std::string_view target) {
  for (std::string_view scheme : {"mailto:", "https://", "http://"}) {
    target = withoutPrefix(target, scheme);
    word = withoutPrefix(word, scheme);
  }
  if (!target.empty() && target.back() == '/') target.remove_suffix(1);
  if (!word.empty() && word.back() == '/') word.remove_suffix(1);
  return !target.empty() && word == target;
}

// Whether one of the words of `text` (white space apart, without brackets or a sentence's
// punctuation around it) is the link's address. Linear in the text.
bool textShowsTarget(std::string_view text, std::string_view target) {
  constexpr std::string_view kAround = "()[]<>{}\"',.;:!?";
  std::size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && isHtmlSpace(text[at])) ++at;
    std::size_t end = at;
    while (end < text.size() && !isHtmlSpace(text[end])) ++end;
    std::string_view word = text.substr(at, end - at);
    while (!word.empty() && kAround.find(word.front()) != std::string_view::npos) {
      word.remove_prefix(1);
    }
    while (!word.empty() && kAround.find(word.back()) != std::string_view::npos) {
      word.remove_suffix(1);
    }
    if (showsTarget(word, target) || showsTarget(text.substr(at, end - at), target)) return true;
    at = end;
  }
  return false;
}

// The list's first number: its `start`, or 1.
std::uint32_t listStart(std::string_view start) {
  while (!start.empty() && isHtmlSpace(start.front())) start.remove_prefix(1);
  std::uint32_t number = 0;
  std::size_t digits = 0;
  for (char c : start) {
    if (c < '0' || c > '9' || digits == kMaxStartDigits) break;
    number = number * 10 + static_cast<std::uint32_t>(c - '0');
    ++digits;
  }
  return digits == 0 ? 1 : number;
}

// Follows the parser's events. libxml2 closes every element it opens, implied ones included, in
// order, so each stack below is pushed by an element's start and popped by its end.
class Renderer {
 public:
  explicit Renderer(htmlParserCtxtPtr parser) : parser(parser) {}

  void start(const xmlChar* name, const xmlChar** attributes) {
    const Role role = roleOf(name);
    if (skipped > 0 || role == Role::Skipped) {
      if (role == Role::Skipped) ++skipped;
      return;
    }
    switch (role) {
      case Role::Inline:
      case Role::Skipped:
        break;
      case Role::Break:
        writer.lineBreak();
        break;
      case Role::Paragraph:
        writer.endBlock(2);
        break;
      case Role::Line:
        writer.endBlock(1);
        break;
      case Role::List:
      case Role::OrderedList:
        writer.endBlock(lists.empty() ? 2 : 1);
        lists.push_back({role == Role::OrderedList, role == Role::OrderedList
                                                        ? listStart(attribute(attributes, "start"))
                                                        : 0});
        break;
      case Role::Item: {
        writer.endBlock(1);
        Indent indent{Indent::Kind::Bullet, true, 0};
        if (!lists.empty() && lists.back().ordered) {
          indent.kind = Indent::Kind::Number;
          indent.number = lists.back().next++;
        }
        writer.pushIndent(indent);
        break;
      }
      case Role::Table:
        writer.endBlock(tables == 0 ? 2 : 1);
        ++tables;
        break;
      case Role::Row:
        writer.endBlock(1);
        cellsInRow.push_back(0);
        break;
      case Role::Cell:
        if (!cellsInRow.empty() && cellsInRow.back()++ > 0) writer.cellSeparator();
        break;
      case Role::Preformatted:
        writer.endBlock(2);
        ++preformatted;
        break;
      case Role::Quote:
        writer.endBlock(2);
        writer.pushIndent({Indent::Kind::Quote, false, 0});
        break;
      case Role::Definition:
        writer.endBlock(1);
        writer.pushIndent({Indent::Kind::Definition, false, 0});
        break;
      case Role::Link:
        links.push_back({linkTarget(attribute(attributes, "href")), writer.size()});
        break;
      case Role::Image:
        image(attribute(attributes, "alt"));
        break;
    }
  }

  void end(const xmlChar* name) {
    const Role role = roleOf(name);
    if (skipped > 0) {
      if (role == Role::Skipped) --skipped;
      return;
    }
    switch (role) {
      case Role::Inline:
      case Role::Skipped:
      case Role::Break:
      case Role::Cell:
      case Role::Image:
        break;
      case Role::Paragraph:
        writer.endBlock(2);
        break;
      case Role::Line:
        writer.endBlock(1);
        break;
      case Role::List:
      case Role::OrderedList:
        if (!lists.empty()) lists.pop_back();
        writer.endBlock(lists.empty() ? 2 : 1);
        break;
      case Role::Item:
        writer.popIndent();
        writer.endBlock(1);
        break;
      case Role::Table:
        if (tables > 0) --tables;
        writer.endBlock(tables == 0 ? 2 : 1);
        break;
      case Role::Row:
        if (!cellsInRow.empty()) cellsInRow.pop_back();
        writer.endBlock(1);
        break;
      case Role::Preformatted:
        if (preformatted > 0) --preformatted;
        writer.endBlock(2);
        break;
      case Role::Quote:
        writer.popIndent();
        writer.endBlock(2);
        break;
      case Role::Definition:
        writer.popIndent();
        writer.endBlock(1);
        break;
      case Role::Link:
        if (!links.empty()) {
          endLink(links.back());
          links.pop_back();
        }
        break;
    }
  }

  void characters(const xmlChar* content, int length) {
    if (skipped > 0 || length <= 0) return;
    const std::string_view text(reinterpret_cast<const char*>(content),
                                static_cast<std::size_t>(length));
    if (preformatted > 0) {
      writer.preformatted(text);
    } else {
      writer.text(text);
    }
  }

  // Runs one event; an allocation that fails stops the parser instead of unwinding through it.
  template <typename Event>
  void guarded(Event event) {
    if (failed) return;
    try {
      event();
    } catch (const std::bad_alloc&) {
      failed = true;
      xmlStopParser(parser);
    }
  }

  TextWriter writer;
  bool failed = false;

 private:
  struct OpenList {
    bool ordered;
    std::uint32_t next;
  };
  struct OpenLink {
    std::string target;
    std::size_t textStart;
  };

  void image(std::string_view alt) {
    std::string shown;
    bool space = false;
    for (char c : alt) {
      if (isHtmlSpace(c)) {
        space = !shown.empty();
      } else {
        if (space) shown += ' ';
        space = false;
        shown += c;
      }
    }
    if (!shown.empty()) writer.word("[" + shown + "]");
  }

  void endLink(const OpenLink& link) {
    if (link.target.empty()) return;
    const std::string_view text = writer.since(link.textStart);
    if (text.find_first_not_of(" \t\n") == std::string_view::npos) return;
    if (textShowsTarget(text, link.target)) return;
    writer.space();
    writer.word("<" + link.target + ">");
  }

  htmlParserCtxtPtr parser;
  std::vector<OpenList> lists;
  std::vector<std::uint32_t> cellsInRow;
  std::vector<OpenLink> links;
  std::size_t tables = 0;
  std::size_t preformatted = 0;
  std::size_t skipped = 0;
};

// Keeps libxml2 from printing its own messages while it renders on this thread (the parser's
// messages are off by its options; these are the ones it gives without a parser at hand, when
// memory runs out). A failure is reported through HtmlText::failed instead.
class QuietLibxml {
 public:
  QuietLibxml() : handler(xmlStructuredError), context(xmlStructuredErrorContext) {
    xmlSetStructuredErrorFunc(nullptr, [](void*, xmlErrorPtr) {});
  }
  ~QuietLibxml() { xmlSetStructuredErrorFunc(context, handler); }
  QuietLibxml(const QuietLibxml&) = delete;
  QuietLibxml& operator=(const QuietLibxml&) = delete;

 private:
  xmlStructuredErrorFunc handler;
  void* context;
};

// Whether the memory a render of `size` bytes needs can be had now.
bool headroomFor(std::size_t size) {
  const std::unique_ptr<char[]> trial(
      new (std::nothrow) char[kHeadroomBase + kHeadroomPerByte * size]);
  return trial != nullptr;
}

Renderer& rendererOf(void* context) {
  return *static_cast<Renderer*>(static_cast<htmlParserCtxtPtr>(context)->_private);
}

void onStart(void* context, const xmlChar* name, const xmlChar** attributes) {
  Renderer& renderer = rendererOf(context);
  renderer.guarded([&] { renderer.start(name, attributes); });
}

void onEnd(void* context, const xmlChar* name) {
  Renderer& renderer = rendererOf(context);
  renderer.guarded([&] { renderer.end(name); });
}

void onCharacters(void* context, const xmlChar* content, int length) {
  Renderer& renderer = rendererOf(context);
  renderer.guarded([&] { renderer.characters(content, length); });
}

// The part of `html` rendered: all of it, or the first kHtmlRenderedBytes cut before a
// character, and before the tag it falls into where one starts shortly before.
std::string_view renderedPart(std::string_view html) {
  if (html.size() <= kHtmlRenderedBytes) return html;
  std::size_t cut = kHtmlRenderedBytes;
  while (cut > 0 && (static_cast<unsigned char>(html[cut]) & 0xC0) == 0x80) --cut;
  const std::size_t tag = html.rfind('<', cut - 1);
  if (tag != std::string_view::npos && cut - tag <= kCutTagLookBack) cut = tag;
  return html.substr(0, cut);
}

}  // namespace

HtmlText renderHtml(std::string_view html) {
  HtmlText result;
  try {
    const std::string_view rendered = renderedPart(html);
    result.cut = rendered.size() < html.size();
    if (!rendered.empty()) {
      static_assert(kHtmlRenderedBytes <= INT_MAX);
      if (!headroomFor(rendered.size())) {
        result.failed = true;
        return result;
      }
      const QuietLibxml quiet;
      HtmlParserPtr parser(
          htmlCreateMemoryParserCtxt(rendered.data(), static_cast<int>(rendered.size())));
      if (!parser || !parser->sax || !parser->input) {
        result.failed = true;
        return result;
      }
      Renderer renderer(parser.get());
      htmlSAXHandler events{};
      events.initialized = XML_SAX2_MAGIC;  // so that the error callback below is used
      events.serror = [](void*, xmlErrorPtr) {};
      events.startElement = onStart;
      events.endElement = onEnd;
      events.characters = onCharacters;
      events.ignorableWhitespace = onCharacters;
      events.cdataBlock = onCharacters;
      *parser->sax = events;
      // The SAX callbacks are handed the parser itself, which carries the renderer.
      parser->userData = parser.get();
      parser->_private = &renderer;
      htmlCtxtUseOptions(parser.get(), HTML_PARSE_RECOVER | HTML_PARSE_NOERROR |
                                           HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
      // The text is UTF-8 whatever a <meta> in it claims: the part's charset was applied before.
      // An input that names its encoding is never switched to another one.
      xmlCharEncodingHandlerPtr utf8 = xmlFindCharEncodingHandler("UTF-8");
      if (!utf8 || xmlSwitchToEncoding(parser.get(), utf8) != 0) {
        result.failed = true;
        return result;
      }
      if (parser->input->encoding == nullptr) {
        parser->input->encoding = xmlStrdup(reinterpret_cast<const xmlChar*>("UTF-8"));
        if (parser->input->encoding == nullptr) {
          result.failed = true;
          return result;
        }
      }
      htmlParseDocument(parser.get());
      if (renderer.failed || parser->errNo == XML_ERR_NO_MEMORY) {
        result.failed = true;
        return result;
      }
      result.text = renderer.writer.finish();
    }
    if (result.cut) {
      if (!result.text.empty()) result.text += '\n';
      result.text += messages::kHtmlCut;
      result.text += '\n';
    }
  } catch (const std::bad_alloc&) {
    result = {};
    result.failed = true;
  }
  return result;
}

std::string htmlToText(std::string_view html) {
  HtmlText rendered = renderHtml(html);
  if (rendered.failed) throw std::bad_alloc();
  return std::move(rendered.text);
}

}  // namespace korvani::mail
