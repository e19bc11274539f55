// Every adjustment Korvani makes to GMime's behaviour, in one place, so that the rest of the
// engine calls one stable API and a later GMime needs changes here only.
//
// - Parser options: fallback charsets for raw 8-bit headers, and GMime's warnings collected
//   (some failures are reported only through its warning callback).
// - File names: GMime reads a backslash in a quoted parameter as an escape and decodes RFC 2047
//   words in it with its own charset tables and the padding fault of 3.2.13; plainParameter()
//   gives the raw value instead, for Korvani's decoder.
// - Content: decoded through GMime's stream filters chunk by chunk, never as one buffer.
// - Mail files: read through the Platform, never by GMime itself. A MailSource holds the bytes
//   (in memory, or an open file read by position) and sourceStream() is a GMime stream over a
//   range of them; each such stream keeps its own position, so that two messages of one file
//   can be parsed and decoded on two threads at once.
// - Mail as old and broken mailers write it: a file whose lines end in a lone CR, a closing
//   delimiter with no line end after it, a part header that runs straight into its body, a
//   multipart that lost its boundary, a media type that cannot be read, a uuencoded body whose
//   begin line was folded like a header, Base64 that ends without its padding.
#pragma once

#include <gmime/gmime.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mail/c_handles.h"
#include "mail/mail_engine.h"
#include "platform/platform.h"

namespace korvani::mail::shim {

// The errno a read of a mail file gives when the file is no longer what was opened: it has
// fewer bytes than its length at the opening, or more.
inline constexpr int kSourceChanged = ESTALE;

// The bytes of one mail file, never changed once made: any number of streams, on any threads,
// may read them at once.
//
// A file whose lines end in a lone CR (old Mac mailers, some archives) is read with LF in place
// of each CR, so that the parser sees lines; a file is taken as such when its first 4 KiB (its
// first header lines, many times over) hold a CR and no LF.
class MailSource {
 public:
  // Bytes held in memory.
  explicit MailSource(std::string bytes);
  // The bytes of an open file, read where and when they are asked for. The file's readAt() must
  // be a positional read that is safe to call from several threads at once (Platform's are).
  // Reads its first 4 KiB to learn its line ends; a failure there shows again in later reads.
  explicit MailSource(std::unique_ptr<ReadableFile> file);
  // The bytes [begin, end) of `base` without the bytes at `removed` (offsets in `base`, in
  // ascending order, within the range): an mbox message whose escaped "From " lines each lose a
  // '>' as it is read, with no copy of it.
  MailSource(std::shared_ptr<const MailSource> base, std::uint64_t begin, std::uint64_t end,
             std::vector<std::uint64_t> removed);

  // The length in bytes: the memory's, or the file's when it was opened.
  std::uint64_t length() const { return length_; }

  // Copies up to `count` bytes at `offset` into `destination`; `got` receives how many, fewer
  // than `count` only at length(). Returns 0, or the OS's errno when the file could not be read,
  // or kSourceChanged when the file turns out shorter or longer than length() (each read of a
  // file also asks for the byte after its end): a file rewritten while it is read gives no bytes
  // that may belong to neither version. One rewritten to the same length is not seen.
  int readAt(std::uint64_t offset, char* destination, std::size_t count, std::size_t& got) const;

