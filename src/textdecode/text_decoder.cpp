#include "textdecode/text_decoder.h"

#include <cstring>
#include <limits>
#include <memory>

#include "common/line_primitives.h"
#include "common/messages.h"
#include "textdecode/transfer_decoding.h"

namespace korvani {

bool OutputArea::reserve(std::size_t extra) {
  if (failure) return false;
  if (block.size() - length >= extra) return true;
  std::size_t capacity = block.size() < 4096 ? 4096 : block.size();
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
                            TextEncoding encoding, TextCharset charset) {
  encodingOption = encoding;
  charsetOption = charset;
  return decode(sourcePath, outputPath, &TextDecoder::decodeMailLines);
}

int TextDecoder::decodeText(const std::string& sourcePath, const std::string& outputPath,
                            TextEncoding encoding, TextCharset charset) {
  encodingOption = encoding;
  charsetOption = charset;
  return decode(sourcePath, outputPath, &TextDecoder::decodeTextLines);
}

int TextDecoder::decode(const std::string& sourcePath, const std::string& outputPath, Loop loop) {
  Block image;
  std::uint32_t length = 0;
  {
    std::unique_ptr<ReadableFile> source = platform.openForReading(sourcePath, ShareMode::Exclusive);
    if (!source) {
      sink.showMessage(messages::kDecodeOpenFailed);
      return 0;
    }
    if (!platform.readStatus(sourcePath, sourceStatus)) {
      sink.showMessage(messages::kStatusFailed);
      return 0;
    }
    // Offsets are 32-bit: a longer source cannot be held, and is refused rather than truncated.
    if (source->length() <= std::numeric_limits<std::uint32_t>::max()) {
      length = static_cast<std::uint32_t>(source->length());
      image = platform.allocateZeroed(length);
    }
    if (!image) {
      sink.showMessage(messages::kDecodeInputBufferFailed);
      return 0;
    }
    if (const int error = source->read(image.data(), length)) {
      sink.showMessage(messages::describeReadFailure(sourcePath, error));
      return 0;
    }
  }  // the source is closed here, before the output is opened

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

  const WriteResult written = platform.writeFile(outputPath, out.data(), out.size());
  if (written.status == WriteStatus::OpenFailed) {
    sink.showMessage(messages::kDecodeOutputOpenFailed);
    return 0;
  }
  if (written.status == WriteStatus::WriteFailed) {
    sink.showMessage(messages::describeWriteFailure(outputPath, written.errorNumber));
    return 0;
  }
  stampFileTimes(platform, sourceStatus, outputPath);
  return 1;
}

int TextDecoder::decodeMailLines(const std::uint8_t* data, std::uint32_t length, OutputArea& out) {
  return runLines(data, length, out, MailState::Start);
}

int TextDecoder::decodeTextLines(const std::uint8_t* data, std::uint32_t length, OutputArea& out) {
  return runLines(data, length, out, MailState::TextBody);
}

int TextDecoder::runLines(const std::uint8_t* data, std::uint32_t length, OutputArea& out,
                          MailState initial) {
  currentEncoding = encodingOption;
  currentCharset = charsetOption;
  state = initial;
  multipart = 0;
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
  return 1;
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
    decodeEncodedWords(result, n, line, count);
  });
}

void TextDecoder::appendDecoded(OutputArea& out, const std::uint8_t* line, std::uint32_t count) {
  appendResult(out, count, [&](std::uint8_t* result, std::uint32_t& n) {
    decodeLine(result, n, line, count, currentEncoding, currentCharset);
  });
}

void TextDecoder::setBoundary(std::string value) {
  boundary = std::move(value);
  delimiter = "--" + boundary;
  closingDelimiter = delimiter + "--";
}

}  // namespace korvani
