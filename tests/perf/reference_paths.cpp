#include "perf/reference_paths.h"

#include <cstring>
#include <string_view>

#include "common/line_primitives.h"

namespace korvani::reference {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The 6-bit value of `byte`, -1 for '=' and -2 for a byte outside the alphabet.
int valueOf(std::uint8_t byte) {
  if (byte == '=') return -1;
  const char* at = std::strchr(kAlphabet, byte);
  return byte != 0 && at != nullptr ? static_cast<int>(at - kAlphabet) : -2;
}

}  // namespace

int decodeQuartet(const std::uint8_t* source, std::uint8_t* destination) {
  std::uint32_t group = 0;
  std::uint32_t previous = 0;
  int pads = 0;
  for (int i = 0; i < 4; ++i) {
    const int value = valueOf(source[i]);
    std::uint32_t contributed = previous;
    if (value == -1) {
      contributed = 0;
      ++pads;
    } else if (value >= 0) {
      contributed = static_cast<std::uint32_t>(value);
    }
    group = group << 6 | contributed;
    previous = contributed;
  }
  destination[0] = static_cast<std::uint8_t>(group >> 16);
  destination[1] = static_cast<std::uint8_t>(group >> 8);
  destination[2] = static_cast<std::uint8_t>(group);
  return pads == 4 ? 0 : 3 - pads;
}

void encodeTriple(const std::uint8_t* source, std::uint8_t* destination, int count) {
  std::uint32_t group = 0;
  for (int i = 0; i < 3; ++i) group = group << 8 | (i < count ? source[i] : 0u);
  for (int position = 0; position < 4; ++position) {
    destination[position] =
        position > count
            ? '='
            : static_cast<std::uint8_t>(kAlphabet[(group >> (18 - 6 * position)) & 0x3F]);
  }
}

