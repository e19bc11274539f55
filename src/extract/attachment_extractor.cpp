#include "extract/attachment_extractor.h"

#include <cstring>
#include <limits>
#include <string_view>

#include "common/base64.h"
#include "common/line_primitives.h"
#include "common/messages.h"
#include "common/worker_files.h"

namespace korvani {
namespace {

constexpr std::uint32_t kLineBufferSize = AttachmentExtractor::kLineBufferSize;
constexpr std::uint32_t kFieldSize = AttachmentExtractor::kFieldSize;
constexpr std::uint32_t kLongestBoundary = kFieldSize - 5;  // "--" boundary "--" NUL

// Columns of the fixed-column tests: "Content-" ends before column 8, "Content-Type: " before
// 14, "Content-Type: multipart/mixed; " before 31, "Content-Transfer-Encoding: " before 27 and
// "Content-Disposition: " before 21.
constexpr std::uint32_t kHeaderNameColumn = 8;
constexpr std::uint32_t kMediaTypeColumn = 14;
constexpr std::uint32_t kBoundaryColumn = 31;
constexpr std::uint32_t kEncodingColumn = 27;
constexpr std::uint32_t kDispositionValueColumn = 21;

constexpr std::string_view kHeaderPrefix = "Content-";
constexpr std::string_view kBoundaryParameter = "boundary=\"";
constexpr std::string_view kFileNameParameter = "filename=\"";
constexpr std::string_view kBase64 = "base64";

// True when `line` (a zero-filled buffer of kLineBufferSize bytes) holds `literal` from
// `column` on. Every literal ends well inside the buffer, so bytes after the piece compare as
// the zeros they are.
bool holdsAt(const std::uint8_t* line, std::uint32_t column, std::string_view literal) {
  return std::memcmp(line + column, literal.data(), literal.size()) == 0;
}

const char* text(const std::uint8_t* bytes) { return reinterpret_cast<const char*>(bytes); }

// True when the `count` bytes at `piece` begin with `literal`. For a literal without NUL bytes
// this is holdsAt(line, 0, literal) on the piece's zero-filled copy: the zeros after the piece
// never match.
bool startsWith(const std::uint8_t* piece, std::uint32_t count, std::string_view literal) {
  return count >= literal.size() && std::memcmp(piece, literal.data(), literal.size()) == 0;
}

// The quoted value that starts at `value` (just after its opening quote) runs to the next
// double quote before the piece's first NUL. Returns its length, or -1 when that quote is
// missing: an unterminated value is never captured, so the previous one stays in force.
long quotedValueLength(const std::uint8_t* value) {
  const char* quote = std::strchr(text(value), '"');
  return quote ? quote - text(value) : -1;
}

// True when the piece is a header field ("Name:" with a name of printable characters other than
// ':') or the folded continuation of one (it begins with a space or a TAB).
bool isHeaderFieldOrContinuation(const std::uint8_t* piece, std::uint32_t count) {
  if (count > 0 && (piece[0] == ' ' || piece[0] == '\t')) return true;
  for (std::uint32_t k = 0; k < count; ++k) {
    if (piece[k] == ':') return k > 0;
    if (piece[k] <= ' ' || piece[k] > '~') return false;
  }
  return false;
}

enum class MediaType { Multipart, TextPlain, OctetStream };

struct MediaTypeRule {
  std::string_view literal;  // at kMediaTypeColumn
  MediaType type;
};

constexpr MediaTypeRule kMediaTypeRules[] = {
    {"multipart/mixed; ", MediaType::Multipart},
    {"text/plain; ", MediaType::TextPlain},
    {"application/octet-stream; ", MediaType::OctetStream},
};

// The working values of one scan over the image.
class Scan {
 public:
  Scan(const std::uint8_t* image, std::uint32_t imageLength, MessageSink& sink,
       std::uint32_t& bodyStart, std::uint32_t& bodyEnd)
      : image(image),
        imageLength(imageLength),
        sink(sink),
        bodyStart(bodyStart),
        bodyEnd(bodyEnd) {}

  // Classifies every piece of the image. Returns 0 when the scan was abandoned after the empty
  // message, 1 when it reached the end of the image.
  //
  // Only header pieces are copied into the zero-filled line buffer that the fixed-column tests
  // read. Every other piece (the body lines, nearly all of a mail) is looked at where it lies in
  // the image: its tests read no byte past the piece, so they see what the copy would hold.
  int run() {
    for (;;) {
      lineStart = position;
      const std::uint32_t count = nextLineLength(image, kLineBufferSize, position, imageLength);
      if (count == 0) return 1;
      const std::uint8_t* piece = image + position;
      bool goOn;
      if (startsWith(piece, count, kHeaderPrefix)) {
        readLine(image, line, kLineBufferSize, position, imageLength);
        goOn = headerPiece(count);
      } else {
        position += count;
        goOn = otherPiece(piece, count);
      }
      if (!goOn) return 0;
    }
  }

