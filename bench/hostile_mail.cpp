#include "hostile_mail.h"

#include <array>
#include <cstdio>
#include <initializer_list>
#include <vector>

#include "bench_encoding.h"
#include "japanese_prose.h"

namespace korvani::bench {
namespace {

constexpr std::string_view kBoundary = "b0a1";
constexpr std::string_view kEnvelope = "From hanako@example.jp Fri Jun  7 00:42:00 2024\n";
// Bytes of Base64 text per 57 bytes of data: a line of 76 characters and its LF.
constexpr std::size_t kBase64LineBytes = 77;
constexpr std::size_t kBase64LineData = 57;
// The start of an encoded word that never ends: repeated without a space, each would close the
// one before it ("=?a?B?=" is an empty word).
constexpr std::string_view kOpenWord = "=?a?B? ";

std::string delimiter() { return "--" + std::string(kBoundary) + "\n"; }
std::string closingDelimiter() { return "--" + std::string(kBoundary) + "--\n"; }

// The top header up to its Subject field, which the caller writes.
std::string headerBeforeSubject() {
  return "From: =?UTF-8?B?5L2Q6JekIOiKseWtkA==?= <hanako@example.jp>\n"
         "To: taro@example.jp\n"
         "Date: Fri, 7 Jun 2024 00:42:00 +0900\n"
         "Message-ID: <20240607004200.1@example.jp>\n";
}

std::string multipartFields() {
  return "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"" + std::string(kBoundary) +
         "\"\n";
}

std::string plainFields() {
  return "MIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\n"
         "Content-Transfer-Encoding: 8bit\n";
}

std::string textPart(std::string_view text) {
  return delimiter() +
         "Content-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n\n" +
         std::string(text) + "\n";
}

std::string attachmentPart(std::string_view name, std::string_view data) {
  return delimiter() + "Content-Type: application/octet-stream; name=\"" + std::string(name) +
         "\"\nContent-Disposition: attachment; filename=\"" + std::string(name) +
         "\"\nContent-Transfer-Encoding: base64\n\n" + base64Lines(data, "\n");
}

// Every piece in turn at the end of `text`; the pieces are read left to right.
void append(std::string& text, std::initializer_list<std::string_view> pieces) {
  for (const std::string_view piece : pieces) text += piece;
}

// `unit` repeated until `count` bytes, cut to exactly that many.
std::string repeated(std::string_view unit, std::size_t count) {
  std::string text;
  text.reserve(count + unit.size());
  while (text.size() < count) text += unit;
  text.resize(count);
  return text;
}

std::size_t remaining(std::size_t size, std::size_t used) { return size > used ? size - used : 0; }

// How many bytes of data make `bytes` bytes of Base64 lines.
std::size_t dataForBase64(std::size_t bytes) { return bytes / kBase64LineBytes * kBase64LineData; }

// A text part and one Base64 attachment of random bytes: the mail every shape is compared with.
HostileMail makeOrdinary(std::size_t size) {
  std::string mail = headerBeforeSubject() + "Subject: =?UTF-8?B?6LOH5paZ44Gu6YCB5LuY?=\n" +
                     multipartFields() + "\n" + textPart("資料を添付いたします。ご確認ください。");
  const std::string tail = closingDelimiter();
  const std::string head = attachmentPart("data.bin", "");
  const std::size_t data = dataForBase64(remaining(size, mail.size() + head.size() + tail.size()));
  mail += attachmentPart("data.bin", makeRandom(data)) + tail;
  return {mail, {}};
}

HostileMail makeOpenWordsSubject(std::size_t size) {
  std::string mail = headerBeforeSubject() + "Subject: ";
  const std::string rest = "\n" + plainFields() + "\n本文です。\n";
  mail += repeated(kOpenWord, remaining(size, mail.size() + rest.size()) / kOpenWord.size() *
                                  kOpenWord.size()) +
          rest;
  return {mail, {}};
}

HostileMail makeOpenWordsName(std::size_t size) {
  std::string mail = headerBeforeSubject() + "Subject: name\n" + multipartFields() + "\n" +
                     textPart("本文です。") + delimiter() +
                     "Content-Type: application/octet-stream\n"
                     "Content-Transfer-Encoding: base64\n"
                     "Content-Disposition: attachment; filename=\"";
  const std::string rest = "\"\n\n" + base64Lines("data", "\n") + closingDelimiter();
  mail += repeated(kOpenWord, remaining(size, mail.size() + rest.size()) / kOpenWord.size() *
                                  kOpenWord.size()) +
          rest;
  return {mail, {}};
}

// One-byte attachments until `size`, all named "image0.png" or each its own name of the same
// length. Each part header is a single short field, so that even 10 000 parts stay well inside
// what a reader takes of headers, and only the names are hostile.
HostileMail makeNamedParts(std::size_t size, bool sameName) {
  std::string mail = headerBeforeSubject() + "Subject: parts\n" + multipartFields() + "\n" +
                     textPart("本文です。");
  const std::string tail = closingDelimiter();
  std::size_t parts = 0;
  char name[32];
  while (mail.size() + tail.size() < size) {
    std::snprintf(name, sizeof name, "i%05zu.png", parts);
    mail += delimiter() + "Content-Type: image/png; name=\"" + (sameName ? "image0.png" : name) +
            "\"\n\nx\n";
    ++parts;
  }
  return {mail + tail, std::to_string(parts) + " attachments"};
}

HostileMail makeSameNames(std::size_t size) { return makeNamedParts(size, true); }
HostileMail makeUniqueNames(std::size_t size) { return makeNamedParts(size, false); }

// Small messages, each with a text part and a small attachment, in mbox form.
HostileMail makeMbox(std::size_t size) {
  std::string mbox;
  std::size_t messages = 0;
  while (mbox.size() < size) {
    const std::string number = std::to_string(messages + 1);
    mbox += std::string(kEnvelope) + headerBeforeSubject() + "Subject: message " + number + "\n" +
            multipartFields() + "\n" + textPart("message " + number) +
            attachmentPart("f" + number + ".bin", "small attachment " + number) +
            closingDelimiter() + "\n";
    ++messages;
  }
  return {mbox, std::to_string(messages) + " messages"};
}

// Parts with an empty header and a one-letter body: the most parts for the bytes.
HostileMail makeManyParts(std::size_t size) {
  std::string mail = headerBeforeSubject() + "Subject: many parts\n" + multipartFields() + "\n";
  const std::string part = "--" + std::string(kBoundary) + "\n\nx\n";
  const std::string tail = closingDelimiter();
  const std::size_t parts = remaining(size, mail.size() + tail.size()) / part.size();
  mail.reserve(mail.size() + parts * part.size() + tail.size());
  for (std::size_t i = 0; i < parts; ++i) mail += part;
  return {mail + tail, std::to_string(parts) + " parts"};
}

HostileMail makeManyHeaderLines(std::size_t size) {
  constexpr std::string_view kLine = "X-H: v\n";
  std::string mail = headerBeforeSubject() + "Subject: many header lines\n";
  const std::string rest = plainFields() + "\n本文です。\n";
  const std::size_t lines = remaining(size, mail.size() + rest.size()) / kLine.size();
  mail += repeated(kLine, lines * kLine.size()) + rest;
  return {mail, std::to_string(lines) + " lines"};
}

// Prose lines without their CR LF, for the HTML blocks.
std::vector<std::string> proseLines() {
  const std::string prose = makeProse(std::size_t{64} * 1024, 36);
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < prose.size();) {
    const std::size_t end = prose.find("\r\n", start);
    lines.push_back(prose.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// A newsletter as an HTML-only mail: headings, paragraphs with links, lists and tables.
HostileMail makeLargeHtml(std::size_t size) {
  const std::vector<std::string> lines = proseLines();
  std::string mail = headerBeforeSubject() +
                     "Subject: =?UTF-8?B?44GK55+l44KJ44Gb?=\n"
                     "MIME-Version: 1.0\nContent-Type: text/html; charset=UTF-8\n"
                     "Content-Transfer-Encoding: 8bit\n\n"
                     "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>お知らせ</title>"
                     "<style>td { padding: 4px; }</style></head>\n<body>\n";
  const std::string tail = "</body></html>\n";
  std::size_t line = 0;
  const auto next = [&]() -> const std::string& { return lines[line++ % lines.size()]; };
  for (std::size_t block = 1; mail.size() + tail.size() < size; ++block) {
    const std::string number = std::to_string(block);
    append(mail,
           {"<h2>お知らせ ", number, "</h2>\n<p>", next(), "<br>\n", next(),
            " 詳しくは<a href=\"https://example.jp/info?id=", number,
            "\">こちら</a>。</p>\n<ul><li>", next(), "</li><li>", next(),
            "</li></ul>\n<table><tr><th>品名</th><th>数量</th></tr><tr><td>", next(), "</td><td>",
            number, "</td></tr></table>\n<p><img src=\"cid:logo\" alt=\"ロゴ\"></p>\n"});
  }
  return {mail + tail, {}};
}

// One message of an mbox file whose text holds one escaped "From " line, before a large
// attachment.
HostileMail makeFromLineMbox(std::size_t size) {
  std::string mail =
      std::string(kEnvelope) + headerBeforeSubject() + "Subject: minutes\n" + multipartFields() +
      "\n" + textPart("議事録を添付します。\n\n>From the minutes of the meeting:\n以上です。");
  const std::string tail = closingDelimiter() + "\n";
  const std::string head = attachmentPart("minutes.bin", "");
  const std::size_t data = dataForBase64(remaining(size, mail.size() + head.size() + tail.size()));
  mail += attachmentPart("minutes.bin", makeRandom(data)) + tail;
  return {mail, {}};
}

// One Subject line of words, with the spaces a folding writer would break at.
HostileMail makeLongHeader(std::size_t size) {
  std::string mail = headerBeforeSubject() + "Subject: ";
  const std::string rest = "\n" + plainFields() + "\n本文です。\n";
  mail += repeated("report meeting schedule invoice ", remaining(size, mail.size() + rest.size()));
  if (mail.back() == ' ') mail.back() = 'x';
  return {mail + rest, {}};
}

// Letters and digits without a space or any other place to break a line.
std::string unbroken(std::size_t count) {
  return repeated("abcdefghijklmnopqrstuvwxyz0123456789", count);
}

HostileMail makeLongLineSubject(std::size_t size) {
  std::string mail = headerBeforeSubject() + "Subject: ";
  const std::string rest = "\n" + plainFields() + "\n本文です。\n";
  return {mail + unbroken(remaining(size, mail.size() + rest.size())) + rest, {}};
}

HostileMail makeLongLineBody(std::size_t size) {
  const std::string mail =
      headerBeforeSubject() + "Subject: =?UTF-8?B?6ZW344GE6KGM?=\n" + plainFields() + "\n";
  return {mail + unbroken(remaining(size, mail.size() + 1)) + "\n", {}};
}

constexpr std::array kShapes = {
    HostileShape{"ordinary", "a text part and one Base64 attachment", makeOrdinary},
    HostileShape{"open-words-subject", "'=?a?B? ' repeated in the Subject", makeOpenWordsSubject},
    HostileShape{"open-words-name", "'=?a?B? ' repeated in a filename", makeOpenWordsName},
    HostileShape{"same-names", "small attachments all of one name", makeSameNames},
    HostileShape{"unique-names", "small attachments each of its own name", makeUniqueNames},
    HostileShape{"mbox", "small messages with an attachment each, in mbox form", makeMbox},
    HostileShape{"many-parts", "parts of an empty header and one letter", makeManyParts},
    HostileShape{"many-header-lines", "'X-H: v' repeated in the top header", makeManyHeaderLines},
    HostileShape{"large-html", "an HTML-only newsletter", makeLargeHtml},
    HostileShape{"from-line-mbox", "an mbox message with one '>From ' line and a large attachment",
                 makeFromLineMbox},
    HostileShape{"long-header", "one Subject line of words", makeLongHeader},
    HostileShape{"long-line-subject", "a Subject without a break point", makeLongLineSubject},
    HostileShape{"long-line-body", "a text body of one line without a break point",
                 makeLongLineBody},
};

}  // namespace

std::span<const HostileShape> hostileShapes() { return kShapes; }

const HostileShape* findHostileShape(std::string_view name) {
  for (const HostileShape& shape : kShapes)
    if (name == shape.name) return &shape;
  return nullptr;
}

}  // namespace korvani::bench
