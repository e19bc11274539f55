#include "mail/mail_engine.h"

#include <array>
#include <cerrno>
#include <string>

#include "common/safe_name.h"
#include "mail/attachment_name.h"
#include "mail/c_handles.h"
#include "mail/gmime_shim.h"
#include "mail/html_text.h"
#include "mail/mail_text.h"
#include "mail/mbox_splitter.h"

namespace korvani::mail {

MailLibrary::MailLibrary() {
  g_mime_init();
  // libxml2 sets up its global tables on first use unless told to beforehand, and that first use
  // may be on a worker thread; so may the first source stream.
  xmlInitParser();
  shim::registerTypes();
}
MailLibrary::~MailLibrary() { g_mime_shutdown(); }

struct Mail::Impl {
  GObjectPtr<GMimeMessage> message;
  std::string charset;  // the mail's own, for raw 8-bit header text that is not Japanese
  std::vector<MailPart> parts;
  std::vector<GMimeObject*> objects;  // per part, owned by `message`
  ReadLimit limit = ReadLimit::None;
};

namespace {

constexpr std::array<const char*, 5> kShownFields{"From", "To", "Cc", "Date", "Subject"};

std::string childPath(const std::string& parent, std::size_t number) {
  return parent.empty() ? std::to_string(number) : parent + "." + std::to_string(number);
}

bool isBodyText(GMimeObject* object, const std::string& mediaType) {
  if (mediaType != "text/plain" && mediaType != "text/html") return false;
  const char* disposition = g_mime_object_get_disposition(object);
  if (disposition && g_ascii_strcasecmp(disposition, "attachment") == 0) return false;
  return !shim::plainParameter(object, "Content-Disposition", "filename") &&
         !g_mime_object_get_content_disposition_parameter(object, "filename") &&
         shim::contentTypeParameter(object, "name").empty();
}

// The charset the mail declares: its body's, or the first one down its first parts.
std::string mailCharset(GMimeMessage* message) {
  GMimeObject* object = g_mime_message_get_mime_part(message);
  for (int depth = 0; object && depth < kMaxNesting; ++depth) {
    std::string charset = shim::contentTypeParameter(object, "charset");
    if (!charset.empty()) return charset;
    if (!GMIME_IS_MULTIPART(object) || g_mime_multipart_get_count(GMIME_MULTIPART(object)) == 0) {
      break;
    }
    object = g_mime_multipart_get_part(GMIME_MULTIPART(object), 0);
  }
  return {};
}

// The name the part proposes, decoded. Both the plain forms and the RFC 2231 forms (name*=) are
// read raw and decoded by Korvani, whose converters know the Windows rows of ISO-2022-JP. Raw
// 8-bit text that is no Japanese is read in the part's charset, else `mailCharset`.
std::string proposedName(GMimeObject* object, const std::string& mailCharset) {
  std::string charset = shim::contentTypeParameter(object, "charset");
  if (charset.empty()) charset = mailCharset;
  struct Source {
    const char* header;
    const char* parameter;
    bool disposition;
  };
  for (const Source& source :
       {Source{"Content-Disposition", "filename", true}, Source{"Content-Type", "name", false}}) {
    if (auto raw = shim::plainParameter(object, source.header, source.parameter)) {
      std::string name = decodeHeaderText(*raw, charset);
      if (!name.empty()) return name;
    }
    if (auto extended = shim::extendedParameter(object, source.header, source.parameter)) {
      std::string name = extended->charset.empty()
                             ? rawTextToUtf8(extended->bytes, charset)
                             : charsetToUtf8(extended->charset, extended->bytes);
      if (!name.empty()) return name;
    }
  }
  return {};
}

class Walker {
 public:
  Walker(Mail::Impl& mail, GMimeStream* stream, const shim::ParserReport& report)
      : mail(mail), stream(stream), report(report) {}

  void message(GMimeMessage* message, const std::string& path, int forwardDepth, int nesting) {
    if (!admit(nesting)) return;
    MailPart part;
    part.role = PartRole::Message;
    part.path = path;
    part.mediaType = "message/rfc822";
    part.forwardDepth = forwardDepth;
    add(std::move(part), GMIME_OBJECT(message));
    GMimeObject* body = g_mime_message_get_mime_part(message);
    if (!body) return;
    if (GMIME_IS_MULTIPART(body)) {
      node(body, path, forwardDepth, nesting + 1, true);
    } else {
      node(body, childPath(path, 1), forwardDepth, nesting + 1, true);
    }
  }

