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
#include "mail/rtf_text.h"
#include "mail/tnef_container.h"
#include "mail/tnef_reader.h"

namespace korvani::mail {

MailLibrary::MailLibrary() {
  g_mime_init();
  // libxml2 sets up its global tables on first use unless told to beforehand, and that first use
  // may be on a worker thread; so may the first source stream.
  xmlInitParser();
  shim::registerTypes();
  shim::holdConverters();
}
MailLibrary::~MailLibrary() {
  shim::releaseConverters();
  g_mime_shutdown();
}

namespace {

// What a member of a Container is: its bytes in memory, and what reads them.
struct MemberContent {
  std::shared_ptr<const std::string> holder;  // the container's decoded bytes, or the member's own
  std::string_view bytes;                     // within `holder`
  std::string charset;                        // Text: the charset of `bytes`; "" to guess
  std::vector<HeaderField> headers;           // Message
};

}  // namespace

struct Mail::Impl {
  GObjectPtr<GMimeMessage> message;
  std::string charset;  // the mail's own, for raw 8-bit header text that is not Japanese
  std::vector<MailPart> parts;
  std::vector<GMimeObject*> objects;  // per part, owned by `message`; null for a member
  std::vector<std::shared_ptr<const MemberContent>> members;  // per part; null but for a member
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
std::string proposedName(GMimeObject* object, const std::string& mailCharset, TextOrigin& origin) {
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
      std::string name = decodeHeaderText(*raw, charset, origin);
      if (!name.empty()) return name;
    }
    if (auto extended = shim::extendedParameter(object, source.header, source.parameter)) {
      std::string charsetRead = asciiLowercase(extended->charset);
      std::string name = extended->charset.empty()
                             ? rawTextToUtf8(extended->bytes, charset, charsetRead)
                             : charsetToUtf8(extended->charset, extended->bytes);
      if (!name.empty()) {
        origin.decoding = "rfc2231:" + charsetRead;
        origin.bytes = extended->bytes;
        return name;
      }
    }
  }
  origin = {};
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
    mail.members.emplace_back();
  }

  void addMember(MailPart part, std::shared_ptr<const MemberContent> content) {
    mail.parts.push_back(std::move(part));
    mail.objects.push_back(nullptr);
    mail.members.push_back(std::move(content));
  }

  // A part named as a winmail.dat or typed as one, whose decoded bytes are read as TNEF when
  // they start as TNEF does and fit in what is left of kMaxContainerBytes: then it is added as
  // a Container, followed by its members, and true is returned. Otherwise nothing is added.
  bool container(GMimeObject* object, MailPart& part, const std::string& proposed, int nesting) {
    const bool named = asciiLowercase(proposed) == "winmail.dat";
    if (!named && part.mediaType != "application/ms-tnef" &&
        part.mediaType != "application/vnd.ms-tnef") {
      return false;
    }
    const std::uint64_t room = kMaxContainerBytes - containerBytes;
    auto bytes = std::make_shared<std::string>();
    bytes->reserve(std::min<std::uint64_t>(shim::contentLength(object), room));
    const bool whole = shim::decodeContent(
        object,
        [&bytes, room](const std::uint8_t* data, std::size_t size) {
          if (bytes->size() + size > room) return false;
          bytes->append(reinterpret_cast<const char*>(data), size);
          return true;
        },
        nullptr);
    tnef::Message message;
    if (!whole || !tnef::readMessage(*bytes, message)) return false;
    containerBytes += bytes->size();
    part.role = PartRole::Container;
    const std::size_t at = mail.parts.size();
    const std::string prefix = part.path + "/" + part.name + ":";
    const int forwardDepth = part.forwardDepth;
    add(std::move(part), object);
    bool damaged = false;
    members(message, bytes, prefix, forwardDepth, nesting + 1, damaged);
    mail.parts[at].damaged = damaged;
    return true;
  }

  // Adds the members of `message`, whose bytes `holder` holds, numbered after `prefix`.
  void members(const tnef::Message& message, const std::shared_ptr<const std::string>& holder,
               const std::string& prefix, int forwardDepth, int nesting, bool& damaged) {
    if (message.damaged) damaged = true;
    if (message.limited && mail.limit == ReadLimit::None) mail.limit = ReadLimit::Parts;
    std::size_t number = 0;
    auto member = [&](PartRole role, std::string mediaType) {
      MailPart part;
      part.role = role;
      part.path = prefix + std::to_string(++number);
      part.mediaType = std::move(mediaType);
      part.transferEncoding = "binary";
      part.forwardDepth = forwardDepth;
      return part;
    };
    auto owned = [](std::string bytes) {
      auto content = std::make_shared<MemberContent>();
      auto held = std::make_shared<const std::string>(std::move(bytes));
      content->bytes = *held;
      content->holder = std::move(held);
      return content;
    };
    TnefBody body = tnefBody(message);
    if (body.damaged) damaged = true;
    if (!body.mediaType.empty() && admit(nesting)) {
      auto content = owned(std::move(body.bytes));
      content->charset = std::move(body.charset);
      addMember(member(PartRole::Text, body.mediaType), std::move(content));
    }
    if (auto calendar = tnefCalendar(message); calendar && admit(nesting)) {
      MailPart part = member(PartRole::Attachment, "text/calendar");
      const std::string subject = tnefText(message.subject, message.oemCodePage);
      std::string name = safeName(subject + ".ics", NameSource::DecodedText).name;
      if (name.empty() || subject.empty()) name = "meeting.ics";
      part.name = names.claim(name);
      part.nameDecoding = "none";  // a name made from the meeting's subject
      addMember(std::move(part), owned(std::move(*calendar)));
    }
    for (const tnef::Attachment& attachment : message.attachments) {
      if (!admit(nesting)) return;
      tnef::Message inner;
      const auto embedded =
          attachment.hasObject ? tnef::embeddedMessage(attachment.object) : std::nullopt;
      if (embedded && tnef::readMessage(*embedded, inner, false)) {
        MailPart part = member(PartRole::Message, "message/rfc822");
        part.forwardDepth = forwardDepth + 1;
        const std::string path = part.path;
        auto content = std::make_shared<MemberContent>();
        content->headers = tnefHeaders(inner);
        addMember(std::move(part), std::move(content));
        members(inner, holder, path + ".", forwardDepth + 1, nesting + 1, damaged);
        continue;
      }
      // An attachment whose data the damage took is not a file of nothing.
      if (!attachment.hasData && !attachment.hasObject && message.damaged) continue;
      MailPart part = member(PartRole::Attachment, tnefMediaType(attachment, message));
      TextOrigin origin;
      SafeName safe =
          safeName(tnefAttachmentName(attachment, message, &origin), NameSource::DecodedText);
      std::string name = std::move(safe.name);
      part.nameChanges = std::move(safe.changes);
      if (name.empty()) name = defaultAttachmentName(++unnamed, part.mediaType);
      part.name = names.claim(name);
      if (part.name != name) part.nameChanges.emplace_back("numbered");
      part.nameBytes = std::move(origin.bytes);
      part.nameDecoding = origin.decoding.empty() ? "none" : std::move(origin.decoding);
      auto content = std::make_shared<MemberContent>();
      content->holder = holder;
      content->bytes = attachment.hasData ? attachment.data : attachment.object;
      addMember(std::move(part), std::move(content));
    }
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
      TextOrigin origin;
      std::string proposed = proposedName(object, mail.charset, origin);
      if (proposed.empty() && part.transferEncoding == "x-uuencode") {
        origin.bytes = shim::uuencodedName(GMIME_PART(object));
        std::string charsetRead;
        proposed = rawTextToUtf8(origin.bytes, mail.charset, charsetRead);
        origin.decoding = "uuencode:" + charsetRead;
      }
      SafeName safe = safeName(proposed, NameSource::DecodedText);
      std::string name = std::move(safe.name);
      part.nameChanges = std::move(safe.changes);
      if (name.empty()) {
        name = defaultAttachmentName(++unnamed, part.mediaType);
        if (safe.verdict == ProposedNameVerdict::Unusable)
          part.nameChanges.emplace_back("unusable");
      }
      part.name = names.claim(name);
      if (part.name != name) part.nameChanges.emplace_back("numbered");
      part.nameBytes = std::move(origin.bytes);
      part.nameDecoding = origin.decoding.empty() ? "none" : std::move(origin.decoding);
      if (container(object, part, proposed, nesting)) return;
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
  std::uint64_t containerBytes = 0;  // held by the containers read so far
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
      GMimeObject* object = impl->objects[index];
      // A container's members were read from its bytes: the container is the part cut short.
      if (part.role == PartRole::Message || !object) continue;
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
  if (impl->members[index]) return impl->members[index]->headers;
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

std::string Mail::messageId(std::size_t index) const {
  if (index >= impl->parts.size() || impl->parts[index].role != PartRole::Message) return {};
  if (impl->members[index]) return {};  // a message inside a container carries none here
  GMimeHeader* header = g_mime_header_list_get_header(
      g_mime_object_get_header_list(impl->objects[index]), "Message-ID");
  const char* raw = header ? g_mime_header_get_raw_value(header) : nullptr;
  std::string id = decodeHeaderText(raw ? raw : "");
  if (id.size() >= 2 && id.front() == '<' && id.back() == '>') id = id.substr(1, id.size() - 2);
  return id;
}

bool Mail::decode(std::size_t index, const ChunkSink& sink, std::uint64_t* size) const {
  if (size) *size = 0;
  if (index >= impl->parts.size() || impl->parts[index].role == PartRole::Message) return false;
  if (const auto& member = impl->members[index]) {
    constexpr std::size_t kChunk = std::size_t{64} << 10;
    const std::string_view bytes = member->bytes;
    for (std::size_t at = 0; at < bytes.size(); at += kChunk) {
      const std::size_t chunk = std::min(kChunk, bytes.size() - at);
      if (!sink(reinterpret_cast<const std::uint8_t*>(bytes.data() + at), chunk)) return false;
      if (size) *size += chunk;
    }
    return true;
  }
  return shim::decodeContent(impl->objects[index], sink, size);
}

std::uint64_t Mail::decodedSize(std::size_t index) const {
  std::uint64_t size = 0;
  decode(
      index, [](const std::uint8_t*, std::size_t) { return true; }, &size);
  return size;
}

std::string Mail::text(std::size_t index, std::string_view override) const {
  // A large text is held at most twice at a time: as it was decoded and as it was converted.
  if (index >= impl->parts.size()) return {};
  const MemberContent* member = impl->members[index].get();
  if (member && impl->parts[index].mediaType == "text/rtf") {
    return normalizeText(rtfToText(member->bytes, member->charset));
  }
  std::string bytes;
  if (member) {
    bytes = member->bytes;
  } else {
    bytes.reserve(shim::contentLength(impl->objects[index]));
    if (!decode(index, [&bytes](const std::uint8_t* data, std::size_t size) {
          bytes.append(reinterpret_cast<const char*>(data), size);
          return true;
        })) {
      if (bytes.empty()) return {};
    }
  }
  std::string charset =
      !override.empty() ? std::string(override)
                        : (member ? member->charset
                                  : shim::contentTypeParameter(impl->objects[index], "charset"));
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

std::uint64_t MailFile::length() const { return impl->source->length(); }

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

std::optional<std::string> MailFile::source(std::size_t index, std::size_t maxBytes, bool& cut,
                                            int& errorNumber) const {
  errorNumber = 0;
  cut = false;
  if (index >= messageCount()) return std::string();
  const MboxMessage range =
      impl->mbox ? impl->messages[index] : MboxMessage{0, impl->source->length(), false};
  const std::uint64_t length = range.end - range.begin;
  cut = length > maxBytes;
  std::string bytes(static_cast<std::size_t>(std::min<std::uint64_t>(length, maxBytes)), '\0');
  std::size_t got = 0;
  errorNumber = impl->source->readAt(range.begin, bytes.data(), bytes.size(), got);
  if (errorNumber != 0) return std::nullopt;
  bytes.resize(got);
  return bytes;
}

std::unique_ptr<Mail> parseMail(std::string_view bytes) {
  auto source = std::make_shared<const shim::MailSource>(std::string(bytes));
  auto stream =
      shim::sourceStream(source, shim::mailStart(*source, 0, source->length()), source->length());
  return parseStream(stream.get());
}

}  // namespace korvani::mail
