#include "support/tnef_writer.h"

#include <algorithm>

#include "common/base64.h"

namespace korvani::testing {
namespace {

constexpr std::uint16_t kPtLong = 0x0003;
constexpr std::uint16_t kPtSysTime = 0x0040;
constexpr std::uint16_t kPtString8 = 0x001E;
constexpr std::uint16_t kPtUnicode = 0x001F;
constexpr std::uint16_t kPtBinary = 0x0102;
constexpr std::uint16_t kPtObject = 0x000D;

// The dictionary compressed RTF starts from.
constexpr const char* kRtfDictionary =
    "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss \\fmodern "
    "\\fscript \\fdecor MS Sans SerifSymbolArialTimes New RomanCourier{\\colortbl\\red0\\green0"
    "\\blue0\r\n\\par \\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx";

void put(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i) & 0xFF);
}

std::string padded(const std::string& bytes) {
  return bytes + std::string((4 - bytes.size() % 4) % 4, '\0');
}

std::string utf16(const std::string& utf8) {
  std::string out;
  for (std::size_t at = 0; at < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[at]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    std::uint32_t character = length == 1   ? lead
                              : length == 2 ? lead & 0x1F
                              : length == 3 ? lead & 0x0F
                                            : lead & 0x07;
    for (int i = 1; i < length; ++i) character = character << 6 | (utf8[at + i] & 0x3F);
    at += length;
    if (character >= 0x10000) {
      character -= 0x10000;
      put(out, 0xD800 + (character >> 10), 2);
      put(out, 0xDC00 + (character & 0x3FF), 2);
    } else {
      put(out, character, 2);
    }
  }
  put(out, 0, 2);
  return out;
}

std::string fixed(std::uint16_t type, std::uint16_t id, std::uint64_t value, int bytes) {
  std::string out;
  put(out, type | std::uint32_t{id} << 16, 4);
  put(out, value, bytes);
  return padded(out);
}

// A named property of the appointment set, by its numeric id.
std::string namedString(std::uint32_t lid, const std::string& bytes) {
  static constexpr unsigned char kAppointmentSet[16] = {0x02, 0x20, 0x06, 0x00, 0x00, 0x00,
                                                        0x00, 0x00, 0xC0, 0x00, 0x00, 0x00,
                                                        0x00, 0x00, 0x00, 0x46};
  std::string out;
  put(out, kPtString8 | std::uint32_t{0x8000} << 16, 4);
  out.append(reinterpret_cast<const char*>(kAppointmentSet), 16);
  put(out, 0, 4);
  put(out, lid, 4);
  put(out, 1, 4);
  put(out, bytes.size(), 4);
  return out + padded(bytes);
}

std::string withNul(const std::string& bytes) { return bytes + '\0'; }

}  // namespace

std::string tnefHeader() {
  std::string out;
  put(out, 0x223E9F78, 4);
  put(out, 0x0001, 2);
  return out;
}

std::string tnefAttribute(std::uint8_t level, std::uint32_t id, const std::string& data,
                          int checksumDelta) {
  std::string out(1, static_cast<char>(level));
  put(out, id, 4);
  put(out, data.size(), 4);
  out += data;
  std::uint32_t sum = 0;
  for (const char byte : data) sum += static_cast<unsigned char>(byte);
  put(out, static_cast<std::uint16_t>(sum + checksumDelta), 2);
  return out;
}

std::string mapiBlock(std::uint32_t count, const std::string& properties) {
  std::string out;
  put(out, count, 4);
  return out + properties;
}

std::string mapiString(std::uint16_t type, std::uint16_t id, const std::string& bytes) {
  std::string out;
  put(out, type | std::uint32_t{id} << 16, 4);
  put(out, 1, 4);
  put(out, bytes.size(), 4);
  return out + padded(bytes);
}

std::string compressRtf(const std::string& text) {
  const std::string dictionary(kRtfDictionary);
  const std::string all = dictionary + text;
  std::string data;
  std::size_t at = dictionary.size();
  // Greedy: the longest earlier run of 2 to 17 bytes within the 4096-byte window, else a literal;
  // a flag byte before each eight. The end is a reference to the write position itself.
  bool ended = false;
  while (!ended) {
    std::string group;
    std::uint8_t flags = 0;
    for (int item = 0; item < 8; ++item) {
      if (at == all.size()) {
        flags |= 1 << item;
        group += static_cast<char>((at % 4096) >> 4);
        group += static_cast<char>(((at % 4096) & 0xF) << 4);
        ended = true;
        break;
      }
      std::size_t bestLength = 0;
      std::size_t bestFrom = 0;
      for (std::size_t from = at > 4095 ? at - 4095 : 0; from < at; ++from) {
        std::size_t length = 0;
        while (length < 17 && at + length < all.size() && all[from + length] == all[at + length]) {
          ++length;
        }
        if (length > bestLength) {
          bestLength = length;
          bestFrom = from;
        }
      }
      if (bestLength >= 2) {
        flags |= 1 << item;
        const std::size_t offset = bestFrom % 4096;
        group += static_cast<char>(offset >> 4);
        group += static_cast<char>((offset & 0xF) << 4 | (bestLength - 2));
        at += bestLength;
      } else {
        group += all[at++];
      }
    }
    data += static_cast<char>(flags);
    data += group;
  }
  std::string out;
  put(out, data.size() + 12, 4);
  put(out, text.size(), 4);
  put(out, 0x75465A4C, 4);
  put(out, 0, 4);  // the CRC, which no reader here checks
  return out + data;
}