 private:
  bool admit(int nesting) {
    if (nesting > kMaxNesting) {
      if (mail.limit == ReadLimit::None) mail.limit = ReadLimit::Nesting;
      return false;
    }
    if (mail.parts.size() >= kMaxPartsPerMail) {
      if (mail.limit == ReadLimit::None) mail.limit = ReadLimit::Parts;
      return false;
    }
    return true;
  }

  void add(MailPart part, GMimeObject* object) {
    mail.parts.push_back(std::move(part));
    mail.objects.push_back(object);
  }

  // A multipart's own path is the prefix of its children's (the top one's is "").
  void node(GMimeObject* object, const std::string& path, int forwardDepth, int nesting,
            bool shown) {
    if (!admit(nesting)) return;
    if (GMIME_IS_MULTIPART(object) && !shim::hasBoundary(GMIME_MULTIPART(object))) {
      // Its body cannot be cut into parts; it is read as the text it is.
      MailPart part;
      part.role = PartRole::Text;
      part.path = path.empty() ? "1" : path;
      part.mediaType = "text/plain";
      part.transferEncoding = "7bit";
      part.forwardDepth = forwardDepth;
      part.shown = shown;
      add(std::move(part), object);
      return;
    }
    if (GMIME_IS_MULTIPART(object)) {
      GMimeMultipart* multipart = GMIME_MULTIPART(object);
      const int count = g_mime_multipart_get_count(multipart);
      const bool alternative = mediaTypeIs(object, "multipart/alternative");
      const int chosen = alternative ? chooseAlternative(multipart) : -1;
      for (int i = 0; i < count; ++i) {
        GMimeObject* child = g_mime_multipart_get_part(multipart, i);
        const std::string path_ = childPath(path, static_cast<std::size_t>(i) + 1);
        const bool childShown = shown && (!alternative || i == chosen);
        node(child, path_, forwardDepth, nesting + 1, childShown);
      }
      return;
    }
    if (GMIME_IS_MESSAGE_PART(object)) {
      GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
      if (inner) {
        message(inner, path, forwardDepth + 1, nesting + 1);
        return;
      }
    }
    if (!GMIME_IS_PART(object)) return;
    shim::mendContent(GMIME_PART(object), stream, report);
    MailPart part;
    part.path = path;
    part.mediaType = shim::mediaTypeOf(object);
    part.transferEncoding = shim::transferEncodingOf(GMIME_PART(object));
    part.forwardDepth = forwardDepth;
    if (isBodyText(object, part.mediaType)) {
      part.role = PartRole::Text;
      part.shown = shown;
    } else {
      part.role = PartRole::Attachment;
      std::string proposed = proposedName(object, mail.charset);
      if (proposed.empty() && part.transferEncoding == "x-uuencode") {
        proposed = shim::uuencodedName(GMIME_PART(object));
      }
      std::string name = safeName(proposed, NameSource::DecodedText).name;
      if (name.empty()) name = defaultAttachmentName(++unnamed, part.mediaType);
      part.name = names.claim(name);
    }
    add(std::move(part), object);
  }

  static bool mediaTypeIs(GMimeObject* object, std::string_view type) {
    return shim::mediaTypeOf(object) == type;
  }

  // The text/plain alternative when there is one, else the last (the richest) one.
  static int chooseAlternative(GMimeMultipart* multipart) {
    const int count = g_mime_multipart_get_count(multipart);
    for (int i = 0; i < count; ++i) {
      GMimeObject* child = g_mime_multipart_get_part(multipart, i);
      if (GMIME_IS_PART(child) && isBodyText(child, shim::mediaTypeOf(child)) &&
          mediaTypeIs(child, "text/plain")) {
        return i;
      }
    }
    return count - 1;
  }

