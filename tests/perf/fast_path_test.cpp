// The fast paths of the core against the straightforward implementations (reference_paths.h) and
// against the plain way of the same code, on random and adversarial inputs, byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/base64.h"
#include "common/line_primitives.h"
#include "common/messages.h"
#include "extract/attachment_extractor.h"
#include "package/attachment_packager.h"
#include "perf/reference_paths.h"
#include "support/fake_platform.h"
#include "support/text_decoder_test_access.h"
#include "textdecode/text_decoder.h"

namespace korvani {
namespace {

using testing::FakePlatform;
using testing::RecordingSink;

const std::uint8_t* bytesOf(const std::string& text) {
  return reinterpret_cast<const std::uint8_t*>(text.data());
}

std::string hexOf(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  char digits[4];
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(digits, sizeof digits, "%02X ", bytes[i]);
    text += digits;
  }
  return text;
}

// --- Base64 -------------------------------------------------------------------------------------

// Every quartet of these bytes: each class of the alphabet at both ends, '=', line ends and other
// outsiders, NUL and bytes from 0x80 up.
const std::uint8_t kQuartetBytes[] = {'A', 'Z',  'a',  'z', '0', '9', '+',  '/',  '=',  'Q',
                                      'w', '\r', '\n', ' ', '-', '_', 0x00, 0x80, 0xFF, '@'};

void expectSameQuartet(const std::uint8_t* quartet) {
  std::uint8_t fast[3] = {0xAA, 0xAA, 0xAA};
  std::uint8_t expected[3];
  const int result = decodeQuartet(quartet, fast);
  ASSERT_EQ(result, reference::decodeQuartet(quartet, expected)) << hexOf(quartet, 4);
  ASSERT_EQ(hexOf(fast, 3), hexOf(expected, 3)) << hexOf(quartet, 4);

  // The table path takes exactly the quartets of four alphabet characters.
  bool allAlphabet = true;
  for (int i = 0; i < 4; ++i)
    allAlphabet = allAlphabet && quartet[i] != 0 && std::strchr(kBase64Alphabet, quartet[i]);
  std::uint8_t table[3] = {0xAA, 0xAA, 0xAA};
  ASSERT_EQ(decodeAlphabetQuartet(quartet, table), allAlphabet) << hexOf(quartet, 4);
  ASSERT_EQ(hexOf(table, 3), allAlphabet ? hexOf(expected, 3) : "AA AA AA ") << hexOf(quartet, 4);
}

TEST(Base64FastPathTest, DecodeQuartetFollowsTheRuleForEveryQuartetOfRepresentativeBytes) {
  std::uint8_t quartet[4];
  for (const std::uint8_t a : kQuartetBytes)
    for (const std::uint8_t b : kQuartetBytes)
      for (const std::uint8_t c : kQuartetBytes)
        for (const std::uint8_t d : kQuartetBytes) {
          quartet[0] = a, quartet[1] = b, quartet[2] = c, quartet[3] = d;
          expectSameQuartet(quartet);
        }
}

TEST(Base64FastPathTest, DecodeQuartetFollowsTheRuleForRandomQuartets) {
  std::mt19937 generator(7);
  std::uint8_t quartet[4];
  for (int n = 0; n < 400000; ++n) {
    // Half of them from the alphabet with now and then one stray byte, half from all bytes.
    for (auto& byte : quartet) {
      byte = n % 2 == 0 && generator() % 16 != 0
                 ? static_cast<std::uint8_t>(kBase64Alphabet[generator() % 64])
                 : static_cast<std::uint8_t>(generator());
    }
    expectSameQuartet(quartet);
  }
}

TEST(Base64FastPathTest, EncodeTripleFollowsTheRuleForEveryGroup) {
  std::uint8_t group[3];
  std::uint8_t fast[4];
  std::uint8_t expected[4];
  // Every group of three bytes, and every group of one and of two.
  for (int count = 1; count <= 3; ++count) {
    for (std::uint32_t value = 0; value < (1u << (8 * count)); ++value) {
      for (int i = 0; i < 3; ++i)
        group[i] = i < count ? static_cast<std::uint8_t>(value >> (8 * (count - 1 - i))) : 0xEE;
      ASSERT_EQ(encodeTriple(group, fast, count), 4);
      reference::encodeTriple(group, expected, count);
      ASSERT_EQ(std::memcmp(fast, expected, 4), 0) << value << " " << count;
    }
  }
}

// Both ways of walking runs: the one this processor takes (vector instructions where it has
// them) and the one-by-one way of every other processor.
using EncodeRun = void (*)(const std::uint8_t*, std::size_t, std::uint8_t*);
using DecodeRun = std::size_t (*)(const std::uint8_t*, std::size_t, std::uint8_t*);
const EncodeRun kEncodeRuns[] = {encodeTriples, encodeTriplesOneByOne};
const DecodeRun kDecodeRuns[] = {decodeAlphabetQuartets, decodeAlphabetQuartetsOneByOne};

TEST(Base64FastPathTest, EncodeTriplesEqualsTripleByTripleAndStaysInItsBytes) {
  std::mt19937 generator(11);
  for (const EncodeRun encodeRun : kEncodeRuns) {
    for (std::size_t triples = 0; triples <= 70; ++triples) {
      // The source is exactly 3 * triples bytes long, so a read past it is a fault under ASan.
      std::vector<std::uint8_t> source(3 * triples);
      for (auto& byte : source) byte = static_cast<std::uint8_t>(generator());
      std::vector<std::uint8_t> fast(4 * triples + 8, 0xAA);
      encodeRun(source.data(), triples, fast.data());
      std::vector<std::uint8_t> expected(4 * triples + 8, 0xAA);
      for (std::size_t k = 0; k < triples; ++k)
        reference::encodeTriple(source.data() + 3 * k, expected.data() + 4 * k, 3);
      ASSERT_EQ(fast, expected) << triples;
    }
  }
}

// A run of alphabet quartets with one byte of any value at any place: the run ends at the quartet
// that holds it, unless that byte is an alphabet character itself.
TEST(Base64FastPathTest, DecodeAlphabetQuartetsStopsAtTheFirstQuartetForTheRules) {
  std::mt19937 generator(13);
  for (const DecodeRun decodeRun : kDecodeRuns) {
    for (std::size_t quartets = 0; quartets <= 40; ++quartets) {
      for (int trial = 0; trial < 300; ++trial) {
        std::vector<std::uint8_t> text(4 * quartets);
        for (auto& byte : text) byte = static_cast<std::uint8_t>(kBase64Alphabet[generator() % 64]);
        if (!text.empty() && trial > 0)
          text[generator() % text.size()] = static_cast<std::uint8_t>(generator());
        std::size_t expectedRun = 0;
        std::vector<std::uint8_t> expected(3 * quartets + 8, 0xAA);
        while (expectedRun < quartets) {
          const std::uint8_t* quartet = text.data() + 4 * expectedRun;
          bool allAlphabet = true;
          for (int i = 0; i < 4; ++i)
            allAlphabet =
                allAlphabet && quartet[i] != 0 && std::strchr(kBase64Alphabet, quartet[i]);
          if (!allAlphabet) break;
          reference::decodeQuartet(quartet, expected.data() + 3 * expectedRun);
          ++expectedRun;
        }
        std::vector<std::uint8_t> fast(3 * quartets + 8, 0xAA);
        ASSERT_EQ(decodeRun(text.data(), quartets, fast.data()), expectedRun) << quartets;
        ASSERT_EQ(fast, expected) << quartets;
      }
    }
  }
}

// --- Line cutting -------------------------------------------------------------------------------

// readLine as its rule reads: zero-fill, then byte by byte.
std::uint32_t plainReadLine(const std::uint8_t* data, std::uint8_t* line, std::uint32_t size,
                            std::uint32_t& position, std::uint32_t length) {
  std::memset(line, 0, size);
  std::uint32_t count = 0;
  while (count + 1 < size && position < length) {
    const std::uint8_t byte = data[position++];
    line[count++] = byte;
    if (byte == '\n') break;
  }
  return count;
}

TEST(LineCuttingTest, CutLineCutsWhatReadLineCutsAndWritesOnlyTheLineAndItsZero) {
  std::mt19937 generator(3);
  std::string data(20000, '\0');
  for (auto& byte : data) {
    const auto roll = generator() % 40;
    byte = static_cast<char>(roll == 0 ? '\n' : roll == 1 ? '\0' : generator());
  }
  // A stretch without LF longer than the largest buffer.
  std::fill(data.begin() + 9000, data.begin() + 14000, 'x');
  const auto length = static_cast<std::uint32_t>(data.size());
  for (const std::uint32_t size : {1u, 2u, 3u, 5u, 16u, 512u, 4096u}) {
    std::vector<std::uint8_t> plain(size), fast(size), expected(size);
    std::uint32_t plainPosition = 0, fastPosition = 0, expectedPosition = 0;
    for (int call = 0; call < 3000; ++call) {
      std::fill(fast.begin(), fast.end(), 0xAA);
      const std::uint32_t lookAhead = nextLineLength(bytesOf(data), size, fastPosition, length);
      const std::uint32_t expectedCount =
          plainReadLine(bytesOf(data), expected.data(), size, expectedPosition, length);
      ASSERT_EQ(readLine(bytesOf(data), plain.data(), size, plainPosition, length), expectedCount);
      ASSERT_EQ(plain, expected);
      ASSERT_EQ(cutLine(bytesOf(data), fast.data(), size, fastPosition, length), expectedCount);
      ASSERT_EQ(lookAhead, expectedCount);
      ASSERT_EQ(plainPosition, expectedPosition);
      ASSERT_EQ(fastPosition, expectedPosition);
      ASSERT_EQ(std::memcmp(fast.data(), expected.data(), expectedCount + 1), 0) << size;
      for (std::uint32_t i = expectedCount + 1; i < size; ++i) ASSERT_EQ(fast[i], 0xAA) << size;
      if (expectedCount == 0) break;
    }
  }
}

// --- Binary encode ------------------------------------------------------------------------------

TEST(PackagerFastPathTest, ComposingInPlaceEqualsAppendingPieceByPiece) {
  std::vector<std::size_t> lengths;
  for (std::size_t length = 0; length <= 140; ++length) lengths.push_back(length);
  for (const std::size_t length : {179u, 180u, 181u, 449u, 450u, 451u, 4095u, 65536u, 100001u})
    lengths.push_back(length);
  // Names around 802 bytes, the longest for which no piece is skipped, and far beyond.
  std::vector<std::string> names = {"a.bin", std::string(127, 'n'), "nul_x"};
  for (const std::size_t length : {800u, 801u, 802u, 803u, 804u, 1500u, 4000u})
    names.push_back(std::string(length, 'n'));
  FakePlatform platform;
  platform.clock.tm_year = 105, platform.clock.tm_mon = 2, platform.clock.tm_mday = 9;
  platform.clock.tm_hour = 14, platform.clock.tm_min = 5, platform.clock.tm_sec = 7;
  RecordingSink sink;
  unsigned seed = 0;
  for (const std::string& name : names) {
    for (const std::size_t length : lengths) {
      // Long names only with the short sources, where the capacity is tight.
      if (name.size() > 200 && length > 400) continue;
      std::mt19937 generator(++seed);
      std::string image(length, '\0');
      for (auto& byte : image) byte = static_cast<char>(generator());
      platform.addFile("dir/" + name, image);
      AttachmentPackager packager(platform, sink);
      ASSERT_EQ(packager.load("dir/" + name), 1);
      ASSERT_EQ(packager.writeMessage("out.eml"), 1);
      ASSERT_EQ(platform.contentOf("out.eml").value_or(""),
                reference::composeMessage(image, name, "DATE050309_TIME140507"))
          << "length " << length << ", name of " << name.size() << " bytes";
    }
  }
  EXPECT_TRUE(sink.messages.empty());
}

// --- Binary decode: the locator's scan ----------------------------------------------------------

// One random piece of mail text, with its line end: the header lines the locator knows, some in
// forms it must not take, delimiters, Base64 and blank lines, long lines and stray bytes.
std::string randomLocatorLine(std::mt19937& generator, const std::string& boundary) {
  static const char* const kHeaders[] = {
      "Content-Type: multipart/mixed; boundary=\"",
      "Content-Type: multipart/mixed; ",
      "Content-Type: application/octet-stream; name=\"a.bin\"",
      "Content-Type: text/plain; charset=iso-2022-jp",
      "Content-Type: application/octet-stream",
      "Content-Transfer-Encoding: base64",
      "Content-Transfer-Encoding: 7bit",
      "Content-Disposition: attachment; filename=\"report.pdf\"",
      "Content-Disposition: attachment;",
      " filename=\"second line.txt\"",
      "Content-Disposition: attachment; filename=\"unterminated",
      "Content-",
      "Conten",
      "content-type: application/octet-stream; ",
  };
  const auto pick = generator() % 16;
  std::string text;
  if (pick < 3) {
    text = kHeaders[generator() % std::size(kHeaders)];
    if (text.back() == '"' && text.find("boundary") != std::string::npos) text += boundary + "\"";
  } else if (pick < 5) {
    text = "--" + boundary + (generator() % 2 ? "--" : "");
    if (generator() % 4 == 0) text.resize(generator() % (text.size() + 1));  // a prefix only
  } else if (pick < 6) {
    text = generator() % 2 ? "" : " \t ";
  } else if (pick < 7) {
    // Long enough to be cut into pieces, with the delimiter or a header near a piece's end.
    text = std::string(400 + generator() % 700, 'Q');
    text.replace(text.size() - generator() % 200 - 1, 0,
                 generator() % 2 ? "--" + boundary + "--" : std::string("Content-Type: "));
  } else if (pick < 8) {
    for (int i = generator() % 30; i > 0; --i) text += static_cast<char>(generator());
  } else {
    for (int i = generator() % 80; i > 0; --i) text += kBase64Alphabet[generator() % 64];
  }
  static const char* const kLineEnds[] = {"\r\n", "\r\n", "\n", ""};
  return text + kLineEnds[generator() % std::size(kLineEnds)];
}

TEST(LocatorFastPathTest, ScanningInPlaceFindsWhatThePieceByPieceScanFinds) {
  const std::string boundaries[] = {"DATE050309_TIME140507", "b", std::string(123, 'L'),
                                    std::string(124, 'L')};
  for (unsigned seed = 0; seed < 3000; ++seed) {
    std::mt19937 generator(seed);
    const std::string& boundary = boundaries[seed % std::size(boundaries)];
    std::string mail;
    for (int lines = 5 + generator() % 60; lines > 0; --lines)
      mail += randomLocatorLine(generator, boundary);
    const reference::Location expected = reference::locate(mail);

    FakePlatform platform;
    RecordingSink sink;
    platform.addFile("mail.eml", mail);
    AttachmentExtractor extractor(platform, sink);
    std::string name = "(none)";
    const int result = extractor.locate("mail.eml", name);
    SCOPED_TRACE("seed " + std::to_string(seed));
    if (expected.abandoned) {
      ASSERT_EQ(result, 0);
      ASSERT_EQ(sink.texts(),
                std::vector<std::string>{std::string(messages::kNotBase64Attachment)});
    } else if (expected.bodyStart == 0 || expected.bodyEnd == 0) {
      ASSERT_EQ(result, 0);
      ASSERT_EQ(sink.texts(), std::vector<std::string>{std::string(messages::kBadMailStructure)});
    } else {
      ASSERT_EQ(result, 1);
      ASSERT_EQ(name, expected.fileName);
    }
    ASSERT_EQ(extractor.foundBodyStart(), expected.bodyStart);
    ASSERT_EQ(extractor.foundBodyEnd(), expected.bodyEnd);
  }
}

// --- Mail and text decode: the line loops -------------------------------------------------------

// One random line for the decoder's loops, with its line end: header lines that change the
// state, the encoding, the character set and the boundary; delimiters; quoted-printable lines
// with soft line breaks; Base64 lines; text in each character set; NUL bytes; lines longer than
// a line buffer, some with a soft line break right at a piece's end.
std::string randomDecoderLine(std::mt19937& generator) {
  static const char* const kLines[] = {
      "Content-Type: multipart/mixed; boundary=\"b1\"",
      "Content-Type: multipart/mixed;",
      " boundary=\"b1\"",
      "Content-Type: text/plain; charset=iso-2022-jp",
      " charset=\"utf-8\"",
      "\tcharset=x-euc-jp",
      "Content-Type: text/plain;",
      "Content-Transfer-Encoding: quoted-printable",
      "Content-Transfer-Encoding: base64",
      "Content-Type: application/octet-stream",
      "This is a multi-part message in MIME format.",
      "Date: Fri, 7 Jun 2024 00:42:00 +0900",
      "Subject: =?ISO-2022-JP?B?GyRCJCIbKEI=?=",
      "X: =?utf-8?Q?a_b=E3=81=82?= tail =?utf-8?B?QUJD?=",
      "=?x-euc-jp?B?pKI=?=",
      "--b1",
      "--b1--",
      "Hello -- world",
      "",
      " \t",
      "\x0C",
      "=E3=81=82=E3=81=84 plain=",
      "abc= \t",
      "ab==",
      "=1B$B$\"=1B(B=",
      "QUJDREVG",
      "5pel5pys6KqeDQo=",
      "QU",
      "\x1B$B$\"$$\x1B(B",
      "\xA4\xA2\xA4\xA4\x8E\xB1",
      "\xE6\x97\xA5\xE6\x9C\xAC",
  };
  std::string text;
  const auto pick = generator() % 10;
  if (pick < 7) {
    text = kLines[generator() % std::size(kLines)];
  } else if (pick < 8) {
    for (int i = generator() % 40; i > 0; --i) text += static_cast<char>(generator());
  } else {
    // Beyond one line buffer, with a '=' (a soft line break when it ends the line) just before,
    // at or after the 4095th byte, where the joined line is cut.
    const std::size_t length = 4090 + generator() % 12 + (generator() % 2 ? 4095 : 0);
    for (std::size_t i = 0; i < length; ++i)
      text += generator() % 9 == 0 ? '=' : kBase64Alphabet[generator() % 64];
    text += generator() % 2 ? "=" : "";
  }
  static const char* const kLineEnds[] = {"\r\n", "\r\n", "\n", "", "\r"};
  return text + kLineEnds[generator() % std::size(kLineEnds)];
}

struct LoopResult {
  std::string output;
  TextEncoding encoding;
  TextCharset charset;
  MailState state;
  int multipart;
  std::string boundary;
  bool operator==(const LoopResult&) const = default;
};

LoopResult runLoop(const std::string& input, bool mail, TextEncoding encoding, TextCharset charset,
                   TextDecoder::LineCutting cutting) {
  FakePlatform platform;
  RecordingSink sink;
  TextDecoder decoder(platform, sink);
  TextDecoderTestAccess::encodingOption(decoder) = encoding;
  TextDecoderTestAccess::charsetOption(decoder) = charset;
  TextDecoderTestAccess::lineCutting(decoder) = cutting;
  // The output area starts small, as for a source that shrank, so that it grows now and then.
  OutputArea out(platform, platform.allocateZeroed(input.size() / 2));
  const auto length = static_cast<std::uint32_t>(input.size());
  if (mail) {
    decoder.decodeMailLines(bytesOf(input), length, out);
  } else {
    decoder.decodeTextLines(bytesOf(input), length, out);
  }
  EXPECT_FALSE(out.failed());
  return {std::string(reinterpret_cast<const char*>(out.data()), out.size()),
          TextDecoderTestAccess::currentEncoding(decoder),
          TextDecoderTestAccess::currentCharset(decoder),
          TextDecoderTestAccess::state(decoder),
          TextDecoderTestAccess::multipart(decoder),
          TextDecoderTestAccess::boundary(decoder)};
}

TEST(DecoderFastPathTest, CuttingOnlyTheLineEqualsZeroFillingTheBufferForEveryOptionPair) {
  const TextEncoding encodings[] = {TextEncoding::Auto, TextEncoding::QuotedPrintable,
                                    TextEncoding::Base64};
  const TextCharset charsets[] = {TextCharset::Auto, TextCharset::Jis, TextCharset::Utf8,
                                  TextCharset::Sjis, TextCharset::Euc};
  for (unsigned seed = 0; seed < 150; ++seed) {
    std::mt19937 generator(seed);
    std::string input;
    for (int lines = 10 + generator() % 80; lines > 0; --lines)
      input += randomDecoderLine(generator);
    for (const TextEncoding encoding : encodings) {
      for (const TextCharset charset : charsets) {
        for (const bool mail : {true, false}) {
          SCOPED_TRACE("seed " + std::to_string(seed) + (mail ? " mail" : " text") + " options " +
                       std::to_string(static_cast<int>(encoding)) + "/" +
                       std::to_string(static_cast<int>(charset)));
          ASSERT_EQ(runLoop(input, mail, encoding, charset, TextDecoder::LineCutting::Fast),
                    runLoop(input, mail, encoding, charset, TextDecoder::LineCutting::Plain));
        }
      }
    }
  }
}

}  // namespace
}  // namespace korvani
