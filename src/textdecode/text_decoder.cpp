#include "textdecode/text_decoder.h"

#include <cstring>
#include <limits>
#include <memory>

#include "common/cp932_text.h"
#include "common/line_primitives.h"
#include "common/messages.h"
#include "common/worker_files.h"
#include "textdecode/transfer_decoding.h"

namespace korvani {

bool OutputArea::reserve(std::size_t extra) {
  if (failure) return false;
  if (block.size() - length >= extra) return true;
  // Grown by doubling, from at least one line buffer's worth.
  std::size_t capacity = block.size() < kLineBufferSize ? kLineBufferSize : block.size();
  while (capacity - length < extra) capacity *= 2;
  Block bigger = platform.allocateZeroed(capacity);
  if (!bigger) {
    failure = true;
    return false;
  }
  std::memcpy(bigger.data(), block.data(), length);
  block = std::move(bigger);
  return true;
}

void OutputArea::append(const std::uint8_t* bytes, std::size_t count) {
  if (!reserve(count)) return;
  std::memcpy(end(), bytes, count);
  length += count;
}

TextDecoder::TextDecoder(Platform& platform, MessageSink& sink) : platform(platform), sink(sink) {}

int TextDecoder::decodeMail(const std::string& sourcePath, const std::string& outputPath,
                            TextEncoding encoding, TextCharset charset, const OutputForm& output) {
  encodingOption = encoding;
  charsetOption = charset;
  return decode(sourcePath, outputPath, output, &TextDecoder::decodeMailLines);
}

int TextDecoder::decodeText(const std::string& sourcePath, const std::string& outputPath,
                            TextEncoding encoding, TextCharset charset, const OutputForm& output) {
  encodingOption = encoding;
  charsetOption = charset;
  return decode(sourcePath, outputPath, output, &TextDecoder::decodeTextLines);
}

int TextDecoder::decode(const std::string& sourcePath, const std::string& outputPath,
                        const OutputForm& output, Loop loop) {
  LoadedSource source;
  if (!loadSource(platform, sink, sourcePath, ShareMode::Exclusive,
                  {messages::kDecodeOpenFailed, messages::kStatusFailed,
                   messages::kDecodeInputBufferFailed},
                  source)) {
    return 0;
  }
  sourceStatus = source.status;
  const Block image = std::move(source.image);
  const std::uint32_t length = source.length;

  Block outputBlock = platform.allocateZeroed(length);
  if (!outputBlock) {
    sink.showMessage(messages::kDecodeOutputBufferFailed);
    return 0;
  }
  OutputArea out(platform, std::move(outputBlock));
  (this->*loop)(image.data(), length, out);
  if (out.failed()) {
    sink.showMessage(messages::kDecodeOutputBufferFailed);
    return 0;
  }

  const std::uint8_t* result = out.data();
  std::size_t resultLength = out.size();
  std::string utf8;
  if (output.charset == OutputCharset::Utf8) {
    // The finished Shift_JIS result, turned to UTF-8 as a last step outside the pipeline;
    // bytes that are not code page 932 pass through unchanged.
    try {
      utf8 = cp932ToUtf8(std::string_view(reinterpret_cast<const char*>(result), resultLength));
    } catch (const std::bad_alloc&) {
      sink.showMessage(messages::kDecodeOutputBufferFailed);
      return 0;
    }
    result = reinterpret_cast<const std::uint8_t*>(utf8.data());
    resultLength = utf8.size();
  }
  if (!writeOutput(platform, sink, outputPath, output.existing, result, resultLength,
                   messages::kDecodeOutputOpenFailed)) {
    return 0;
  }
  stampFileTimes(platform, sourceStatus, outputPath);
  return 1;
}

int TextDecoder::decodeMailLines(const std::uint8_t* data, std::uint32_t length, OutputArea& out) {
  runLines(data, length, out, MailState::Start);
  return 1;
}

int TextDecoder::decodeTextLines(const std::uint8_t* data, std::uint32_t length, OutputArea& out) {
  runLines(data, length, out, MailState::TextBody);
  return 1;
}

void TextDecoder::runLines(const std::uint8_t* data, std::uint32_t length, OutputArea& out,
                           MailState initial) {
  currentEncoding = encodingOption;
  currentCharset = charsetOption;
  state = initial;
  multipart = 0;
  dropped = false;
  setBoundary(std::string());
  // Text decode stays in TextBody throughout and sends every line to decodeTextLine.
  const bool mail = initial == MailState::Start;
  std::uint8_t line[kLineBufferSize];
  const auto cut = lineCutting == LineCutting::Plain ? &readLine : &cutLine;
  std::uint32_t position = 0;
  while (position < length && !out.failed()) {
    std::uint32_t count = cut(data, line, kLineBufferSize, position, length);
    if (currentEncoding == TextEncoding::QuotedPrintable && state == MailState::TextBody)
      joinSoftLineBreaks(data, length, position, line, count);
    if (mail) {
      dispatch(out, line, count);
    } else {
      decodeTextLine(out, line, count);
    }
  }
}

void TextDecoder::joinSoftLineBreaks(const std::uint8_t* data, std::uint32_t length,
                                     std::uint32_t& position, std::uint8_t* line,
                                     std::uint32_t& count) {
  const auto cut = lineCutting == LineCutting::Plain ? &readLine : &cutLine;
  while (lastSignificantChar(line, count) == '=') {
    std::uint32_t p = count - 1;
    while (line[p] != '=') --p;
    // The next line is read over the '=' (and the blanks after it); at the end of the input
    // nothing is read and the '=' is simply cut off. Either way the line ends in a 0 again.
    count = p + cut(data, line + p, kLineBufferSize - p, position, length);
  }
}

void TextDecoder::decodeTextLine(OutputArea& out, const std::uint8_t* line, std::uint32_t count) {
  if (lastSignificantChar(line, count) == 0) {
    appendCopy(out, line, count);
  } else {
    appendDecoded(out, line, count);
  }
}

void TextDecoder::appendCopy(OutputArea& out, const std::uint8_t* line, std::uint32_t count) {
  out.append(line, count);
}

namespace {

// Appends what `decode(result, resultLength)` writes for a line of `count` bytes. The decoders
// need room for their worst case, 2 * count + 2 bytes (EUC-JP line ends become CR LF), though
// nearly every result is no longer than its line. While the area has that room the result is
// written straight into it; near its end the result goes through a buffer of its own, so that
// the area grows only when the result itself does not fit, not merely its worst case.
template <class Decode>
void appendResult(OutputArea& out, std::uint32_t count, Decode decode) {
  const std::size_t worstCase = 2 * std::size_t{count} + 2;
  std::uint32_t n = 0;
  if (out.room() >= worstCase) {
    decode(out.end(), n);
    out.advance(n);
    return;
  }
  std::uint8_t result[2 * kLineBufferSize + 2];
  decode(result, n);
  out.append(result, n);
}

}  // namespace

void TextDecoder::appendWords(OutputArea& out, const std::uint8_t* line, std::uint32_t count) {
  appendResult(out, count, [&](std::uint8_t* result, std::uint32_t& n) {
    if (!decodeEncodedWords(result, n, line, count)) dropped = true;
  });
}

void TextDecoder::appendDecoded(OutputArea& out, const std::uint8_t* line, std::uint32_t count) {
  appendResult(out, count, [&](std::uint8_t* result, std::uint32_t& n) {
    if (!decodeLine(result, n, line, count, currentEncoding, currentCharset)) dropped = true;
  });
}

void TextDecoder::setBoundary(std::string value) {
  boundary = std::move(value);
  delimiter = "--" + boundary;
  closingDelimiter = delimiter + "--";
}

}  // namespace korvani