std::uint64_t filetime(int year, int month, int day, int hour, int minute, int second) {
  // Days from 1601-01-01 to the date, by the civil calendar.
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = y / 400;
  const int yearOfEra = y - era * 400;
  const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  const std::int64_t days = std::int64_t{era} * 146097 + dayOfEra - 584694;
  const std::int64_t seconds =
      days * 86400 + std::int64_t{hour} * 3600 + std::int64_t{minute} * 60 + second;
  return static_cast<std::uint64_t>(seconds) * 10000000;
}

std::string writeTnef(const TnefMessage& message) {
  std::string out = tnefHeader();
  std::string version;
  put(version, 0x00010000, 4);
  out += tnefAttribute(1, 0x00089006, version);
  if (message.oemCodePage != 0) {
    std::string codePage;
    put(codePage, message.oemCodePage, 4);
    put(codePage, 0, 4);
    out += tnefAttribute(1, 0x00069007, codePage);
  }
  if (!message.messageClass.empty()) {
    out += tnefAttribute(1, 0x00078008, withNul(message.messageClass));
  }
  if (!message.subject.empty()) out += tnefAttribute(1, 0x00018004, withNul(message.subject));
  std::string properties;
  std::uint32_t count = 0;
  auto add = [&](const std::string& property) {
    properties += property;
    ++count;
  };
  if (message.internetCodePage != 0) add(fixed(kPtLong, 0x3FDE, message.internetCodePage, 4));
  if (!message.senderName.empty()) add(mapiString(kPtString8, 0x0C1A, withNul(message.senderName)));
  if (!message.senderAddress.empty()) {
    add(mapiString(kPtString8, 0x0C1F, withNul(message.senderAddress)));
  }
  if (message.sent != 0) add(fixed(kPtSysTime, 0x0039, message.sent, 8));
  if (!message.html.empty()) add(mapiString(kPtBinary, 0x1013, message.html));
  if (!message.rtf.empty()) add(mapiString(kPtBinary, 0x1009, compressRtf(message.rtf)));
  if (message.start != 0) add(fixed(kPtSysTime, 0x0060, message.start, 8));
  if (message.end != 0) add(fixed(kPtSysTime, 0x0061, message.end, 8));
  if (!message.location.empty()) add(namedString(0x8208, withNul(message.location)));
  if (count > 0) out += tnefAttribute(1, 0x00069003, mapiBlock(count, properties));
  if (!message.body.empty()) out += tnefAttribute(1, 0x0002800C, message.body);
  for (const TnefAttachment& attachment : message.attachments) {
    std::string renderData;
    put(renderData, attachment.embedded.empty() ? 1 : 2, 2);  // a file, or an OLE object
    put(renderData, 0xFFFFFFFF, 4);
    put(renderData, 0, 2);
    put(renderData, 0, 2);
    put(renderData, 0, 4);
    out += tnefAttribute(2, 0x00069002, renderData);
    if (!attachment.title.empty()) out += tnefAttribute(2, 0x00018010, withNul(attachment.title));
    if (attachment.embedded.empty()) out += tnefAttribute(2, 0x0006800F, attachment.data);
    properties.clear();
    count = 0;
    if (!attachment.longName.empty()) {
      add(attachment.unicode ? mapiString(kPtUnicode, 0x3707, utf16(attachment.longName))
                             : mapiString(kPtString8, 0x3707, withNul(attachment.longName)));
    }
    if (!attachment.mimeTag.empty()) {
      add(mapiString(kPtString8, 0x370E, withNul(attachment.mimeTag)));
    }
    if (!attachment.embedded.empty()) {
      add(fixed(kPtLong, 0x3705, 5, 4));  // an embedded message
      static constexpr unsigned char kIidMessage[16] = {0x07, 0x03, 0x02, 0x00, 0x00, 0x00,
                                                        0x00, 0x00, 0xC0, 0x00, 0x00, 0x00,
                                                        0x00, 0x00, 0x00, 0x46};
      add(mapiString(kPtObject, 0x3701,
                     std::string(reinterpret_cast<const char*>(kIidMessage), 16) +
                         writeTnef(attachment.embedded.front())));
    }
    if (count > 0) out += tnefAttribute(2, 0x00069005, mapiBlock(count, properties));
  }
  return out;
}

std::string mailWithTnef(const std::string& tnef, const std::string& text, const std::string& name,
                         const std::string& type) {
  std::string mail =
      "From: sender@example.jp\r\n"
      "Subject: winmail\r\n"
      "MIME-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=\"b\"\r\n"
      "\r\n";
  if (!text.empty()) {
    mail += "--b\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n" + text + "\r\n";
  }
  mail += "--b\r\nContent-Type: " + type + "; name=\"" + name +
          "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment; "
          "filename=\"" +
          name + "\"\r\n\r\n";
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(tnef.data());
  std::string line;
  for (std::size_t at = 0; at < tnef.size(); at += 3) {
    std::uint8_t quartet[4];
    const int count = static_cast<int>(std::min<std::size_t>(3, tnef.size() - at));
    line.append(reinterpret_cast<const char*>(quartet), encodeTriple(bytes + at, quartet, count));
    if (line.size() >= 76) {
      mail += line + "\r\n";
      line.clear();
    }
  }
  if (!line.empty()) mail += line + "\r\n";
  return mail + "--b--\r\n";
}

}  // namespace korvani::testing
