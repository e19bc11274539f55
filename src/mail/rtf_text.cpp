#include "mail/rtf_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "common/cp932_text.h"
#include "mail/mail_text.h"

namespace korvani::mail {
namespace {

// The destinations whose text is not the document's.
constexpr std::array<std::string_view, 22> kSkipped{"fonttbl",
                                                    "colortbl",
                                                    "stylesheet",
                                                    "info",
                                                    "pict",
                                                    "object",
                                                    "header",
                                                    "footer",
                                                    "headerl",
                                                    "headerr",
                                                    "footerl",
                                                    "footerr",
                                                    "themedata",
                                                    "colorschememapping",
                                                    "latentstyles",
                                                    "datastore",
                                                    "xmlnstbl",
                                                    "listtable",
                                                    "listoverridetable",
                                                    "rsidtbl",
                                                    "generator",
                                                    "fldinst"};

// Groups deeper than this share the state of the deepest one kept: the stack stays small however
// many braces a document opens.
constexpr std::size_t kMaxGroupDepth = 1024;

// The state a group inherits from the one around it.
struct Group {
  bool skipped = false;
  int replacements = 1;  // \ucN: the characters that stand in after each \uN
};

class RtfReader {
 public:
  RtfReader(std::string_view rtf, std::string_view fallbackCharset)
      : rtf(rtf), charset(fallbackCharset.empty() ? "windows-1252" : fallbackCharset) {}

  std::string read() {
    groups.push_back(Group());
    while (at < rtf.size()) {
      const char c = rtf[at++];
      if (c == '{') {
        if (groups.size() < kMaxGroupDepth) {
          groups.push_back(groups.back());
        } else {
          ++deeper;
        }
      } else if (c == '}') {
        if (deeper > 0) {
          --deeper;
        } else if (groups.size() > 1) {
          groups.pop_back();
        }
      } else if (c == '\\') {
        control();
      } else if (c == '\r' || c == '\n') {
        continue;
      } else {
        character(c);
      }
    }
    flush();
    return out;
  }

 private:
  bool skipped() const { return groups.back().skipped; }

  // A character of the text in the document's code page, or one that stands in for a \uN.
  void character(char c) {
    if (pendingReplacements > 0) {
      --pendingReplacements;
      return;
    }
    if (!skipped()) bytes += c;
  }

  void flush() {
    if (bytes.empty()) return;
    out += charsetToUtf8(charset, bytes);
    bytes.clear();
  }

  void control() {
    if (at >= rtf.size()) return;
    const char first = rtf[at];
    if (!isLetter(first)) {
      ++at;
      switch (first) {
        case '\'': {
          const int high = at < rtf.size() ? hexValue(rtf[at]) : -1;
          const int low = at + 1 < rtf.size() ? hexValue(rtf[at + 1]) : -1;
          if (high < 0 || low < 0) return;
          at += 2;
          character(static_cast<char>(high << 4 | low));
          return;
        }
        case '*':
          groups.back().skipped = true;
          return;
        case '~':
          character(' ');
          return;
        case '_':
          character('-');
          return;
        case '\\':
        case '{':
        case '}':
          character(first);
          return;
        case '\r':
        case '\n':
          character('\n');  // a \ before a line end is \par
          return;
        default:
          return;  // \- and the other symbols give nothing
      }
    }
    const std::size_t start = at;
    while (at < rtf.size() && isLetter(rtf[at]) && at - start < 32) ++at;
    const std::string_view word = rtf.substr(start, at - start);
    bool hasNumber = false;
    bool negative = false;
    long number = 0;
    if (at < rtf.size() && rtf[at] == '-') {
      negative = true;
      ++at;
    }
    for (int digits = 0; at < rtf.size() && isDigit(rtf[at]); ++at) {
      if (digits++ < 10) number = number * 10 + (rtf[at] - '0');
      hasNumber = true;
    }
    if (negative) number = -number;
    if (at < rtf.size() && rtf[at] == ' ') ++at;
    keyword(word, hasNumber, number);
  }

  void keyword(std::string_view word, bool hasNumber, long number) {
    if (word == "bin" && hasNumber && number > 0) {
      // Binary data: its bytes are not text, and may hold anything.
      at += std::min<std::size_t>(static_cast<std::size_t>(number), rtf.size() - at);
      return;
    }
    for (const std::string_view skippedWord : kSkipped) {
      if (word == skippedWord) {
        groups.back().skipped = true;
        return;
      }
    }
    if (word == "par" || word == "line" || word == "sect" || word == "page" || word == "row") {
      if (!skipped()) bytes += '\n';
    } else if (word == "tab" || word == "cell") {
      if (!skipped()) bytes += '\t';
    } else if (word == "uc" && hasNumber && number >= 0 && number < 16) {
      groups.back().replacements = static_cast<int>(number);
    } else if (word == "u" && hasNumber) {
      pendingReplacements = 0;
      if (!skipped()) {
        flush();
        auto value = static_cast<std::uint32_t>(number < 0 ? number + 65536 : number);
        if (value > 0xFFFF || (value >= 0xD800 && value <= 0xDFFF)) value = 0xFFFD;
        appendUtf8(out, value);
      }
      pendingReplacements = groups.back().replacements;
    } else if (word == "ansicpg" && hasNumber && number > 0) {
      flush();
      charset = codePageCharset(static_cast<unsigned>(number));
    }
  }

  static bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
  static bool isDigit(char c) { return c >= '0' && c <= '9'; }
  static int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  std::string_view rtf;
  std::size_t at = 0;
  std::string charset;
  std::vector<Group> groups;
  std::size_t deeper = 0;  // the groups open past kMaxGroupDepth
  std::string bytes;       // text in the code page, not yet converted
  std::string out;
  int pendingReplacements = 0;
};

}  // namespace

std::string rtfToText(std::string_view rtf, std::string_view fallbackCharset) {
  return RtfReader(rtf, fallbackCharset).read();
}

}  // namespace korvani::mail