  // The name captured last, as NUL-terminated text.
  std::string capturedFileName() const { return text(fileName); }

 private:
  enum class ScanState { Outside = 0, AttachmentHeader = 1, AttachmentBody = 2 };

  struct HeaderRule {
    std::string_view literal;  // at kHeaderNameColumn
    bool (Scan::*handle)(std::uint32_t count);
  };

  // A piece that begins with "Content-": the first matching rule handles it, whatever the
  // state. Header pieces never start or end a body. Returns false to abandon the scan.
  bool headerPiece(std::uint32_t count) {
    static constexpr HeaderRule kHeaderRules[] = {
        {"Type: ", &Scan::contentType},
        {"Transfer-Encoding: ", &Scan::transferEncoding},
        {"Disposition: ", &Scan::disposition},
    };
    for (const HeaderRule& rule : kHeaderRules) {
      if (holdsAt(line, kHeaderNameColumn, rule.literal)) return (this->*rule.handle)(count);
    }
    return true;
  }

  bool contentType(std::uint32_t) {
    for (const MediaTypeRule& rule : kMediaTypeRules) {
      if (!holdsAt(line, kMediaTypeColumn, rule.literal)) continue;
      switch (rule.type) {
        case MediaType::Multipart:
          multipartSeen = true;
          if (holdsAt(line, kBoundaryColumn, kBoundaryParameter))
            captureBoundary(line + kBoundaryColumn + kBoundaryParameter.size());
          break;
        case MediaType::TextPlain:
          state = ScanState::Outside;
          break;
        case MediaType::OctetStream:
          state = ScanState::AttachmentHeader;
          break;
      }
      break;
    }
    return true;
  }

  bool transferEncoding(std::uint32_t) {
    if (holdsAt(line, kEncodingColumn, kBase64)) return true;
    if (state != ScanState::AttachmentHeader) return true;
    sink.showMessage(messages::kNotBase64Attachment);
    return false;
  }

  // Captures the file name from this piece or, when its parameters end in ';', from the
  // following pieces, which this consumes: no other rule sees them.
  bool disposition(std::uint32_t count) {
    if (captureFileName(line + kDispositionValueColumn)) return true;
    while (lastSignificantChar(line, count) == ';') {
      count = readLine(image, line, kLineBufferSize, position, imageLength);
      if (count == 0 || captureFileName(line)) break;
    }
    return true;
  }

  // A piece that does not begin with "Content-", `count` bytes at `piece`.
  bool otherPiece(const std::uint8_t* piece, std::uint32_t count) {
    const bool blank = lastSignificantChar(piece, count) == 0;
    switch (state) {
      case ScanState::Outside:
        break;
      case ScanState::AttachmentHeader:
        // Today's mailers put other fields (X-Attachment-Id) and folded parameters in the part's
        // header; they belong to it. A Base64 line holds no ':' and starts with no blank.
        if (!blank && !isHeaderFieldOrContinuation(piece, count)) {
          bodyStart = lineStart;
          state = ScanState::AttachmentBody;
        }
        break;
      case ScanState::AttachmentBody:
        if (blank || endsBodyAtDelimiter(piece, count)) {
          bodyEnd = lineStart;
          state = ScanState::Outside;
        }
        break;
    }
    return true;
  }

  // A multipart/mixed line that captured no boundary leaves the one captured before in force;
  // when none was ever captured there is no delimiter, and only a blank piece ends a body.
  bool endsBodyAtDelimiter(const std::uint8_t* piece, std::uint32_t count) const {
    return multipartSeen && delimiterLength > 0 &&
           startsWith(piece, count, std::string_view(text(closingDelimiter), delimiterLength));
  }

  // Searches the NUL-terminated text from `from` for filename=" and takes the quoted value, at
  // most its first 127 bytes. Returns true when the parameter was found, even if its value had
  // no closing quote and was therefore not taken.
  bool captureFileName(const std::uint8_t* from) {
    const char* parameter = std::strstr(text(from), kFileNameParameter.data());
    if (!parameter) return false;
    const auto* value =
        reinterpret_cast<const std::uint8_t*>(parameter) + kFileNameParameter.size();
    const long length = quotedValueLength(value);
    if (length >= 0) {
      const std::size_t kept =
          length < long{kFieldSize} ? static_cast<std::size_t>(length) : kFieldSize - 1;
      std::memset(fileName, 0, sizeof fileName);
      std::memcpy(fileName, value, kept);
    }
    return true;
  }

  // A boundary longer than 123 bytes, or without its closing quote, is not captured: its
  // closing delimiter could not be held whole, and a shortened one would end bodies at lines
  // that are not the delimiter. The boundary captured before, if any, stays in force.
  void captureBoundary(const std::uint8_t* value) {
    const long length = quotedValueLength(value);
    if (length < 0 || length > long{kLongestBoundary}) return;
    std::memset(closingDelimiter, 0, sizeof closingDelimiter);
    std::memcpy(closingDelimiter, "--", 2);
    std::memcpy(closingDelimiter + 2, value, static_cast<std::size_t>(length));
    std::memcpy(closingDelimiter + 2 + length, "--", 2);
    delimiterLength = static_cast<std::uint32_t>(length) + 4;
  }