  Mail::Impl& mail;
  GMimeStream* stream;
  const shim::ParserReport& report;
  NameRegistry names;
  std::size_t unnamed = 0;
};

bool hasAnyHeader(GMimeObject* message) {
  if (g_mime_header_list_get_count(g_mime_object_get_header_list(message)) > 0) return true;
  GMimeObject* body = g_mime_message_get_mime_part(GMIME_MESSAGE(message));
  return body && g_mime_header_list_get_count(g_mime_object_get_header_list(body)) > 0;
}

std::unique_ptr<Mail> parseStream(GMimeStream* stream) {
  shim::ParserReport report;
  auto message = shim::parseMessage(stream, report);
  // GMime makes a message of a file that opens with an empty line, with no header at all.
  if (!message || !hasAnyHeader(GMIME_OBJECT(message.get()))) return nullptr;
  if (shim::mendMessageBody(message.get(), stream, report)) report.truncated = false;
  auto impl = std::make_unique<Mail::Impl>();
  impl->charset = mailCharset(message.get());
  Walker(*impl, stream, report).message(message.get(), "", 0, 0);
  impl->message = std::move(message);
  if (report.preambleLimit) impl->limit = ReadLimit::Preamble;
  if (report.headerLimit) impl->limit = ReadLimit::Header;
  if (report.delimiterLimit) impl->limit = ReadLimit::Parts;
  if (report.nestingOverflow && impl->limit == ReadLimit::None) impl->limit = ReadLimit::Nesting;
  if (report.truncated) {
    for (std::size_t index = impl->parts.size(); index-- > 0;) {
      MailPart& part = impl->parts[index];
      if (part.role == PartRole::Message) continue;
      GMimeObject* object = impl->objects[index];
      if (GMIME_IS_PART(object) && shim::endsCleanly(GMIME_PART(object))) {
        part.unterminated = true;
      } else {
        part.truncated = true;
      }
      break;
    }
  }
  return std::make_unique<Mail>(std::move(impl));
}

}  // namespace

Mail::Mail(std::unique_ptr<Impl> impl) : impl(std::move(impl)) {}
Mail::~Mail() = default;

const std::vector<MailPart>& Mail::parts() const { return impl->parts; }
ReadLimit Mail::limit() const { return impl->limit; }

std::vector<HeaderField> Mail::headers(std::size_t index) const {
  std::vector<HeaderField> fields;
  if (index >= impl->parts.size() || impl->parts[index].role != PartRole::Message) return fields;
  GMimeObject* message = impl->objects[index];
  for (const char* name : kShownFields) {
    GMimeHeader* header =
        g_mime_header_list_get_header(g_mime_object_get_header_list(message), name);
    if (!header) continue;
    const char* raw = g_mime_header_get_raw_value(header);
    fields.push_back({name, decodeHeaderText(raw ? raw : "", impl->charset)});
  }
  return fields;
}

bool Mail::decode(std::size_t index, const ChunkSink& sink, std::uint64_t* size) const {
  if (size) *size = 0;
  if (index >= impl->parts.size() || impl->parts[index].role == PartRole::Message) return false;
  return shim::decodeContent(impl->objects[index], sink, size);
}

std::uint64_t Mail::decodedSize(std::size_t index) const {
  std::uint64_t size = 0;
  decode(
      index, [](const std::uint8_t*, std::size_t) { return true; }, &size);
  return size;
}

std::string Mail::text(std::size_t index) const {
  // A large text is held at most twice at a time: as it was decoded and as it was converted.
  std::string bytes;
  if (index < impl->objects.size()) bytes.reserve(shim::contentLength(impl->objects[index]));
  if (!decode(index, [&bytes](const std::uint8_t* data, std::size_t size) {
        bytes.append(reinterpret_cast<const char*>(data), size);
        return true;
      })) {
    if (bytes.empty()) return {};
  }
  std::string charset = shim::contentTypeParameter(impl->objects[index], "charset");
  if (charset.empty()) charset = guessCharset(bytes);
  std::string converted = charset.empty() ? rawTextToUtf8(bytes) : charsetToUtf8(charset, bytes);
  std::string().swap(bytes);
  std::string text = normalizeText(std::move(converted));
  if (impl->parts[index].mediaType == "text/html") text = htmlToText(text);
  return text;
}

struct MailFile::Impl {
  std::shared_ptr<const shim::MailSource> source;  // the whole file, in memory or on the disk
  MailFileTimes times;
  bool stream = false;
  bool mbox = false;
  std::vector<MboxMessage> messages;
};

MailFile::MailFile(std::unique_ptr<Impl> impl) : impl(std::move(impl)) {}
MailFile::~MailFile() = default;

namespace {

// A mail file up to this size is read whole with one read and parsed from memory, which saves
// the parser's many small reads; a larger one is read a window at a time as it is parsed, so that
// memory stays bounded whatever the file's size.
constexpr std::uint64_t kReadWholeBelow = std::uint64_t{1} << 20;

// Reads the bytes [begin, end) of `source` in order, for the mbox passes; a failed read sets
// `errorNumber` (the OS's errno, or shim::kSourceChanged).
ChunkReader rangeReader(const shim::MailSource& source, std::uint64_t begin, std::uint64_t end,
                        int& errorNumber) {
  return [&source, offset = begin, end, &errorNumber](char* buffer, std::size_t size) mutable {
    std::size_t delivered = 0;
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(size, end - offset));
    errorNumber = source.readAt(offset, buffer, wanted, delivered);
    offset += delivered;
    return errorNumber != 0 ? -1L : static_cast<long>(delivered);
  };
}

}  // namespace

