// The mail structure state machine of TextDecoder: one handler per MailState, each deciding what
// the output receives for a line (a copy, the line with its first encoded word decoded, or the
// decoded text) and what the following lines need (state, transfer encoding, character set,
// multipart flag and boundary).
//
// "Starts with" compares the start of the line with the whole literal, ignoring ASCII case;
// "contains" searches the line's text (which ends at its first NUL byte) case-sensitively.
#include <cstring>

#include "common/line_primitives.h"
#include "textdecode/text_decoder.h"
#include "textdecode/transfer_decoding.h"

namespace korvani {
namespace {

constexpr std::size_t kMaxDeclaredBoundary = 127;

// The field and parameter names the handlers look for, and where their values start.
constexpr char kTransferEncodingField[] = "Content-Transfer-Encoding: ";
constexpr char kBoundaryParameter[] = "boundary=\"";
constexpr char kCharsetParameter[] = "charset=";
template <std::size_t N>
constexpr std::size_t lengthOf(const char (&)[N]) {
  return N - 1;
}

// ASCII's distance from an upper-case letter to its lower-case form.
constexpr std::uint8_t kLowerCaseOffset = 'a' - 'A';

template <std::size_t N>
bool startsWith(const std::uint8_t* line, const char (&literal)[N]) {
  for (std::size_t i = 0; i + 1 < N; ++i) {
    std::uint8_t a = line[i];
    std::uint8_t b = static_cast<std::uint8_t>(literal[i]);
    if (a >= 'A' && a <= 'Z') a = static_cast<std::uint8_t>(a + kLowerCaseOffset);
    if (b >= 'A' && b <= 'Z') b = static_cast<std::uint8_t>(b + kLowerCaseOffset);
    if (a != b) return false;  // also at the line's terminating NUL
  }
  return true;
}

const char* find(const std::uint8_t* line, const char* text) {
  return std::strstr(reinterpret_cast<const char*>(line), text);
}

bool contains(const std::uint8_t* line, const std::string& text) {
  return find(line, text.c_str()) != nullptr;
}

bool isBlank(const std::uint8_t* line, std::uint32_t count) {
  return lastSignificantChar(line, count) == 0;
}

}  // namespace

void TextDecoder::dispatch(OutputArea& out, const std::uint8_t* line, std::uint32_t count) {
  switch (state) {
    case MailState::Start:
    case MailState::Header:
      return handleHeaderLine(out, line, count);
    case MailState::Preamble:
      return handlePreambleLine(out, line, count);
    case MailState::TextPartHeader:
      return handleTextPartHeaderLine(out, line, count);
    case MailState::TextBody:
      return handleTextBodyLine(out, line, count);
    case MailState::OtherPartHeader:
      return handleOtherPartHeaderLine(out, line, count);
    case MailState::OtherPartBody:
      return handleOtherPartBodyLine(out, line, count);
    case MailState::Epilogue:
      return handleEpilogueLine(out, line, count);
  }
}

void TextDecoder::testTransferEncoding(const std::uint8_t* line) {
  if (encodingOption != TextEncoding::Auto) return;
  if (!startsWith(line, kTransferEncodingField)) return;
  const std::uint8_t* value = line + lengthOf(kTransferEncodingField);
  if (startsWith(value, "quoted-printable")) {
    currentEncoding = TextEncoding::QuotedPrintable;
  } else if (startsWith(value, "base64")) {
    currentEncoding = TextEncoding::Base64;
  }
}

void TextDecoder::matchCharsetName(const std::uint8_t* name) {
  const TextCharset charset = charsetFromName(
      name, static_cast<std::uint32_t>(std::strlen(reinterpret_cast<const char*>(name))));
  if (charset != TextCharset::Auto) currentCharset = charset;
}

void TextDecoder::captureBoundary(const std::uint8_t* line) {
  const char* parameter = find(line, kBoundaryParameter);
  if (!parameter) return;
  const char* value = parameter + lengthOf(kBoundaryParameter);
  std::size_t n = 0;
  // Up to the closing quote, the end of the line's text, or 127 characters; without a closing
  // quote the value takes the rest of the line, its line end included.
  while (n < kMaxDeclaredBoundary && value[n] != '"' && value[n] != '\0') ++n;
  setBoundary(std::string(value, n));
}

void TextDecoder::learnBoundary(const std::uint8_t* line, std::uint32_t count) {
  std::uint32_t start = 0;
  while (start < count && line[start] == '-') ++start;
  if (start == count) return;
  const char* text = reinterpret_cast<const char*>(line + start);
  std::size_t n = std::strlen(text);
  while (n > 0) {
    const auto byte = static_cast<std::uint8_t>(text[n - 1]);
    if (byte >= 0x20 && byte < 0x80) break;
    --n;
  }
  setBoundary(std::string(text, n));
}

void TextDecoder::handleHeaderLine(OutputArea& out, const std::uint8_t* line, std::uint32_t count) {
  if (isBlank(line, count)) {
    if (state == MailState::Header) state = multipart ? MailState::Preamble : MailState::TextBody;
    appendCopy(out, line, count);
    return;
  }
  if (state == MailState::Start) state = MailState::Header;
  if (startsWith(line, "Content-Type: multipart/mixed")) multipart = 1;
  if (multipart) captureBoundary(line);
  testTransferEncoding(line);
  // One try only, right after "charset=": a quoted name is not recognised in the mail header.
  if (charsetOption == TextCharset::Auto) {
    if (const char* parameter = find(line, kCharsetParameter))
      matchCharsetName(reinterpret_cast<const std::uint8_t*>(parameter) +
                       lengthOf(kCharsetParameter));
  }
  appendWords(out, line, count);
}

void TextDecoder::handlePreambleLine(OutputArea& out, const std::uint8_t* line,
                                     std::uint32_t count) {
  if (contains(line, delimiter)) {
    state = MailState::TextPartHeader;
    if (boundary.empty()) learnBoundary(line, count);
  }
  appendWords(out, line, count);
}

void TextDecoder::handleTextPartHeaderLine(OutputArea& out, const std::uint8_t* line,
                                           std::uint32_t count) {
  if (isBlank(line, count)) {
    state = MailState::TextBody;
    appendCopy(out, line, count);
    return;
  }
  if (startsWith(line, "Content-Type: application/")) state = MailState::OtherPartHeader;
  testTransferEncoding(line);
  if (charsetOption == TextCharset::Auto) {
    if (const char* parameter = find(line, kCharsetParameter)) {
      const auto* name =
          reinterpret_cast<const std::uint8_t*>(parameter) + lengthOf(kCharsetParameter);
      matchCharsetName(name);
      // A second try one byte further recognises a quoted name, but only while nothing was
      // learned yet. Never past the line's terminating NUL.
      if (currentCharset == TextCharset::Auto && *name != 0) matchCharsetName(name + 1);
    }
  }
  appendWords(out, line, count);
}

void TextDecoder::handleTextBodyLine(OutputArea& out, const std::uint8_t* line,
                                     std::uint32_t count) {
  if (startsWith(line, "This is a multi-part message in MIME format.")) state = MailState::Preamble;
  if (startsWith(line, "Date:")) {
    state = MailState::Header;
    appendWords(out, line, count);
    return;
  }
  if (!boundary.empty() && contains(line, delimiter)) {
    state = contains(line, closingDelimiter) ? MailState::Epilogue : MailState::OtherPartHeader;
    appendCopy(out, line, count);
    return;
  }
  if (isBlank(line, count)) {
    appendCopy(out, line, count);
    return;
  }
  appendDecoded(out, line, count);
}

void TextDecoder::handleOtherPartHeaderLine(OutputArea& out, const std::uint8_t* line,
                                            std::uint32_t count) {
  if (isBlank(line, count)) {
    state = MailState::OtherPartBody;
    appendCopy(out, line, count);
    return;
  }
  if (startsWith(line, "Content-Type: text/")) state = MailState::TextPartHeader;
  appendWords(out, line, count);
}

void TextDecoder::handleOtherPartBodyLine(OutputArea& out, const std::uint8_t* line,
                                          std::uint32_t count) {
  // Made even while no boundary is known: then any line holding "--" is a delimiter.
  if (contains(line, delimiter))
    state = contains(line, closingDelimiter) ? MailState::Epilogue : MailState::TextPartHeader;
  appendCopy(out, line, count);
}

void TextDecoder::handleEpilogueLine(OutputArea& out, const std::uint8_t* line,
                                     std::uint32_t count) {
  appendWords(out, line, count);
}

}  // namespace korvani
