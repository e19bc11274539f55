#include "mail/tnef_container.h"

#include <array>
#include <cstdio>
#include <string_view>

#include "mail/compressed_rtf.h"
#include "mail/mail_text.h"

namespace korvani::mail {
namespace {

unsigned namesCodePage(const tnef::Message& message) {
  return message.oemCodePage != 0 ? message.oemCodePage : message.internetCodePage;
}

unsigned bodyCodePage(const tnef::Message& message) {
  return message.internetCodePage != 0 ? message.internetCodePage : message.oemCodePage;
}

std::string_view untilNul(std::string_view bytes) {
  return bytes.substr(0, std::min(bytes.size(), bytes.find('\0')));
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The body's bytes in a charset charsetToUtf8() reads.
std::string bodyBytes(const tnef::Text& text, unsigned codePage, std::string& charset) {
  if (text.utf16) {
    charset = "utf-8";
    return utf16LeToUtf8(text.bytes);
  }
  charset = codePageCharset(codePage);
  return std::string(untilNul(text.bytes));
}

constexpr std::array<const char*, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// "1 May 2024 09:30:00 +0000", without the zone when the stream does not say it.
std::string headerDate(const tnef::Date& date) {
  std::array<char, 64> text{};
  std::snprintf(text.data(), text.size(), "%d %s %04d %02d:%02d:%02d%s", date.day,
                kMonths[static_cast<std::size_t>(date.month - 1)], date.year, date.hour,
                date.minute, date.second, date.utc ? " +0000" : "");
  return text.data();
}

// "20240501T093000Z", floating (no Z) when the zone is not known.
std::string calendarDate(const tnef::Date& date) {
  std::array<char, 32> text{};
  std::snprintf(text.data(), text.size(), "%04d%02d%02dT%02d%02d%02d%s", date.year, date.month,
                date.day, date.hour, date.minute, date.second, date.utc ? "Z" : "");
  return text.data();
}

// A content line of an iCalendar object: TEXT escaped, folded at 75 bytes on a character
// boundary.
void appendCalendarLine(std::string& out, std::string_view name, std::string_view value,
                        bool text = true) {
  std::string line(name);
  line += ':';
  for (const char c : value) {
    if (text && c == '\r') continue;
    if (text && c == '\n') {
      line += "\\n";
      continue;
    }
    if (text && (c == '\\' || c == ';' || c == ',')) line += '\\';
    line += c;
  }
  // A character starting before column 72 ends by column 75, however long it is.
  std::size_t width = 0;
  for (std::size_t at = 0; at < line.size(); ++at) {
    const bool continuation = (static_cast<unsigned char>(line[at]) & 0xC0) == 0x80;
    if (width >= 72 && !continuation) {
      out += "\r\n ";
      width = 1;
    }
    out += line[at];
    ++width;
  }
  out += "\r\n";
}

}  // namespace

std::string tnefText(const tnef::Text& text, unsigned codePage) {
  if (text.utf16) return std::string(trimmed(utf16LeToUtf8(text.bytes)));
  const std::string_view bytes = untilNul(text.bytes);
  const std::string charset = codePageCharset(codePage);
  return std::string(
      trimmed(charset.empty() ? rawTextToUtf8(bytes) : charsetToUtf8(charset, bytes)));
}

std::vector<HeaderField> tnefHeaders(const tnef::Message& message) {
  std::vector<HeaderField> fields;
  const unsigned codePage = namesCodePage(message);
  const std::string name = tnefText(message.senderName, codePage);
  const std::string address = tnefText(message.senderAddress, codePage);
  if (!name.empty() || !address.empty()) {
    std::string from = name;
    if (!address.empty()) from += name.empty() ? address : " <" + address + ">";
    fields.push_back({"From", from});
  }
  if (message.sent) fields.push_back({"Date", headerDate(*message.sent)});
  const std::string subject = tnefText(message.subject, codePage);
  if (!subject.empty()) fields.push_back({"Subject", subject});
  return fields;
}

TnefBody tnefBody(const tnef::Message& message) {
  TnefBody body;
  const unsigned codePage = bodyCodePage(message);
  if (!message.html.empty()) {
    body.mediaType = "text/html";
    body.bytes = bodyBytes(message.html, codePage, body.charset);
    return body;
  }
  if (!message.compressedRtf.empty()) {
    DecompressedRtf rtf = decompressRtf(message.compressedRtf);
    body.damaged = rtf.damaged;
    if (!rtf.rtf.empty()) {
      body.mediaType = "text/rtf";
      body.bytes = std::move(rtf.rtf);
      body.charset = codePageCharset(codePage);
      return body;
    }
  }
  if (!message.body.empty()) {
    body.mediaType = "text/plain";
    body.bytes = bodyBytes(message.body, codePage, body.charset);
  }
  return body;
}

std::string tnefAttachmentName(const tnef::Attachment& attachment, const tnef::Message& message,
                               TextOrigin* origin) {
  for (const tnef::Text* name :
       {&attachment.longName, &attachment.title, &attachment.displayName}) {
    std::string text = tnefText(*name, namesCodePage(message));
    if (text.empty()) continue;
    if (origin) {
      origin->bytes = std::string(name->utf16 ? name->bytes : untilNul(name->bytes));
      const std::string charset = codePageCharset(namesCodePage(message));
      origin->decoding = "tnef:" + (name->utf16       ? std::string("utf-16le")
                                    : charset.empty() ? std::string("unknown")
                                                      : asciiLowercase(charset));
    }
    return text;
  }
  return {};
}

std::string tnefMediaType(const tnef::Attachment& attachment, const tnef::Message& message) {
  const std::string tag = asciiLowercase(tnefText(attachment.mimeTag, namesCodePage(message)));
  const std::size_t slash = tag.find('/');
  // type "/" subtype, each an RFC 2045 token.
  bool token = tag.size() <= 255 && slash != std::string::npos && slash > 0 &&
               slash + 1 < tag.size() && tag.find('/', slash + 1) == std::string::npos;
  for (const char c : tag) {
    const auto byte = static_cast<unsigned char>(c);
    token = token && byte > 0x20 && byte < 0x7F &&
            std::string_view(" ;\"\\()<>@,:[]?=").find(c) == std::string_view::npos;
  }
  return token ? tag : "application/octet-stream";
}

std::optional<std::string> tnefCalendar(const tnef::Message& message) {
  const std::string type = tnefText(message.messageClass, namesCodePage(message));
  const bool meeting = type.starts_with("IPM.Microsoft Schedule.") ||
                       type.starts_with("IPM.Schedule.Meeting.") || type == "IPM.Appointment";
  if (!meeting || !message.start) return std::nullopt;
  const bool cancelled =
      type.find("Cncl") != std::string::npos || type.find("Canceled") != std::string::npos;
  const std::string subject = tnefText(message.subject, namesCodePage(message));
  const std::string start = calendarDate(*message.start);
  std::string out;
  appendCalendarLine(out, "BEGIN", "VCALENDAR", false);
  appendCalendarLine(out, "VERSION", "2.0", false);
  appendCalendarLine(out, "PRODID", "-//Korvani//winmail.dat//EN", false);
  appendCalendarLine(out, "METHOD", cancelled ? "CANCEL" : "REQUEST", false);
  appendCalendarLine(out, "BEGIN", "VEVENT", false);
  // The stream names no identifier of its own that is worth keeping: one made of what it says.
  std::uint32_t hash = 2166136261U;
  for (const char c : subject + start) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619U;
  std::array<char, 16> uid{};
  std::snprintf(uid.data(), uid.size(), "%08x", hash);
  appendCalendarLine(out, "UID", start + "-" + uid.data() + "@winmail.dat", false);
  appendCalendarLine(out, "DTSTAMP", calendarDate(message.sent ? *message.sent : *message.start),
                     false);
  appendCalendarLine(out, "DTSTART", start, false);
  if (message.end) appendCalendarLine(out, "DTEND", calendarDate(*message.end), false);
  if (!subject.empty()) appendCalendarLine(out, "SUMMARY", subject);
  const std::string location = tnefText(message.location, namesCodePage(message));
  if (!location.empty()) appendCalendarLine(out, "LOCATION", location);
  if (!message.body.empty()) {
    std::string charset;
    const std::string bytes = bodyBytes(message.body, bodyCodePage(message), charset);
    std::string text =
        normalizeText(charset.empty() ? rawTextToUtf8(bytes) : charsetToUtf8(charset, bytes));
    while (!text.empty() && text.back() == '\n') text.pop_back();
    if (!text.empty()) appendCalendarLine(out, "DESCRIPTION", text);
  }
  if (cancelled) appendCalendarLine(out, "STATUS", "CANCELLED", false);
  appendCalendarLine(out, "END", "VEVENT", false);
  appendCalendarLine(out, "END", "VCALENDAR", false);
  return out;
}

}  // namespace korvani::mail
