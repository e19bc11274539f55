// Whole mails through the mail decode line loop, checked byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "support/fake_platform.h"
#include "support/text_decoder_test_access.h"
#include "textdecode/text_decoder.h"

namespace korvani {
namespace {

using testing::FakePlatform;
using testing::RecordingSink;

class MailDecodeTest : public ::testing::Test {
 protected:
  std::string decodeMail(const std::string& mail, TextEncoding encoding = TextEncoding::Auto,
                         TextCharset charset = TextCharset::Auto) {
    TextDecoderTestAccess::encodingOption(decoder) = encoding;
    TextDecoderTestAccess::charsetOption(decoder) = charset;
    OutputArea out(platform, platform.allocateZeroed(mail.size()));
    decoder.decodeMailLines(reinterpret_cast<const std::uint8_t*>(mail.data()),
                            static_cast<std::uint32_t>(mail.size()), out);
    EXPECT_FALSE(out.failed());
    return std::string(reinterpret_cast<const char*>(out.data()), out.size());
  }

  FakePlatform platform;
  RecordingSink sink;
  TextDecoder decoder{platform, sink};
};

TEST_F(MailDecodeTest, SinglePartIso2022JpQuotedPrintableMail) {
  const std::string mail =
      "From: =?ISO-2022-JP?B?GyRCJCIbKEI=?= <a@example.jp>\r\n"
      "Subject: =?iso-2022-jp?q?=1B$B$=22=1B(B?= =?utf-8?B?QUJD?=\r\n"
      "Content-Type: text/plain; charset=iso-2022-jp\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n"
      "X-Note: not joined in a header=\r\n"
      "\r\n"
      "=1B$B$\"$$=1B(B=\r\n"
      " end\r\n"
      "\r\n"
      "ab=3Dc\r\n";
  EXPECT_EQ(decodeMail(mail),
            "From: \x82\xA0 <a@example.jp>\r\n"
            "Subject: \x82\xA0 =?utf-8?B?QUJD?=\r\n"
            "Content-Type: text/plain; charset=iso-2022-jp\r\n"
            "Content-Transfer-Encoding: quoted-printable\r\n"
            "X-Note: not joined in a header=\r\n"
            "\r\n"
            "\x82\xA0\x82\xA2 end\r\n"
            "\r\n"
            "ab=c\r\n");
  EXPECT_EQ(TextDecoderTestAccess::state(decoder), MailState::TextBody);
  EXPECT_EQ(TextDecoderTestAccess::currentEncoding(decoder), TextEncoding::QuotedPrintable);
  EXPECT_EQ(TextDecoderTestAccess::currentCharset(decoder), TextCharset::Jis);
}

TEST_F(MailDecodeTest, FixedOptionsIgnoreTheHeaders) {
  const std::string mail =
      "Content-Type: text/plain; charset=utf-8\r\n"
      "Content-Transfer-Encoding: base64\r\n"
      "\r\n"
      "=41=42\r\n";
  EXPECT_EQ(decodeMail(mail, TextEncoding::QuotedPrintable, TextCharset::Sjis),
            "Content-Type: text/plain; charset=utf-8\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "\r\n"
            "AB\r\n");
}

TEST_F(MailDecodeTest, MultipartMailOfOurOwnComposerComesBackUnchanged) {
  const std::string mail =
      "Mime-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=\"DATE050309_TIME140507\"\r\n"
      "\r\n"
      "This is a multi-part message in MIME format.\r\n"
      "\r\n"
      "--DATE050309_TIME140507\r\n"
      "Content-Type: text/plain; charset=iso-2022-jp\r\n"
      "\r\n"
      "\x20\x20\x81\x69\x82\xB1\x81\x6A\r\n"
      "\r\n"
      "--DATE050309_TIME140507\r\n"
      "Content-Type: application/octet-stream; name=\"a.bin\"\r\n"
      "Content-Transfer-Encoding: base64\r\n"
      "Content-Disposition: attachment; filename=\"a.bin\"\r\n"
      "\r\n"
      "YWJjZA==\r\n"
      "\r\n"
      "\r\n"
      "--DATE050309_TIME140507--\r\n";
  EXPECT_EQ(decodeMail(mail), mail);
  EXPECT_EQ(TextDecoderTestAccess::state(decoder), MailState::Epilogue);
  EXPECT_EQ(TextDecoderTestAccess::boundary(decoder), "DATE050309_TIME140507");
  EXPECT_EQ(TextDecoderTestAccess::multipart(decoder), 1);
}

TEST_F(MailDecodeTest, Utf8Base64PartWithAQuotedCharsetName) {
  const std::string mail =
      "Content-Type: multipart/mixed; boundary=\"b1\"\r\n"
      "\r\n"
      "--b1\r\n"
      "Content-Type: text/plain; charset=\"utf-8\"\r\n"
      "Content-Transfer-Encoding: base64\r\n"
      "\r\n"
      "5pel5pys6KqeDQo=\r\n"
      "--b1--\r\n"
      "=?utf-8?B?QUJD?= after\r\n";
  EXPECT_EQ(decodeMail(mail),
            "Content-Type: multipart/mixed; boundary=\"b1\"\r\n"
            "\r\n"
            "--b1\r\n"
            "Content-Type: text/plain; charset=\"utf-8\"\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "\r\n"
            "\x93\xFA\x96\x7B\x8C\xEA\r\n"
            "--b1--\r\n"
            "ABC after\r\n");
}

TEST_F(MailDecodeTest, QuotedCharsetNameIsNotRecognisedInTheMainHeader) {
  decodeMail("Content-Type: text/plain; charset=\"utf-8\"\r\n\r\n");
  EXPECT_EQ(TextDecoderTestAccess::currentCharset(decoder), TextCharset::Auto);
  decodeMail("Content-Type: text/plain; charset=utf-8\r\n\r\n");
  EXPECT_EQ(TextDecoderTestAccess::currentCharset(decoder), TextCharset::Utf8);
}

TEST_F(MailDecodeTest, EucJpWithLineFeedsGrowsPastTheSourceLength) {
  std::string mail = "Content-Type: text/plain; charset=x-euc-jp\n\n";
  std::string expected = mail;
  for (int i = 0; i < 1000; ++i) {
    mail += "\xA4\xA2\xA4\xA4\n";
    expected += "\x82\xA0\x82\xA2\r\n";
  }
  const std::string decoded = decodeMail(mail);
  EXPECT_GT(decoded.size(), mail.size());
  EXPECT_EQ(decoded, expected);
}

TEST_F(MailDecodeTest, DateLineInATextBodyStartsAHeaderAgain) {
  const std::string mail =
      "Subject: first\r\n"
      "\r\n"
      "body\r\n"
      "date: Mon, 7 Dec 2026\r\n"
      "Subject: =?utf-8?B?QUJD?=\r\n"
      "\r\n"
      "=?utf-8?B?QUJD?=\r\n";
  EXPECT_EQ(decodeMail(mail),
            "Subject: first\r\n"
            "\r\n"
            "body\r\n"
            "date: Mon, 7 Dec 2026\r\n"
            "Subject: ABC\r\n"
            "\r\n"
            "=?utf-8?B?QUJD?=\r\n");  // a text body again: no encoded words there
  EXPECT_EQ(TextDecoderTestAccess::state(decoder), MailState::TextBody);
}

TEST_F(MailDecodeTest, BoundaryIsLearnedAfterTheMultipartNoticeOfAnAlternativeMail) {
  const std::string mail =
      "Content-Type: multipart/alternative; boundary=\"alt\"\r\n"
      "\r\n"
      "This is a multi-part message in MIME format.\r\n"
      "\r\n"
      "--alt\r\n"
      "Content-Type: text/plain; charset=utf-8\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n"
      "\r\n"
      "=E3=81=82=\r\n"
      "=E3=81=84\r\n"
      "--alt\r\n"
      "Content-Type: text/html; charset=utf-8\r\n"
      "\r\n"
      "<p>=E3=81=82</p>\r\n"
      "--alt--\r\n"
      "trailer =?utf-8?B?QUJD?=\r\n";
  EXPECT_EQ(decodeMail(mail),
            "Content-Type: multipart/alternative; boundary=\"alt\"\r\n"
            "\r\n"
            "This is a multi-part message in MIME format.\r\n"
            "\r\n"
            "--alt\r\n"
            "Content-Type: text/plain; charset=utf-8\r\n"
            "Content-Transfer-Encoding: quoted-printable\r\n"
            "\r\n"
            "\x82\xA0\x82\xA2\r\n"
            "--alt\r\n"
            "Content-Type: text/html; charset=utf-8\r\n"
            "\r\n"
            "<p>\x82\xA0</p>\r\n"
            "--alt--\r\n"
            "trailer ABC\r\n");
  EXPECT_EQ(TextDecoderTestAccess::multipart(decoder), 0);
  EXPECT_EQ(TextDecoderTestAccess::boundary(decoder), "alt");
}

TEST_F(MailDecodeTest, PreambleTakesAnyLineWithTwoDashesForTheDelimiter) {
  decodeMail(
      "Content-Type: multipart/mixed\r\n"
      "\r\n"
      "Hello -- world \r\n");
  EXPECT_EQ(TextDecoderTestAccess::boundary(decoder), "Hello -- world ");
  EXPECT_EQ(TextDecoderTestAccess::state(decoder), MailState::TextPartHeader);
}

TEST_F(MailDecodeTest, FoldedBoundaryParameterIsCapturedAndLongOnesAreCut) {
  decodeMail(
      "Content-Type: multipart/mixed;\r\n"
      "\tboundary=\"folded\"\r\n"
      "\r\n");
  EXPECT_EQ(TextDecoderTestAccess::boundary(decoder), "folded");
  EXPECT_EQ(TextDecoderTestAccess::state(decoder), MailState::Preamble);

  const std::string longBoundary(200, 'b');
  decodeMail("Content-Type: multipart/mixed; boundary=\"" + longBoundary + "\"\r\n\r\n--" +
             longBoundary + "\r\n\r\nx\r\n--" + longBoundary + "--\r\n");
  EXPECT_EQ(TextDecoderTestAccess::boundary(decoder), longBoundary.substr(0, 127));
  EXPECT_EQ(TextDecoderTestAccess::state(decoder),
            MailState::OtherPartHeader);  // the closing line reads as a delimiter
}

TEST_F(MailDecodeTest, PartsAfterATextPartAreNonTextUnlessDeclaredText) {
  const std::string mail =
      "Content-Type: multipart/mixed; boundary=\"b\"\r\n"
      "Content-Transfer-Encoding: base64\r\n"
      "\r\n"
      "--b\r\n"
      "\r\n"
      "QUJD\r\n"
      "--b\r\n"
      "X-Part: no content type\r\n"
      "\r\n"
      "QUJD\r\n"
      "--b\r\n"
      "Content-Type: text/plain; charset=utf-8\r\n"
      "\r\n"
      "REVG\r\n"
      "--b--\r\n";
  EXPECT_EQ(decodeMail(mail),
            "Content-Type: multipart/mixed; boundary=\"b\"\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "\r\n"
            "--b\r\n"
            "\r\n"
            "ABC"  // the encoding learned in the main header stays in force; CR LF is no quartet
            "--b\r\n"
            "X-Part: no content type\r\n"
            "\r\n"
            "QUJD\r\n"
            "--b\r\n"
            "Content-Type: text/plain; charset=utf-8\r\n"
            "\r\n"
            "DEF"
            "--b--\r\n");
}

TEST_F(MailDecodeTest, SoftBreakBeforeADelimiterSwallowsIt) {
  const std::string mail =
      "Content-Type: multipart/mixed; boundary=\"b\"\r\n"
      "\r\n"
      "--b\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n"
      "\r\n"
      "text=\r\n"
      "--b--\r\n"
      "=?utf-8?B?QUJD?=\r\n";
  EXPECT_EQ(decodeMail(mail),
            "Content-Type: multipart/mixed; boundary=\"b\"\r\n"
            "\r\n"
            "--b\r\n"
            "Content-Transfer-Encoding: quoted-printable\r\n"
            "\r\n"
            "text--b--\r\n"
            "ABC\r\n");
}

TEST_F(MailDecodeTest, LinesLongerThanTheBufferArriveInPieces) {
  const std::string longLine = std::string(5000, 'x') + "=\r\n";
  const std::string mail = "Subject: a\r\n\r\n" + longLine + "next\r\n";
  // QP: the second piece ends in '=' and is joined with the next line; the first is not.
  EXPECT_EQ(decodeMail(mail, TextEncoding::QuotedPrintable),
            "Subject: a\r\n\r\n" + std::string(5000, 'x') + "next\r\n");
}

TEST_F(MailDecodeTest, HeaderWithoutABlankLineKeepsTheWholeMailInTheHeader) {
  const std::string mail = "\r\n\r\nSubject: =?utf-8?B?QUJD?=\r\nbody =?utf-8?B?REVG?=\r\n";
  EXPECT_EQ(decodeMail(mail), "\r\n\r\nSubject: ABC\r\nbody DEF\r\n");
  EXPECT_EQ(TextDecoderTestAccess::state(decoder), MailState::Header);
}

}  // namespace
}  // namespace korvani
