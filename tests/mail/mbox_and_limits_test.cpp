// mbox files cut into messages in any read size, mail files read whole or streamed, the
// structure the engine walks, and the bounds that hostile mail meets.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "mail/mail_engine.h"
#include "mail/mail_reader.h"
#include "mail/mbox_splitter.h"
#include "platform/posix_platform.h"
#include "support/test_files.h"

namespace korvani::mail {
namespace {

using testing::ScopedTempDir;
using testing::writeFile;

const MailLibrary kLibrary;

std::vector<std::string> split(const std::string& mbox, std::size_t readSize,
                               std::vector<bool>* escaped = nullptr) {
  std::size_t at = 0;
  std::vector<MboxMessage> messages;
  const bool read = splitMbox(
      [&](char* buffer, std::size_t size) {
        const std::size_t n = std::min({size, readSize, mbox.size() - at});
        mbox.copy(buffer, n, at);
        at += n;
        return static_cast<long>(n);
      },
      messages);
  EXPECT_TRUE(read);
  std::vector<std::string> texts;
  for (const MboxMessage& message : messages) {
    texts.push_back(mbox.substr(message.begin, message.end - message.begin));
    if (escaped) escaped->push_back(message.hasEscapedFrom);
  }
  return texts;
}

TEST(MboxSplitterTest, CutsTheSameWhateverTheReadSize) {
  const std::string longLine(100, 'x');
  struct Case {
    std::string mbox;
    std::vector<std::string> messages;
  } cases[] = {
      {"", {}},
      {"\n\n", {}},
      {"From a\r\nS: 1\r\n\r\nx\r\n\r\nFrom b\r\nS: 2\r\n", {"S: 1\r\n\r\nx\r\n", "S: 2\r\n"}},
      {"\n\nFrom a\nS: 1\n", {"S: 1\n"}},
      {"From a\n", {""}},
      {"From a\nS: 1\n\nFromage\nFrom b\n", {"S: 1\n\nFromage\nFrom b\n"}},
      {"From a\nS: 1\n\n" + longLine + " From x\n\nFrom b\nS: 2",
       {"S: 1\n\n" + longLine + " From x\n", "S: 2"}},
      {"From a\nS: 1\n\n\n\nFrom b\n", {"S: 1\n\n\n", ""}},
  };
  for (const Case& c : cases) {
    for (const std::size_t readSize : {1, 2, 3, 7, 64, 65536}) {
      EXPECT_EQ(split(c.mbox, readSize), c.messages) << c.mbox << " read by " << readSize;
    }
  }
  std::vector<bool> escaped;
  split("From a\n>From x\n\nFrom b\nS: >From\n\nFrom c\n>>>From y", 3, &escaped);
  EXPECT_EQ(escaped, (std::vector<bool>{true, false, true}));
  std::vector<MboxMessage> messages;
  EXPECT_FALSE(splitMbox([](char*, std::size_t) { return -1L; }, messages));
  EXPECT_FALSE(looksLikeMbox("From"));
  EXPECT_FALSE(looksLikeMbox(">From a"));
}

// An mbox of three messages: an attachment of `attachmentBytes` decoded bytes, one that is not
// a mail, and one whose body holds escaped "From " lines.
std::string threeMessageMbox(std::size_t attachmentBytes) {
  std::string base64;
  for (std::size_t done = 0; done < attachmentBytes; done += 57)
    base64 += std::string(76, 'A') + "\n";
  return "From a@example.jp Mon Jan  1 00:00:00 2024\n"
         "Subject: one\nContent-Type: multipart/mixed; boundary=b\n\n"
         "--b\nContent-Type: text/plain\n\nfirst\n"
         "--b\nContent-Type: application/octet-stream; name=big.bin\n"
         "Content-Transfer-Encoding: base64\n\n" +
         base64 + "--b--\n\nFrom b@example.jp Mon Jan  1 00:00:00 2024\n" +
         "\x01\x02\x03 not a header\n" +
         "\nFrom c@example.jp Mon Jan  1 00:00:00 2024\n"
         "Subject: three\n\n>From the start\n>>From twice\n";
}

TEST(MailFileTest, MboxMessagesParseOneByOneWhetherReadWholeOrStreamed) {
  ScopedTempDir dir;
  PosixPlatform platform;
  // The second file is past the size read whole, so it is parsed from the disk as it goes.
  for (const std::size_t attachmentBytes : {std::size_t{570}, std::size_t{1} << 21}) {
    SCOPED_TRACE(attachmentBytes);
    writeFile(dir.file("box"), threeMessageMbox(attachmentBytes));
    int error = 0;
    const auto file = MailFile::open(platform, dir.file("box"), error);
    ASSERT_TRUE(file) << error;
    EXPECT_TRUE(file->isMbox());
    ASSERT_EQ(file->messageCount(), 3u);
    const auto first = file->parse(0);
    ASSERT_TRUE(first);
    ASSERT_EQ(first->parts().size(), 3u);
    EXPECT_EQ(first->parts()[2].name, "big.bin");
    EXPECT_EQ(first->decodedSize(2), (attachmentBytes + 56) / 57 * 57);
    EXPECT_FALSE(file->parse(1));
    const auto third = file->parse(2);
    ASSERT_TRUE(third);
    ASSERT_EQ(third->parts().size(), 2u);
    EXPECT_EQ(third->text(1), "From the start\n>From twice\n");
    EXPECT_FALSE(file->parse(3));
  }
  writeFile(dir.file("one.eml"), "Subject: x\n\nbody\n");
  int error = 0;
  const auto plain = MailFile::open(platform, dir.file("one.eml"), error);
  ASSERT_TRUE(plain);
  EXPECT_FALSE(plain->isMbox());
  EXPECT_EQ(plain->messageCount(), 1u);
  EXPECT_TRUE(plain->parse(0));
  EXPECT_FALSE(plain->parse(1));
  EXPECT_FALSE(MailFile::open(platform, dir.path(), error));
  EXPECT_EQ(error, EISDIR);
  EXPECT_FALSE(MailFile::open(platform, dir.file("missing"), error));
  EXPECT_EQ(error, ENOENT);
}

// The bytes of each message as they stand in the file, in memory or on the disk, up to a bound;
// a mail's source reads 8-bit Japanese, and its text can be read in another charset.
TEST(MailFileTest, SourceGivesEachMessageAsItStandsUpToABound) {
  ScopedTempDir dir;
  PosixPlatform platform;
  const std::string sjis =
      "Subject: x\nContent-Type: text/plain; charset=utf-8\n\n\x93\xfa\x96\x7b\n";
  const std::string mbox =
      "From a Mon Jun 10 10:00:00 2024\nSubject: one\n\nbody\n\n"
      "From b Mon Jun 10 10:00:00 2024\n" +
      sjis;
  writeFile(dir.file("box"), mbox);
  int error = 0;
  const auto file = MailFile::open(platform, dir.file("box"), error);
  ASSERT_TRUE(file);
  bool cut = true;
  EXPECT_EQ(file->source(0, 1000, cut, error), "Subject: one\n\nbody\n");
  EXPECT_FALSE(cut);
  EXPECT_EQ(file->source(1, 1000, cut, error), sjis);
  EXPECT_EQ(file->source(1, 7, cut, error), "Subject");
  EXPECT_TRUE(cut);
  EXPECT_EQ(file->source(5, 7, cut, error), "");
  EXPECT_EQ(sourceText(sjis + "\r\n"),
            "Subject: x\nContent-Type: text/plain; charset=utf-8\n\n日本\n\n");

  const auto mail = file->parse(1);
  ASSERT_TRUE(mail);
  EXPECT_NE(mail->text(1), "日本\n");
  EXPECT_EQ(mail->text(1, "shift_jis"), "日本\n");
  EXPECT_EQ(renderMailAs(*mail, "cp932"), "Subject: x\n\n日本\n");
}

// One line per part: path, role, media type, then name, "hidden" or "cut" where they apply.
std::string describe(const Mail& mail) {
  std::string out;
  for (const MailPart& part : mail.parts()) {
    out += (part.path.empty() ? "-" : part.path) + " " + "MTA"[static_cast<int>(part.role)] + " " +
           part.mediaType;
    if (!part.name.empty()) out += " " + part.name;
    if (!part.shown) out += " hidden";
    if (part.truncated) out += " cut";
    out += "\n";
  }
  return out;
}

TEST(MailEngineTest, WalksTheStructureChoosingPlainTextAndMarkingCuts) {
  struct Case {
    const char* mail;
    const char* parts;
  } cases[] = {
      {"Subject: x\n\nbody\n", "- M message/rfc822\n1 T text/plain\n"},
      {"Content-Type: multipart/alternative; boundary=a\n\n"
       "--a\nContent-Type: text/html\n\n<p>x</p>\n--a\nContent-Type: text/plain\n\nx\n--a--\n",
       "- M message/rfc822\n1 T text/html hidden\n2 T text/plain\n"},
      // A text/plain that is a file is no alternative to read.
      {"Content-Type: multipart/alternative; boundary=a\n\n"
       "--a\nContent-Type: text/plain; name=n.txt\n\nx\n--a\nContent-Type: text/html\n\nx\n--a--\n",
       "- M message/rfc822\n1 A text/plain n.txt\n2 T text/html\n"},
      {"Content-Type: multipart/related; boundary=r\n\n"
       "--r\nContent-Type: multipart/alternative; boundary=a\n\n"
       "--a\nContent-Type: text/plain\n\nx\n--a\nContent-Type: text/html\n\nx\n--a--\n"
       "--r\nContent-Type: image/png\nContent-ID: <i>\n\nx\n--r--\n",
       "- M message/rfc822\n1.1 T text/plain\n1.2 T text/html hidden\n2 A image/png part-1.png\n"},
      {"Content-Type: multipart/mixed; boundary=m\n\n"
       "--m\nContent-Type: text/plain\n\nx\n"
       "--m\nContent-Type: message/rfc822\n\nSubject: fw\n"
       "Content-Type: multipart/mixed; boundary=n\n\n"
       "--n\nContent-Type: text/plain\n\ny\n--n\nContent-Type: application/pdf\n\nz\n--n--\n"
       "--m--\n",
       "- M message/rfc822\n1 T text/plain\n2 M message/rfc822\n2.1 T text/plain\n"
       "2.2 A application/pdf part-1.pdf\n"},
      // The mail ends inside its second attachment: that one, and only that one, is cut.
      {"Content-Type: multipart/mixed; boundary=m\n\n"
       "--m\nContent-Type: text/plain\n\nx\n--m\nContent-Type: image/gif\n\nGIF\n"
       "--m\nContent-Type: application/zip\nContent-Transfer-Encoding: base64\n\nUEsDBA",
       "- M message/rfc822\n1 T text/plain\n2 A image/gif part-1.gif\n"
       "3 A application/zip part-2.zip cut\n"},
  };
  for (const Case& c : cases) {
    const auto mail = parseMail(c.mail);
    ASSERT_TRUE(mail) << c.mail;
    EXPECT_EQ(describe(*mail), c.parts) << c.mail;
    EXPECT_FALSE(mail->limitReached());
  }
}

TEST(MailEngineTest, DeepMultipartsMeetTheBoundAndNonMailIsRefused) {
  for (const int depth : {20, kMaxNesting + 10, 5000}) {
    std::string mail;
    for (int i = 0; i < depth; ++i) {
      mail += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\n\n--b" +
              std::to_string(i) + "\n";
    }
    mail += "Content-Type: application/pdf\n\nleaf\n";
    const auto parsed = parseMail(mail);
    ASSERT_TRUE(parsed) << depth;
    EXPECT_EQ(parsed->limitReached(), depth > kMaxNesting) << depth;
    const bool leafFound = parsed->parts().back().role == PartRole::Attachment;
    EXPECT_EQ(leafFound, depth <= kMaxNesting) << depth;
  }
  for (const std::string& bytes :
       {std::string(), std::string("\n\n"), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16),
        std::string("<html><body>x</body></html>\n")}) {
    EXPECT_FALSE(parseMail(bytes)) << ::testing::PrintToString(bytes);
  }
}

}  // namespace
// Headers and part lists no real mail has are cut before the parser builds them; what a real
// mail holds, however odd, is read to its end.
TEST(MailEngineTest, HeaderAndDelimiterBoundsCutOnlyWhatNoMailHas) {
  const auto repeat = [](const std::string& text, std::uint64_t times) {
    std::string out;
    out.reserve(text.size() * times);
    for (std::uint64_t i = 0; i < times; ++i) out += text;
    return out;
  };
  const std::string attachment =
      "--b\nContent-Type: application/pdf; name=a.pdf\nContent-Transfer-Encoding: base64\n\n"
      "JVBERg==\n--b--\n";
  const std::string multipart = "Content-Type: multipart/mixed; boundary=b\n";
  struct Case {
    std::string name;
    std::string mail;
    ReadLimit limit;
  };
  const std::vector<Case> cases = {
      {"fields at the bound",
       "From: a\n" + repeat("X-H: v\n", kMaxHeaderFields - 4) + multipart + "\n" + attachment,
       ReadLimit::None},
      {"a field past the bound",
       "From: a\n" + repeat("X-H: v\n", kMaxHeaderFields) + multipart + "\n" + attachment,
       ReadLimit::Header},
      {"fields spread over the parts",
       "From: a\n" + multipart + "\n" +
           repeat("--b\nContent-Type: text/plain\nX-A: 1\n\nx\n", kMaxHeaderFields / 2) + "--b--\n",
       ReadLimit::Header},
      {"a subject just under the bound",
       "From: a\n" + multipart + "Subject: " + std::string(kMaxHeaderBytes - 200, 'w') + "\n\n" +
           attachment,
       ReadLimit::None},
      {"a subject past the bound",
       "From: a\nSubject: " + std::string(kMaxHeaderBytes, 'w') + "\n" + multipart + "\n" +
           attachment,
       ReadLimit::Header},
      {"folded past the bound",
       "From: a\nTo: x\n" + repeat(" y@example.jp,\r\n", kMaxHeaderBytes / 10) + multipart + "\n" +
           attachment,
       ReadLimit::Header},
      {"a forwarded message's header",
       "From: a\nContent-Type: message/rfc822\n\nFrom: b\n" +
           repeat("Received: x\n", kMaxHeaderFields) + "\nbody\n",
       ReadLimit::Header},
      // GMime holds a multipart's preamble and epilogue whole: the body of one that names no
      // boundary, text after a closing delimiter, part headers whose boundary ends in "--".
      {"a body with no boundary under the bound",
       "From: a\nContent-Type: multipart/mixed\n\n" + repeat("text\n", kMaxPreambleBytes / 6),
       ReadLimit::None},
      {"a body with no boundary past the bound",
       "From: a\nContent-Type: multipart/mixed\n\n" + repeat("text\n", kMaxPreambleBytes / 4),
       ReadLimit::Preamble},
      {"an epilogue past the bound",
       "From: a\n" + multipart + "\n" + attachment + repeat("text\n", kMaxPreambleBytes / 4),
       ReadLimit::Preamble},
      {"lines like delimiters of no boundary in an epilogue",
       "From: a\n" + multipart + "\n" + attachment +
           repeat("--x\n" + std::string(1000, 't') + "\n", kMaxPreambleBytes / 1000),
       ReadLimit::Preamble},
      {"a boundary GMime reads as an encoded word",
       "From: a\nContent-Type: multipart/mixed; boundary=\"=?utf-8?Q?x?=\"\n\n" +
           repeat("--=?utf-8?Q?x?=\n\n" + std::string(1000, 't') + "\n", kMaxPreambleBytes / 1000),
       ReadLimit::Preamble},
      // Only Content-Type says what follows a header; a boundary longer than RFC 2046 allows
      // still ends a preamble.
      {"multipart named in the Subject",
       "From: a\nSubject: multipart/mixed; boundary=b\nContent-Type: text/plain\n\n" +
           repeat("text\n", kMaxPreambleBytes / 4),
       ReadLimit::None},
      {"a boundary of 200 bytes",
       "From: a\nContent-Type: multipart/mixed;\n boundary=\"" + std::string(200, 'q') +
           "\"\n\n--" + std::string(200, 'q') + "\nContent-Type: text/plain\n\n" +
           repeat("text\n", kMaxPreambleBytes / 4) + "--" + std::string(200, 'q') + "--\n",
       ReadLimit::None},
      {"fields under a boundary that ends in dashes",
       "From: a\nContent-Type: multipart/mixed; boundary=\"b--\"\n\n" +
           repeat("--b--\nX-A: 1\nX-B: 2\n\nx\n", kMaxHeaderFields),
       ReadLimit::Header},
      {"delimiter lines for twice the parts",
       "From: a\n" + multipart + "\n" + repeat("--b\n\nx\n", 2 * kMaxPartsPerMail + 1),
       ReadLimit::Parts},
      // A body is no header: long Base64 run into its part's header, comment lines of SQL, field
      // lines after the header of a text part, a CRLF mail.
      {"Base64 run into the header",
       "From: a\n" + multipart + "\n--b\nContent-Type: application/pdf; name=a.pdf\n" +
           "Content-Transfer-Encoding: base64\n" +
           repeat("QUJDREVGR0hJSktMTU5PUFFSU1RVVldY\n", 40000) + "--b--\n",
       ReadLimit::None},
      {"comment lines", "From: a\nContent-Type: text/plain\n\n" + repeat("-- note\n--\n", 30000),
       ReadLimit::None},
      {"field lines in a body",
       "From: a\n" + multipart + "\n--b\nContent-Type: text/plain\n\n" +
           repeat("Note: x\n", 2 * kMaxHeaderFields) + attachment,
       ReadLimit::None},
      {"CRLF", "From: a\r\n" + repeat("X-H: v\r\n", 1000) + multipart + "\r\n" + attachment,
       ReadLimit::None},
  };
  for (const Case& c : cases) {
    const auto mail = parseMail(c.mail);
    ASSERT_TRUE(mail) << c.name;
    EXPECT_EQ(mail->limit(), c.limit) << c.name;
    EXPECT_LE(mail->parts().size(), kMaxPartsPerMail) << c.name;
    EXPECT_FALSE(mail->headers(0).empty()) << c.name;  // what came before a cut is read
    // Below the bounds the attachment after the header is there and whole.
    if (c.limit == ReadLimit::None && c.mail.find("a.pdf") != std::string::npos) {
      bool found = false;
      for (std::size_t i = 0; i < mail->parts().size(); ++i) {
        if (mail->parts()[i].name != "a.pdf") continue;
        found = true;
        EXPECT_GT(mail->decodedSize(i), 0U) << c.name;
        EXPECT_FALSE(mail->parts()[i].truncated) << c.name;
      }
      EXPECT_TRUE(found) << c.name;
    }
  }
}

