// File names for attachments: every byte a mail may propose, devices, the length cut, duplicates,
// and the names the engine gives parts as it walks a mail.
#include "mail/attachment_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/mail_engine.h"
#include "mail/mail_text.h"

namespace korvani::mail {
namespace {

const MailLibrary kLibrary;

// What every name that reaches the disk must be, whatever was proposed.
void expectSafe(const std::string& name, const std::string& proposed) {
  SCOPED_TRACE(::testing::PrintToString(proposed));
  EXPECT_LE(name.size(), kMaxNameBytes);
  EXPECT_EQ(repairUtf8(name), name) << "not well-formed UTF-8";
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    EXPECT_FALSE(byte < 0x20 || byte == 0x7F ||
                 std::string_view("/\\<>:\"|?*").find(c) != std::string_view::npos)
        << "byte " << int{byte};
  }
  if (name.empty()) return;
  EXPECT_NE(name.front(), '.');
  EXPECT_NE(name.back(), '.');
  EXPECT_NE(name.back(), ' ');
}

TEST(AttachmentNameTest, EveryByteAtEveryPlaceGivesASafeName) {
  for (int value = 0; value < 256; ++value) {
    const std::string byte(1, static_cast<char>(value));
    for (const std::string& proposed :
         {byte, byte + "x.txt", "a" + byte + "b.txt", "a.txt" + byte, byte + byte + ".." + byte}) {
      expectSafe(safeAttachmentName(proposed), proposed);
    }
    const bool replaced =
        value < 0x20 || value == 0x7F ||
        std::string_view("<>:\"|?*").find(static_cast<char>(value)) != std::string_view::npos;
    if (replaced) {
      EXPECT_EQ(safeAttachmentName("a" + byte + "b.txt"), "a_b.txt") << value;
    }
  }
}

TEST(AttachmentNameTest, CharactersThatHideOrReorderTheNameAreReplaced) {
  struct Case {
    const char* proposed;
    const char* safe;
  } cases[] = {
      {"invoice\u202Efdp.exe", "invoice_fdp.exe"},                       // right-to-left override
      {"a\u202Ab\u202Cc.txt", "a_b_c.txt"},                              // embedding and its end
      {"\u2066x\u2069.txt", "_x_.txt"},                                  // isolates
      {"a\u200Eb\u200F\u061C.txt", "a_b__.txt"},                         // marks
      {"a\u0085b\u009F.txt", "a_b_.txt"},                                // C1 controls
      {"\u00A0\u2030\u2065\u206A.txt", "\u00A0\u2030\u2065\u206A.txt"},  // neighbours stay
  };
  for (const Case& c : cases) EXPECT_EQ(safeAttachmentName(c.proposed), c.safe) << c.proposed;
}

TEST(AttachmentNameTest, WindowsDevicesAndPathsAreDisarmed) {
  struct Case {
    const char* proposed;
    const char* safe;
  } cases[] = {
      {"con", "_con"},
      {"Con.txt", "_Con.txt"},
      {"LPT9", "_LPT9"},
      {"lPt1.log.gz", "_lPt1.log.gz"},
      {"aux.", "_aux"},
      {"PRN .txt", "_PRN .txt"},
      {"COM0.txt", "COM0.txt"},
      {"LPT10", "LPT10"},
      {"nullable.c", "nullable.c"},
      {"dir/nul", "_nul"},
      {"C:\\Users\\x\\a.doc", "a.doc"},
      {"C:a.doc", "C_a.doc"},
      {"a/b\\..\\c.txt", "c.txt"},
      {"dir/", ""},
      {"..\\", ""},
      {".hidden", "_hidden"},
      {"a/..b", "__b"},
      {" . ", ""},
      {"\xff.txt", "\xEF\xBF\xBD.txt"},
  };
  for (const Case& c : cases) EXPECT_EQ(safeAttachmentName(c.proposed), c.safe) << c.proposed;
}

TEST(AttachmentNameTest, LongNamesAreCutOnACharacterKeepingTheExtension) {
  // Characters of every UTF-8 length, at every length around the bound.
  for (const std::string character : {"a", "\xC3\xA9", "\xE9\x95\xB7", "\xF0\x9F\x98\x80"}) {
    for (std::size_t stemBytes = 240; stemBytes < 270; ++stemBytes) {
      std::string stem;
      while (stem.size() < stemBytes) stem += character;
      for (const std::string extension : {".pdf", ".0123456789abcde", ""}) {
        const std::string name = safeAttachmentName(stem + extension);
        expectSafe(name, stem + extension);
        EXPECT_EQ(name.substr(name.size() - extension.size()), extension) << stemBytes;
        EXPECT_GT(name.size() + character.size(),
                  std::min(kMaxNameBytes, stem.size() + extension.size()))
            << "cut more than one character short";
      }
    }
  }
  // An extension too long to be one is cut like the rest of the name.
  const std::string name = safeAttachmentName(std::string(250, 'a') + "." + std::string(20, 'b'));
  EXPECT_EQ(name, std::string(250, 'a') + "." + std::string(4, 'b'));
}

TEST(AttachmentNameTest, DuplicatesAreNumberedWithinTheBound) {
  const std::string longStem(251, 'x');
  const std::string longExtension = ".abcdefghijklmnopq";  // 18 bytes: not kept as an extension
  struct Claim {
    std::string name;
    std::string given;
  } claims[] = {
      {"a (2).txt", "a (2).txt"},
      {"a.txt", "a.txt"},
      {"A.txt", "A (3).txt"},  // "a (2).txt" is taken already
      {longStem + ".pdf", longStem + ".pdf"},
      {longStem + ".PDF", std::string(247, 'x') + " (2).PDF"},
      {"x" + longExtension, "x" + longExtension},
      {"x" + longExtension, "x" + longExtension + " (2)"},
  };
  NameRegistry names;
  for (const Claim& claim : claims) EXPECT_EQ(names.claim(claim.name), claim.given);
  // A stem of three-byte characters is cut on a character to make room for the number.
  const std::string wide = [] {
    std::string text;
    for (int i = 0; i < 83; ++i) text += "\xE9\x95\xB7";
    return text + ".txt";
  }();
  EXPECT_EQ(names.claim(wide), wide);
  const std::string second = names.claim(wide);
  expectSafe(second, wide);
  EXPECT_EQ(second.substr(second.size() - 8), " (2).txt");
}

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
      "--b--\n";
  const auto parsed = parseMail(mail);
  ASSERT_TRUE(parsed);
  std::vector<std::string> names;
  for (const MailPart& part : parsed->parts()) {
    if (part.role == PartRole::Attachment) names.push_back(part.name);
  }
  EXPECT_EQ(names,
            (std::vector<std::string>{"part-1.jpg", "part-1 (2).jpg", "part-2.pdf", "part-3.txt",
                                      "日本.txt", "①.bin", "a_b.txt", "A.TXT", "a (2).txt"}));
}

}  // namespace
}  // namespace korvani::mail