std::string composeMessage(const std::string& image, const std::string& fileName,
                           const std::string& boundary) {
  const std::uint64_t length = image.size();
  const std::uint64_t capacity = 2 * length / 45 + 4 * length / 3 + 2048;
  std::string message;
  // Pieces end at their first NUL, as zero-terminated strings do.
  const auto append = [&](const std::string& piece) {
    const std::string_view text(piece.c_str());
    if (message.size() + text.size() >= capacity) return;
    message += text;
  };
  const std::string placeholder =
      "\x20\x20\x81\x69\x82\xB1\x82\xB1\x82\xC9\x83\x81\x83\x62\x83\x5A\x81\x5B\x83\x57\x82\xF0"
      "\x8F\x91\x82\xA2\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2\x81\x6A\r\n";
  for (const std::string& piece : {std::string("Mime-Version: 1.0\r\n"),
                                   std::string("Content-Type: multipart/mixed; boundary=\""),
                                   boundary,
                                   std::string("\"\r\n"),
                                   std::string("\r\n"),
                                   std::string("This is a multi-part message in MIME format.\r\n"),
                                   std::string("\r\n"),
                                   std::string("--"),
                                   boundary,
                                   std::string("\r\n"),
                                   std::string("Content-Type: text/plain; charset=iso-2022-jp\r\n"),
                                   std::string("\r\n"),
                                   placeholder,
                                   std::string("\r\n"),
                                   std::string("--"),
                                   boundary,
                                   std::string("\r\n"),
                                   std::string("Content-Type: application/octet-stream; name=\""),
                                   fileName,
                                   std::string("\"\r\n"),
                                   std::string("Content-Transfer-Encoding: base64\r\n"),
                                   std::string("Content-Disposition: attachment; filename=\""),
                                   fileName,
                                   std::string("\"\r\n"),
                                   std::string("\r\n")}) {
    append(piece);
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(image.data());
  std::size_t position = 0;
  do {
    std::string line;
    for (std::size_t offset = 0; offset < 45 && position < length; offset += 3) {
      const int count = static_cast<int>(length - position < 3 ? length - position : 3);
      std::uint8_t characters[4];
      encodeTriple(bytes + position, characters, count);
      line.append(reinterpret_cast<const char*>(characters), 4);
      position += static_cast<std::size_t>(count);
    }
    append(line + "\r\n");
  } while (position < length);
  for (const std::string& piece : {std::string("\r\n"), std::string("\r\n"), std::string("--"),
                                   boundary, std::string("--\r\n")}) {
    append(piece);
  }
  return message;
}

Location locate(const std::string& mail) {
  const auto* image = reinterpret_cast<const std::uint8_t*>(mail.data());
  const auto length = static_cast<std::uint32_t>(mail.size());
  Location found;
  std::uint8_t line[512];
  std::uint8_t fileName[128] = {};
  std::uint8_t closingDelimiter[128] = {};
  std::uint32_t delimiterLength = 0;
  bool multipartSeen = false;
  enum { Outside, AttachmentHeader, AttachmentBody } state = Outside;
  std::uint32_t position = 0;

  const auto at = [&](std::size_t column, std::string_view literal) {
    return std::memcmp(line + column, literal.data(), literal.size()) == 0;
  };
  // The quoted value from `value` on, up to a double quote before the first NUL; -1 for none.
  const auto quotedLength = [](const std::uint8_t* value) -> long {
    const char* text = reinterpret_cast<const char*>(value);
    const char* quote = std::strchr(text, '"');
    return quote != nullptr ? quote - text : -1;
  };
  const auto captureFileName = [&](const std::uint8_t* from) {
    const char* parameter = std::strstr(reinterpret_cast<const char*>(from), "filename=\"");
    if (parameter == nullptr) return false;
    const auto* value = reinterpret_cast<const std::uint8_t*>(parameter) + 10;
    const long valueLength = quotedLength(value);
    if (valueLength >= 0) {
      std::memset(fileName, 0, sizeof fileName);
      std::memcpy(fileName, value, static_cast<std::size_t>(valueLength < 128 ? valueLength : 127));
    }
    return true;
  };

  for (;;) {
    const std::uint32_t lineStart = position;
    std::uint32_t count = readLine(image, line, sizeof line, position, length);
    if (count == 0) break;
    if (at(0, "Content-")) {
      if (at(8, "Type: ")) {
        if (at(14, "multipart/mixed; ")) {
          multipartSeen = true;
          if (at(31, "boundary=\"")) {
            const long valueLength = quotedLength(line + 41);
            if (valueLength >= 0 && valueLength <= 123) {
              std::memset(closingDelimiter, 0, sizeof closingDelimiter);
              std::memcpy(closingDelimiter, "--", 2);
              std::memcpy(closingDelimiter + 2, line + 41, static_cast<std::size_t>(valueLength));
              std::memcpy(closingDelimiter + 2 + valueLength, "--", 2);
              delimiterLength = static_cast<std::uint32_t>(valueLength) + 4;
            }
          }
        } else if (at(14, "text/plain; ")) {
          state = Outside;
        } else if (at(14, "application/octet-stream; ")) {
          state = AttachmentHeader;
        }
      } else if (at(8, "Transfer-Encoding: ")) {
        if (!at(27, "base64") && state == AttachmentHeader) {
          found.abandoned = true;
          break;
        }
      } else if (at(8, "Disposition: ")) {
        if (!captureFileName(line + 21)) {
          while (lastSignificantChar(line, count) == ';') {
            count = readLine(image, line, sizeof line, position, length);
            if (count == 0 || captureFileName(line)) break;
          }
        }
      }
      continue;
    }
    const bool blank = lastSignificantChar(line, count) == 0;
    // Another field of the part's header ("X-Attachment-Id: ...") or a folded line: still header.
    bool headerLine = line[0] == ' ' || line[0] == '\t';
    for (std::uint32_t k = 0; !headerLine && k < count && line[k] != ':'; ++k) {
      if (line[k] <= ' ' || line[k] > '~') break;
      if (k + 1 < count && line[k + 1] == ':') headerLine = true;
    }
    if (state == AttachmentHeader && !blank && !headerLine) {
      found.bodyStart = lineStart;
      state = AttachmentBody;
    } else if (state == AttachmentBody &&
               (blank || (multipartSeen && delimiterLength > 0 &&
                          std::memcmp(line, closingDelimiter, delimiterLength) == 0))) {
      found.bodyEnd = lineStart;
      state = Outside;
    }
  }
  found.fileName = reinterpret_cast<const char*>(fileName);
  return found;
}

}  // namespace korvani::reference
