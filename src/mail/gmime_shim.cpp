#include "mail/gmime_shim.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <new>

#include "mail/mail_text.h"

namespace korvani::mail::shim {
namespace {

// Raw 8-bit headers and names: UTF-8 first (what today's mailers write), then the two Japanese
// encodings older ones wrote unencoded.
const char* kFallbackCharsets[] = {"utf-8", "cp932", "euc-jp", nullptr};

constexpr std::size_t kChunkSize = std::size_t{64} << 10;
constexpr int kMaxEmptyReads = 1024;

void collectWarning(gint64, GMimeParserWarning code, const gchar*, gpointer data) {
  auto* report = static_cast<ParserReport*>(data);
  if (code == GMIME_WARN_TRUNCATED_MESSAGE) report->truncated = true;
  if (code == GMIME_CRIT_NESTING_OVERFLOW) report->nestingOverflow = true;
}

std::string lowercase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

ParserOptionsPtr parserOptions(ParserReport& report) {
  ParserOptionsPtr options(g_mime_parser_options_new());
  g_mime_parser_options_set_fallback_charsets(options.get(), kFallbackCharsets);
  g_mime_parser_options_set_warning_callback(options.get(), collectWarning, &report);
  return options;
}

GObjectPtr<GMimeMessage> parseMessage(GMimeStream* stream, ParserReport& report) {
  const ParserOptionsPtr options = parserOptions(report);
  auto parser = adopt(g_mime_parser_new_with_stream(stream));
  g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
  g_mime_parser_set_persist_stream(parser.get(), TRUE);
  return adopt(g_mime_parser_construct_message(parser.get(), options.get()));
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
    RawParameter parameter{lowercase(raw.substr(nameStart, at - nameStart)), {}};
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

bool decodeContent(GMimePart* part, const ChunkSink& sink, std::uint64_t* size) {
  if (size) *size = 0;
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (!content) return true;
  GMimeStream* raw = g_mime_data_wrapper_get_stream(content);
  if (!raw || g_mime_stream_reset(raw) == -1) return false;
  const GMimeContentEncoding encoding = g_mime_data_wrapper_get_encoding(content);
  GObjectPtr<GMimeFilter> decoder;
  if (encoding == GMIME_CONTENT_ENCODING_BASE64 ||
      encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE ||
      encoding == GMIME_CONTENT_ENCODING_UUENCODE) {
    decoder = adopt(g_mime_filter_basic_new(encoding, FALSE));
  }
  auto hand = [&](char* data, std::size_t length) {
    if (length == 0) return true;
    if (size) *size += length;
    return sink(reinterpret_cast<const std::uint8_t*>(data), length);
  };
  // The decoder is driven here rather than through a filter stream, which would read the mail
  // 4 KiB at a time: one read of a whole chunk is a tenth of the system calls on a large part.
  std::vector<char> chunk(kChunkSize);
  int emptyReads = 0;
  // A bounded file stream answers a read at its end with -1, not 0: the end is asked first.
  while (!g_mime_stream_eos(raw)) {
    const ssize_t got = g_mime_stream_read(raw, chunk.data(), chunk.size());
    if (got < 0) return false;
    if (got == 0) {
      // A stream that gives nothing many times over without reaching its end is at fault; it
      // is not a reason to spin.
      if (g_mime_stream_eos(raw) || ++emptyReads > kMaxEmptyReads) break;
      continue;
    }
    emptyReads = 0;
    if (!decoder) {
      if (!hand(chunk.data(), static_cast<std::size_t>(got))) return false;
      continue;
    }
    char* out = nullptr;
    std::size_t outLength = 0;
    std::size_t outPrespace = 0;
    g_mime_filter_filter(decoder.get(), chunk.data(), static_cast<std::size_t>(got), 0, &out,
                         &outLength, &outPrespace);
    if (!hand(out, outLength)) return false;
  }
  if (decoder) {
    char* out = nullptr;
    std::size_t outLength = 0;
    std::size_t outPrespace = 0;
    g_mime_filter_complete(decoder.get(), nullptr, 0, 0, &out, &outLength, &outPrespace);
    if (!hand(out, outLength)) return false;
  }
  return true;
}

std::string mediaTypeOf(GMimeObject* object) {
  GMimeContentType* type = g_mime_object_get_content_type(object);
  if (!type) return "application/octet-stream";
  const GCharPtr mimeType(g_mime_content_type_get_mime_type(type));
  // A hostile mail may put any bytes in its media type; what leaves the engine is UTF-8.
  return mimeType ? repairUtf8(lowercase(mimeType.get())) : std::string("application/octet-stream");
}

std::string transferEncodingOf(GMimePart* part) {
  const char* name = g_mime_content_encoding_to_string(g_mime_part_get_content_encoding(part));
  return name ? repairUtf8(lowercase(name)) : std::string("7bit");
}

MailSource::MailSource(std::string bytes) : memory(std::move(bytes)), length_(memory.size()) {}

MailSource::MailSource(std::unique_ptr<ReadableFile> file)
    : file(std::move(file)), length_(this->file->length()) {}

int MailSource::readAt(std::uint64_t offset, char* destination, std::size_t count,
                       std::size_t& got) const {
  got = 0;
  if (!file) {
    if (offset >= memory.size()) return 0;
    got = static_cast<std::size_t>(std::min<std::uint64_t>(count, memory.size() - offset));
    std::copy_n(memory.data() + offset, got, destination);
    return 0;
  }
  return file->readAt(offset, reinterpret_cast<std::uint8_t*>(destination), count, got);
}

namespace {

// The GObject behind sourceStream(). GLib allocates it zeroed and runs no C++ constructor, so
// `source` is constructed in place by the instance initialiser and destroyed in finalize.
struct KorvaniSourceStream {
  GMimeStream parent;
  std::shared_ptr<const MailSource> source;
  int error;   // the errno of the first failed read
  bool ended;  // the source gave fewer bytes than its length promised: the file shrank
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

ssize_t sourceRead(GMimeStream* stream, char* buffer, std::size_t length) {
  KorvaniSourceStream* self = asSource(stream);
  const gint64 end = endOf(stream);
  if (stream->position > end) {
    errno = EINVAL;
    return -1;
  }
  const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(
      {length, kSourceReadWindow, static_cast<std::uint64_t>(end - stream->position)}));
  if (wanted == 0 || self->ended) return 0;
  std::size_t got = 0;
  const int error =
      self->source->readAt(static_cast<std::uint64_t>(stream->position), buffer, wanted, got);
  if (error != 0) {
    if (self->error == 0) self->error = error;
    errno = error;
    return -1;
  }
  if (got < wanted) self->ended = true;
  stream->position += static_cast<gint64>(got);
  return static_cast<ssize_t>(got);
}

ssize_t sourceWrite(GMimeStream*, const char*, std::size_t) {
  errno = EBADF;  // a mail is only read
  return -1;
}

int sourceFlush(GMimeStream*) { return 0; }
int sourceClose(GMimeStream*) { return 0; }

gboolean sourceEos(GMimeStream* stream) {
  return asSource(stream)->ended || stream->position >= endOf(stream);
}

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

void registerTypes() { g_type_ensure(sourceStreamType()); }

}  // namespace korvani::mail::shim