std::unique_ptr<MailFile> MailFile::open(Platform& platform, const std::string& path,
                                         int& errorNumber) {
  errorNumber = 0;
  const bool stream = platform.isStream(path);
  std::unique_ptr<ReadableFile> file =
      stream ? platform.readStream(path, &errorNumber)
             : platform.openForReading(path, ShareMode::Shared, &errorNumber);
  if (!file) {
    if (errorNumber == 0) errorNumber = EIO;
    return nullptr;
  }
  auto opened = read(std::move(file), errorNumber);
  if (opened) opened->impl->stream = stream;
  return opened;
}

std::unique_ptr<MailFile> MailFile::read(std::unique_ptr<ReadableFile> file, int& errorNumber) {
  errorNumber = 0;
  auto impl = std::make_unique<Impl>();
  const FileTimes times = file->times();
  impl->times = {times.lastWrite, times.lastAccess};
  if (file->length() < kReadWholeBelow) {
    std::string bytes;
    errorNumber = shim::readWhole(*file, bytes);
    if (errorNumber != 0) return nullptr;
    impl->source = std::make_shared<const shim::MailSource>(std::move(bytes));
  } else {
    impl->source = std::make_shared<const shim::MailSource>(std::move(file));
  }
  const shim::MailSource& source = *impl->source;
  std::array<char, 5> head{};
  std::size_t got = 0;
  errorNumber = source.readAt(0, head.data(), head.size(), got);
  if (errorNumber != 0) return nullptr;
  impl->mbox = looksLikeMbox(std::string_view(head.data(), got));
  if (impl->mbox &&
      !splitMbox(rangeReader(source, 0, source.length(), errorNumber), impl->messages)) {
    return nullptr;
  }
  return std::make_unique<MailFile>(std::move(impl));
}

MailFileTimes MailFile::times() const { return impl->times; }

bool MailFile::isMbox() const { return impl->mbox; }

bool MailFile::isStream() const { return impl->stream; }

std::size_t MailFile::messageCount() const { return impl->mbox ? impl->messages.size() : 1; }

std::unique_ptr<Mail> MailFile::parse(std::size_t index, int* errorNumber) const {
  int ignored = 0;
  int& error = errorNumber ? *errorNumber : ignored;
  error = 0;
  if (index >= messageCount()) return nullptr;
  const MboxMessage range =
      impl->mbox ? impl->messages[index] : MboxMessage{0, impl->source->length(), false};
  std::shared_ptr<const shim::MailSource> source = impl->source;
  std::uint64_t begin = range.begin;
  std::uint64_t end = range.end;
  if (range.hasEscapedFrom) {
    // Escaped "From " lines lose their first '>' as the message is read.
    std::vector<std::uint64_t> removed;
    if (!escapedFromOffsets(rangeReader(*impl->source, range.begin, range.end, error), range.begin,
                            removed)) {
      return nullptr;
    }
    source = std::make_shared<const shim::MailSource>(impl->source, range.begin, range.end,
                                                      std::move(removed));
    begin = 0;
    end = source->length();
  }
  // A stream of this parse's own: the parser moves its position, and the mail keeps it (through
  // the parts' substreams) to decode the parts later.
  const std::uint64_t start = shim::mailStart(*source, begin, end);
  auto stream = shim::sourceStream(source, start, end);
  auto mail = parseStream(stream.get());
  error = shim::sourceStreamError(stream.get());
  if (error != 0) return nullptr;
  return mail;
}

std::unique_ptr<Mail> parseMail(std::string_view bytes) {
  auto source = std::make_shared<const shim::MailSource>(std::string(bytes));
  auto stream =
      shim::sourceStream(source, shim::mailStart(*source, 0, source->length()), source->length());
  return parseStream(stream.get());
}

}  // namespace korvani::mail