 private:
  std::string memory;
  std::unique_ptr<ReadableFile> file;      // null for bytes in memory
  std::shared_ptr<const MailSource> base;  // a range of another source, without `removed`
  std::uint64_t baseBegin = 0;
  std::vector<std::uint64_t> removed;
  std::uint64_t length_ = 0;
  bool crLineEnds = false;  // file: each CR read is handed over as LF (memory is changed once)
};

// Reads `file` whole (its length at the opening) into `bytes`. Returns 0, the OS's errno, or
// kSourceChanged when the file delivered fewer or more bytes than its length.
int readWhole(ReadableFile& file, std::string& bytes);

// Where the mail in [begin, end) of `source` starts: past the blank lines and the white space
// before its first field, which old mailers and archives leave there. `begin` when none, or
// when the source cannot be read (the parse then meets the failure).
std::uint64_t mailStart(const MailSource& source, std::uint64_t begin, std::uint64_t end);

// The most one read of a source stream asks of its source: however large a file is, it is read
// a window at a time into the caller's buffer, never whole.
inline constexpr std::size_t kSourceReadWindow = std::size_t{64} << 10;

// A read-only GMime stream over the bytes [begin, end) of `source`, positioned at `begin`, that
// holds `source` alive. It and each of its substreams keep their own position and read the
// source only by position (positions are offsets in the source, as in every GMime stream). A
// read fails (-1, errno set) when the source cannot be read or has changed (kSourceChanged).
GObjectPtr<GMimeStream> sourceStream(std::shared_ptr<const MailSource> source, std::uint64_t begin,
                                     std::uint64_t end);

// The errno of the first failed read of `stream`, made by sourceStream() (its substreams keep
// their own); 0 when none failed.
int sourceStreamError(GMimeStream* stream);

// Registers the source stream's type. Called once by MailLibrary on the main thread, so that no
// worker thread is the first to need it.
void registerTypes();

// Holds one converter open for each charset Japanese mail names, for as long as the library is
// set up: each call is matched by a releaseConverters(), and the last lets them go. glibc loads a
// charset's module with its first converter and unloads it with its last; GMime opens and closes a
// converter for each header or text it decodes, so without one held the modules would be mapped and
// unmapped mail after mail, and each unmapping interrupts every other thread of the process.
void holdConverters();
void releaseConverters();

// What the parser said about one message through its warning callback, and which of the bounds
// on what it reads (see parseMessage) stopped it.
struct ParserReport {
  bool truncated = false;        // the mail ends inside an open multipart
  bool nestingOverflow = false;  // GMime's own nesting bound was hit
  bool headerLimit = false;      // kMaxHeaderBytes or kMaxHeaderFields was reached
  bool delimiterLimit = false;   // kMaxDelimiterLines was reached
  bool preambleLimit = false;    // kMaxPreambleBytes was reached
  // Offsets of header lines that are neither a field nor a continuation, in order, and of the
  // parts whose header ran into a boundary with no empty line; at most kMaxReportedLines each.
  std::vector<std::int64_t> invalidLines;
  std::vector<std::int64_t> partsWithoutContent;
};
inline constexpr std::size_t kMaxReportedLines = 4096;

// Options for parsing one message; `report` must outlive the parse.
ParserOptionsPtr parserOptions(ParserReport& report);

// Bounds on what GMime is handed of one message (kMaxHeaderBytes and kMaxHeaderFields are in
// mail_engine.h). GMime builds an object for every header field and every part before Korvani
// sees any, hundreds of bytes each whatever the input spent on them; so a header or a list of
// parts that no real mail has is cut before GMime reads it: the parse ends where the bound was
// reached, as if the mail ended there, and the report says so. Delimiter lines are the lines that
// start with "--" and a character that is not white space, wherever they are.
inline constexpr std::uint64_t kMaxDelimiterLines = 2 * kMaxPartsPerMail;

// Parses one message from `stream` (a sourceStream(), positioned at its start), keeping the
// stream for the parts' content instead of copying it, within the bounds above. Null when GMime
// finds no message.
GObjectPtr<GMimeMessage> parseMessage(GMimeStream* stream, ParserReport& report);

// The value of the parameter `name` (e.g. "filename") as written in the raw header `header`
// of `object`, when it is given in the plain form name=value or name="value": quotes removed,
// a backslash kept as it stands (only \" is an escape), folding and encoded words left for the
// caller. Empty when absent or given only in the RFC 2231 form name*=.
std::optional<std::string> plainParameter(GMimeObject* object, const char* header,
                                          std::string_view name);

// A parameter given in the RFC 2231 form: name*=charset'lang'%XX..., or in sections name*0*=,
// name*1*=, name*2=... joined in number order, percent-escapes decoded. The bytes are left in
// their charset, for Korvani's own converters (GMime's would take ISO-2022-JP through iconv).
struct ExtendedParameter {
  std::string charset;  // as the first section names it; "" when it names none
  std::string bytes;
};
// Empty when `name` is given in none of these forms.
std::optional<ExtendedParameter> extendedParameter(GMimeObject* object, const char* header,
                                                   std::string_view name);

// The raw value of header `name` of `object`, or "" when absent.
std::string rawHeader(GMimeObject* object, const char* name);

// The Content-Type parameter `name` of `object`, as GMime reads it or, when GMime could not read
// the media type, as it is written. Empty when absent.
std::string contentTypeParameter(GMimeObject* object, const char* name);

// Whether `multipart` names a boundary. One that does not (its `boundary=` went onto a line of
// its own, which ends the header) holds its whole body as its prologue.
bool hasBoundary(GMimeMultipart* multipart);

// Mends the content of `part` as the mail's writer meant it, before anything reads it:
// - a part whose header runs straight into its body with no empty line (GMime skips such lines
//   as bad fields and finds no content) gets the body from its first line that is neither a
//   field nor a continuation up to the delimiter, as `report` says where those are;
// - a CR left before a delimiter that has no line end after it (the last bytes of the file)
//   belongs to the delimiter and is dropped.
// `stream` is the stream the message was parsed from.
void mendContent(GMimePart* part, GMimeStream* stream, const ParserReport& report);

// Mends a mail whose header runs straight into its text with no empty line (GMime reads the
// text as bad fields, and an empty body): a single-part body with no content gets the bytes from
// the first line after the last field that is neither a field nor a continuation, to the end of
// `stream` (the stream the message was parsed from, bounded). Returns whether it did; the mail
// is then not cut short, whatever GMime found of its header.
bool mendMessageBody(GMimeMessage* message, GMimeStream* stream, const ParserReport& report);

// The file name of the uuencoded body of `part` as its begin line gives it, continuation lines
// included; empty when it has none.
std::string uuencodedName(GMimePart* part);

// Whether the content of `part`, which the mail ends in without a closing delimiter, ends
// cleanly: on a line end, with its encoding complete (Base64 whole quanta with padding or a last
// line shorter than the first, uuencode up to its end line). Reads the part's content once.
bool endsCleanly(GMimePart* part);

// Streams the decoded content of `object` into `sink`, 64 KiB at a time: a part's content
// (Base64 with a tail that lacks its padding decoded too; uuencode after a begin line and its
// continuations), or the prologue of a multipart without a boundary. False when the content
// cannot be read, `sink` stops, or a uuencoded part with data lines decodes to nothing.
bool decodeContent(GMimeObject* object, const ChunkSink& sink, std::uint64_t* size);

// The length of the content of `object` as the mail holds it, encoded (the decoded content is
// never longer, but for uuencode by a line's first byte); 0 when it is not known.
std::size_t contentLength(GMimeObject* object);

// Decodes Base64 in `text`, the tail of 2 or 3 characters without padding included (it is never
// ambiguous). Characters outside the alphabet are skipped.
std::string decodeBase64(std::string_view text);

// The lower-case "type/subtype" of `object`; "text/plain" for a Content-Type that cannot be
// read (RFC 2045, 5.2).
std::string mediaTypeOf(GMimeObject* object);

// The lower-case transfer encoding of `part` ("7bit" when none is named).
std::string transferEncodingOf(GMimePart* part);

}  // namespace korvani::mail::shim
