// Text made readable: the Windows rows of the Japanese charsets, header words split and mixed
// every way mailers split them, and text parts as the engine hands them out.
#include "mail/mail_text.h"

#include <gtest/gtest.h>

#include <string>

#include "mail/mail_engine.h"

namespace korvani::mail {
namespace {

const MailLibrary kLibrary;

TEST(MailTextTest, JapaneseCharsetsKeepTheirWindowsRowsAndHalfWidthKana) {
  struct Case {
    const char* charset;
    std::string bytes;
    const char* text;
  } cases[] = {
      // NEC row 13, the NEC-selected IBM rows and the IBM rows, under the labels not yet seen.
      {"shift-jis", "\x87\x8a\xed\x95\xfa\xb1\xee\xef\xfa\x40", "㈱﨑﨑ⅰⅰ"},
      {"MS932", "\x87\x54\x87\x82", "Ⅰ№"},
      {"csShiftJIS", "\xb1\x82\xa0", "ｱあ"},
      {"x-ms-cp932", "\xee\xe0\xfb\xfc", "髙髙"},
      {"iso-2022-jp", "\x1b$B-!-j|by!yu\x1b(B", "①㈱髙纊﨑"},
      {"ISO-2022-JP", "\x1b$B$\"\x1b(I1\x1b(Bz", "あｱz"},
      {"iso-2022-jp", "\x1b(I12\x1b$B$\"\x1b(B", "ｱｲあ"},
      {"iso-2022-jp",
       "a\x0e\x31\x32\x0f"
       "b",
       "aｱｲb"},
      {"csISO2022JP", "\x1b$B$\"\n$$\x1b(B\n", "あ\nい\n"},
      {"euc-jp", "\xad\xa1\xad\xea\x8e\xb1\xa4\xa2", "①㈱ｱあ"},
      {"EUC-JP", "\xfc\xe2", "髙"},
      // Other charsets through iconv, a byte it cannot read replaced and the rest kept.
      {"windows-1252", "\x80", "€"},
      {"koi8-r", "\xc1", "а"},
      {"utf-16le", std::string("a\0\x42\x30", 4), "aあ"},
      {"euc-kr",
       "a\xff"
       "b",
       "a\uFFFDb"},
      // A label no converter knows: read as raw text is.
      {"x-no-such-charset", "\x82\xa0", "あ"},
      {"", "\xe3\x81\x82", "あ"},
  };
  for (const Case& c : cases) EXPECT_EQ(charsetToUtf8(c.charset, c.bytes), c.text) << c.charset;
  EXPECT_EQ(utf8ToCp932Lossy("ｱ㈱\xff"), "\xb1\x87\x8a\x81\xac");
}

TEST(MailTextTest, HeaderWordsSplitAndMixedEveryWayReadWhole) {
  struct Case {
    const char* raw;
    const char* text;
  } cases[] = {
      // ISO-2022-JP whose shift state runs on from one padded word into the next.
      {"=?ISO-2022-JP?B?GyRCJCI=?= =?ISO-2022-JP?B?JCQbKEI=?=", "あい"},
      {"=?UTF-8?Q?=E6=97?=\r\n =?UTF-8?Q?=A5?=", "日"},
      {"=?utf-8?B?5pe=?=\r\n\t=?UTF-8?b?pQ==?=", "日"},
      {"=?UTF-8?B?5pel?= =?ISO-2022-JP?B?GyRCLSEbKEI=?= =?UTF-8?Q?x?=", "日①x"},
      {"=?UTF-8?B?5pe=?= =?ISO-8859-1?Q?x?=", "\uFFFD\uFFFDx"},  // not joined across charsets
      {"=?UTF-8*ja?Q?a?=", "a"},
      {"=?UTF-8?Q?a?= and =?UTF-8?Q?b?=", "a and b"},
      {"caf\xc3\xa9 =?UTF-8?Q?x?= \x82\xa0", "café x あ"},
      {"=?UTF-8?Q?a_b=4?=", "a b=4"},
      {"=?UTF-8?Q?a b?=", "=?UTF-8?Q?a b?="},
      {"=?UTF-8?X?abc?=", "=?UTF-8?X?abc?="},
      {"=?"
       "?Q?a?=",
       "=?"
       "?Q?a?="},
      {"=?UTF-8?B?"
       "?=",
       ""},
      {"  spaced\r\n  out  ", "spaced  out"},
  };
  for (const Case& c : cases) EXPECT_EQ(decodeHeaderText(c.raw), c.text) << c.raw;
}

TEST(MailTextTest, OpeningsThatNeverCloseStayTextAndSpareTheWordsAroundThem) {
  struct Case {
    const char* raw;
    const char* text;
  } cases[] = {
      // No closing "?=" of their own: every byte stays, "=" and "?" included.
      {"=?a?B?=?a?B?=?a?B?", "=?a?B?=?a?B?=?a?B?"},
      {"=?a?B?x=?a?B?x", "=?a?B?x=?a?B?x"},
      {"=?=?=?", "=?=?=?"},
      {"=?utf-8?B?x", "=?utf-8?B?x"},
      // The next valid word still decodes, right after the opening or after a space.
      {"=?a?B?x=?utf-8?B?5pel?=", "=?a?B?x日"},
      {"=?a?B?=?utf-8?B?5pel?=", "=?a?B?日"},
      {"=?utf-8?B?x =?utf-8?B?5pel?=", "=?utf-8?B?x 日"},
      {"=?utf-8?B?5pel?==?a?B?", "日=?a?B?"},
      // Space between two words goes; space beside a failed opening is text and stays.
      {"=?utf-8?Q?a?= =?a?B? =?utf-8?Q?b?=", "a =?a?B? b"},
      {"=?utf-8?Q?a?=\r\n =?utf-8?Q?b?=\r\n =?a?B?x", "ab =?a?B?x"},
      // A '?' or white space ends a charset or a payload: no word there.
      {"=?utf-8?Q?a?b?=", "=?utf-8?Q?a?b?="},
      {"=?utf 8?Q?a?=", "=?utf 8?Q?a?="},
      {"=?utf-8?B?5p\r\n el?=", "=?utf-8?B?5p el?="},
  };
  for (const Case& c : cases) EXPECT_EQ(decodeHeaderText(c.raw), c.text) << c.raw;
}

TEST(MailTextTest, LongRunsOfOpeningsKeepEveryByteAndEveryWordAmongThem) {
  for (const std::string unit :
       {"=?a?B?", "=?a?B?x", "=?utf-8?B?x", "=?", "=?a?B? ", "=?utf-8?Q?a?b"}) {
    std::string raw;
    std::string text;
    for (int index = 1; index <= 8000; ++index) {  // some 60 KiB, a valid word every 1 000
      raw += unit;
      text += unit;
      if (index % 1000 == 0) {
        raw += "=?utf-8?B?5pel?=";
        text += "日";
      }
    }
    if (text.back() == ' ') text.pop_back();
    EXPECT_TRUE(decodeHeaderText(raw) == text) << unit;  // compared whole: too long to print
  }
}

TEST(MailTextTest, OpeningsInFieldsAndNamesReachTheReaderWhole) {
  const auto mail = parseMail(
      "From: =?a?B?x=?utf-8?B?5pel?= <a@example.jp>\n"
      "Subject: =?a?B?=?a?B? =?utf-8?B?5pel?=\n"
      "Content-Type: multipart/mixed; boundary=b\n\n"
      "--b\nContent-Type: text/plain\n\nx\n"
      "--b\nContent-Type: application/pdf; name=\"=?a?B?x=?utf-8?B?5pel?=.pdf\"\n\nx\n"
      "--b\nContent-Type: application/pdf; name==?a?B?y=?utf-8?B?5pel?=.pdf\n\nx\n"
      "--b\nContent-Type: application/pdf\n"
      "Content-Disposition: attachment; filename=\"=?a?B?=?utf-8?B?5pys?=.pdf\"\n\nx\n"
      "--b\nContent-Type: application/pdf\n"
      "Content-Disposition: attachment; filename*=utf-8''=?a?B?x=?utf-8?B?5pel?=.pdf\n\nx\n"
      "--b--\n");
  ASSERT_TRUE(mail);
  std::string fields;
  for (const HeaderField& field : mail->headers(0))
    fields += field.name + ": " + field.value + "\n";
  EXPECT_EQ(fields, "From: =?a?B?x日 <a@example.jp>\nSubject: =?a?B?=?a?B? 日\n");
  std::string names;
  for (const MailPart& part : mail->parts()) {
    if (part.role == PartRole::Attachment) names += part.name + "\n";
  }
  // Made safe for a file system ('?' becomes '_'); an RFC 2231 value is never an encoded word.
  EXPECT_EQ(names, "=_a_B_x日.pdf\n=_a_B_y日.pdf\n=_a_B_本.pdf\n=_a_B_x=_utf-8_B_5pel_=.pdf\n");
}

TEST(MailTextTest, IsoJapaneseHeaderWordsWithTheirDefectsReadCleanly) {
  struct Case {
    const char* raw;
    const char* text;
  } cases[] = {
      // A phone's emoji: one U+FFFD, not followed by its second byte ("題名\uFFFDY").
      {"=?ISO-2022-JP?B?GyRCQmpMPnVZGyhC?=", "題名\uFFFD"},
      // No ESC ( B at the end: the set does not run on into the text after the word.
      {"=?ISO-2022-JP?B?GyRCQmpMPg==?= Re", "題名 Re"},
      // A pair cut off at the end of the last word: no NUL bytes.
      {"=?ISO-2022-JP?B?GyRCJA==?=", "\uFFFD"},
      {"=?shift_jis?B?gg==?=", "\uFFFD"},
      // Shift_JIS under an ISO-2022-JP label, and ISO-2022-JP sent raw.
      {"=?ISO-2022-JP?B?gqA=?=", "あ"},
      {"\x1b$B$\"\x1b(B abc", "あ abc"},
      {"=?ISO-2022-JP?B?GyRCJCI=?= \x1b$BBj\x1b(B", "あ 題"},
      {"=?UTF-8?Q?a=00b?= c", "ab c"},
  };
  for (const Case& c : cases) {
    const std::string text = decodeHeaderText(c.raw);
    EXPECT_EQ(text, c.text) << c.raw;
    EXPECT_EQ(text.find('\0'), std::string::npos) << c.raw;
  }
}

TEST(MailTextTest, MainFieldsComeDecodedInTheirOrder) {
  const auto mail = parseMail(
      "Subject: =?UTF-8?B?5pel?=\r\n =?UTF-8?B?5pys?= \xe8\xaa\x9e\r\n"
      "Bcc: hidden@example.jp\r\n"
      "Cc: \x82\xa0 <a@example.jp>\r\n"
      "From: =?ISO-2022-JP?B?GyRCLSEbKEI=?= <b@example.jp>\r\n"
      "\r\nbody\r\n");
  ASSERT_TRUE(mail);
  std::string fields;
  for (const HeaderField& field : mail->headers(0))
    fields += field.name + ": " + field.value + "\n";
  EXPECT_EQ(fields, "From: ① <b@example.jp>\nCc: あ <a@example.jp>\nSubject: 日本 語\n");
}

// The text of the first Text part of a one-part mail made of `headers` and `body`.
std::string bodyText(const std::string& headers, const std::string& body) {
  const auto mail = parseMail(headers + "\n\n" + body);
  if (!mail) return "(not a mail)";
  for (std::size_t index = 0; index < mail->parts().size(); ++index) {
    if (mail->parts()[index].role == PartRole::Text) return mail->text(index);
  }
  return "(no text)";
}

TEST(MailTextTest, TextPartsReadWholeInTheirCharset) {
  struct Case {
    std::string headers;
    std::string body;
    std::string text;
  } cases[] = {
      {"Content-Type: text/plain; charset=utf-8", "\xEF\xBB\xBFone\r\ntwo\rthree\r\n",
       "one\ntwo\nthree\n"},
      {"Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: base64", "YQBiDQpj",
       "ab\nc"},
      {"Content-Type: text/plain; charset=utf-8", std::string("a\0b\n", 4), "ab\n"},
      {"Content-Type: text/plain; charset=\"Shift_JIS\"", "\x87\x40\x82\xa0\n", "①あ\n"},
      // No charset declared: the guess reads what raw-text rules cannot.
      {"Content-Type: text/plain", "\x1b$B:#F|$ONI$$E75$$G$9$M!#2q5D$N;qNA$rAw$j$^$9!#\x1b(B\n",
       "今日は良い天気ですね。会議の資料を送ります。\n"},
      {"Content-Type: text/plain", "plain ascii\n", "plain ascii\n"},
      // The part's own charset holds, whatever the HTML says of itself.
      {"Content-Type: text/html; charset=shift_jis",
       "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">"
       "</head><body><p>\x82\xa0</p>caf&eacute;</body></html>",
       "あ\n\ncafé\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(bodyText(c.headers, c.body), c.text) << c.headers;
}

}  // namespace
}  // namespace korvani::mail
