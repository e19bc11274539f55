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
#pragma once

#include <gmime/gmime.h>

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

// The bytes of one mail file, never changed once made: any number of streams, on any threads,
// may read them at once.
class MailSource {
 public:
  // Bytes held in memory.
  explicit MailSource(std::string bytes);
  // The bytes of an open file, read where and when they are asked for. The file's readAt() must
  // be a positional read that is safe to call from several threads at once (Platform's are).
  explicit MailSource(std::unique_ptr<ReadableFile> file);

  // The length in bytes: the memory's, or the file's when it was opened.
  std::uint64_t length() const { return length_; }

  // Copies up to `count` bytes at `offset` into `destination`; `got` receives how many, fewer
  // than `count` only at the end. Returns 0, or the OS's errno when the file could not be read.
  int readAt(std::uint64_t offset, char* destination, std::size_t count, std::size_t& got) const;

 private:
  std::string memory;
  std::unique_ptr<ReadableFile> file;  // null for bytes in memory
  std::uint64_t length_ = 0;
};

// The most one read of a source stream asks of its source: however large a file is, it is read
// a window at a time into the caller's buffer, never whole.
inline constexpr std::size_t kSourceReadWindow = std::size_t{64} << 10;

// A read-only GMime stream over the bytes [begin, end) of `source`, positioned at `begin`, that
// holds `source` alive. It and each of its substreams keep their own position and read the
// source only by position (positions are offsets in the source, as in every GMime stream). A
// read fails (-1, errno set) when the source cannot be read; a file that turns out shorter than
// it was ends where its bytes do.
GObjectPtr<GMimeStream> sourceStream(std::shared_ptr<const MailSource> source, std::uint64_t begin,
                                     std::uint64_t end);

// The errno of the first failed read of `stream`, made by sourceStream() (its substreams keep
// their own); 0 when none failed.
int sourceStreamError(GMimeStream* stream);

// Registers the source stream's type. Called once by MailLibrary on the main thread, so that no
// worker thread is the first to need it.
void registerTypes();

// What the parser said about one message through its warning callback.
struct ParserReport {
  bool truncated = false;        // the mail ends inside an open multipart
  bool nestingOverflow = false;  // GMime's own nesting bound was hit
};

// Options for parsing one message; `report` must outlive the parse.
ParserOptionsPtr parserOptions(ParserReport& report);

// Parses one message from `stream` (positioned at its start), keeping the stream for the parts'
// content instead of copying it. Null when GMime finds no message.
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

// Streams the decoded content of `part` into `sink`, 64 KiB at a time.
bool decodeContent(GMimePart* part, const ChunkSink& sink, std::uint64_t* size);

// The lower-case "type/subtype" of `object`.
std::string mediaTypeOf(GMimeObject* object);

// The lower-case transfer encoding of `part` ("7bit" when none is named).
std::string transferEncodingOf(GMimePart* part);

}  // namespace korvani::mail::shim
