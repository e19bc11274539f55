// Every adjustment Korvani makes to GMime's behaviour, in one place, so that the rest of the
// engine calls one stable API and a later GMime needs changes here only.
//
// - Parser options: fallback charsets for raw 8-bit headers, and GMime's warnings collected
//   (some failures are reported only through its warning callback).
// - File names: GMime reads a backslash in a quoted parameter as an escape and decodes RFC 2047
//   words in it with its own charset tables and the padding fault of 3.2.13; plainParameter()
//   gives the raw value instead, for Korvani's decoder.
// - Content: decoded through GMime's stream filters chunk by chunk, never as one buffer.
#pragma once

#include <gmime/gmime.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mail/c_handles.h"
#include "mail/mail_engine.h"

namespace korvani::mail::shim {

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
