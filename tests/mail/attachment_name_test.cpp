// The names the engine gives parts as it walks a mail: proposed, decoded, made safe, numbered.
#include "mail/attachment_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/mail_engine.h"

namespace korvani::mail {
namespace {

const MailLibrary kLibrary;

TEST(AttachmentNameTest, TheEngineNamesEveryAttachmentOnceWithinAMail) {
  const std::string mail =
      "Content-Type: multipart/mixed; boundary=b\n\n"
      "--b\nContent-Type: image/jpeg; name=part-1.jpg\n\nx\n"
      "--b\nContent-Type: image/jpeg\n\nx\n"
      "--b\nContent-Type: application/pdf\n\nx\n"
      "--b\nContent-Type: text/plain\nContent-Disposition: attachment\n\nx\n"
      "--b\nContent-Type: application/octet-stream; name=\"wrong.bin\"\n"
      "Content-Disposition: attachment;\n filename=\"=?UTF-8?B?5pel?=\n "
      "=?UTF-8?B?5pys?=.txt\"\n\nx\n"
      "--b\nContent-Type: application/octet-stream; name=\"=?ISO-2022-JP?B?GyRCLSEbKEI=?=.bin\"\n"
      "\nx\n"
      "--b\nContent-Type: application/octet-stream\n"
      "Content-Disposition: attachment; filename=\"a\\\"b.txt\"\n\nx\n"
      "--b\nContent-Type: message/rfc822\n\n"
      "Subject: inner\nContent-Type: text/plain; name=A.TXT\n\nx\n"
      "--b\nContent-Type: text/plain; name=a.txt\n\nx\n"
      "--b\nContent-Type: application/octet-stream\n"
      "Content-Disposition: attachment; filename*=UTF-8''%E3%81%8B%E3%82%99.txt\n\nx\n"
      "--b\nContent-Type: application/octet-stream\n"
      "Content-Disposition: attachment; filename*=UTF-8''%E3%81%8C.txt\n\nx\n"
      "--b--\n";
  const auto parsed = parseMail(mail);
  ASSERT_TRUE(parsed);
  std::vector<std::string> names;
  for (const MailPart& part : parsed->parts()) {
    if (part.role == PartRole::Attachment) names.push_back(part.name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"part-1.jpg", "part-1 (2).jpg", "part-2.pdf",
                                             "part-3.txt", "日本.txt", "①.bin", "a_b.txt", "A.TXT",
                                             "a (2).txt", "\u304C.txt", "\u304C (2).txt"}));
}

}  // namespace
}  // namespace korvani::mail

namespace korvani::mail {
namespace {

// How each name was carried and what making it safe changed, as a manifest records it.
TEST(AttachmentNameTest, EveryNameSaysHowItWasReadAndWhatWasChanged) {
  struct Case {
    const char* header;  // the part's header fields
    const char* name;
    std::string bytes;
    const char* decoding;
    std::vector<std::string> changes;
  } cases[] = {
      {"Content-Disposition: attachment; filename=\"=?ISO-2022-JP?B?GyRCRnxLXBsoQg==?=.pdf\"",
       "日本.pdf",
       "\x1b$BF|K\\\x1b(B",
       "rfc2047:B:iso-2022-jp",
       {}},
      {"Content-Disposition: attachment; filename=\"=?shift_jis?Q?=93=FA=96=7B?=\"",
       "日本",
       "\x93\xfa\x96\x7b",
       "rfc2047:Q:shift_jis",
       {}},
      {"Content-Disposition: attachment; filename*=UTF-8''%E6%97%A5%E6%9C%AC.txt",
       "日本.txt",
       "\xe6\x97\xa5\xe6\x9c\xac.txt",
       "rfc2231:utf-8",
       {}},
      {"Content-Disposition: attachment; filename=\"\x93\xfa\x96\x7b.xls\"",
       "日本.xls",
       "\x93\xfa\x96\x7b.xls",
       "raw:cp932",
       {}},
      {"Content-Disposition: attachment; filename=report.pdf",
       "report.pdf",
       "report.pdf",
       "raw:us-ascii",
       {}},
      {"Content-Disposition: attachment; filename=\"..\\\\..\\\\win.ini\"",
       "win.ini",
       "..\\\\..\\\\win.ini",  // as written in the quoted string
       "raw:us-ascii",
       {"folders-dropped"}},
      {"Content-Disposition: attachment; filename=\".profile\"",
       "_profile",
       ".profile",
       "raw:us-ascii",
       {"leading-dots-replaced"}},
      {"Content-Disposition: attachment; filename=\"CON.txt\"",
       "_CON.txt",
       "CON.txt",
       "raw:us-ascii",
       {"device-name"}},
      {"Content-Disposition: attachment; filename=\"a\x7f|b.txt \"",
       "a__b.txt",
       "a\x7f|b.txt ",
       "raw:us-ascii",
       {"characters-replaced"}},
      {"Content-Disposition: attachment; filename=\"..\"",
       "part-1.bin",
       "..",
       "raw:us-ascii",
       {"dots-and-spaces-stripped", "unusable"}},
      {"Content-Disposition: attachment", "part-1.bin", "", "none", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    const auto parsed = parseMail(std::string("Content-Type: multipart/mixed; boundary=b\n\n"
                                              "--b\nContent-Type: application/octet-stream\n") +
                                  c.header + "\n\nx\n--b--\n");
    ASSERT_TRUE(parsed);
    const MailPart& part = parsed->parts().back();
    EXPECT_EQ(part.name, c.name);
    EXPECT_EQ(part.nameBytes, c.bytes);
    EXPECT_EQ(part.nameDecoding, c.decoding);
    EXPECT_EQ(part.nameChanges, c.changes);
  }
  // A second part of one name is numbered, and says so.
  const auto twice = parseMail(
      "Content-Type: multipart/mixed; boundary=b\n\n"
      "--b\nContent-Type: application/pdf; name=a.pdf\n\nx\n"
      "--b\nContent-Type: application/pdf; name=A.pdf\n\nx\n"
      "--b--\n");
  ASSERT_TRUE(twice);
  EXPECT_EQ(twice->parts().back().name, "A (2).pdf");
  EXPECT_EQ(twice->parts().back().nameChanges, std::vector<std::string>{"numbered"});
}

}  // namespace
}  // namespace korvani::mail
