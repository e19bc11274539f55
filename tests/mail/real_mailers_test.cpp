// Mail as old and broken mailers really write it: each shape read as its writer meant it, a
// file that changes while it is read, and what `read` and `extract` say of them end to end.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "mail/mail_engine.h"
#include "mail/mail_reader.h"
#include "mail/mail_text.h"
#include "support/fake_platform.h"
#include "support/test_files.h"

namespace korvani::mail {
namespace {

const MailLibrary kLibrary;

// What a reader and the extractor get of a mail: the Subject, and for each part its path, type,
// name, whether it ends cut (!) or merely without the closing delimiter (~), and its bytes (its
// text for a Text part).
std::string summary(const Mail* mail) {
  if (!mail) return "(not a mail)";
  std::string out;
  const auto& parts = mail->parts();
  for (std::size_t index = 0; index < parts.size(); ++index) {
    const MailPart& part = parts[index];
    if (part.role == PartRole::Message) {
      for (const HeaderField& field : mail->headers(index)) {
        if (field.name == "Subject") out += "Subject=" + field.value + "\n";
      }
      continue;
    }
    out += part.path + " " + part.mediaType + " " +
           (part.role == PartRole::Text ? "text" : part.name) + (part.truncated ? " !" : "") +
           (part.unterminated ? " ~" : "") + ": ";
    if (part.role == PartRole::Text) {
      out += mail->text(index);
    } else {
      std::string bytes;
      const bool decoded = mail->decode(index, [&](const std::uint8_t* data, std::size_t size) {
        bytes.append(reinterpret_cast<const char*>(data), size);
        return true;
      });
      out += decoded ? bytes : "(unreadable)";
    }
    out += "|\n";
  }
  return out;
}

// A multipart/mixed mail with boundary "b": a text part, then `last` (its header and body) and
// `end` after it.
std::string mixed(const std::string& last, const std::string& end = "--b--\n") {
  return "From: a@example.jp\nSubject: s\nContent-Type: multipart/mixed; boundary=\"b\"\n\n"
         "--b\nContent-Type: text/plain\n\nbody\n--b\n" +
         last + end;
}

TEST(RealMailersTest, EachShapeReadsAsItsWriterMeantIt) {
  struct Case {
    const char* label;
    std::string mail;
    std::string expected;
  } cases[] = {
      {"lines ending in a lone CR", "From: a@example.jp\rSubject: cr\r\rhello\rworld\r",
       "Subject=cr\n1 text/plain text: hello\nworld\n|\n"},
      {"a uuencode begin line folded before its name",
       mixed("Content-Type: application/octet-stream\nContent-Transfer-Encoding: x-uuencode\n\n"
             "begin 664\n data.bin\n+:&5L;&\\@=V]R;&0 \n`\nend\n"),
       "Subject=s\n1 text/plain text: body|\n2 application/octet-stream data.bin: hello world|\n"},
      {"uuencoded text without a begin line decodes to nothing: a failure",
       mixed("Content-Type: application/octet-stream; name=x.uu\n"
             "Content-Transfer-Encoding: x-uuencode\n\njust text\n"),
       "Subject=s\n1 text/plain text: body|\n2 application/octet-stream x.uu: (unreadable)|\n"},
      {"a closing delimiter as the file's last bytes, CR LF lines",
       "Subject: s\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
       "Content-Type: text/plain; name=a.txt\r\n\r\nfirst\r\n--b\r\n"
       "Content-Type: text/plain; name=b.txt\r\n\r\nlast\r\n--b--",
       "Subject=s\n1 text/plain a.txt: first|\n2 text/plain b.txt: last|\n"},
      {"a part header running straight into its Base64 body",
       mixed("Content-Type: application/octet-stream; name=x.bin\n"
             "Content-Transfer-Encoding: base64\nAAECAwQF\nAAEC\n"),
       "Subject=s\n1 text/plain text: body|\n2 application/octet-stream x.bin: " +
           std::string("\0\1\2\3\4\5\0\1\2", 9) + "|\n"},
      {"a mail header running straight into its text", "Subject: x\r\nhello there\r\nmore\r\n",
       "Subject=x\n1 text/plain text: hello there\nmore\n|\n"},
      {"a bad line among the fields of a header", "Subject: x\nbad line\nFrom: a@example.jp\n\n",
       "Subject=x\n1 text/plain text: |\n"},
      {"a media type without a subtype is text/plain",
       "Subject: t\nContent-Type: text; charset=iso-8859-1\n\ncaf\xe9\n",
       "Subject=t\n1 text/plain text: café\n|\n"},
      {"garbage for a media type keeps its name",
       mixed("Content-Type: ??; name=notes.txt\n\nnotes\n"),
       "Subject=s\n1 text/plain text: body|\n2 text/plain notes.txt: notes|\n"},
      {"a boundary= on a line of its own",
       "Subject: bounce\nContent-Type: multipart/report;\nboundary=\"r\"\n\n--r\n"
       "Content-Type: text/plain\n\nDelivery failed\n--r--\n",
       "Subject=bounce\n1 text/plain text: --r\nContent-Type: text/plain\n\nDelivery "
       "failed\n--r--\n|\n"},
      {"a first line of spaces and an indented first field",
       "   \n\n  Subject: indented\nFrom: a@example.jp\n\nbody\n",
       "Subject=indented\n1 text/plain text: body\n|\n"},
      {"Base64 ending in three and in two characters without padding",
       mixed("Content-Type: application/octet-stream; name=a.bin\n"
             "Content-Transfer-Encoding: base64\n\nQUJDREU\n--b\n"
             "Content-Type: application/octet-stream; name=b.bin\n"
             "Content-Transfer-Encoding: base64\n\nQUJDRA\n"),
       "Subject=s\n1 text/plain text: body|\n2 application/octet-stream a.bin: ABCDE|\n"
       "3 application/octet-stream b.bin: ABCD|\n"},
      {"an encoded word without its padding", "Subject: =?utf-8?B?QUJDRA?=\n\nx\n",
       "Subject=ABCD\n1 text/plain text: x\n|\n"},
      {"a whole last part without the closing delimiter",
       mixed("Content-Type: application/octet-stream; name=x.bin\n"
             "Content-Transfer-Encoding: base64\n\nQUJDREVG\nQUI=\n",
             ""),
       "Subject=s\n1 text/plain text: body|\n2 application/octet-stream x.bin ~: ABCDEFAB|\n"},
      {"a whole quoted-printable last part without the closing delimiter",
       mixed("Content-Type: text/plain; name=q.txt\nContent-Transfer-Encoding: quoted-printable"
             "\n\ncaf=C3=A9\n",
             ""),
       "Subject=s\n1 text/plain text: body|\n2 text/plain q.txt ~: café\n|\n"},
      {"a last part cut in the middle of a line",
       mixed("Content-Type: application/octet-stream; name=x.bin\n"
             "Content-Transfer-Encoding: base64\n\nQUJDREVG\nQU",
             ""),
       "Subject=s\n1 text/plain text: body|\n2 application/octet-stream x.bin !: ABCDEFA|\n"},
      {"a last part cut after a full line",
       mixed("Content-Type: application/octet-stream; "
             "name=x.bin\nContent-Transfer-Encoding: "
             "base64\n\nQUJDREVG\nQUJDREVG\n",
             ""),
       "Subject=s\n1 text/plain text: body|\n2 application/octet-stream x.bin !: ABCDEFABCDEF|\n"},
      {"uuencode cut before its end line",
       mixed("Content-Type: application/octet-stream; name=x.uu\n"
             "Content-Transfer-Encoding: x-uuencode\n\nbegin 644 x\n+:&5L;&\\@=V]R;&0 \n",
             ""),
       "Subject=s\n1 text/plain text: body|\n2 application/octet-stream x.uu !: hello world|\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(summary(parseMail(c.mail).get()), c.expected) << c.label;
  }
  // Blank lines alone, or text that is no field, are still no mail.
  EXPECT_FALSE(parseMail(" \r\n\t\n"));
  EXPECT_FALSE(parseMail("\n\nhello there\n"));
}

// The mends find their bytes by offset: an mbox message far into its file, and a large file read
// a window at a time (its CRs turned into line ends as they are read), read as the same bytes
// parsed on their own.
TEST(RealMailersTest, MailsInFilesAreMendedAsTheSameMailsInMemory) {
  const std::vector<std::string> messages = {
      "From: a@example.jp\nSubject: first\n\nfirst\n",
      mixed("Content-Type: application/octet-stream; name=x.bin\n"
            "Content-Transfer-Encoding: base64\nQUJDREVG\n"),
      "  \n  Subject: indented\n\nbody\n",
      "Subject: x\nhello there\nmore\n",
      "Subject: last\n\nlast\n",
  };
  std::string mbox;
  for (const std::string& message : messages) {
    mbox += "From x@example.jp Mon Jan  1 00:00:00 2024\n" + message + "\n";
  }
  std::string lines;
  for (int line = 0; line < 20000; ++line) lines += std::string(76, 'Q') + "\r";
  const std::string largeCr =
      "Subject: large\rContent-Type: multipart/mixed; boundary=b\r\r--b\r"
      "Content-Type: text/plain; name=a.txt\r\rtext\r--b\r"
      "Content-Type: application/octet-stream; name=q.bin\rContent-Transfer-Encoding: base64\r\r" +
      lines + "--b--\r";
  testing::FakePlatform platform;
  platform.addFile("box", mbox);
  platform.addFile("large", largeCr);
  int error = 0;
  const auto box = MailFile::open(platform, "box", error);
  ASSERT_TRUE(box) << error;
  ASSERT_EQ(box->messageCount(), messages.size());
  for (std::size_t index = 0; index < messages.size(); ++index) {
    // The last message keeps the file's last empty line.
    const bool last = index + 1 == messages.size();
    const std::string expected = summary(parseMail(messages[index] + (last ? "\n" : "")).get());
    EXPECT_EQ(summary(box->parse(index).get()), expected) << index;
    EXPECT_EQ(expected.find("(not a mail)"), std::string::npos) << index;
  }
  const auto large = MailFile::open(platform, "large", error);
  ASSERT_TRUE(large) << error;
  const auto mail = large->parse(0);
  ASSERT_TRUE(mail);
  ASSERT_EQ(mail->parts().size(), 3u);
  EXPECT_EQ(mail->parts()[2].name, "q.bin");
  EXPECT_EQ(mail->decodedSize(2), std::uint64_t{20000} * 57);
  EXPECT_EQ(summary(mail.get()), summary(parseMail(largeCr).get()));
}

// Base64 without its padding holds every byte, whatever the length: in a part and in a word.
TEST(RealMailersTest, Base64WithoutPaddingLosesNoByteAtAnyLength) {
  const std::string text = "Korvani.reads.the.tail";
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t length = 0; length <= text.size(); ++length) {
    std::string encoded;
    for (std::size_t at = 0; at < length; at += 3) {
      std::uint32_t group = 0;
      const std::size_t bytes = std::min<std::size_t>(3, length - at);
      for (std::size_t i = 0; i < 3; ++i) {
        group = group << 8 | (i < bytes ? static_cast<std::uint8_t>(text[at + i]) : 0);
      }
      for (std::size_t i = 0; i <= bytes; ++i) encoded += alphabet[group >> (18 - 6 * i) & 63];
    }
    const std::string expected = text.substr(0, length);
    EXPECT_EQ(decodeHeaderText("=?us-ascii?B?" + encoded + "?="), expected) << encoded;
    const auto mail =
        parseMail(mixed("Content-Type: application/octet-stream; name=t.bin\n"
                        "Content-Transfer-Encoding: base64\n\n" +
                        encoded + "\n"));
    ASSERT_TRUE(mail);
    std::string bytes;
    EXPECT_TRUE(mail->decode(2, [&](const std::uint8_t* data, std::size_t size) {
      bytes.append(reinterpret_cast<const char*>(data), size);
      return true;
    }));
    EXPECT_EQ(bytes, expected) << encoded;
  }
}

TEST(RealMailersTest, RawNamesAreCodePage932OnlyWhenTheyReadAsIt) {
  struct Case {
    const char* raw;
    const char* charset;
    const char* text;
  } cases[] = {
      {"Fr\xf6sche.txt", "", "Frösche.txt"},  // 0xF6 0x73 is a user-defined character in CP932
      {"caf\xe9", "", "café"},                // a lead byte with nothing after it
      {"\x80\x81", "", "€\xEF\xBF\xBD"},      // windows-1252, whose 0x81 is nothing
      {"\xf6s", "koi8-r", "Жs"},              // the part's or mail's charset before windows-1252
      {"caf\xe9", "utf-8", "café"},           // a charset the bytes already failed is no help
      {"\x95\xf1\x8d\x90.txt", "iso-8859-1", "報告.txt"},  // Shift_JIS still comes first
      {"\xa5\xbd\xa1\xbc\xa5\xb9", "", "ソース"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(rawTextToUtf8(c.raw, c.charset), c.text) << c.raw;
  }
  const auto mail =
      parseMail(mixed("Content-Type: application/octet-stream\nContent-Disposition: attachment; "
                      "filename=\"Fr\xf6sche.zip\"\n\nx\n"));
  ASSERT_TRUE(mail);
  EXPECT_EQ(mail->parts().back().name, "Frösche.zip");
}

TEST(RealMailersTest, TextAttachmentsAreReadBelowTheMessage) {
  const auto mail = parseMail(
      mixed("Content-Type: text/plain; charset=shift_jis; name=memo.txt\n"
            "Content-Disposition: attachment\n\n\x83\x81\x83\x82\n--b\n"
            "Content-Type: image/png; name=a.png\nContent-Transfer-Encoding: base64\n\nAAEC\n"));
  ASSERT_TRUE(mail);
  EXPECT_EQ(renderMail(*mail),
            "From: a@example.jp\nSubject: s\n\nbody\n\n"
            "[添付] memo.txt (text/plain, 4 B)\n[添付] a.png (image/png, 3 B)\n\n"
            "---------- memo.txt ----------\nメモ\n");
}

// A line end encoded into a field stays on the field's line: no second line that reads as a field.
TEST(RealMailersTest, EncodedLineEndsInAFieldStayOnItsLine) {
  const auto mail = parseMail(
      "From: a@example.jp\nSubject: =?UTF-8?B?aGkKRnJvbTogYm9zcw==?= =?UTF-8?B?eA0KeQ==?=\n\n"
      "body\n");
  ASSERT_TRUE(mail);
  EXPECT_EQ(renderMail(*mail), "From: a@example.jp\nSubject: hi␊From: bossx␍␊y\n\nbody\n");
}

// A file that holds `before` until `changed` is set, and `after` from then on.
class ChangingFile : public ReadableFile {
 public:
  ChangingFile(const std::string& before, const std::string& after, const bool& changed)
      : before(before), after(after), changed(changed) {}
  std::uint64_t length() const override { return before.size(); }
  int read(std::uint8_t*, std::uint64_t) override { return EIO; }
  int readAt(std::uint64_t offset, std::uint8_t* destination, std::size_t count,
             std::size_t& got) override {
    const std::string& now = changed ? after : before;
    got = offset >= now.size() ? 0 : std::min<std::size_t>(count, now.size() - offset);
    std::copy_n(now.data() + (got ? offset : 0), got, destination);
    return 0;
  }
  FileTimes times() const override { return {}; }

 private:
  const std::string& before;
  const std::string& after;
  const bool& changed;
};

class ChangingPlatform : public testing::FakePlatform {
 public:
  std::string before;
  std::string after;
  bool changed = false;
  std::unique_ptr<ReadableFile> openForReading(const std::string&, ShareMode, int*) override {
    return std::make_unique<ChangingFile>(before, after, changed);
  }
};

TEST(RealMailersTest, AFileThatChangesWhileItIsReadGivesNoAttachment) {
  std::string lines;
  for (int line = 0; line < 20000; ++line) lines += std::string(76, 'Q') + "\n";
  const std::string large = mixed(
      "Content-Type: application/octet-stream; name=big.bin\n"
      "Content-Transfer-Encoding: base64\n\n" +
      lines);
  const std::string small = mixed("Content-Type: text/plain; name=a.txt\n\nsmall\n");
  enum class When { Opening, Parsing, Decoding };
  struct Case {
    const char* label;
    const std::string& before;
    std::string after;
    When when;
  } cases[] = {
      {"a small file that shrinks as it is opened", small, small.substr(0, 50), When::Opening},
      {"a small file that grows as it is opened", small, small + "more\n", When::Opening},
      {"a large file that shrinks before it is parsed", large, large.substr(0, 1000),
       When::Parsing},
      {"a large file that shrinks as a part is decoded", large,
       large.substr(0, large.size() - 1000), When::Decoding},
      {"a large file that grows as a part is decoded", large, large + "From: more\n",
       When::Decoding},
      {"a large file rewritten to the same length", large, std::string(large.size(), 'x'),
       When::Decoding},  // not seen: only its length and its end are checked
  };
  for (const Case& c : cases) {
    ChangingPlatform platform;
    platform.before = c.before;
    platform.after = c.after;
    platform.changed = c.when == When::Opening;
    int error = 0;
    const auto file = MailFile::open(platform, "m", error);
    if (c.when == When::Opening) {
      EXPECT_FALSE(file) << c.label;
      EXPECT_EQ(error, ESTALE) << c.label;
      continue;
    }
    ASSERT_TRUE(file) << c.label << " " << error;
    platform.changed = c.when == When::Parsing;
    const auto mail = file->parse(0, &error);
    if (c.when == When::Parsing) {
      EXPECT_FALSE(mail) << c.label;
      EXPECT_EQ(error, ESTALE) << c.label;
      continue;
    }
    ASSERT_TRUE(mail) << c.label << " " << error;
    platform.changed = true;
    const bool sameLength = c.after.size() == c.before.size();
    EXPECT_EQ(mail->decode(mail->parts().size() - 1,
                           [](const std::uint8_t*, std::size_t) { return true; }),
              sameLength)
        << c.label;
  }
}

TEST(RealMailersCliTest, ReadAndExtractSayWhatTheyFound) {
  using testing::readFile;
  using testing::runKorvani;
  testing::ScopedTempDir dir;
  // au's emoji rows and a NUL sent in encoded words.
  testing::writeFile(
      dir.file("au.eml"),
      "From: a@ezweb.example.ne.jp\nSubject: =?ISO-2022-JP?B?GyRCQmpMPhsoQngbJEJ1WRsoQg==?= "
      "=?utf-8?Q?a=00b?=\nContent-Type: multipart/mixed; boundary=b\n\n--b\n"
      "Content-Type: text/plain; charset=iso-2022-jp\n\n\x1b$BK\\J8\x1b(B\n--b\n"
      "Content-Type: image/gif; name=\"=?ISO-2022-JP?B?GyRCdVkbKEI=?=x=?utf-8?Q?=00?=.gif\"\n"
      "Content-Transfer-Encoding: base64\n\nR0lGODlh\n--b--\n");
  auto result = runKorvani({"read", dir.file("au.eml")});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out,
            "From: a@ezweb.example.ne.jp\nSubject: 題名x\xEF\xBF\xBD"
            "ab\n\n本文\n\n"
            "[添付] \xEF\xBF\xBDx.gif (image/gif, 6 B)\n");
  result = runKorvani({"extract", dir.file("au.eml"), "--list"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "1 text/plain 7bit 10 -\n2 image/gif base64 6 \xEF\xBF\xBDx.gif\n");

  // Read never prints an empty reading as a success.
  testing::writeFile(dir.file("nothing.eml"), "X-Spam: yes\n\n");
  result = runKorvani({"read", dir.file("nothing.eml")});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "korvani: " + dir.file("nothing.eml") + ": is not a mail: no header could be read\n");

  // A whole last part without the closing delimiter is written, with a warning and success.
  testing::writeFile(dir.file("bounce.eml"),
                     mixed("Content-Type: text/plain; name=q.txt\n\nreturned\n", ""));
  result = runKorvani({"extract", dir.file("bounce.eml"), "--list"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out,
            "1 text/plain 7bit 4 -\n2 text/plain 7bit 9 q.txt (no closing delimiter)\n");
  EXPECT_EQ(result.err, "korvani: " + dir.file("bounce.eml") +
                            ": ends without its closing delimiter; its last part ends cleanly "
                            "and was read whole\n");
  result = runKorvani({"extract", dir.file("bounce.eml"), "-d", dir.file("out")});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(readFile(dir.file("out/q.txt")), "returned\n");
}

}  // namespace
}  // namespace korvani::mail