  const std::uint8_t* image;
  const std::uint32_t imageLength;
  MessageSink& sink;
  std::uint32_t& bodyStart;
  std::uint32_t& bodyEnd;

  std::uint8_t line[kLineBufferSize] = {};
  std::uint8_t fileName[kFieldSize] = {};
  std::uint8_t closingDelimiter[kFieldSize] = {};
  std::uint32_t delimiterLength = 0;  // 0: no boundary captured yet
  bool multipartSeen = false;
  ScanState state = ScanState::Outside;
  std::uint32_t position = 0;
  std::uint32_t lineStart = 0;
};

}  // namespace

AttachmentExtractor::AttachmentExtractor(Platform& platform, MessageSink& sink)
    : platform(platform), sink(sink) {}

int AttachmentExtractor::locate(const std::string& sourcePath, std::string& defaultName) {
  bodyStart = 0;
  bodyEnd = 0;
  LoadedSource source;
  if (!loadSource(
          platform, sink, sourcePath, ShareMode::Shared,
          {messages::kExtractOpenFailed, messages::kStatusFailed, messages::kExtractImageFailed},
          source)) {
    return 0;
  }
  image = std::move(source.image);
  imageLength = source.length;
  sourceStatus = source.status;

  Scan scan(image.data(), imageLength, sink, bodyStart, bodyEnd);
  if (!scan.run()) return 0;
  if (bodyStart == 0 || bodyEnd == 0) {
    sink.showMessage(messages::kBadMailStructure);
    return 0;
  }
  defaultName = scan.capturedFileName();
  return 1;
}

std::uint32_t AttachmentExtractor::decodeBodyByPieces(const std::uint8_t* image,
                                                      std::uint32_t start, std::uint32_t end,
                                                      std::uint8_t* output) {
  std::uint8_t line[kLineBufferSize];
  std::uint32_t position = start;
  std::uint32_t outputLength = 0;
  while (position < end) {
    const std::uint32_t count = readLine(image, line, kLineBufferSize, position, end);
    for (std::uint32_t k = 0; k + 4 <= count; k += 4)
      outputLength += static_cast<std::uint32_t>(decodeQuartet(line + k, output + outputLength));
  }
  return outputLength;
}

std::uint32_t AttachmentExtractor::decodeBody(const std::uint8_t* image, std::uint32_t start,
                                              std::uint32_t end, std::uint8_t* output) {
  // The same pieces and quartets as decodeBodyByPieces(), found in place: every quartet lies
  // inside its piece, so it reads exactly the bytes the copy would hold. The leading run of
  // quartets of alphabet characters (a whole line of them, as a rule) is decoded in one go; the
  // rest of the piece's quartets, from the first that holds a line end, a '=' or any other
  // character, go to decodeQuartet() one by one.
  std::uint32_t position = start;
  std::uint32_t outputLength = 0;
  while (position < end) {
    const std::uint8_t* piece = image + position;
    const std::uint32_t count = nextLineLength(image, kLineBufferSize, position, end);
    const std::uint32_t quartets = count / 4;
    std::uint32_t k =
        static_cast<std::uint32_t>(decodeAlphabetQuartets(piece, quartets, output + outputLength));
    outputLength += 3 * k;
    for (; k < quartets; ++k)
      outputLength += static_cast<std::uint32_t>(
          decodeQuartet(piece + std::size_t{4} * k, output + outputLength));
    position += count;
  }
  return outputLength;
}

int AttachmentExtractor::writeDecoded(const std::string& outputPath, ExistingEntry existing) {
  // After several attachments the last body that began may have no end while an earlier one had.
  if (bodyEnd < bodyStart) {
    sink.showMessage(messages::kOutputBufferFailed);
    return 0;
  }
  // Every quartet takes four bytes of the range and adds at most three, so the range's length
  // is always room enough for the three bytes each quartet writes.
  Block output = platform.allocateZeroed(bodyEnd - bodyStart);
  if (!output) {
    sink.showMessage(messages::kOutputBufferFailed);
    return 0;
  }
  const std::uint32_t outputLength = decodeBody(image.data(), bodyStart, bodyEnd, output.data());

  if (!writeOutput(platform, sink, outputPath, existing, output.data(), outputLength,
                   messages::kExtractSaveOpenFailed)) {
    return 0;
  }
  stampFileTimes(outputPath);
  return 1;
}

void AttachmentExtractor::releaseImage() {
  image.reset();
  imageLength = 0;
  bodyStart = 0;
  bodyEnd = 0;
}

void AttachmentExtractor::stampFileTimes(const std::string& outputPath) {
  korvani::stampFileTimes(platform, sourceStatus, outputPath);
}

}  // namespace korvani
