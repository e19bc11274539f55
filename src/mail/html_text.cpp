#include "mail/html_text.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <array>
#include <climits>

#include "mail/c_handles.h"

namespace korvani::mail {
namespace {

constexpr std::array<std::string_view, 6> kSkipped{"script",   "style",    "head",
                                                   "template", "noscript", "title"};
constexpr std::array<std::string_view, 27> kBlocks{
    "p",  "div",     "li",      "tr",     "h1",         "h2",      "h3",     "h4",   "h5",
    "h6", "ul",      "ol",      "table",  "blockquote", "pre",     "hr",     "dl",   "dt",
    "dd", "section", "article", "header", "footer",     "address", "center", "body", "html"};

bool named(const xmlNode* node, std::string_view name) {
  return node->name && name == reinterpret_cast<const char*>(node->name);
}

template <std::size_t N>
bool namedOneOf(const xmlNode* node, const std::array<std::string_view, N>& names) {
  for (std::string_view name : names) {
    if (named(node, name)) return true;
  }
  return false;
}

class TextWriter {
 public:
  void text(std::string_view content) {
    for (char c : content) {
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f') {
        pendingSpace = true;
      } else {
        if (pendingSpace && !out.empty() && out.back() != '\n') out.push_back(' ');
        pendingSpace = false;
        out.push_back(c);
      }
    }
  }
  // Ends the current line. A block boundary adds nothing at the start of a line; no more than one
  // empty line is ever written in a row.
  void lineBreak(bool blockBoundary) {
    pendingSpace = false;
    if (out.empty() || (blockBoundary && out.back() == '\n')) return;
    if (out.size() >= 2 && out.back() == '\n' && out[out.size() - 2] == '\n') return;
    out.push_back('\n');
  }
  std::string finish() {
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    if (!out.empty()) out.push_back('\n');
    return std::move(out);
  }

 private:
  std::string out;
  bool pendingSpace = false;
};

}  // namespace

std::string htmlToText(std::string_view html) {
  if (html.empty() || html.size() > INT_MAX) return {};
  XmlDocPtr document(htmlReadMemory(
      html.data(), static_cast<int>(html.size()), nullptr, "UTF-8",
      HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET));
  if (!document) return {};
  TextWriter writer;
  // An iterative walk: the parser's own depth limit bounds the tree, but not our stack.
  const xmlNode* node = xmlDocGetRootElement(document.get());
  while (node) {
    bool descend = false;
    if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
      if (node->content) writer.text(reinterpret_cast<const char*>(node->content));
    } else if (node->type == XML_ELEMENT_NODE) {
      if (named(node, "br")) {
        writer.lineBreak(false);
      } else if (!namedOneOf(node, kSkipped)) {
        if (namedOneOf(node, kBlocks)) writer.lineBreak(true);
        if (named(node, "td") || named(node, "th")) writer.text(" ");
        descend = node->children != nullptr;
      }
    }
    if (descend) {
      node = node->children;
      continue;
    }
    // Leave the node, and each parent left on the way up to the next sibling.
    for (;;) {
      if (node->type == XML_ELEMENT_NODE && namedOneOf(node, kBlocks)) writer.lineBreak(true);
      if (node->next) {
        node = node->next;
        break;
      }
      node = node->parent;
      if (!node || node->type != XML_ELEMENT_NODE) {
        node = nullptr;
        break;
      }
    }
  }
  return writer.finish();
}

}  // namespace korvani::mail
