// Makes the input files of the peer comparison (bench/compare.sh) on standard output:
//
//   korvani_bench_data random BYTES
//       BYTES pseudo-random bytes (the same ones every time).
//   korvani_bench_data text utf-8|iso-2022-jp|euc-jp BYTES
//       Japanese prose with CR LF line ends in that character set, whole lines up to BYTES.
//   korvani_bench_data mail quoted-printable|base64 BYTES
//       A multipart/mixed mail of about BYTES bytes: encoded words in the header and in every
//       part header, and text parts in UTF-8 and ISO-2022-JP, alternately, all in the one
//       transfer encoding named, with CR LF line ends.
//   korvani_bench_data hostile SHAPE BYTES
//       A mail (or mbox file) of about BYTES bytes in one of the hostile shapes of
//       hostile_mail.h, for bench/hostile.sh; what it holds ("4612 parts") on standard error
//       when the size does not say it all.
//
// The encoders, here and in bench_encoding.h, are written out plainly and independently of the
// code under test.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "bench_encoding.h"
#include "hostile_mail.h"
#include "japanese_prose.h"

namespace {

using korvani::bench::base64;
using korvani::bench::base64Lines;
using korvani::bench::convertAll;
using korvani::bench::findHostileShape;
using korvani::bench::hostileShapes;
using korvani::bench::makeProse;
using korvani::bench::makeRandom;

constexpr std::size_t kCharactersPerLine = 36;
constexpr std::size_t kPartTextSize = std::size_t{48} * 1024;  // UTF-8 bytes of prose per text part
constexpr std::size_t kEncodedLineLength = 76;
constexpr std::string_view kBoundary = "----=_Part_20240607_0042";

void writeOut(const std::string& bytes) { std::fwrite(bytes.data(), 1, bytes.size(), stdout); }

// Base64 lines of 76 characters with CR LF.
std::string base64Body(std::string_view data) { return base64Lines(data, "\r\n"); }

// Quoted-printable (RFC 2045) of text with CR LF line ends: lines of at most 76 characters,
// soft line breaks "=" CR LF, escapes never split.
std::string quotedPrintableBody(std::string_view text) {
  std::string body;
  std::size_t column = 0;
  char escape[4];
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<std::uint8_t>(text[i]);
    if (byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      body += "\r\n";
      column = 0;
      ++i;
      continue;
    }
    const bool literal = (byte >= 33 && byte <= 126 && byte != '=') || byte == ' ';
    const std::size_t width = literal ? 1 : 3;
    if (column + width > kEncodedLineLength - 1) {
      body += "=\r\n";
      column = 0;
    }
    if (literal) {
      body += static_cast<char>(byte);
    } else {
      std::snprintf(escape, sizeof escape, "=%02X", byte);
      body += escape;
    }
    column += width;
  }
  return body;
}

std::string encodedWord(const char* charset, const std::string& text) {
  return std::string("=?") + charset + "?B?" + base64(text) + "?=";
}

std::string makeMail(bool quotedPrintable, std::size_t size) {
  const char* transfer = quotedPrintable ? "quoted-printable" : "base64";
  const std::string prose = makeProse(kPartTextSize, kCharactersPerLine);
  const std::string jis = convertAll("ISO-2022-JP", "UTF-8", prose);
  const std::string bodies[2] = {quotedPrintable ? quotedPrintableBody(prose) : base64Body(prose),
                                 quotedPrintable ? quotedPrintableBody(jis) : base64Body(jis)};
  const char* const charsets[2] = {"utf-8", "iso-2022-jp"};
  const std::string delimiter = "--" + std::string(kBoundary);

  std::string mail;
  mail += "From: " + encodedWord("ISO-2022-JP", convertAll("ISO-2022-JP", "UTF-8", "佐藤 花子")) +
          " <hanako@example.jp>\r\n";
  mail += "To: taro@example.jp\r\n";
  mail += "Subject: " + encodedWord("UTF-8", "来週の打ち合わせ資料の送付について") + "\r\n";
  mail += "Date: Fri, 7 Jun 2024 00:42:00 +0900\r\n";
  mail += "Mime-Version: 1.0\r\n";
  mail += "Content-Type: multipart/mixed; boundary=\"" + std::string(kBoundary) + "\"\r\n\r\n";
  mail += "This is a multi-part message in MIME format.\r\n\r\n";
  for (std::size_t part = 0; mail.size() < size; ++part) {
    const std::size_t kind = part % 2;
    mail += delimiter + "\r\n";
    // The character set on a line of its own, as mail programs fold long Content-Type lines.
    mail += "Content-Type: text/plain;\r\n charset=" + std::string(charsets[kind]) + "\r\n";
    mail += "Content-Transfer-Encoding: " + std::string(transfer) + "\r\n";
    mail += "Content-Disposition: inline; filename=\"" +
            encodedWord("UTF-8", "資料" + std::to_string(part + 1) + ".txt") + "\"\r\n\r\n";
    mail += bodies[kind] + "\r\n";
  }
  mail += delimiter + "--\r\n";
  return mail;
}

int usage() {
  std::fputs(
      "usage: korvani_bench_data random BYTES\n"
      "       korvani_bench_data text utf-8|iso-2022-jp|euc-jp BYTES\n"
      "       korvani_bench_data mail quoted-printable|base64 BYTES\n"
      "       korvani_bench_data hostile SHAPE BYTES\n"
      "shapes:\n",
      stderr);
  for (const auto& shape : hostileShapes())
    std::fprintf(stderr, "  %-20s %s\n", shape.name, shape.description);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  const std::string_view kind = argv[1];
  const std::size_t size = std::strtoull(argv[argc - 1], nullptr, 10);
  if (kind == "random" && argc == 3) {
    writeOut(makeRandom(size));
    return 0;
  }
  if (argc != 4) return usage();
  const std::string_view variant = argv[2];
  if (kind == "text") {
    // The other sets take fewer bytes per character than UTF-8: make enough to fill `size`.
    const std::string prose = makeProse(variant == "utf-8" ? size : 2 * size, kCharactersPerLine);
    std::string text = variant == "utf-8" ? prose : convertAll(argv[2], "UTF-8", prose);
    if (text.empty()) return usage();
    if (text.size() > size) text.resize(text.rfind('\n', size - 1) + 1);
    writeOut(text);
    return 0;
  }
  if (kind == "mail" && (variant == "quoted-printable" || variant == "base64")) {
    writeOut(makeMail(variant == "quoted-printable", size));
    return 0;
  }
  if (const auto* shape = kind == "hostile" ? findHostileShape(variant) : nullptr) {
    const auto mail = shape->make(size);
    writeOut(mail.bytes);
    if (!mail.summary.empty()) std::fprintf(stderr, "%s\n", mail.summary.c_str());
    return 0;
  }
  return usage();
}
