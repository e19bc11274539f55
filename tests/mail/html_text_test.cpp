// HTML mail as a reader expects to see it: blocks apart, links with their addresses, list markers,
// table rows, image texts, preformatted text as it stands; bounded in size and depth, and a
// renderer that runs out of memory says so instead of handing back part of the text.
#include "mail/html_text.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xmlmemory.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "common/cp932_text.h"
#include "common/messages.h"
#include "support/sanitizers.h"

namespace korvani::mail {
namespace {

struct Case {
  const char* what;
  std::string html;
  std::string text;
};

template <std::size_t N>
void expectRendered(const Case (&cases)[N]) {
  for (const Case& c : cases) {
    const HtmlText rendered = renderHtml(c.html);
    EXPECT_FALSE(rendered.failed) << c.what;
    EXPECT_FALSE(rendered.cut) << c.what;
    EXPECT_EQ(rendered.text, c.text) << c.what << "\n" << c.html;
  }
}

TEST(HtmlTextTest, BlocksStandApartAndTextRunsOn) {
  const Case cases[] = {
      {"paragraphs and headings have an empty line between them",
       "<h1>T</h1><p>one</p><p>two</p><h2>U</h2>end", "T\n\none\n\ntwo\n\nU\n\nend\n"},
      {"a div starts a line, as in a text browser", "<div>a</div><div>b</div>c", "a\nb\nc\n"},
      {"an empty div holding a break is an empty line (how webmail writes one)",
       "<div>a</div><div><br></div><div>b</div>", "a\n\nb\n"},
      {"breaks end lines; never more than one empty line in a row",
       "a<br>b<br><br>c<br><br><br><br>d", "a\nb\n\nc\n\nd\n"},
      {"white space collapses across elements and source lines",
       "<p>One  &amp;\n two <b>three</b>\t<i> four</i></p>", "One & two three four\n"},
      {"no empty line at the start or at the end", "<br><br><p><p>x<p><br><br>", "x\n"},
      {"entities are decoded, unknown ones kept", "a&nbsp;b&#12354;&hellip;&lt;&bogus;",
       "a\u00a0bあ…<&bogus;\n"},
      {"what is not shown: script, style, head, title, noscript, template, comments",
       "<head><title>T</title><style>p{}</style></head><body><script>a()</script><!-- c -->x"
       "<noscript>n</noscript><template>t</template></body>",
       "x\n"},
      {"markup that does not close is closed", "<div><span>a</div>b</span>", "a\nb\n"},
      {"stray closing tags and lone brackets are text as a browser shows them",
       "x</p></div>a < b && c > d", "x\n\na < b && c > d\n"},
      {"a rule and a quote stand apart; the quote is marked",
       "a<hr>b<blockquote>q<br>r<p>s</p></blockquote>t", "a\n\nb\n\n> q\n> r\n\n> s\n\nt\n"},
      {"definitions are indented under their terms", "<dl><dt>term</dt><dd>meaning</dd></dl>",
       "term\n  meaning\n"},
      {"the part's charset holds; a <meta> naming another is not obeyed",
       "<meta charset=\"iso-8859-1\"><p>\xe3\x81\x82</p>", "あ\n"},
      {"nothing to show", "", ""},
      {"only markup", "<script>a()</script><style>p{}</style>", ""},
  };
  expectRendered(cases);
}

TEST(HtmlTextTest, LinksShowTheirAddressOnceAfterTheirText) {
  const Case cases[] = {
      {"the address after the text", "<a href=\"https://example.jp/info?id=1\">こちら</a>から",
       "こちら <https://example.jp/info?id=1>から\n"},
      {"a text that is the address is not repeated",
       "<a href=\"https://example.jp/\">https://example.jp/</a>", "https://example.jp/\n"},
      {"nor one that shows it without its scheme or its last slash",
       "<a href=\"https://example.jp/\">example.jp</a>, <a "
       "href=\"mailto:a@example.jp\">a@example.jp"
       "</a>",
       "example.jp, a@example.jp\n"},
      {"nor one that names it among other words",
       "<a href=\"https://example.jp/x\">詳細: https://example.jp/x をご覧ください</a>",
       "詳細: https://example.jp/x をご覧ください\n"},
      {"a link over several elements gets its address once, at its end",
       "<a href=\"https://e.jp/\"><b>big</b> <i>sale</i></a>!", "big sale <https://e.jp/>!\n"},
      {"an image link shows the image's text", "<a href=\"https://e.jp/\"><img alt=\"Logo\"></a>",
       "[Logo] <https://e.jp/>\n"},
      {"white space a line break leaves in the attribute is not part of the address",
       "<a href=\" https://e.jp/a\n b \">x</a>", "x <https://e.jp/ab>\n"},
      {"a link to nowhere a reader can go shows its text only",
       "<a href=\"#top\">top</a> <a href=\"JavaScript:go()\">go</a> <a>name</a>", "top go name\n"},
      {"a link with nothing to click shows nothing",
       "a<a href=\"https://t.example/\"><img src=\"p.gif\"></a>b", "ab\n"},
      {"a link in a list item", "<ul><li><a href=\"https://e.jp/\">shop</a></li></ul>",
       "・shop <https://e.jp/>\n"},
  };
  expectRendered(cases);
}

TEST(HtmlTextTest, ListsTablesImagesAndPreformattedText) {
  const Case cases[] = {
      {"unordered items are marked, and the list stands apart",
       "before<ul><li>a</li><li>b</li></ul>after", "before\n\n・a\n・b\n\nafter\n"},
      {"ordered items are numbered from the list's start",
       "<ol><li>a<li>b</ol><ol start=\"9\"><li>c<li>d</ol>", "1. a\n2. b\n\n9. c\n10. d\n"},
      {"a start that is no number counts from 1", "<ol start=\"x\"><li>a</ol>", "1. a\n"},
      {"nested lists are indented and the item's further lines hang under its text",
       "<ul><li>a<br>more<ul><li>b</li></ul></li><li>c</li></ul><ol><li>x<br>y</li></ol>",
       "・a\n  more\n  ・b\n・c\n\n1. x\n   y\n"},
      {"an item outside any list is still marked", "<li>x</li>", "・x\n"},
      {"a row per line, cells apart by a tab, empty cells kept between others",
       "<table><tr><th>商品</th><th>価格</th></tr><tr><td>A</td><td></td><td>C</td></tr>"
       "<tr><td></td><td>D</td></tr></table>after",
       "商品\t価格\nA\t\tC\nD\n\nafter\n"},
      {"layout tables nested in cells add no empty lines of their own",
       "<table><tr><td><table><tr><td>logo</td></tr><tr><td>text</td></tr></table></td></tr>"
       "</table>",
       "logo\ntext\n"},
      {"images show their text; spacers and pixels without one show nothing",
       "a<img alt=\" A  logo \">b<img src=\"x.png\">c<img alt=\"\">", "a[A logo]bc\n"},
      {"preformatted text stands as it is written", "x<pre>  two  spaces\n\n\n\tand a tab  </pre>y",
       "x\n\n  two  spaces\n\n\n\tand a tab  \n\ny\n"},
      {"markup inside preformatted text still counts",
       "<pre>a <b>bold</b>  <a href=\"https://e.jp/\">link</a></pre>",
       "a bold  link <https://e.jp/>\n"},
  };
  expectRendered(cases);
}

TEST(HtmlTextTest, DepthAndSizeAreBounded) {
  // Nesting beyond any parser's bound: bounded work, no deep recursion, nothing left over.
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<div><span>";
  EXPECT_EQ(htmlToText(deep + "x"), "x\n");
  const HtmlText brackets = renderHtml(std::string(20000, '<') + "b");
  EXPECT_FALSE(brackets.failed);
  EXPECT_LE(brackets.text.size(), 20002u);

  // Quotes and lists nested a thousand deep indent eight levels, no more; the item's marker
  // still shows.
  std::string quotes;
  for (int i = 0; i < 1000; ++i) quotes += "<blockquote>";
  std::string eight;
  for (int i = 0; i < 8; ++i) eight += "> ";
  EXPECT_EQ(htmlToText(quotes + "q<ul><li>i"), eight + "q\n\n" + eight + "・i\n");

  // Beyond the cap the rest is not rendered, and the text says so; a cut never splits a character
  // or leaves half a tag as text.
  std::string html = "<p>first</p>";
  while (html.size() < kHtmlRenderedBytes + 1000) html += "<p>あいうえお<b>かきくけこ</b></p>";
  html += "<p>beyond</p>";
  const HtmlText rendered = renderHtml(html);
  EXPECT_FALSE(rendered.failed);
  EXPECT_TRUE(rendered.cut);
  EXPECT_EQ(rendered.text.rfind("first\n\n", 0), 0u);
  EXPECT_EQ(rendered.text.find("beyond"), std::string::npos);
  EXPECT_EQ(rendered.text.find('<'), std::string::npos);
  EXPECT_TRUE(isValidUtf8(rendered.text));
  const std::string cutLine = "\n\n" + std::string(messages::kHtmlCut) + "\n";
  ASSERT_GT(rendered.text.size(), cutLine.size());
  EXPECT_EQ(rendered.text.substr(rendered.text.size() - cutLine.size()), cutLine);
  EXPECT_FALSE(renderHtml(html.substr(0, kHtmlRenderedBytes)).cut);
}

// What a render under a failing allocation gave, as a child process reports it.
enum Outcome { kWhole, kFailed, kPartial, kFailedWithText };

// libxml2's allocator, failing the n-th allocation while it is installed.
struct FailingAllocator {
  static inline long remaining = -1;  // allocations before the one that fails; -1: none fails
  static inline long made = 0;        // allocations asked for

