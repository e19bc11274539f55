#include "package/attachment_packager.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>

#include "common/base64.h"
#include "common/cp932_text.h"
#include "common/messages.h"
#include "common/worker_files.h"

namespace korvani {
namespace {

constexpr std::size_t kBoundarySize = 64;
constexpr std::size_t kLineBufferSize = 128;
constexpr std::uint32_t kBytesPerLine = 45;
static_assert(kBytesPerLine % 3 == 0, "a full line holds whole triples");

// "  （ここにメッセージを書いてください）" CR LF, in Shift_JIS. It is written as Shift_JIS even
// though its part is labelled iso-2022-jp; mail programs and our own decoder expect exactly this.
constexpr char kPlaceholderLine[] =
    "\x20\x20\x81\x69\x82\xB1\x82\xB1\x82\xC9\x83\x81\x83\x62\x83\x5A\x81\x5B\x83\x57\x82\xF0"
    "\x8F\x91\x82\xA2\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2\x81\x6A\x0D\x0A";

// The source's file name as the two header lines carry it: in code page 932 when every
// character has a form there (what Japanese mail programs, and our own binary decode, read), as
// it is otherwise; and with '"' and control characters made '_', so that the name can neither
// end its quoted string nor start a header line of its own.
std::string headerFileName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string converted;
  if (utf8ToCp932(name, converted)) name = std::move(converted);
  for (char& c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || byte == '"') c = '_';
  }
  return name;
}

// "DATEyymmdd_TIMEhhmmss" of the local time; the Unix epoch when no local time can be had.
void formatBoundary(Platform& platform, char (&boundary)[kBoundarySize]) {
  std::tm time{};
  if (!platform.localTime(time)) {
    time = std::tm{};
    time.tm_year = 70;
    time.tm_mday = 1;
  }
  std::snprintf(boundary, sizeof boundary, "DATE%02d%02d%02d_TIME%02d%02d%02d",
                (time.tm_year + 1900) % 100, time.tm_mon + 1, time.tm_mday, time.tm_hour,
                time.tm_min, time.tm_sec);
}

// The Base64 lines of the whole image, as encodeLine() writes them one after the other (without
// their terminators), straight into `destination`. Returns the number of bytes written, which
// is 4 * ceil(length / 3) + 2 * ceil(length / 45), or 2 for an empty image.
std::uint64_t encodeLines(const std::uint8_t* image, std::uint32_t length,
                          std::uint8_t* destination) {
  std::uint8_t* const start = destination;
  std::uint32_t position = 0;
  do {
    const std::uint32_t taken =
        length - position < kBytesPerLine ? length - position : kBytesPerLine;
    const std::uint32_t triples = taken / 3;
    encodeTriples(image + position, triples, destination);
    destination += std::size_t{4} * triples;
    if (taken % 3 != 0) {
      encodeTriple(image + position + std::size_t{3} * triples, destination,
                   static_cast<int>(taken % 3));
      destination += 4;
    }
    destination[0] = '\r';
    destination[1] = '\n';
    destination += 2;
    position += taken;
  } while (position < length);
  return static_cast<std::uint64_t>(destination - start);
}

// The length of the Base64 lines of encodeLines().
std::uint64_t encodedLinesLength(std::uint64_t length) {
  if (length == 0) return 2;
  return 4 * ((length + 2) / 3) + 2 * ((length + kBytesPerLine - 1) / kBytesPerLine);
}

}  // namespace

AttachmentPackager::AttachmentPackager(Platform& platform, MessageSink& sink)
    : platform(platform), sink(sink) {}

std::uint64_t AttachmentPackager::messageCapacity(std::uint64_t length) {
  // Room for the line ends of 45-byte lines, the Base64 text and the fixed header and trailer.
  constexpr std::uint64_t kFixedPartsRoom = 2048;
  return 2 * length / kBytesPerLine + 4 * length / 3 + kFixedPartsRoom;
}

int AttachmentPackager::load(const std::string& sourcePath) {
  fileName = headerFileName(sourcePath);
  image.reset();
  length = 0;
  LoadedSource source;
  if (!loadSource(platform, sink, sourcePath, ShareMode::Exclusive,
                  {messages::kPackageOpenFailed, {}, messages::kPackageImageFailed}, source)) {
    return 0;
  }
  image = std::move(source.image);
  length = source.length;
  return 1;
}

