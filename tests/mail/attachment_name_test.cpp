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