  static bool allowed() {
    ++made;
    if (remaining < 0) return true;
    return remaining-- != 0;
  }
  static void* allocate(std::size_t size) { return allowed() ? std::malloc(size) : nullptr; }
  static void* reallocate(void* memory, std::size_t size) {
    return allowed() ? std::realloc(memory, size) : nullptr;
  }
  static char* duplicate(const char* text) {
    if (!allowed()) return nullptr;
    const std::size_t size = std::strlen(text) + 1;
    return static_cast<char*>(std::memcpy(std::malloc(size), text, size));
  }
};

// Installs FailingAllocator for its lifetime. Every block libxml2 holds is taken from and given
// back to malloc either way, so blocks may cross the switch.
class FailingAllocations {
 public:
  explicit FailingAllocations(long allowed) {
    xmlInitParser();
    xmlMemGet(&freeBefore, &mallocBefore, &reallocBefore, &strdupBefore);
    FailingAllocator::remaining = allowed;
    FailingAllocator::made = 0;
    xmlMemSetup(std::free, FailingAllocator::allocate, FailingAllocator::reallocate,
                FailingAllocator::duplicate);
  }
  ~FailingAllocations() { xmlMemSetup(freeBefore, mallocBefore, reallocBefore, strdupBefore); }

 private:
  xmlFreeFunc freeBefore = nullptr;
  xmlMallocFunc mallocBefore = nullptr;
  xmlReallocFunc reallocBefore = nullptr;
  xmlStrdupFunc strdupBefore = nullptr;
};

TEST(HtmlTextTest, ARendererOutOfMemoryFailsAndNeverHandsBackPartOfTheText) {
#ifdef KORVANI_UNDER_TSAN
  GTEST_SKIP()
      << "each failure point runs in a forked child, which ThreadSanitizer does not follow";
#endif
  const std::string html =
      "<html><head><title>t</title></head><body><h1>見出し</h1><p>本文 &amp; <a "
      "href=\"https://e.jp/\">リンク</a></p><ul><li>a<li>b</ul><table><tr><td>1<td>2</table>"
      "<pre> x </pre></body></html>";
  const HtmlText whole = renderHtml(html);
  ASSERT_FALSE(whole.failed);
  long allocations = 0;
  {
    const FailingAllocations counting(-1);
    EXPECT_EQ(renderHtml(html).text, whole.text);
    allocations = FailingAllocator::made;
  }
  ASSERT_GT(allocations, 0);
  // Each failure point in a child of its own: this libxml2 dereferences some allocations that
  // failed or loops for ever after them, and such an end inside it is no outcome of ours. Any
  // render that returns must return the whole text or a failure with no text.
  long failures = 0;
  for (long allowed = 0; allowed < allocations; ++allowed) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::alarm(2);  // some loop for ever
      const FailingAllocations failing(allowed);
      const HtmlText rendered = renderHtml(html);
      ::_exit(rendered.failed ? (rendered.text.empty() ? kFailed : kFailedWithText)
                              : (rendered.text == whole.text ? kWhole : kPartial));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (!WIFEXITED(status)) continue;
    EXPECT_TRUE(WEXITSTATUS(status) == kWhole || WEXITSTATUS(status) == kFailed)
        << "failing allocation " << allowed << " gave outcome " << WEXITSTATUS(status);
    if (WEXITSTATUS(status) == kFailed) ++failures;
  }
  EXPECT_GT(failures, 0);
  const FailingAllocations failing(0);
  EXPECT_THROW(htmlToText(html), std::bad_alloc);
}

}  // namespace
}  // namespace korvani::mail