int AttachmentPackager::appendPiece(std::uint8_t* buffer, const char* piece, std::uint64_t& used,
                                    std::uint64_t capacity) {
  const std::size_t n = std::strlen(piece);
  if (used + n >= capacity) return 0;
  std::memcpy(buffer + used, piece, n + 1);
  used += n;
  return 1;
}

int AttachmentPackager::encodeLine(std::uint8_t* line, const std::uint8_t* image,
                                   std::uint32_t& position, std::uint32_t length) {
  int more = 1;
  std::uint32_t written = 0;
  std::uint32_t taken = 0;
  if (position >= length) {
    more = 0;
  } else {
    for (std::uint32_t offset = 0; position + offset < length && offset < kBytesPerLine;
         offset += 3) {
      const std::uint32_t remaining = length - position - offset;
      int group = 3;
      if (remaining <= 3) {
        group = static_cast<int>(remaining);
        more = 0;
      }
      encodeTriple(image + position + offset, line + written, group);
      written += 4;
      taken += static_cast<std::uint32_t>(group);
    }
  }
  line[written] = '\r';
  line[written + 1] = '\n';
  line[written + 2] = 0;
  position += taken;
  return more;
}

int AttachmentPackager::writeMessage(const std::string& outputPath, ExistingEntry existing) {
  const std::uint64_t capacity = messageCapacity(length);
  Block message = platform.allocateZeroed(capacity);
  if (!message) {
    sink.showMessage(messages::kOutputBufferFailed);
    return 0;
  }
  std::uint8_t* buffer = message.data();
  std::uint64_t used = 0;
  char boundary[kBoundarySize];
  formatBoundary(platform, boundary);
  const char* name = fileName.c_str();

  const char* const head[] = {
      "Mime-Version: 1.0\r\n",
      "Content-Type: multipart/mixed; boundary=\"",
      boundary,
      "\"\r\n",
      "\r\n",
      "This is a multi-part message in MIME format.\r\n",
      "\r\n",
      "--",
      boundary,
      "\r\n",
      "Content-Type: text/plain; charset=iso-2022-jp\r\n",
      "\r\n",
      kPlaceholderLine,
      "\r\n",
      "--",
      boundary,
      "\r\n",
      "Content-Type: application/octet-stream; name=\"",
      name,
      "\"\r\n",
      "Content-Transfer-Encoding: base64\r\n",
      "Content-Disposition: attachment; filename=\"",
      name,
      "\"\r\n",
      "\r\n",
  };
  const char* const tail[] = {"\r\n", "\r\n", "--", boundary, "--\r\n"};

  // appendPiece() skips a piece only when it would reach the end of the block. The pieces are
  // appended in order, so when the whole message stays below the capacity none is skipped, and
  // the message can be composed in place: the lines encoded straight into the block, the fixed
  // pieces copied without the line buffer. That is every message whose file name has at most
  // 802 bytes; longer names take the piece-by-piece way, which skips what does not fit.
  std::uint64_t fixedLength = 0;
  for (const char* piece : head) fixedLength += std::strlen(piece);
  for (const char* piece : tail) fixedLength += std::strlen(piece);
  if (fixedLength + encodedLinesLength(length) < capacity) {
    const auto copyPieces = [&](const auto& pieces) {
      for (const char* piece : pieces) {
        const std::size_t n = std::strlen(piece);
        // The pieces are joined without their terminators.
        std::memcpy(buffer + used, piece, n);  // NOLINT(bugprone-not-null-terminated-result)
        used += n;
      }
    };
    copyPieces(head);
    used += encodeLines(image.data(), length, buffer + used);
    copyPieces(tail);
  } else {
    for (const char* piece : head) appendPiece(buffer, piece, used, capacity);
    std::uint8_t line[kLineBufferSize] = {};
    std::uint32_t position = 0;
    int more;
    do {
      more = encodeLine(line, image.data(), position, length);
      appendPiece(buffer, reinterpret_cast<const char*>(line), used, capacity);
    } while (more);
    for (const char* piece : tail) appendPiece(buffer, piece, used, capacity);
  }

  return writeOutput(platform, sink, outputPath, existing, buffer, used,
                     messages::kPackageSaveOpenFailed)
             ? 1
             : 0;
}

}  // namespace korvani
