#include "extract/attachment_extractor.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <random>
#include <string>
#include <vector>

#include "common/base64.h"
#include "common/messages.h"
#include "package/attachment_packager.h"
#include "support/fake_platform.h"
#include "support/test_files.h"

namespace korvani {
namespace {

using testing::FakePlatform;
using testing::RecordingSink;

const std::string kBadStructure(messages::kBadMailStructure);

// A mail as our binary encode writes it, with the boundary "b".
std::string packagedMail(const std::string& name, const std::string& base64Lines) {
  return "Mime-Version: 1.0\r\n"
         "Content-Type: multipart/mixed; boundary=\"b\"\r\n"
         "\r\n"
         "--b\r\n"
         "Content-Type: text/plain; charset=iso-2022-jp\r\n"
         "\r\n"
         "text\r\n"
         "\r\n"
         "--b\r\n"
         "Content-Type: application/octet-stream; name=\"" +
         name +
         "\"\r\n"
         "Content-Transfer-Encoding: base64\r\n"
         "Content-Disposition: attachment; filename=\"" +
         name +
         "\"\r\n"
         "\r\n" +
         base64Lines + "\r\n\r\n--b--\r\n";
}

// An attachment part with the given header lines (CR LF added) and body lines.
std::string part(const std::vector<std::string>& headers, const std::string& body) {
  std::string text;
  for (const auto& header : headers) text += header + "\r\n";
  return text + "\r\n" + body;
}

const std::string kOctetStream = "Content-Type: application/octet-stream; name=\"x\"";

struct Located {
  int result = 0;
  std::string name;
  std::string body;  // the bytes of the located range
  std::vector<std::string> messages;
};

class AttachmentExtractorTest : public ::testing::Test {
 protected:
  Located locate(const std::string& mail) {
    platform.files.clear();
    platform.addFile("mail.eml", mail);
    AttachmentExtractor extractor(platform, sink);
    Located located;
    located.name = "untouched";
    located.result = extractor.locate("mail.eml", located.name);
    if (extractor.foundBodyEnd() >= extractor.foundBodyStart()) {
      located.body = mail.substr(extractor.foundBodyStart(),
                                 extractor.foundBodyEnd() - extractor.foundBodyStart());
    }
    located.messages = sink.texts();
    sink.messages.clear();
    return located;
  }

  // Locates and decodes `mail`; returns the written bytes, or "<none>" when nothing was written.
  std::string extract(const std::string& mail) {
    platform.files.clear();
    platform.addFile("mail.eml", mail);
    AttachmentExtractor extractor(platform, sink);
    std::string name;
    if (!extractor.locate("mail.eml", name) || !extractor.writeDecoded("out")) return "<none>";
    return platform.contentOf("out").value_or("<none>");
  }

