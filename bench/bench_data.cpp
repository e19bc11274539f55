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
//
// The encoders here are written out plainly and independently of the code under test.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "japanese_prose.h"

namespace {

using korvani::bench::convertAll;
using korvani::bench::makeProse;

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kCharactersPerLine = 36;
constexpr std::size_t kPartTextSize = 48 * 1024;  // UTF-8 bytes of prose per text part
constexpr std::size_t kEncodedLineLength = 76;
constexpr std::string_view kBoundary = "----=_Part_20240607_0042";

void writeOut(const std::string& bytes) { std::fwrite(bytes.data(), 1, bytes.size(), stdout); }

std::string base64(std::string_view data) {
  std::string text;
  for (std::size_t i = 0; i < data.size(); i += 3) {
    const std::size_t n = data.size() - i < 3 ? data.size() - i : 3;
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k)
      group = group << 8 | (k < n ? static_cast<std::uint8_t>(data[i + k]) : 0u);
    for (std::size_t k = 0; k < 4; ++k)
      text += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
  }
  return text;
}

// Base64 lines of 76 characters with CR LF.
std::string base64Body(std::string_view data) {
  const std::string text = base64(data);
  std::string body;
  for (std::size_t i = 0; i < text.size(); i += kEncodedLineLength)
    body.append(text, i, kEncodedLineLength).append("\r\n");
  return body;
}

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

std::string makeRandom(std::size_t size) {
  std::string data(size, '\0');
  std::uint64_t state = 0x9E3779B97F4A7C15;
  for (std::size_t i = 0; i < size; i += 8) {
    // splitmix64
    std::uint64_t z = (state += 0x9E3779B97F4A7C15);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
    z ^= z >> 31;
    std::memcpy(data.data() + i, &z, size - i < 8 ? size - i : 8);
  }
  return data;
}

int usage() {
  std::fputs(
      "usage: korvani_bench_data random BYTES\n"
      "       korvani_bench_data text utf-8|iso-2022-jp|euc-jp BYTES\n"
      "       korvani_bench_data mail quoted-printable|base64 BYTES\n",
      stderr);
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
  return usage();
}
