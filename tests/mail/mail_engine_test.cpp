// The mail engine's own rules: header words, names, charsets, mbox cutting, limits.
#include "mail/mail_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "common/safe_name.h"
#include "mail/attachment_name.h"
#include "mail/mail_text.h"
#include "mail/mbox_splitter.h"

namespace korvani::mail {
namespace {

const MailLibrary kLibrary;

std::string repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

TEST(MailTextTest, HeaderWordsAreJoinedByCharsetAndDecodedWhole) {
  struct Case {
    const char* raw;
    const char* text;
  } cases[] = {
      // A word ending in '=' padding does not swallow the words after it.
      {"=?UTF-8?B?5pel?= =?UTF-8?B?5pys?=\r\n =?UTF-8?B?6Kqe44Gu?=", "日本語の"},
      // A character split between two words.
      {"=?UTF-8?B?5pe=?= =?UTF-8?B?pQ==?=", "日"},
      {"=?utf-8?Q?caf=C3=A9_au?= lait", "café au lait"},
      {"Re: =?ISO-2022-JP?B?GyRCLSEtIhsoQg==?= end", "Re: ①② end"},
      {"=?iso-2022-jp?B?GyhJPrAbKEI=?=", "ｾｰ"},
      {"=?shift_jis?B?gUA=?=", "\u3000"},
      {"=?euc-jp?B?pKI=?=", "あ"},
      {"plain\r\n\tfolded", "plain folded"},
      {"=?UTF-8?B?broken", "=?UTF-8?B?broken"},
      {"\x82\xa0", "あ"},                      // raw code page 932
      {"\xa5\xbd\xa1\xbc\xa5\xb9", "ソース"},  // raw EUC-JP, not half-width kana
  };
  for (const Case& c : cases) EXPECT_EQ(decodeHeaderText(c.raw), c.text) << c.raw;
}

TEST(MailTextTest, ShiftJisUnderEveryLabelIsCodePage932WithNecAndIbmRows) {
  for (const char* label : {"shift_jis", "SJIS", "x-sjis", "windows-31j", "cp932", "MS_Kanji"}) {
    EXPECT_EQ(charsetToUtf8(label, "\x87\x40\xfb\xfc\xfa\xb1\x81\x60"), "①髙﨑～") << label;
  }
  EXPECT_EQ(charsetToUtf8("iso-8859-1", "caf\xe9"), "café");
  EXPECT_EQ(charsetToUtf8("utf-8", "a\xff"), "a\xEF\xBF\xBD");
  EXPECT_EQ(utf8ToCp932Lossy("a①😀"), "a\x87\x40\x81\xac");
  constexpr char kText[] = "\xEF\xBB\xBFone\r\ntwo\rthree\0four";
  EXPECT_EQ(normalizeText(std::string(kText, sizeof kText - 1)), "one\ntwo\nthreefour");
}

TEST(AttachmentNameTest, HostileNamesStayInsideTheFolder) {
  struct Case {
    std::string proposed;
    std::string safe;
  } cases[] = {
      {"../../.bashrc", "_bashrc"},
      {"..\\..\\Startup\\x.bat", "x.bat"},
      {"/etc/passwd", "passwd"},
      {"a<b>c:d|e?f*\"g\x01.txt", "a_b_c_d_e_f__g_.txt"},
      {"name. . ", "name"},
      {"CON", "_CON"},
      {"nul.tar.gz", "_nul.tar.gz"},
      {"com1.txt", "_com1.txt"},
      {"console.txt", "console.txt"},
      {"...", ""},
      {"", ""},
      {std::string(300, 'a') + ".pdf", std::string(251, 'a') + ".pdf"},
      {repeat("長", 90) + ".txt", repeat("長", 83) + ".txt"},  // 3 bytes a character
      {std::string(254, 'a') + " b", std::string(254, 'a')},   // no space left by the cut
  };
  for (const Case& c : cases) {
    const std::string safe = safeName(c.proposed, NameSource::DecodedText).name;
    EXPECT_LE(safe.size(), kMaxNameBytes);
    EXPECT_EQ(safe, c.safe) << c.proposed;
    EXPECT_EQ(safe.find('/'), std::string::npos);
    EXPECT_EQ(repairUtf8(safe), safe) << "cut inside a character";
  }
  NameRegistry names;
  EXPECT_EQ(names.claim("a.txt"), "a.txt");
  EXPECT_EQ(names.claim("A.TXT"), "A (2).TXT");
  EXPECT_EQ(names.claim("a.txt"), "a (3).txt");
  EXPECT_EQ(names.claim("README"), "README");
  EXPECT_EQ(names.claim("README"), "README (2)");
  EXPECT_EQ(defaultAttachmentName(3, "image/jpeg"), "part-3.jpg");
  EXPECT_EQ(defaultAttachmentName(1, "application/x-unknown"), "part-1.bin");
}

TEST(MboxSplitterTest, CutsOnFromLinesAfterEmptyLinesAndMarksEscapes) {
  const std::string mbox =
      "From a\nSubject: 1\n\nbody\nFrom inside a paragraph\n\n"
      "From b\nSubject: 2\n\n>From quoted\n>>From twice\n\nFrom c\nSubject: 3";
  std::size_t at = 0;
  std::vector<MboxMessage> messages;
  ASSERT_TRUE(splitMbox(
      [&](char* buffer, std::size_t size) {
        const std::size_t n =
            std::min<std::size_t>(size, std::min<std::size_t>(5, mbox.size() - at));
        mbox.copy(buffer, n, at);
        at += n;
        return static_cast<long>(n);
      },
      messages));
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(mbox.substr(messages[0].begin, messages[0].end - messages[0].begin),
            "Subject: 1\n\nbody\nFrom inside a paragraph\n");
  EXPECT_FALSE(messages[0].hasEscapedFrom);
  EXPECT_TRUE(messages[1].hasEscapedFrom);
  EXPECT_EQ(mbox.substr(messages[2].begin, messages[2].end - messages[2].begin), "Subject: 3");
  const std::string escaped = ">From quoted\n>>From twice\n> From not\n>From";
  std::vector<std::uint64_t> offsets;
  bool once = false;
  ASSERT_TRUE(escapedFromOffsets(
      [&](char* buffer, std::size_t size) {
        if (once) return 0L;
        once = true;
        return static_cast<long>(escaped.copy(buffer, size));
      },
      100, offsets));
  EXPECT_EQ(offsets, (std::vector<std::uint64_t>{100, 113}));
}

TEST(MailEngineTest, RfcTwoTwoThreeOneNamesAreJoinedAndConvertedByOurConverters) {
  struct Case {
    const char* parameters;
    const char* name;
  } cases[] = {
      {"filename*=iso-2022-jp''%1B%24B-%21%1B%28I6%1B%28B.txt", "①ｶ.txt"},
      {"filename*=ISO-2022-JP'ja'%1B%24B%7Cb%1B%28B", "髙"},
      {"filename*1*=%E6%9C%AC.txt; filename*0*=utf-8''%E6%97%A5", "日本.txt"},
      {"filename*0*=utf-8''%E2%91%A0; filename*1=\"%41.txt\"", "①%41.txt"},
      {"filename*0=\"long \"; filename*1=\"name.txt\"", "long name.txt"},
      {"filename*=''%E5%90%8D.bin", "名.bin"},
      {"filename*=shift_jis''%87%40", "①"},
  };
  for (const Case& c : cases) {
    const auto mail = parseMail(std::string("Content-Type: application/octet-stream\n"
                                            "Content-Disposition: attachment; ") +
                                c.parameters + "\n\nx\n");
    ASSERT_TRUE(mail) << c.parameters;
    ASSERT_EQ(mail->parts().size(), 2u) << c.parameters;
    EXPECT_EQ(mail->parts()[1].name, c.name) << c.parameters;
  }
}

TEST(MailEngineTest, BoundsHostileStructure) {
  std::string many = "Content-Type: multipart/mixed; boundary=b\n\n";
  for (int i = 0; i < 12000; ++i) many += "--b\n\nx\n";
  const auto wide = parseMail(many);
  ASSERT_TRUE(wide);
  EXPECT_TRUE(wide->limitReached());
  EXPECT_LE(wide->parts().size(), kMaxPartsPerMail);

  std::string deep;
  for (int i = 0; i < 2000; ++i) deep += "Content-Type: message/rfc822\n\n";
  deep += "Subject: bottom\n\nx\n";
  const auto nested = parseMail(deep);
  ASSERT_TRUE(nested);
  EXPECT_TRUE(nested->limitReached());

  EXPECT_FALSE(parseMail("not a mail at all\n"));
  EXPECT_FALSE(parseMail(std::string("\0\1\2", 3)));
}

// Base64 bodies decode to their bytes however their lines are cut and ended, with stray
// characters among them, with or without the padding, and across the reads of a large part.
TEST(MailEngineTest, Base64DecodesAlikeHoweverItsLinesAreCut) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::uint32_t seed = 7;
  std::string bytes(200002, '\0');
  for (char& c : bytes) {
    seed = seed * 1103515245 + 12345;
    c = static_cast<char>(seed >> 16);
  }
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{3},
                                 std::size_t{100001}, bytes.size()}) {
    const std::string data = bytes.substr(0, size);
    std::string encoded;
    for (std::size_t at = 0; at < data.size(); at += 3) {
      std::uint32_t group = 0;
      const std::size_t count = std::min<std::size_t>(3, data.size() - at);
      for (std::size_t i = 0; i < 3; ++i)
        group = group << 8 | (i < count ? static_cast<std::uint8_t>(data[at + i]) : 0);
      for (std::size_t i = 0; i < 4; ++i)
        encoded += i <= count ? kAlphabet[(group >> (18 - 6 * i)) & 63] : '=';
    }
    for (const std::size_t width : {76, 75, 4, 1, 1000, 0}) {
      for (const char* end : {"\n", "\r\n", " \t\n"}) {
        for (const bool padded : {true, false}) {
          std::string body;
          const std::string text = padded ? encoded : encoded.substr(0, encoded.find('='));
          for (std::size_t at = 0; at < text.size(); at += width ? width : text.size())
            body += text.substr(at, width ? width : text.size()) + end;
          SCOPED_TRACE(std::to_string(size) + " " + std::to_string(width) + " " +
                       std::to_string(body.size()) + (padded ? " padded" : ""));
          const auto mail = parseMail(
              "Content-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n\n" +
              body);
          ASSERT_TRUE(mail);
          ASSERT_EQ(mail->parts().size(), 2u);
          std::string decoded;
          EXPECT_TRUE(mail->decode(1, [&decoded](const std::uint8_t* chunk, std::size_t length) {
            decoded.append(reinterpret_cast<const char*>(chunk), length);
            return true;
          }));
          EXPECT_TRUE(decoded == data);
        }
      }
    }
  }
}

}  // namespace
}  // namespace korvani::mail