  FakePlatform platform;
  RecordingSink sink;
};

// --- What the locator finds, and what it refuses ---------------------------------------------

TEST_F(AttachmentExtractorTest, FindsTheAttachmentOfOurOwnMailAndItsName) {
  const Located found = locate(packagedMail("data.bin", "QUJD\r\nREVG"));
  EXPECT_EQ(found.result, 1);
  EXPECT_EQ(found.name, "data.bin");
  EXPECT_EQ(found.body, "QUJD\r\nREVG\r\n");
  EXPECT_TRUE(found.messages.empty());
}

TEST_F(AttachmentExtractorTest, AcceptanceRulesAtFixedColumns) {
  struct Case {
    const char* name;
    std::string mail;
    int result;
    std::string body;      // when found
    std::string fileName;  // when found
    std::vector<std::string> messages;
  };
  const std::string body = "QUJD\r\n";
  const Case cases[] = {
      {"octet-stream without parameters",
       part({"Content-Type: application/octet-stream"}, body + "\r\n"),
       0,
       "",
       "",
       {kBadStructure}},
      {"small t in Content-type",
       part({"Content-type: application/octet-stream; name=\"x\""}, body + "\r\n"),
       0,
       "",
       "",
       {kBadStructure}},
      {"parameters on the next line",
       part({"Content-Type: application/octet-stream;", "\tname=\"x\""}, body + "\r\n"),
       0,
       "",
       "",
       {kBadStructure}},
      {"BASE64 in capitals",
       part({kOctetStream, "Content-Transfer-Encoding: BASE64"}, body + "\r\n"),
       0,
       "",
       "",
       {""}},
      {"quoted-printable text part changes nothing",
       part({"Content-Type: text/plain; charset=iso-2022-jp",
             "Content-Transfer-Encoding: quoted-printable"},
            "a=3D\r\n\r\n") +
           part({kOctetStream, "Content-Transfer-Encoding: base64"}, body + "\r\n"),
       1,
       body,
       "",
       {}},
      {"transfer encoding before the Content-Type line is not looked at",
       part({"Content-Transfer-Encoding: 7bit", kOctetStream}, body + "\r\n"),
       1,
       body,
       "",
       {}},
      {"base64 followed by anything",
       part({kOctetStream, "Content-Transfer-Encoding: base64xyz"}, body + "\r\n"),
       1,
       body,
       "",
       {}},
      {"disposition continued on the next line",
       part({kOctetStream, "Content-Disposition: attachment;", "\tfilename=\"a.bin\""},
            body + "\r\n"),
       1,
       body,
       "a.bin",
       {}},
      {"disposition continued over several lines",
       part(
           {kOctetStream, "Content-Disposition: attachment;", "\tsize=4;  ", " filename=\"c.bin\""},
           body + "\r\n"),
       1,
       body,
       "c.bin",
       {}},
      {"continuation ends where ';' stops: a later folded line is header, not read for the name",
       part({kOctetStream, "Content-Disposition: attachment;", "\tsize=4", "\tfilename=\"late\""},
            body + "\r\n"),
       1,
       body,
       "",
       {}},
      {"no filename parameter", part({kOctetStream}, body + "\r\n"), 1, body, "", {}},
      {"a header field not beginning with Content- belongs to the part's header",
       part({kOctetStream, "X-Attachment-Id: f_1"}, body + "\r\n"),
       1,
       body,
       "",
       {}},
      {"blank lines of spaces, tabs and CR before and after the body",
       kOctetStream + "\r\n \t\r\n\r\n" + body + " \t \r\nrest\r\n",
       1,
       body,
       "",
       {}},
      {"body up to the end of the file", part({kOctetStream}, body), 0, "", "", {kBadStructure}},
      {"empty file", "", 0, "", "", {kBadStructure}},
      {"ended by the closing delimiter",
       "Content-Type: multipart/mixed; boundary=\"b\"\r\n" +
           part({kOctetStream}, body + "--b--\r\n"),
       1,
       body,
       "",
       {}},
      {"the next part's delimiter does not end the body",
       "Content-Type: multipart/mixed; boundary=\"b\"\r\n" +
           part({kOctetStream}, body + "--b\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n"),
       0,
       "",
       "",
       {kBadStructure}},
      {"our own mail of an empty file", packagedMail("empty", ""), 0, "", "", {kBadStructure}},
      {"a 600-byte Content-Type line: its second piece starts the body",
       "Content-Type: application/octet-stream; name=\"" + std::string(551, 'n') + "\"\r\n" + body +
           "\r\n",
       1,
       std::string(86, 'n') + "\"\r\n" + body,
       "",
       {}},
  };
  for (const auto& c : cases) {
    const Located found = locate(c.mail);
    EXPECT_EQ(found.result, c.result) << c.name;
    EXPECT_EQ(found.messages, c.messages) << c.name;
    if (c.result) {
      EXPECT_EQ(found.body, c.body) << c.name;
      EXPECT_EQ(found.name, c.fileName) << c.name;
    } else {
      EXPECT_EQ(found.name, "untouched") << c.name;
    }
  }
}

TEST_F(AttachmentExtractorTest, LastAttachmentWinsAndItsNameIsProposedExactly) {
  const std::string mail =
      part({kOctetStream, "Content-Disposition: attachment; filename=\"first-long-name.bin\""},
           "QUJD\r\n\r\n") +
      part({kOctetStream, "Content-Disposition: attachment; filename=\"b\""}, "REVG\r\n\r\n");
  const Located found = locate(mail);
  EXPECT_EQ(found.result, 1);
  EXPECT_EQ(found.body, "REVG\r\n");
  EXPECT_EQ(found.name, "b");
}

TEST_F(AttachmentExtractorTest, LastBodyWithoutEndAfterAnEndedOneFailsAtTheOutputBuffer) {
  const std::string mail = part({kOctetStream}, "QUJD\r\n\r\n") + part({kOctetStream}, "REVG\r\n");
  platform.addFile("mail.eml", mail);
  AttachmentExtractor extractor(platform, sink);
  std::string name;
  ASSERT_EQ(extractor.locate("mail.eml", name), 1);
  EXPECT_LT(extractor.foundBodyEnd(), extractor.foundBodyStart());
  EXPECT_EQ(extractor.writeDecoded("out"), 0);
  EXPECT_EQ(sink.texts(), std::vector<std::string>{std::string(messages::kOutputBufferFailed)});
  EXPECT_FALSE(platform.contentOf("out"));
}

// The choices for what the rules leave open: a value is taken only when its closing quote is in
// the same piece, a boundary only when its closing delimiter fits 128 bytes; otherwise the value
// captured before stays in force, and with no boundary ever captured only a blank line ends a body.
TEST_F(AttachmentExtractorTest, UncapturableValuesLeaveThePreviousOnesInForce) {
  const std::string body = "QUJD\r\n";
  const std::string boundary123(123, 'q');
  const std::string boundary124(124, 'q');
  struct Case {
    const char* name;
    std::string mail;
    std::string body;
    std::string fileName;
  };
  const Case cases[] = {
      {"multipart without boundary: no delimiter at all",
       "Content-Type: multipart/mixed; charset=x\r\n" +
           part({kOctetStream}, body + "----\r\n--b--\r\n\r\n"),
       body + "----\r\n--b--\r\n", ""},
      {"multipart without boundary keeps the earlier one",
       "Content-Type: multipart/mixed; boundary=\"b\"\r\nContent-Type: multipart/mixed; x\r\n" +
           part({kOctetStream}, body + "--b--\r\n"),
       body, ""},
      {"boundary of 123 bytes is captured",
       "Content-Type: multipart/mixed; boundary=\"" + boundary123 + "\"\r\n" +
           part({kOctetStream}, body + "--" + boundary123 + "--\r\n"),
       body, ""},
      {"boundary of 124 bytes is not",
       "Content-Type: multipart/mixed; boundary=\"" + boundary124 + "\"\r\n" +
           part({kOctetStream}, body + "--" + boundary124 + "--\r\n\r\n"),
       body + "--" + boundary124 + "--\r\n", ""},
      {"boundary without its closing quote is not",
       "Content-Type: multipart/mixed; boundary=\"b\"\r\n"
       "Content-Type: multipart/mixed; boundary=\"c\r\n" +
           part({kOctetStream}, body + "--c--\r\n--b--\r\n"),
       body + "--c--\r\n", ""},
      {"file name without its closing quote is not",
       part({kOctetStream, "Content-Disposition: attachment; filename=\"a.bin\"",
             "Content-Disposition: attachment; filename=\"b.bin"},
            body + "\r\n"),
       body, "a.bin"},
      {"a NUL before the closing quote ends the value's text",
       part({kOctetStream, "Content-Disposition: attachment; filename=\"a.bin\"",
             std::string("Content-Disposition: attachment; filename=\"b") + '\0' + "c\""},
            body + "\r\n"),
       body, "a.bin"},
      {"a long file name keeps its first 127 bytes",
       part({kOctetStream,
             "Content-Disposition: attachment; filename=\"" + std::string(200, 'n') + "\""},
            body + "\r\n"),
       body, std::string(127, 'n')},
  };
  for (const auto& c : cases) {
    const Located found = locate(c.mail);
    EXPECT_EQ(found.result, 1) << c.name;
    EXPECT_TRUE(found.messages.empty()) << c.name;
    EXPECT_EQ(found.body, c.body) << c.name;
    EXPECT_EQ(found.name, c.fileName) << c.name;
  }
}

TEST_F(AttachmentExtractorTest, HostileShapesGiveDefinedResults) {
  const std::string body = "QUJD\r\n";
  const std::string huge(10000, 'h');
  struct Case {
    const char* name;
    std::string mail;
    int result;
    std::string fileName;
  };
  const Case cases[] = {
      {"10 000-byte file name: its quote is not in the first piece",
       part({kOctetStream, "Content-Disposition: attachment; filename=\"" + huge + ".bin\""},
            body + "\r\n"),
       1, ""},
      {"10 000-byte boundary is not captured",
       "Content-Type: multipart/mixed; boundary=\"" + huge + "\"\r\n" +
           part({kOctetStream}, body + "--" + huge + "--\r\n\r\n"),
       1, ""},
      {"NUL bytes everywhere",
       std::string("Content-") + '\0' + "Type: x\r\n" + std::string(3, '\0') + "\r\n" +
           part({kOctetStream}, std::string("QU") + '\0' + "D\r\n\r\n"),
       1, ""},
      {"a Base64 body that never ends", part({kOctetStream}, std::string(100000, 'A')), 0, ""},
      {"a continuation that runs to the end of the file",
       kOctetStream + "\r\nContent-Disposition: a;\r\n;\r\n;", 0, ""},
  };
  for (const auto& c : cases) {
    const Located found = locate(c.mail);
    EXPECT_EQ(found.result, c.result) << c.name;
    if (c.result) {
      EXPECT_EQ(found.name, c.fileName) << c.name;
    }
    // Decodes what was found, within bounds (the suite runs under AddressSanitizer too).
    EXPECT_EQ(extract(c.mail) != "<none>", c.result == 1) << c.name;
  }
}

// --- Decoding the body ------------------------------------------------------------------------

std::string decoded(const std::string& body) {
  std::vector<std::uint8_t> output(body.size() + 1, 0xEE);
  const auto* image = reinterpret_cast<const std::uint8_t*>(body.data());
  const std::uint32_t length = AttachmentExtractor::decodeBody(
      image, 0, static_cast<std::uint32_t>(body.size()), output.data());
  return std::string(reinterpret_cast<const char*>(output.data()), length);
}

TEST(DecodeBodyTest, WholeQuartetsOfEachPieceWithTheirLineEnds) {
  const std::string line76 =
      "TWFyeSBoYWQgYSBsaXR0bGUgbGFtYiwgaXRzIGZsZWVjZSB3YXMgd2hpdGUgYXMgc25vdy4gQUJD";
  const std::string bytes57 = "Mary had a little lamb, its fleece was white as snow. ABC";
  const std::pair<std::string, std::string> cases[] = {
      {"QUJD\r\nREVG\r\n", "ABCDEF"},
      {"QUJD\r\nQUI=\r\n", "ABCAB"},
      {"QUJD\r\nQQ==\r\n", "ABCA"},
      {line76 + "\r\n" + line76 + "\r\n", bytes57 + bytes57},
      {line76 + "\n" + line76 + "\n", bytes57 + bytes57},
      {"QQ\nQU\n\n", ""},        // every piece shorter than 4 bytes
      {"QQ==QUJD\r\n", "AABC"},  // nothing stops at '='
  };
  for (const auto& [body, bytes] : cases) EXPECT_EQ(decoded(body), bytes) << body;
  // Line ends that complete a quartet repeat the character before them.
  EXPECT_EQ(decoded("QUJDRE\r\n"), decoded("QUJDREEE"));
  EXPECT_EQ(decoded("QUJ\nD\r\n"), decoded("QUJJ"));
}

TEST(DecodeBodyTest, LongLinesAreDecodedInPiecesOf511Bytes) {
  // 600 characters and CR LF: a piece of 511 bytes (127 quartets, 3 bytes dropped) and one of 91
  // (22 quartets, 3 dropped); the second piece's quartets start at its own first byte.
  const std::string line = std::string(600, 'A') + "\r\n";
  EXPECT_EQ(decoded(line).size(), (127u + 22u) * 3u);
  const std::string shifted = std::string(511, 'A') + "QUJD\r\n";
  EXPECT_EQ(decoded(shifted).substr(127 * 3), "ABC");
}

std::pair<std::string, std::string> fastAndPlain(const std::string& body) {
  const auto* image = reinterpret_cast<const std::uint8_t*>(body.data());
  const auto end = static_cast<std::uint32_t>(body.size());
  std::string fast(body.size() + 3, '\xEE'), plain(body.size() + 3, '\xEE');
  fast.resize(
      AttachmentExtractor::decodeBody(image, 0, end, reinterpret_cast<std::uint8_t*>(fast.data())));
  plain.resize(AttachmentExtractor::decodeBodyByPieces(
      image, 0, end, reinterpret_cast<std::uint8_t*>(plain.data())));
  return {fast, plain};
}

// The fast decoder against the plain one, on every line length around the 511-byte pieces.
TEST(DecodeBodyTest, InPlaceDecodingEqualsPieceByPieceDecodingForEveryLineLength) {
  for (const std::string lineEnd : {"\n", "\r\n", "=\n", "\n\n"}) {
    std::string body;
    for (std::size_t length = 0; length <= 1100; ++length)
      body += std::string(length, kBase64Alphabet[length % 64]) + lineEnd;
    const auto [fast, plain] = fastAndPlain(body);
    ASSERT_EQ(fast, plain) << lineEnd.size();
  }
}

// The fast decoder against the plain one, on random and adversarial bodies.
TEST(DecodeBodyTest, InPlaceDecodingEqualsPieceByPieceDecoding) {
  const std::string alphabets[] = {
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/\r\n",
      "AB=\r\n \t-_\x80\xFF",
      std::string("Q=\n\0", 4),
      [] {  // long lines: an LF or '=' once in about 500 bytes
        std::string rare;
        for (int i = 0; i < 8; ++i) rare += kBase64Alphabet;
        return rare + "\n=";
      }(),
  };
  std::mt19937 generator(2005);
  for (int round = 0; round < 300; ++round) {
    const std::string& alphabet = alphabets[round % 4];
    const std::size_t size = generator() % (round < 150 ? 200 : 5000);
    std::string body(size, '\0');
    for (auto& byte : body) byte = alphabet[generator() % alphabet.size()];
    if (round % 7 == 0 && !body.empty()) body[body.size() / 2] = '\n';
    const auto [fast, plain] = fastAndPlain(body);
    ASSERT_EQ(fast, plain) << round;
  }
}

// --- Writing the output and its times -----------------------------------------------------------

TEST_F(AttachmentExtractorTest, WritesTheBytesThenStampsTheMailsTimes) {
  platform.addFile("mail.eml", packagedMail("a.bin", "YWJjZA=="), FileTimes{11, 22, 33});
  platform.addFile("out", "an older, longer content");
  AttachmentExtractor extractor(platform, sink);
  std::string name;
  ASSERT_EQ(extractor.locate("mail.eml", name), 1);
  EXPECT_EQ(name, "a.bin");
  platform.events.clear();
  EXPECT_EQ(extractor.writeDecoded("out"), 1);
  EXPECT_EQ(platform.contentOf("out"), "abcd");
  EXPECT_EQ(platform.events, (std::vector<std::string>{"write out", "status out", "times out"}));
  EXPECT_EQ(platform.files["out"].times.lastWrite, 22);
  EXPECT_EQ(platform.files["out"].times.lastAccess, 33);
  EXPECT_TRUE(sink.messages.empty());
}

TEST_F(AttachmentExtractorTest, ARangeOfShortPiecesWritesAnEmptyFileAndStampsIt) {
  platform.addFile("mail.eml", part({kOctetStream}, "QQ\nQU\n\n"), FileTimes{1, 2, 3});
  AttachmentExtractor extractor(platform, sink);
  std::string name;
  ASSERT_EQ(extractor.locate("mail.eml", name), 1);
  EXPECT_EQ(extractor.writeDecoded("out"), 1);
  EXPECT_EQ(platform.contentOf("out"), "");
  EXPECT_EQ(platform.files["out"].times.lastWrite, 2);
}

TEST_F(AttachmentExtractorTest, AnOutputWhoseStatusCannotBeReadKeepsItsOwnTimes) {
  platform.addFile("mail.eml", packagedMail("a.bin", "YWJjZA=="), FileTimes{1, 2, 3});
  platform.failStatusOf.insert("out");
  AttachmentExtractor extractor(platform, sink);
  std::string name;
  ASSERT_EQ(extractor.locate("mail.eml", name), 1);
  EXPECT_EQ(extractor.writeDecoded("out"), 1);
  EXPECT_EQ(platform.files["out"].times.lastWrite, 9);  // the time of its writing
  EXPECT_TRUE(sink.messages.empty());
}

TEST_F(AttachmentExtractorTest, FailuresShowTheirMessageAndWriteNothing) {
  struct Case {
    const char* name;
    void (*arrange)(FakePlatform&);
    std::string message;
    bool locates;
    const char* output = "out";
  };
  const Case cases[] = {
      {"missing mail", [](FakePlatform& p) { p.files.erase("in"); },
       messages::describeOpenFailure(messages::kExtractOpenFailed, "in", ENOENT), false},
      {"locked mail", [](FakePlatform& p) { p.files["in"].locked = true; },
       messages::describeOpenFailure(messages::kExtractOpenFailed, "in", EWOULDBLOCK), false},
      {"folder mail", [](FakePlatform& p) { p.files.erase("in"), p.folders.insert("in"); },
       messages::describeOpenFailure(messages::kExtractOpenFailed, "in", EISDIR), false},
      {"no status", [](FakePlatform& p) { p.failStatusOf.insert("in"); },
       std::string(messages::kStatusFailed), false},
      {"no image", [](FakePlatform& p) { p.failAllocationNumber = 0; },
       std::string(messages::kExtractImageFailed), false},
      {"read error", [](FakePlatform& p) { p.failReadWith = EIO; },
       messages::describeReadFailure("in", EIO), false},
      {"no output block", [](FakePlatform& p) { p.failAllocationNumber = 1; },
       std::string(messages::kOutputBufferFailed), true},
      {"output is a folder", [](FakePlatform& p) { p.folders.insert("out"); },
       messages::describeOpenFailure(messages::kExtractSaveOpenFailed, "out", EISDIR), true},
      {"output in a missing folder", [](FakePlatform&) {},
       messages::describeOpenFailure(messages::kExtractSaveOpenFailed, "no/out", ENOENT), true,
       "no/out"},
      {"read-only output",
       [](FakePlatform& p) { p.addFile("out", "old"), p.files["out"].readOnly = true; },
       messages::describeOpenFailure(messages::kExtractSaveOpenFailed, "out", EACCES), true},
      {"disk full", [](FakePlatform& p) { p.failWriteWith = ENOSPC; },
       messages::describeWriteFailure("out", ENOSPC), true},
  };
  for (const auto& c : cases) {
    FakePlatform fake;
    RecordingSink messages;
    fake.addFile("in", packagedMail("a.bin", "YWJjZA=="));
    c.arrange(fake);
    const std::string output = c.output;
    const auto before = fake.contentOf(output);
    AttachmentExtractor extractor(fake, messages);
    std::string name = "untouched";
    const int located = extractor.locate("in", name);
    EXPECT_EQ(located, c.locates ? 1 : 0) << c.name;
    if (located) {
      EXPECT_EQ(extractor.writeDecoded(output), 0) << c.name;
    } else {
      EXPECT_EQ(name, "untouched") << c.name;
    }
    EXPECT_EQ(messages.texts(), std::vector<std::string>{c.message}) << c.name;
    EXPECT_EQ(fake.contentOf(output), before) << c.name;
  }
}

TEST_F(AttachmentExtractorTest, TheImageStaysAfterAFailedScanUntilReleased) {
  platform.addFile("bad.eml", "no attachment here\r\n");
  platform.addFile("good.eml", packagedMail("a.bin", "YWJjZA=="));
  AttachmentExtractor extractor(platform, sink);
  std::string name;
  EXPECT_EQ(extractor.locate("bad.eml", name), 0);
  EXPECT_TRUE(extractor.holdsImage());
  EXPECT_EQ(extractor.locate("good.eml", name), 1);  // starts afresh
  EXPECT_EQ(name, "a.bin");
  EXPECT_EQ(extractor.locate("missing", name), 0);  // an image held before stays
  EXPECT_TRUE(extractor.holdsImage());
  extractor.releaseImage();
  EXPECT_FALSE(extractor.holdsImage());
  extractor.releaseImage();  // twice is harmless
}

// --- Round trip through binary encode ---------------------------------------------------------

TEST(AttachmentRoundTripTest, EveryNonEmptyFileComesBackUnderItsName) {
  std::vector<std::size_t> sizes;
  for (std::size_t n = 1; n <= 200; ++n) sizes.push_back(n);
  for (std::size_t n : {4095, 4096, 4097, 65536, 100003, 1 << 20}) sizes.push_back(n);
  // A UTF-8 name travels in code page 932, which binary decode proposes as it stands.
  const std::string names[] = {"data.bin", "\x95\x5C.txt" /* 表 in Shift_JIS */,
                               "\xE8\xA1\xA8 \xE3\x82\xBD.dat" /* 表 ソ in UTF-8 */};
  const std::string carried[] = {names[0], names[1], "\x95\x5C \x83\x5C.dat"};
  for (std::size_t n : sizes) {
    FakePlatform platform;
    RecordingSink sink;
    const std::string& name = names[n % 3];
    const std::string content = testing::randomBytes(n, static_cast<unsigned>(n) * 31u);
    platform.addFile("dir/" + name, content, FileTimes{5, 6, 7});
    AttachmentPackager packager(platform, sink);
    ASSERT_EQ(packager.load("dir/" + name), 1);
    ASSERT_EQ(packager.writeMessage("mail.eml"), 1);

    AttachmentExtractor extractor(platform, sink);
    std::string proposed;
    ASSERT_EQ(extractor.locate("mail.eml", proposed), 1) << n;
    EXPECT_EQ(proposed, carried[n % 3]) << n;
    ASSERT_EQ(extractor.writeDecoded("back"), 1) << n;
    ASSERT_EQ(platform.contentOf("back"), content) << n;
    EXPECT_TRUE(sink.messages.empty()) << n;
  }
}

}  // namespace
}  // namespace korvani