// An mbox message with escaped "From " lines reads as the message before it was escaped: its
// texts, its parts and every byte of its attachments, whether the file is read whole or streamed.
TEST(MailFileTest, EscapedFromLinesReadAsTheMessageBeforeEscaping) {
  ScopedTempDir dir;
  PosixPlatform platform;
  for (const std::size_t lines : {std::size_t{10}, std::size_t{40000}}) {
    SCOPED_TRACE(lines);
    std::string payload;
    std::string message =
        "Subject: s\nContent-Type: multipart/mixed; boundary=b\n\n--b\n"
        "Content-Type: text/plain\n\nFrom the start\n>From quoted\nFrom\n>>>From deep\n"
        "--b\nContent-Type: application/octet-stream; name=x.bin\n"
        "Content-Transfer-Encoding: base64\n\n";
    for (std::size_t i = 0; i < lines; ++i) {
      message += "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKiss\n";
      if (i % 997 == 0) message += "\n--b\nContent-Type: text/plain\n\nFrom a gap\n--b\n\n";
    }
    message += "--b\nContent-Type: text/plain\n\nFrom the end\n--b--\n";
    std::string escaped;
    std::size_t at = 0;
    while (at < message.size()) {
      const std::size_t end = std::min(message.find('\n', at), message.size() - 1) + 1;
      const std::string line = message.substr(at, end - at);
      const std::size_t quotes = line.find_first_not_of('>');
      if (line.compare(quotes, 5, "From ") == 0) escaped += ">";
      escaped += line;
      at = end;
    }
    writeFile(dir.file("box"), "From x\n" + escaped + "\nFrom y\nSubject: next\n\nz\n");
    int error = 0;
    const auto file = MailFile::open(platform, dir.file("box"), error);
    ASSERT_TRUE(file) << error;
    ASSERT_EQ(file->messageCount(), 2u);
    const auto read = file->parse(0);
    const auto expected = parseMail(message);
    ASSERT_TRUE(read && expected);
    EXPECT_EQ(describe(*read), describe(*expected));
    for (std::size_t i = 0; i < expected->parts().size(); ++i) {
      std::string got;
      std::string want;
      read->decode(i, [&](const std::uint8_t* data, std::size_t size) {
        got.append(reinterpret_cast<const char*>(data), size);
        return true;
      });
      expected->decode(i, [&](const std::uint8_t* data, std::size_t size) {
        want.append(reinterpret_cast<const char*>(data), size);
        return true;
      });
      EXPECT_EQ(got, want) << i;
    }
    EXPECT_EQ(read->text(1), "From the start\n>From quoted\nFrom\n>>>From deep");
    EXPECT_TRUE(file->parse(1));
  }
}

}  // namespace korvani::mail
