// The winmail.dat mails of the corpus (tests/data/mail/winmail_*.eml) and the files each must give
// back (expected/<mail>/) are made by the TNEF writer of the test support, here: the test fails
// when a committed sample is not what the writer makes of it, and KORVANI_WRITE_SAMPLES=1 writes
// them afresh. What extract and read make of them is checked with the rest of the corpus.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/cp932_text.h"
#include "support/test_files.h"
#include "support/tnef_writer.h"

namespace korvani::testing {
namespace {

const std::string kCorpus = KORVANI_MAIL_CORPUS;

std::string sjis(const std::string& utf8) {
  std::string bytes;
  EXPECT_TRUE(utf8ToCp932(utf8, bytes)) << utf8;
  return bytes;
}

TnefAttachment file(std::string title, std::string longName, std::string type, std::string data) {
  TnefAttachment attachment;
  attachment.title = std::move(title);
  attachment.longName = std::move(longName);
  attachment.mimeTag = std::move(type);
  attachment.data = std::move(data);
  return attachment;
}

struct Sample {
  std::string mail;                                        // the stem of tests/data/mail/MAIL.eml
  std::string bytes;                                       // the mail
  std::vector<std::pair<std::string, std::string>> files;  // what extract writes, by name
};

// A Japanese Outlook's rich-text mail: its body in compressed RTF, names in code page 932.
Sample japaneseRichText() {
  TnefMessage message;
  message.oemCodePage = 932;
  message.internetCodePage = 932;
  message.messageClass = "IPM.Note";
  message.subject = sjis("見積書の送付");
  message.body = sjis("お世話になっております。\r\n見積書を送付いたします。\r\n");
  message.rtf =
      "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl{\\f0\\fnil\\fcharset128 "
      "\\'82\\'6c\\'82\\'72 \\'83\\'53\\'83\\'56\\'83\\'62\\'83\\'4e;}}\r\n"
      "\\f0\\fs20 \\'82\\'a8\\'90\\'a2\\'98\\'62\\'82\\'c9\\'82\\'c8\\'82\\'c1\\'82\\'c4"
      "\\'82\\'a8\\'82\\'e8\\'82\\'dc\\'82\\'b7\\'81\\'42\\par\r\n"
      "{\\b \\'8c\\'a9\\'90\\'cf\\'8f\\'91}\\'82\\'f0\\'91\\'97\\'95\\'74\\'82\\'a2"
      "\\'82\\'bd\\'82\\'b5\\'82\\'dc\\'82\\'b7\\'81\\'42\\par\r\n}";
  std::string sheet;
  for (int row = 0; row < 300; ++row) sheet += "PK\x03\x04 row " + std::to_string(row) + "\n";
  message.attachments.push_back(
      file("MITSUM~1.XLS", sjis("見積書（第２版）①.xlsx"), "application/vnd.ms-excel", sheet));
  message.attachments.push_back(file(sjis("ﾒﾓ.TXT"), "", "", sjis("半角カナの名前\r\n")));
  message.attachments.push_back(file("REPORT.PDF", "report.pdf", "application/pdf", "%PDF-1.4 a"));
  message.attachments.push_back(file("REPORT.PDF", "report.pdf", "application/pdf", "%PDF-1.4 b"));
  Sample sample{"winmail_japanese", mailWithTnef(writeTnef(message)), {}};
  sample.files = {{"見積書（第２版）①.xlsx", sheet},
                  {"ﾒﾓ.TXT", sjis("半角カナの名前\r\n")},
                  {"report.pdf", "%PDF-1.4 a"},
                  {"report (2).pdf", "%PDF-1.4 b"}};
  return sample;
}

// A forward with an HTML body, a name in UTF-16 and the forwarded message inside, itself with
// an attachment.
Sample forwardedMessage() {
  TnefMessage inner;
  inner.internetCodePage = 932;
  inner.oemCodePage = 932;
  inner.subject = sjis("議事録");
  inner.senderName = sjis("山田 太郎");
  inner.senderAddress = "yamada@example.jp";
  inner.sent = filetime(2024, 5, 1, 9, 30, 0);
  inner.body = sjis("議事録を添付します。\r\n");
  inner.attachments.push_back(file("GIJIRO~1.DOC", sjis("議事録.docx"), "", "minutes"));
  TnefMessage message;
  message.oemCodePage = 932;
  message.internetCodePage = 932;
  message.subject = sjis("転送: 議事録");
  message.html = sjis(
      "<html><body><p>転送します。</p><p>よろしく<br>お願いします。</p>"
      "</body></html>");
  TnefAttachment photo = file("PHOTO~1.JPG", "写真📷.jpg", "image/jpeg", "\xFF\xD8\xFF\xE0 jpeg");
  photo.unicode = true;
  message.attachments.push_back(photo);
  TnefAttachment forwarded;
  forwarded.embedded.push_back(inner);
  message.attachments.push_back(forwarded);
  Sample sample{"winmail_forward", mailWithTnef(writeTnef(message)), {}};
  sample.files = {{"写真📷.jpg", "\xFF\xD8\xFF\xE0 jpeg"}, {"議事録.docx", "minutes"}};
  return sample;
}

// A meeting request: its .ics made from the message.
Sample meetingRequest() {
  TnefMessage message;
  message.oemCodePage = 932;
  message.messageClass = "IPM.Microsoft Schedule.MtgReq";
  message.subject = sjis("定例会議");
  message.start = filetime(2024, 6, 3, 1, 0, 0);
  message.end = filetime(2024, 6, 3, 2, 0, 0);
  message.location = sjis("本社 会議室A");
  message.body = sjis("議題: 予算、日程\r\n");
  Sample sample{"winmail_meeting", mailWithTnef(writeTnef(message), ""), {}};
  sample.files = {{"定例会議.ics",
                   "BEGIN:VCALENDAR\r\n"
                   "VERSION:2.0\r\n"
                   "PRODID:-//Korvani//winmail.dat//EN\r\n"
                   "METHOD:REQUEST\r\n"
                   "BEGIN:VEVENT\r\n"
                   "UID:20240603T010000Z-f986d268@winmail.dat\r\n"
                   "DTSTAMP:20240603T010000Z\r\n"
                   "DTSTART:20240603T010000Z\r\n"
                   "DTEND:20240603T020000Z\r\n"
                   "SUMMARY:定例会議\r\n"
                   "LOCATION:本社 会議室A\r\n"
                   "DESCRIPTION:議題: 予算、日程\r\n"
                   "END:VEVENT\r\n"
                   "END:VCALENDAR\r\n"}};
  return sample;
}

// A winmail.dat cut inside its second attachment: the first comes out, and the run fails.
Sample damaged() {
  TnefMessage message;
  message.oemCodePage = 932;
  message.body = "The files.\r\n";
  message.attachments.push_back(file("FIRST.TXT", "first.txt", "text/plain", "first file\n"));
  message.attachments.push_back(file("SECOND.TXT", "second.txt", "", std::string(4000, 's')));
  const std::string tnef = writeTnef(message);
  Sample sample{"winmail_damaged", mailWithTnef(tnef.substr(0, tnef.size() - 3000)), {}};
  sample.files = {{"first.txt", "first file\n"}};
  return sample;
}

TEST(TnefSamplesTest, TheCommittedSamplesAreWhatTheWriterMakes) {
  const bool write = std::getenv("KORVANI_WRITE_SAMPLES") != nullptr;
  for (const Sample& sample :
       {japaneseRichText(), forwardedMessage(), meetingRequest(), damaged()}) {
    const std::string path = kCorpus + "/" + sample.mail + ".eml";
    const std::string expected = kCorpus + "/expected/" + sample.mail;
    if (write) {
      writeFile(path, sample.bytes);
      std::filesystem::remove_all(expected);
      if (!sample.files.empty()) std::filesystem::create_directories(expected);
      for (const auto& [name, bytes] : sample.files) writeFile(expected + "/" + name, bytes);
    }
    EXPECT_EQ(readFile(path), sample.bytes) << sample.mail;
    for (const auto& [name, bytes] : sample.files) {
      EXPECT_EQ(readFile(expected + "/" + name), bytes) << sample.mail << "/" << name;
    }
  }
}

}  // namespace
}  // namespace korvani::testing
