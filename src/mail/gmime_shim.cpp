#include "mail/gmime_shim.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "common/base64.h"
#include "mail/mail_text.h"

namespace korvani::mail::shim {
namespace {

// Raw 8-bit headers and names: UTF-8 first (what today's mailers write), then the two Japanese
// encodings older ones wrote unencoded.
const char* kFallbackCharsets[] = {"utf-8", "cp932", "euc-jp", nullptr};

constexpr std::size_t kChunkSize = std::size_t{64} << 10;
constexpr int kMaxEmptyReads = 1024;

void note(std::vector<std::int64_t>& offsets, gint64 offset) {
  if (offsets.size() < kMaxReportedLines) offsets.push_back(offset);
}

void collectWarning(gint64 offset, GMimeParserWarning code, const gchar*, gpointer data) {
  auto* report = static_cast<ParserReport*>(data);
  switch (code) {
    case GMIME_WARN_TRUNCATED_MESSAGE:
      report->truncated = true;
      break;
    case GMIME_CRIT_NESTING_OVERFLOW:
      report->nestingOverflow = true;
      break;
    case GMIME_CRIT_INVALID_HEADER_NAME:
      note(report->invalidLines, offset);
      break;
    case GMIME_WARN_PART_WITHOUT_CONTENT:
      note(report->partsWithoutContent, offset);
      break;
    default:
      break;
  }
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Reads up to `count` bytes of `stream` at `offset` (a position in the source, as GMime counts
// them) without moving its position; fewer at its end or on a failure.
std::string bytesAt(GMimeStream* stream, gint64 offset, std::size_t count) {
  std::string bytes(count, '\0');
  if (offset < 0) return {};
  auto range = adopt(g_mime_stream_substream(stream, offset, offset + static_cast<gint64>(count)));
  if (!range) return {};
  std::size_t got = 0;
  while (got < count) {
    const ssize_t n = g_mime_stream_read(range.get(), bytes.data() + got, count - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

// Hands each chunk of the raw (still encoded) content of `part` to `chunk`; false when the
// content cannot be read or `chunk` stops.
template <typename Chunk>
bool readRaw(GMimePart* part, Chunk&& chunk) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (!content) return true;
  GMimeStream* raw = g_mime_data_wrapper_get_stream(content);
  if (!raw || g_mime_stream_reset(raw) == -1) return false;
  std::vector<char> buffer(kChunkSize);
  int emptyReads = 0;
  // A bounded file stream answers a read at its end with -1, not 0: the end is asked first.
  while (!g_mime_stream_eos(raw)) {
    const ssize_t got = g_mime_stream_read(raw, buffer.data(), buffer.size());
    if (got < 0) return false;
    if (got == 0) {
      // A stream that gives nothing many times over without reaching its end is at fault; it
      // is not a reason to spin.
      if (g_mime_stream_eos(raw) || ++emptyReads > kMaxEmptyReads) break;
      continue;
    }
    emptyReads = 0;
    if (!chunk(std::string_view(buffer.data(), static_cast<std::size_t>(got)))) return false;
  }
  return true;
}

// g_mime_encoding_base64_decode_step() on `chunk`, with the same result, state and save, but
// with the runs of whole quartets of alphabet characters taken by the vector decoder of
// common/base64.h, many times faster than GMime's byte-by-byte loop on a large attachment.
// GMime looks back for '=' at the end of each call it is given; a chunk with no '=' has nothing
// for it to find, wherever it is cut, so such a chunk is cut at the start of each run, which
// begins only where GMime holds no pending character (`state` 0). A chunk with an '=' goes to
// GMime whole, as before.
std::size_t base64Step(std::string_view chunk, unsigned char* out, int& state, guint32& save) {
  const auto* in = reinterpret_cast<const unsigned char*>(chunk.data());
  const std::size_t size = chunk.size();
  if (chunk.find('=') != std::string_view::npos) {
    return g_mime_encoding_base64_decode_step(in, size, out, &state, &save);
  }
  std::size_t at = 0;
  std::size_t written = 0;
  while (at < size) {
    if (state == 0) {
      const std::size_t quartets = decodeAlphabetQuartets(in + at, (size - at) / 4, out + written);
      at += quartets * 4;
      written += quartets * 3;
      if (at == size) break;
    }
    // What stopped the run (a line end, most often) and the rest of its line, to GMime.
    const void* newline = std::memchr(in + at, '\n', size - at);
    const std::size_t end =
        newline ? static_cast<std::size_t>(static_cast<const unsigned char*>(newline) - in) + 1
                : size;
    written += g_mime_encoding_base64_decode_step(in + at, end - at, out + written, &state, &save);
    at = end;
  }
  return written;
}

// The tail of a Base64 decode that `state` and `save` (GMime's step state) left: 2 or 3
// characters without padding hold 1 or 2 bytes.
std::string base64Tail(int state, guint32 save) {
  if (state < 0) return {};  // padding was read: nothing is left
  switch (state & 0xff) {
    case 2:
      return std::string(1, static_cast<char>(save >> 4));
    case 3:
      return {static_cast<char>(save >> 10), static_cast<char>(save >> 2)};
    default:
      return {};
  }
}

// A uuencoded body read chunk by chunk: the text before the "begin MODE NAME" line is skipped,
// and so are the lines that continue the begin line (mailers fold a long one as they fold a
// header: "begin 664" and then " data.bin"); the data lines go to GMime's decoder.
class UuDecoder {
 public:
  // Decodes `data`, appending the bytes to `out`.
  void step(std::string_view data, std::string& out) {
    std::size_t at = 0;
    while (phase != Phase::Data && at < data.size()) {
      const std::size_t newline = data.find('\n', at);
      const std::size_t end = newline == std::string_view::npos ? data.size() : newline;
      if (line.size() < kMaxPreludeLine) {
        line.append(data.substr(at, std::min(end - at, kMaxPreludeLine - line.size())));
      }
      if (newline == std::string_view::npos) return;  // the rest of the line comes later
      at = newline + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      preludeLine(out);
      line.clear();
    }
    if (phase == Phase::Data && at < data.size()) decode(data.substr(at), out);
  }

  // After the last step: whether the body decoded as it should. A body with data lines (or text
  // without a begin line) that gave no byte is a failure, not an empty file.
  bool complete(std::uint64_t decoded) const {
    if (decoded > 0) return true;
    if (phase == Phase::Data) return !firstLineHasData;
    // The last line may have no line end (the delimiter's took it).
    return !sawText &&
           (phase != Phase::Seeking || line.find_first_not_of(" \t\r") == std::string::npos);
  }

  bool inData() const { return phase == Phase::Data; }
  const std::string& name() const { return name_; }

 private:
  // The most of a line before the data that is kept: a begin line and its name fit many times.
  static constexpr std::size_t kMaxPreludeLine = 4096;

  enum class Phase { Seeking, Begun, Data };

  void preludeLine(std::string& out) {
    const std::size_t text = line.find_first_not_of(" \t");
    if (phase == Phase::Seeking) {
      if (line.compare(0, 6, "begin ") == 0) {
        phase = Phase::Begun;
        std::size_t at = 6;
        while (at < line.size() && line[at] >= '0' && line[at] <= '7') ++at;  // the mode
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
        name_ = trimmed(line.substr(at));
      } else if (text != std::string::npos) {
        sawText = true;
      }
      return;
    }
    // A line that starts with white space and holds more than it continues the begin line; a
    // data line never does (a line of no bytes is a single ` or space).
    if (text != std::string::npos && text > 0) {
      const std::string more = trimmed(line);
      name_ = name_.empty() ? more : name_ + " " + more;
      return;
    }
    phase = Phase::Data;
    const std::string data = trimmed(line);
    firstLineHasData = !data.empty() && data != "`" && data != "end";
    line += '\n';
    decode(line, out);
  }

  void decode(std::string_view data, std::string& out) {
    if (state & GMIME_UUDECODE_STATE_END) return;
    const std::size_t old = out.size();
    out.resize(old + data.size());
    const std::size_t length = g_mime_encoding_uudecode_step(
        reinterpret_cast<const unsigned char*>(data.data()), data.size(),
        reinterpret_cast<unsigned char*>(out.data() + old), &state, &save);
    out.resize(old + length);
  }

  static std::string trimmed(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return std::string(text);
  }

  Phase phase = Phase::Seeking;
  std::string line;
  std::string name_;
  bool sawText = false;
  bool firstLineHasData = false;
  int state = GMIME_UUDECODE_STATE_BEGIN;
  guint32 save = 0;
};

// RFC 2045's token: printable ASCII but for space and the tspecials.
bool isTokenChar(char c) {
  return c > ' ' && c < 0x7f &&
         std::string_view("()<>@,;:\\\"/[]?=").find(c) == std::string_view::npos;
}

// Whether a raw Content-Type value starts with a media type "type/subtype".
bool hasValidMediaType(std::string_view raw) {
  std::size_t at = 0;
  while (at < raw.size() && isSpace(raw[at])) ++at;
  const std::size_t type = at;
  while (at < raw.size() && isTokenChar(raw[at])) ++at;
  if (at == type || at >= raw.size() || raw[at] != '/') return false;
  const std::size_t subtype = ++at;
  while (at < raw.size() && isTokenChar(raw[at])) ++at;
  if (at == subtype) return false;
  while (at < raw.size() && isSpace(raw[at])) ++at;
  return at == raw.size() || raw[at] == ';';
}

// Watches the bytes a parse hands GMime, in order, and says where they must end for the bounds
// of parseMessage() to hold. It follows the mail's lines as GMime does: a header at the start,
// after each delimiter line, and after the empty line that ends a header whose Content-Type is
// a message/ type (a forwarded message's header follows); a header ends at its empty line.
// After a header whose Content-Type is a multipart/ type, and after a closing delimiter, comes
// text outside the parts, which GMime holds in memory whole (a preamble or an epilogue) up to
// the next line that is the delimiter of a boundary named so far. Field lines outside a header
// count as fields too: no boundary a sender chooses hides them.
class ParseGuard {
 public:
  explicit ParseGuard(ParserReport& report) : report(report) {}

  // How many of the `count` bytes at `offset` GMime may have: all of them, or fewer once a bound
  // is reached (and from then on none: see cut()). Bytes already looked at (GMime seeks back at
  // times) are let through as they were.
  std::size_t admit(gint64 offset, const char* bytes, std::size_t count) {
    if (stopped) {
      return offset < scannedTo ? static_cast<std::size_t>(std::min<gint64>(
                                      static_cast<gint64>(count), scannedTo - offset))
                                : 0;
    }
    std::size_t at = 0;
    if (offset < scannedTo) at = std::min<std::size_t>(count, scannedTo - offset);
    if (offset + static_cast<gint64>(at) > scannedTo) at = count;  // a gap: never expected
    for (; at < count; ++at) {
      at += skipBodyLine(bytes + at, count - at);
      if (at == count) break;
      if (!step(bytes[at])) {
        stopped = true;
        scannedTo = offset + static_cast<gint64>(at);
        // A header cut short still ends as headers do, so that GMime reads what came before.
        if (region == Region::Header) ending = "\n\n";
        return at;
      }
    }
    scannedTo = std::max(scannedTo, offset + static_cast<gint64>(count));
    return count;
  }

  // Once a bound is reached: where the mail's bytes stop, and what GMime reads after them before
  // the end (the bytes that end a header cut short, or nothing).
  bool reached() const { return stopped; }
  gint64 cut() const { return scannedTo; }
  std::string_view end() const { return ending; }

 private:
  // Finds a lower-case word (with no prefix that is also its suffix) in the bytes of one line.
  class Word {
   public:
    explicit Word(std::string_view word) : word(word) {}
    // Takes one byte; true when it completes the word.
    bool step(char c) {
      const char lower = static_cast<char>(g_ascii_tolower(c));
      matched = lower == word[matched] ? matched + 1 : (lower == word[0] ? 1 : 0);
      if (matched < word.size()) return false;
      matched = 0;
      return true;
    }
    void reset() { matched = 0; }

   private:
    std::string_view word;
    std::size_t matched = 0;
  };

  static bool isWhite(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

  // Collects the value of a boundary= parameter, byte by byte, after its name.
  void collectBoundary(char c) {
    if (boundary.empty() && !quoted && c == '"') {
      quoted = true;
      return;
    }
    if (quoted ? c == '"' : (c == ';' || isWhite(c))) {
      keepBoundary();
      return;
    }
    // A boundary longer than a line's head is told by its first bytes.
    if (boundary.size() < kLineHead - 2) boundary += c;
  }

  // A boundary GMime will look for, as the mail writes it. One that holds an encoded word is left
  // out: GMime looks for it decoded, so its lines end no preamble for GMime, nor here.
  void keepBoundary() {
    collecting = false;
    if (boundary.empty() || boundary.find("=?") != std::string::npos) return;
    if (boundaries.size() < kMaxBoundaries &&
        std::find(boundaries.begin(), boundaries.end(), boundary) == boundaries.end()) {
      boundaries.push_back(boundary);
    }
  }

  // Whether the current line (a delimiter line) is one of a boundary named so far.
  bool namesBoundary() const {
    return std::any_of(boundaries.begin(), boundaries.end(), [this](const std::string& name) {
      return head.compare(2, name.size(), name) == 0;
    });
  }

  // Takes the bytes of a body line past its first three (by then the line's kind is known) up to
  // its newline at once, with the effect step() has on them one by one; returns how many. A body
  // holds nearly all of a large mail's bytes, and only its line starts matter here.
  std::size_t skipBodyLine(const char* bytes, std::size_t count) {
    if (region != Region::Body || lineLength < 3) return 0;
    const auto* newline = static_cast<const char*>(std::memchr(bytes, '\n', count));
    const std::size_t length = newline ? static_cast<std::size_t>(newline - bytes) : count;
    lineLength += length;
    // Of a body line's head only a delimiter's is ever read (namesBoundary()).
    if (line == Line::Delimiter && head.size() < kLineHead) {
      head.append(bytes, std::min(length, kLineHead - head.size()));
    }
    int found = 0;
    for (std::size_t back = length; back > 0 && found < 2; --back) {
      const char c = bytes[back - 1];
      if (isWhite(c)) continue;
      if (found == 0) {
        beforeLast = last;
        last = c;
      } else {
        beforeLast = c;
      }
      ++found;
    }
    return length;
  }

  // Takes one byte; false when a bound is reached with it.
  bool step(char c) {
    if (lineLength == 0) {
      startLine(c);
    } else if (line == Line::MaybeDelimiter && lineLength == 1 && c != '-') {
      line = Line::Other;
    } else if (line == Line::MaybeDelimiter && lineLength == 2) {
      line = isWhite(c) ? Line::Other : Line::Delimiter;
      if (line == Line::Delimiter && ++delimiters > kMaxDelimiterLines) {
        return refuse(report.delimiterLimit);
      }
    }
    ++lineLength;
    if (head.size() < kLineHead) head += c;
    if (!isWhite(c)) {
      beforeLast = last;
      last = c;
    }
    if (region == Region::Face && line != Line::Delimiter && ++faceBytes > kMaxPreambleBytes) {
      return refuse(report.preambleLimit);
    }
    if (region != Region::Body) {
      if (line == Line::Other && c == ':') {
        line = Line::Field;
        if (++fields > kMaxHeaderFields) return refuse(report.headerLimit);
        headerBytes += lineLength - 1;
        contentType = g_ascii_strcasecmp(head.c_str(), "content-type:") == 0;
      }
      if (line == Line::Field || line == Line::Continuation) {
        if (++headerBytes > kMaxHeaderBytes) return refuse(report.headerLimit);
        if (region == Region::Header && contentType) {
          messageFollows = messageWord.step(c) || messageFollows;
          multipartFollows = multipartWord.step(c) || multipartFollows;
          if (collecting) {
            collectBoundary(c);
          } else if (boundaryWord.step(c)) {
            collecting = true;
            quoted = false;
            boundary.clear();
          }
        }
      }
    }
    if (c == '\n') endLine();
    return true;
  }

  void startLine(char c) {
    if (c == '\n' || c == '\r') {
      line = Line::Empty;
    } else if (c == '-') {
      line = Line::MaybeDelimiter;
    } else if (c == ' ' || c == '\t') {
      line = Line::Continuation;  // of the field before it, Content-Type or not
      return;
    } else {
      line = Line::Other;
    }
    contentType = false;
  }

  void endLine() {
    if (collecting) keepBoundary();
    if (line == Line::Delimiter && (region != Region::Face || namesBoundary())) {
      // A closing delimiter ("--b--") is followed by an epilogue, any other by a part's header.
      // Text outside the parts ends only at a boundary GMime looks for.
      region = last == '-' && beforeLast == '-' && lineLength > 4 ? Region::Face : Region::Header;
      messageFollows = false;
      multipartFollows = false;
    } else if (region == Region::Header && line == Line::Empty) {
      region = messageFollows ? Region::Header : multipartFollows ? Region::Face : Region::Body;
      messageFollows = false;
      multipartFollows = false;
    }
    lineLength = 0;
    head.clear();
    last = 0;
    beforeLast = 0;
    messageWord.reset();
    multipartWord.reset();
    boundaryWord.reset();
  }

  bool refuse(bool& which) {
    which = true;
    return false;
  }

  enum class Line { Empty, MaybeDelimiter, Delimiter, Continuation, Field, Other };
  enum class Region { Header, Body, Face };
  static constexpr std::size_t kLineHead = 256;  // "--" and a boundary (RFC 2046: 70 bytes)
  static constexpr std::size_t kMaxBoundaries = 256;

  ParserReport& report;
  gint64 scannedTo = 0;
  bool stopped = false;
  std::string_view ending;
  Region region = Region::Header;
  bool messageFollows = false;
  bool multipartFollows = false;
  Word messageWord{"message/"};
  Word multipartWord{"multipart/"};
  Word boundaryWord{"boundary="};
  bool contentType = false;  // the current field is Content-Type
  bool collecting = false;   // after "boundary=" in a header, up to the end of its value
  bool quoted = false;
  std::string boundary;
  std::vector<std::string> boundaries;
  std::string head;  // the current line's first kLineHead bytes
  Line line = Line::Empty;
  std::uint64_t lineLength = 0;
  char last = 0;  // the line's last two bytes that are not white space
  char beforeLast = 0;
  std::uint64_t headerBytes = 0;
  std::uint64_t fields = 0;
  std::uint64_t delimiters = 0;
  std::uint64_t faceBytes = 0;
};

// Puts `guard` in front of the reads of `stream` (a source stream), or takes it away (null).
void guardStream(GMimeStream* stream, ParseGuard* guard);

}  // namespace

ParserOptionsPtr parserOptions(ParserReport& report) {
  ParserOptionsPtr options(g_mime_parser_options_new());
  g_mime_parser_options_set_fallback_charsets(options.get(), kFallbackCharsets);
  g_mime_parser_options_set_warning_callback(options.get(), collectWarning, &report);
  // Korvani reads header values raw and decodes them itself, but GMime decodes them too as it
  // meets them: the content fields, the address fields and Subject always, and with a warning
  // callback set every field of every part. Its liberal decoder looks for encoded words inside
  // other words and, for each "=?" that never closes, scans the rest of the field: a 64 KiB field
  // of them took a quarter of a second, a 256 KiB one four seconds. The strict one takes only
  // words that stand alone, in time linear in the field; what it leaves undecoded (a boundary or
  // a charset never holds an encoded word) Korvani does not read from it.
  g_mime_parser_options_set_rfc2047_compliance_mode(options.get(), GMIME_RFC_COMPLIANCE_STRICT);
  return options;
}

GObjectPtr<GMimeMessage> parseMessage(GMimeStream* stream, ParserReport& report) {
  const ParserOptionsPtr options = parserOptions(report);
  ParseGuard guard(report);
  guardStream(stream, &guard);
  auto parser = adopt(g_mime_parser_new_with_stream(stream));
  g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
  g_mime_parser_set_persist_stream(parser.get(), TRUE);
  auto message = adopt(g_mime_parser_construct_message(parser.get(), options.get()));
  guardStream(stream, nullptr);
  return message;
}

std::string rawHeader(GMimeObject* object, const char* name) {
  GMimeHeader* header = g_mime_header_list_get_header(g_mime_object_get_header_list(object), name);
  if (!header) return {};
  const char* value = g_mime_header_get_raw_value(header);
  return value ? std::string(value) : std::string();
}

namespace {

struct RawParameter {
  std::string name;   // lower case, with any RFC 2231 "*N" and "*" suffixes
  std::string value;  // quotes removed, only \" taken as an escape
};

// The parameters of a raw Content-Type or Content-Disposition value, in order.
std::vector<RawParameter> rawParameters(const std::string& raw) {
  std::vector<RawParameter> parameters;
  std::size_t at = 0;
  // Reads a value: a quoted string (only \" escapes) or anything up to the next ';'.
  auto readValue = [&](std::string* value) {
    if (at < raw.size() && raw[at] == '"') {
      for (++at; at < raw.size() && raw[at] != '"'; ++at) {
        if (raw[at] == '\\' && at + 1 < raw.size() && raw[at + 1] == '"') ++at;
        if (value) value->push_back(raw[at]);
      }
      if (at < raw.size()) ++at;
      while (at < raw.size() && raw[at] != ';') ++at;
    } else {
      const std::size_t start = at;
      while (at < raw.size() && raw[at] != ';') ++at;
      if (value) {
        *value = raw.substr(start, at - start);
        while (!value->empty() && isSpace(value->back())) value->pop_back();
      }
    }
  };
  readValue(nullptr);  // the disposition or media type itself
  while (at < raw.size()) {
    ++at;  // ';'
    while (at < raw.size() && isSpace(raw[at])) ++at;
    const std::size_t nameStart = at;
    while (at < raw.size() && raw[at] != '=' && raw[at] != ';' && !isSpace(raw[at])) ++at;
    RawParameter parameter{asciiLowercase(raw.substr(nameStart, at - nameStart)), {}};
    while (at < raw.size() && isSpace(raw[at])) ++at;
    if (at >= raw.size() || raw[at] != '=') continue;
    ++at;
    while (at < raw.size() && isSpace(raw[at])) ++at;
    readValue(&parameter.value);
    parameters.push_back(std::move(parameter));
  }
  return parameters;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string percentDecoded(std::string_view text) {
  std::string out;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '%' && at + 2 < text.size() && hexDigit(text[at + 1]) >= 0 &&
        hexDigit(text[at + 2]) >= 0) {
      out.push_back(static_cast<char>(hexDigit(text[at + 1]) * 16 + hexDigit(text[at + 2])));
      at += 2;
    } else {
      out.push_back(text[at]);
    }
  }
  return out;
}

}  // namespace

std::optional<std::string> plainParameter(GMimeObject* object, const char* header,
                                          std::string_view name) {
  for (RawParameter& parameter : rawParameters(rawHeader(object, header))) {
    if (parameter.name == name) return std::move(parameter.value);
  }
  return std::nullopt;
}

std::optional<ExtendedParameter> extendedParameter(GMimeObject* object, const char* header,
                                                   std::string_view name) {
  // Sections by number; a mail that repeats or skips one is read in the order it gives.
  std::vector<std::pair<unsigned long, std::string>> sections;
  std::string charset;
  for (const RawParameter& parameter : rawParameters(rawHeader(object, header))) {
    const std::string_view full(parameter.name);
    if (full.size() <= name.size() || full.compare(0, name.size(), name) != 0 ||
        full[name.size()] != '*') {
      continue;
    }
    std::string_view rest = full.substr(name.size() + 1);  // "", "N", "N*"
    const bool encoded = rest.empty() || rest.back() == '*';
    if (!rest.empty() && rest.back() == '*') rest.remove_suffix(1);
    if (rest.find_first_not_of("0123456789") != std::string_view::npos || rest.size() > 6) {
      continue;
    }
    const unsigned long number = rest.empty() ? 0 : std::stoul(std::string(rest));
    std::string_view value(parameter.value);
    if (encoded && number == 0) {
      // charset'language'text
      const std::size_t first = value.find('\'');
      const std::size_t second =
          first == std::string_view::npos ? first : value.find('\'', first + 1);
      if (second != std::string_view::npos) {
        charset = std::string(value.substr(0, first));
        value.remove_prefix(second + 1);
      }
    }
    sections.emplace_back(number, encoded ? percentDecoded(value) : std::string(value));
  }
  if (sections.empty()) return std::nullopt;
  std::stable_sort(sections.begin(), sections.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  ExtendedParameter parameter;
  parameter.charset = std::move(charset);
  for (auto& section : sections) parameter.bytes += section.second;
  return parameter;
}

std::string contentTypeParameter(GMimeObject* object, const char* name) {
  if (const char* value = g_mime_object_get_content_type_parameter(object, name)) return value;
  return plainParameter(object, "Content-Type", name).value_or(std::string());
}

bool hasBoundary(GMimeMultipart* multipart) {
  const char* boundary =
      g_mime_object_get_content_type_parameter(GMIME_OBJECT(multipart), "boundary");
  if (!boundary) return false;
  // GMime decodes a boundary written as an encoded word ("=?utf-8?Q?x?=") and looks for the
  // decoded one, which the mail never uses: its whole body became the prologue.
  if (g_mime_multipart_get_count(multipart) > 0) return true;
  const auto raw = plainParameter(GMIME_OBJECT(multipart), "Content-Type", "boundary");
  return !raw || *raw == boundary;
}

namespace {

// Makes the bytes [begin, end) of `stream` the raw content of `part`.
void setContent(GMimePart* part, GMimeStream* stream, gint64 begin, gint64 end) {
  auto body = adopt(g_mime_stream_substream(stream, begin, end));
  if (!body) return;
  auto wrapper = adopt(
      g_mime_data_wrapper_new_with_stream(body.get(), g_mime_part_get_content_encoding(part)));
  g_mime_part_set_content(part, wrapper.get());
}

}  // namespace

bool mendMessageBody(GMimeMessage* message, GMimeStream* stream, const ParserReport& report) {
  GMimeObject* body = g_mime_message_get_mime_part(message);
  if (report.invalidLines.empty() || !body || !GMIME_IS_PART(body)) return false;
  GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(body));
  GMimeStream* raw = content ? g_mime_data_wrapper_get_stream(content) : nullptr;
  if (raw && g_mime_stream_length(raw) > 0) return false;
  GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
  const int count = g_mime_header_list_get_count(headers);
  if (count == 0 || stream->bound_end < 0) return false;
  const gint64 header = g_mime_header_get_offset(g_mime_header_list_get_header_at(headers, 0));
  const gint64 lastHeader =
      g_mime_header_get_offset(g_mime_header_list_get_header_at(headers, count - 1));
  // The text starts at the first bad line after the fields; a bad line among fields is only that.
  const auto first =
      std::upper_bound(report.invalidLines.begin(), report.invalidLines.end(), lastHeader);
  if (first == report.invalidLines.end() || *first <= header) return false;
  setContent(GMIME_PART(body), stream, *first, stream->bound_end);
  return true;
}

void mendContent(GMimePart* part, GMimeStream* stream, const ParserReport& report) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (!content) {
    // The header ran into the body: its first bad line starts the body, which ends before the
    // delimiter GMime met in place of the empty line.
    GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(part));
    if (g_mime_header_list_get_count(headers) == 0) return;
    const gint64 header = g_mime_header_get_offset(g_mime_header_list_get_header_at(headers, 0));
    const auto& bad = report.invalidLines;
    const auto& empty = report.partsWithoutContent;
    const auto delimiter = std::upper_bound(empty.begin(), empty.end(), header);
    const auto first = std::upper_bound(bad.begin(), bad.end(), header);
    if (delimiter == empty.end() || first == bad.end() || *first >= *delimiter) return;
    gint64 end = *delimiter;
    const std::string before = bytesAt(stream, end - 2, 2);
    if (!before.empty() && before.back() == '\n') --end;
    if (before == "\r\n") --end;
    setContent(part, stream, *first, end);
    return;
  }
  GMimeStream* raw = g_mime_data_wrapper_get_stream(content);
  if (!raw || raw->bound_end <= raw->bound_start) return;
  // GMime drops the CR LF before a delimiter, but only the LF when the delimiter is the last
  // bytes of the file; a CR it kept is followed by the LF it dropped.
  if (bytesAt(stream, raw->bound_end - 1, 2) != "\r\n") return;
  auto trimmed = adopt(g_mime_stream_substream(raw, raw->bound_start, raw->bound_end - 1));
  if (trimmed) g_mime_data_wrapper_set_stream(content, trimmed.get());
}

std::string uuencodedName(GMimePart* part) {
  UuDecoder decoder;
  std::string ignored;
  std::uint64_t read = 0;
  readRaw(part, [&](std::string_view chunk) {
    decoder.step(chunk, ignored);
    ignored.clear();
    read += chunk.size();
    // The begin line comes first in a part of its own; the rest of a large one is not read.
    return !decoder.inData() && read < kChunkSize;
  });
  return decoder.name();
}

bool endsCleanly(GMimePart* part) {
  const GMimeContentEncoding encoding = g_mime_part_get_content_encoding(part);
  char last = '\0';
  // Base64: characters of the alphabet, padding, and the lengths of the first and last lines.
  std::uint64_t characters = 0;
  bool padded = false;
  std::size_t firstLine = 0;
  std::size_t lastLine = 0;
  std::size_t lines = 0;
  std::size_t lineLength = 0;
  std::string lastText;  // uuencode: the last line that holds anything
  std::string line;
  const bool read = readRaw(part, [&](std::string_view chunk) {
    for (const char c : chunk) {
      if (c == '\n') {
        if (lineLength > 0) {
          if (lines++ == 0) firstLine = lineLength;
          lastLine = lineLength;
        }
        lineLength = 0;
        if (line.find_first_not_of(" \t\r") != std::string::npos) lastText = line;
        line.clear();
        continue;
      }
      if (c != '\r') ++lineLength;
      if (line.size() < 8) line.push_back(c);
      if (c == '=') padded = true;
      if (std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/' || c == '=') {
        ++characters;
      }
    }
    last = chunk.back();
    return true;
  });
  if (!read || last != '\n') return false;
  switch (encoding) {
    case GMIME_CONTENT_ENCODING_BASE64:
      // A sender's last line is short or padded; a full one at the end is where a cut falls.
      return characters % 4 == 0 && (padded || lines <= 1 || lastLine < firstLine);
    case GMIME_CONTENT_ENCODING_UUENCODE:
      while (!lastText.empty() && isSpace(lastText.back())) lastText.pop_back();
      return lastText == "end";
    default:
      return true;
  }
}

std::string decodeBase64(std::string_view text) {
  std::string out(text.size() * 3 / 4 + 3, '\0');
  int state = 0;
  guint32 save = 0;
  const std::size_t length = g_mime_encoding_base64_decode_step(
      reinterpret_cast<const unsigned char*>(text.data()), text.size(),
      reinterpret_cast<unsigned char*>(out.data()), &state, &save);
  out.resize(length);
  return out + base64Tail(state, save);
}

std::size_t contentLength(GMimeObject* object) {
  if (GMIME_IS_MULTIPART(object)) {
    const char* prologue = g_mime_multipart_get_prologue(GMIME_MULTIPART(object));
    return prologue ? std::strlen(prologue) : 0;
  }
  if (!GMIME_IS_PART(object)) return 0;
  GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(object));
  GMimeStream* stream = content ? g_mime_data_wrapper_get_stream(content) : nullptr;
  const gint64 length = stream ? g_mime_stream_length(stream) : -1;
  return length > 0 ? static_cast<std::size_t>(length) : 0;
}

bool decodeContent(GMimeObject* object, const ChunkSink& sink, std::uint64_t* size) {
  if (size) *size = 0;
  auto hand = [&](const char* data, std::size_t length) {
    if (length == 0) return true;
    if (size) *size += length;
    return sink(reinterpret_cast<const std::uint8_t*>(data), length);
  };
  if (GMIME_IS_MULTIPART(object)) {
    // No boundary: the whole body is the prologue, and is the text.
    const char* prologue = g_mime_multipart_get_prologue(GMIME_MULTIPART(object));
    return !prologue || hand(prologue, std::strlen(prologue));
  }
  if (!GMIME_IS_PART(object)) return false;
  GMimePart* part = GMIME_PART(object);
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (!content) return true;
  const GMimeContentEncoding encoding = g_mime_data_wrapper_get_encoding(content);
  // The decoders are driven here rather than through a filter stream, which would read the mail
  // 4 KiB at a time: one read of a whole chunk is a tenth of the system calls on a large part.
  std::string out;
  if (encoding == GMIME_CONTENT_ENCODING_BASE64) {
    int state = 0;
    guint32 save = 0;
    const bool read = readRaw(part, [&](std::string_view chunk) {
      out.resize(chunk.size() * 3 / 4 + 3);
      out.resize(base64Step(chunk, reinterpret_cast<unsigned char*>(out.data()), state, save));
      return hand(out.data(), out.size());
    });
    if (!read) return false;
    out = base64Tail(state, save);
    return hand(out.data(), out.size());
  }
  if (encoding == GMIME_CONTENT_ENCODING_UUENCODE) {
    UuDecoder decoder;
    std::uint64_t decoded = 0;
    const bool read = readRaw(part, [&](std::string_view chunk) {
      out.clear();
      decoder.step(chunk, out);
      decoded += out.size();
      return hand(out.data(), out.size());
    });
    return read && decoder.complete(decoded);
  }
  GObjectPtr<GMimeFilter> decoder;
  if (encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE) {
    decoder = adopt(g_mime_filter_basic_new(encoding, FALSE));
  }
  const bool read = readRaw(part, [&](std::string_view chunk) {
    if (!decoder) return hand(chunk.data(), chunk.size());
    char* filtered = nullptr;
    std::size_t length = 0;
    std::size_t prespace = 0;
    g_mime_filter_filter(decoder.get(), const_cast<char*>(chunk.data()), chunk.size(), 0, &filtered,
                         &length, &prespace);
    return hand(filtered, length);
  });
  if (!read) return false;
  if (decoder) {
    char* filtered = nullptr;
    std::size_t length = 0;
    std::size_t prespace = 0;
    g_mime_filter_complete(decoder.get(), nullptr, 0, 0, &filtered, &length, &prespace);
    if (!hand(filtered, length)) return false;
  }
  return true;
}

std::string mediaTypeOf(GMimeObject* object) {
  GMimeContentType* type = g_mime_object_get_content_type(object);
  if (!type) return "application/octet-stream";
  const GCharPtr mimeType(g_mime_content_type_get_mime_type(type));
  // A hostile mail may put any bytes in its media type; what leaves the engine is UTF-8.
  if (!mimeType) return "application/octet-stream";
  // GMime takes a media type it cannot read as application/octet-stream; RFC 2045 says text/plain.
  if (g_ascii_strcasecmp(mimeType.get(), "application/octet-stream") == 0) {
    const std::string raw = rawHeader(object, "Content-Type");
    return !raw.empty() && !hasValidMediaType(raw) ? "text/plain" : "application/octet-stream";
  }
  return repairUtf8(asciiLowercase(mimeType.get()));
}

std::string transferEncodingOf(GMimePart* part) {
  const char* name = g_mime_content_encoding_to_string(g_mime_part_get_content_encoding(part));
  return name ? repairUtf8(asciiLowercase(name)) : std::string("7bit");
}

namespace {

// How much of a file's start shows how it ends its lines: its first header lines, many times.
constexpr std::size_t kLineEndProbe = 4096;

// Whether `head`, the start of a file, ends its lines in a lone CR.
bool endsLinesInCr(std::string_view head) {
  return head.find('\r') != std::string_view::npos && head.find('\n') == std::string_view::npos;
}

void crToLf(char* bytes, std::size_t count) { std::replace(bytes, bytes + count, '\r', '\n'); }

}  // namespace

MailSource::MailSource(std::string bytes) : memory(std::move(bytes)), length_(memory.size()) {
  if (endsLinesInCr(memory)) crToLf(memory.data(), memory.size());
}

MailSource::MailSource(std::shared_ptr<const MailSource> base, std::uint64_t begin,
                       std::uint64_t end, std::vector<std::uint64_t> removed)
    : base(std::move(base)), baseBegin(begin), removed(std::move(removed)) {
  length_ = end - begin - this->removed.size();
}

MailSource::MailSource(std::unique_ptr<ReadableFile> file)
    : file(std::move(file)), length_(this->file->length()) {
  std::string head(static_cast<std::size_t>(std::min<std::uint64_t>(length_, kLineEndProbe)), '\0');
  std::size_t got = 0;
  if (readAt(0, head.data(), head.size(), got) == 0) {
    crLineEnds = endsLinesInCr(std::string_view(head.data(), got));
  }
}

int MailSource::readAt(std::uint64_t offset, char* destination, std::size_t count,
                       std::size_t& got) const {
  if (base) {
    got = 0;
    if (offset >= length_) return 0;
    // The removed bytes before the one at `offset`: the i-th removed byte came just before the
    // byte at removed[i] - baseBegin - i.
    std::size_t low = 0;
    std::size_t high = removed.size();
    while (low < high) {
      const std::size_t middle = low + (high - low) / 2;
      if (removed[middle] - baseBegin - middle <= offset) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    std::size_t before = low;
    std::uint64_t logical = offset;
    while (got < count && logical < length_) {
      const std::uint64_t physical = baseBegin + logical + before;
      const std::uint64_t stop =
          before < removed.size() ? removed[before] : baseBegin + length_ + removed.size();
      const auto wanted =
          static_cast<std::size_t>(std::min<std::uint64_t>(count - got, stop - physical));
      std::size_t delivered = 0;
      const int error = base->readAt(physical, destination + got, wanted, delivered);
      if (error != 0) return error;
      got += delivered;
      logical += delivered;
      if (delivered < wanted) return kSourceChanged;  // the range was inside the base's length
      if (physical + delivered == stop) ++before;
    }
    return 0;
  }
  got = 0;
  if (offset >= length_) return 0;
  count = static_cast<std::size_t>(std::min<std::uint64_t>(count, length_ - offset));
  if (!file) {
    std::copy_n(memory.data() + offset, count, destination);
    got = count;
    return 0;
  }
  const int error = file->readAt(offset, reinterpret_cast<std::uint8_t*>(destination), count, got);
  if (error != 0) return error;
  if (got < count) {
    got = 0;
    return kSourceChanged;  // shorter than it was
  }
  // Every read asks for one byte past the length as well: there should be none. A file rewritten
  // longer moves what the offsets found at its opening point at, wherever the read is.
  std::uint8_t more = 0;
  std::size_t extra = 0;
  if (file->readAt(length_, &more, 1, extra) == 0 && extra > 0) {
    got = 0;
    return kSourceChanged;
  }
  if (crLineEnds) crToLf(destination, got);
  return 0;
}

int readWhole(ReadableFile& file, std::string& bytes) {
  const std::uint64_t length = file.length();
  // One byte more than the length: a file that grew since it was opened delivers it.
  bytes.resize(static_cast<std::size_t>(length) + 1);
  std::size_t got = 0;
  const int error =
      file.readAt(0, reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size(), got);
  bytes.resize(got);
  if (error != 0) return error;
  return got == length ? 0 : kSourceChanged;
}

std::uint64_t mailStart(const MailSource& source, std::uint64_t begin, std::uint64_t end) {
  std::vector<char> window(kSourceReadWindow);
  std::uint64_t at = begin;
  while (at < end) {
    std::size_t got = 0;
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(window.size(), end - at));
    if (source.readAt(at, window.data(), wanted, got) != 0 || got == 0) return begin;
    const auto text =
        std::find_if(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(got),
                     [](char c) { return !isSpace(c); });
    at += static_cast<std::uint64_t>(text - window.begin());
    if (text != window.begin() + static_cast<std::ptrdiff_t>(got)) return at;
  }
  return begin;  // nothing but white space: no mail either way
}

namespace {

// The GObject behind sourceStream(). GLib allocates it zeroed and runs no C++ constructor, so
// `source` is constructed in place by the instance initialiser and destroyed in finalize.
struct KorvaniSourceStream {
  GMimeStream parent;
  std::shared_ptr<const MailSource> source;
  int error;          // the errno of the first failed read
  ParseGuard* guard;  // while a parse reads the stream: what it may be handed
};

struct KorvaniSourceStreamClass {
  GMimeStreamClass parent;
};

GType sourceStreamType();
GObjectClass* streamClass = nullptr;  // the parent class, set once when the type is made

// Every stream these functions are handed was made by newSourceStream().
KorvaniSourceStream* asSource(GMimeStream* stream) {
  return reinterpret_cast<KorvaniSourceStream*>(stream);
}

// Where the stream's bytes end: its bound, or the source's end for an unbounded substream.
gint64 endOf(GMimeStream* stream) {
  const auto length = static_cast<gint64>(asSource(stream)->source->length());
  return stream->bound_end == -1 ? length : std::min(stream->bound_end, length);
}

// Copies the guard's ending from `position` (at or past its cut) into `buffer`, at most `count`
// bytes; returns how many.
std::size_t handEnd(const ParseGuard& guard, gint64 position, char* buffer, std::size_t count) {
  const std::string_view ending = guard.end();
  const auto from = static_cast<std::size_t>(position - guard.cut());
  if (from >= ending.size()) return 0;
  return ending.copy(buffer, count, from);
}

ssize_t sourceRead(GMimeStream* stream, char* buffer, std::size_t length) {
  KorvaniSourceStream* self = asSource(stream);
  const gint64 end = endOf(stream);
  if (stream->position > end) {
    errno = EINVAL;
    return -1;
  }
  const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(
      {length, kSourceReadWindow, static_cast<std::uint64_t>(end - stream->position)}));
  if (wanted == 0) return 0;
  ParseGuard* guard = self->guard;
  std::size_t got = 0;
  if (guard && guard->reached() && stream->position >= guard->cut()) {
    got = handEnd(*guard, stream->position, buffer, wanted);
    stream->position += static_cast<gint64>(got);
    return static_cast<ssize_t>(got);
  }
  const int error =
      self->source->readAt(static_cast<std::uint64_t>(stream->position), buffer, wanted, got);
  if (error != 0) {
    if (self->error == 0) self->error = error;
    errno = error;
    return -1;
  }
  if (guard) {
    const std::size_t admitted = guard->admit(stream->position, buffer, got);
    if (admitted < got) {
      // A bound is reached: for the parser the mail ends here, after the guard's ending.
      stream->bound_end = guard->cut() + static_cast<gint64>(guard->end().size());
      got = admitted + handEnd(*guard, guard->cut(), buffer + admitted, got - admitted);
    }
  }
  stream->position += static_cast<gint64>(got);
  return static_cast<ssize_t>(got);
}

ssize_t sourceWrite(GMimeStream*, const char*, std::size_t) {
  errno = EBADF;  // a mail is only read
  return -1;
}

int sourceFlush(GMimeStream*) { return 0; }
int sourceClose(GMimeStream*) { return 0; }

gboolean sourceEos(GMimeStream* stream) { return stream->position >= endOf(stream); }

// g_mime_stream_reset() itself moves the position back to the stream's start.
int sourceReset(GMimeStream*) { return 0; }

gint64 sourceSeek(GMimeStream* stream, gint64 offset, GMimeSeekWhence whence) {
  const gint64 end = endOf(stream);
  gint64 target = offset;
  if (whence == GMIME_STREAM_SEEK_CUR) target = stream->position + offset;
  if (whence == GMIME_STREAM_SEEK_END) target = end + offset;
  if (target < stream->bound_start || target > end) {
    errno = EINVAL;
    return -1;
  }
  stream->position = target;
  return target;
}

gint64 sourceTell(GMimeStream* stream) { return stream->position; }

gint64 sourceLength(GMimeStream* stream) { return endOf(stream) - stream->bound_start; }

GMimeStream* newSourceStream(std::shared_ptr<const MailSource> source, gint64 begin, gint64 end) {
  auto* self = static_cast<KorvaniSourceStream*>(g_object_new(sourceStreamType(), nullptr));
  self->source = std::move(source);
  auto* stream = &self->parent;
  g_mime_stream_construct(stream, begin, end);
  return stream;
}

// g_mime_stream_substream() makes the new stream hold its parent as well; only the source is
// shared, and it is never written.
GMimeStream* sourceSubstream(GMimeStream* stream, gint64 begin, gint64 end) {
  // One without an end ends where its parent does, not at the end of the file: a message of an
  // mbox file is never read into the next one.
  if (end == -1) end = stream->bound_end;
  return newSourceStream(asSource(stream)->source, begin, end);
}

void sourceInstanceInit(GTypeInstance* instance, gpointer) {
  new (&reinterpret_cast<KorvaniSourceStream*>(instance)->source)
      std::shared_ptr<const MailSource>();
}

void sourceFinalize(GObject* object) {
  reinterpret_cast<KorvaniSourceStream*>(object)->source.~shared_ptr();
  streamClass->finalize(object);
}

void sourceClassInit(gpointer classData, gpointer) {
  streamClass = static_cast<GObjectClass*>(g_type_class_peek_parent(classData));
  static_cast<GObjectClass*>(classData)->finalize = sourceFinalize;
  auto* stream = static_cast<GMimeStreamClass*>(classData);
  stream->read = sourceRead;
  stream->write = sourceWrite;
  stream->flush = sourceFlush;
  stream->close = sourceClose;
  stream->eos = sourceEos;
  stream->reset = sourceReset;
  stream->seek = sourceSeek;
  stream->tell = sourceTell;
  stream->length = sourceLength;
  stream->substream = sourceSubstream;
}

GType sourceStreamType() {
  static const GType type = g_type_register_static_simple(
      g_mime_stream_get_type(), "KorvaniSourceStream", sizeof(KorvaniSourceStreamClass),
      sourceClassInit, sizeof(KorvaniSourceStream), sourceInstanceInit, GTypeFlags{});
  return type;
}

}  // namespace

GObjectPtr<GMimeStream> sourceStream(std::shared_ptr<const MailSource> source, std::uint64_t begin,
                                     std::uint64_t end) {
  return adopt(
      newSourceStream(std::move(source), static_cast<gint64>(begin), static_cast<gint64>(end)));
}

int sourceStreamError(GMimeStream* stream) {
  return g_type_check_instance_is_a(reinterpret_cast<GTypeInstance*>(stream), sourceStreamType())
             ? asSource(stream)->error
             : 0;
}

namespace {

// The charsets whose modules holdConverters() keeps: Japanese (ISO-2022-JP's module brings the
// Chinese and Korean tables it shares with its siblings), and the Western code page that
// Japanese Windows mail sometimes declares for its Latin parts.
constexpr std::array kHeldCharsets = {"iso-2022-jp", "shift_jis", "cp932", "euc-jp",
                                      "windows-1252"};
// Plain storage, never destroyed: a library set up by a static object is let go after the
// statics of this file may be gone.
std::array<iconv_t, kHeldCharsets.size()> heldConverters{};
std::size_t heldCount = 0;
int holders = 0;  // libraries set up and not yet let go; GMime counts them the same way

}  // namespace

void holdConverters() {
  if (holders++ != 0) return;  // held for a library set up before
  for (const char* charset : kHeldCharsets) {
    iconv_t converter = g_mime_iconv_open("UTF-8", charset);
    // iconv reports failure with the handle (iconv_t)-1.
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    if (converter != reinterpret_cast<iconv_t>(-1)) heldConverters[heldCount++] = converter;
  }
}

void releaseConverters() {
  if (holders == 0 || --holders != 0) return;
  for (std::size_t at = 0; at < heldCount; ++at) g_mime_iconv_close(heldConverters[at]);
  heldCount = 0;
}

void registerTypes() {
  // GObject makes a class the first time an object of it is made, under locks of GLib's own
  // that ThreadSanitizer does not see; made here, on the thread that sets the library up, no two
  // workers' first mails race to make the classes every parse uses.
  const GType kParsed[] = {GMIME_TYPE_PARSER,
                           GMIME_TYPE_MESSAGE,
                           GMIME_TYPE_PART,
                           GMIME_TYPE_TEXT_PART,
                           GMIME_TYPE_MULTIPART,
                           GMIME_TYPE_MULTIPART_ENCRYPTED,
                           GMIME_TYPE_MULTIPART_SIGNED,
                           GMIME_TYPE_MESSAGE_PART,
                           GMIME_TYPE_MESSAGE_PARTIAL,
                           GMIME_TYPE_DATA_WRAPPER,
                           GMIME_TYPE_STREAM_MEM,
                           GMIME_TYPE_STREAM_FILTER,
                           GMIME_TYPE_STREAM_NULL,
                           GMIME_TYPE_FILTER_BASIC,
                           GMIME_TYPE_FILTER_CHARSET,
                           GMIME_TYPE_FILTER_DOS2UNIX,
                           GMIME_TYPE_FILTER_UNIX2DOS,
                           GMIME_TYPE_CONTENT_TYPE,
                           GMIME_TYPE_CONTENT_DISPOSITION,
                           GMIME_TYPE_PARAM_LIST,
                           GMIME_TYPE_PARAM,
                           GMIME_TYPE_HEADER_LIST,
                           GMIME_TYPE_HEADER,
                           INTERNET_ADDRESS_LIST_TYPE,
                           INTERNET_ADDRESS_TYPE_MAILBOX,
                           INTERNET_ADDRESS_TYPE_GROUP,
                           sourceStreamType()};
  for (const GType type : kParsed) g_type_class_unref(g_type_class_ref(type));
}

namespace {

void guardStream(GMimeStream* stream, ParseGuard* guard) {
  if (g_type_check_instance_is_a(reinterpret_cast<GTypeInstance*>(stream), sourceStreamType())) {
    asSource(stream)->guard = guard;
  }
}

}  // namespace

}  // namespace korvani::mail::shim
