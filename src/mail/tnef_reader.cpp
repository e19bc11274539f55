#include "mail/tnef_reader.h"

#include <array>
#include <cstring>

namespace korvani::mail::tnef {
namespace {

// The attributes of the stream: level, then the attribute's id with its type in the high word.
constexpr std::uint8_t kLevelMessage = 1;
constexpr std::uint8_t kLevelAttachment = 2;
constexpr std::uint32_t kAttSubject = 0x00018004;
constexpr std::uint32_t kAttDateSent = 0x00038005;
constexpr std::uint32_t kAttMessageClass = 0x00078008;
constexpr std::uint32_t kAttBody = 0x0002800C;
constexpr std::uint32_t kAttAttachData = 0x0006800F;
constexpr std::uint32_t kAttAttachTitle = 0x00018010;
constexpr std::uint32_t kAttAttachRenddata = 0x00069002;
constexpr std::uint32_t kAttMapiProps = 0x00069003;
constexpr std::uint32_t kAttAttachment = 0x00069005;
constexpr std::uint32_t kAttOemCodepage = 0x00069007;
constexpr std::uint32_t kAttDateStart = 0x00030006;
constexpr std::uint32_t kAttDateEnd = 0x00030007;

// Property types.
constexpr std::uint16_t kPtI2 = 0x0002;
constexpr std::uint16_t kPtLong = 0x0003;
constexpr std::uint16_t kPtR4 = 0x0004;
constexpr std::uint16_t kPtDouble = 0x0005;
constexpr std::uint16_t kPtCurrency = 0x0006;
constexpr std::uint16_t kPtAppTime = 0x0007;
constexpr std::uint16_t kPtError = 0x000A;
constexpr std::uint16_t kPtBoolean = 0x000B;
constexpr std::uint16_t kPtObject = 0x000D;
constexpr std::uint16_t kPtI8 = 0x0014;
constexpr std::uint16_t kPtString8 = 0x001E;
constexpr std::uint16_t kPtUnicode = 0x001F;
constexpr std::uint16_t kPtSysTime = 0x0040;
constexpr std::uint16_t kPtClsid = 0x0048;
constexpr std::uint16_t kPtBinary = 0x0102;
constexpr std::uint16_t kMultiValued = 0x1000;

// Property ids.
constexpr std::uint16_t kPrMessageClass = 0x001A;
constexpr std::uint16_t kPrSubject = 0x0037;
constexpr std::uint16_t kPrClientSubmitTime = 0x0039;
constexpr std::uint16_t kPrSentRepresentingName = 0x0042;
constexpr std::uint16_t kPrStartDate = 0x0060;
constexpr std::uint16_t kPrEndDate = 0x0061;
constexpr std::uint16_t kPrSentRepresentingAddress = 0x0065;
constexpr std::uint16_t kPrSenderName = 0x0C1A;
constexpr std::uint16_t kPrSenderAddress = 0x0C1F;
constexpr std::uint16_t kPrBody = 0x1000;
constexpr std::uint16_t kPrRtfCompressed = 0x1009;
constexpr std::uint16_t kPrBodyHtml = 0x1013;
constexpr std::uint16_t kPrDisplayName = 0x3001;
constexpr std::uint16_t kPrAttachData = 0x3701;
constexpr std::uint16_t kPrAttachFilename = 0x3704;
constexpr std::uint16_t kPrAttachLongFilename = 0x3707;
constexpr std::uint16_t kPrAttachMimeTag = 0x370E;
constexpr std::uint16_t kPrInternetCpid = 0x3FDE;
// Named properties of meetings (in the appointment property set).
constexpr std::uint32_t kLidLocation = 0x8208;
constexpr std::uint32_t kLidStartWhole = 0x820D;
constexpr std::uint32_t kLidEndWhole = 0x820E;

using Guid = std::array<std::uint8_t, 16>;
constexpr Guid kAppointmentSet{0x02, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                               0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr Guid kIidMessage{0x07, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                           0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// Reads little-endian numbers from a range, failing (and staying failed) past its end.
class Cursor {
 public:
  explicit Cursor(std::string_view bytes) : bytes(bytes) {}

  bool ok() const { return good; }
  std::size_t left() const { return bytes.size() - at; }
  bool atEnd() const { return at == bytes.size(); }

  std::uint32_t number(std::size_t size) {
    if (!good || left() < size) {
      good = false;
      return 0;
    }
    std::uint32_t value = 0;
    for (std::size_t i = size; i-- > 0;) {
      value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    }
    at += size;
    return value;
  }
  std::uint64_t number64() {
    const std::uint64_t low = number(4);
    return low | std::uint64_t{number(4)} << 32;
  }
  std::string_view take(std::size_t size) {
    if (!good || left() < size) {
      good = false;
      return {};
    }
    const std::string_view taken = bytes.substr(at, size);
    at += size;
    return taken;
  }
  // A value of `size` bytes followed by the padding to a multiple of four.
  std::string_view takePadded(std::size_t size) {
    const std::string_view taken = take(size);
    take((4 - size % 4) % 4);
    return taken;
  }

 private:
  std::string_view bytes;
  std::size_t at = 0;
  bool good = true;
};

std::uint32_t littleEndian(std::string_view bytes) {
  Cursor cursor(bytes);
  return cursor.number(4);
}

// 100-nanosecond ticks since 1601-01-01 UTC; nullopt outside the years 1601-9999.
std::optional<Date> fromFiletime(std::uint64_t ticks) {
  const std::uint64_t seconds = ticks / 10000000;
  const auto days = static_cast<std::int64_t>(seconds / 86400);
  if (days >= 3074324) return std::nullopt;  // 10000-01-01
  // Days since 0000-03-01 of the proleptic Gregorian calendar, then the civil date.
  const std::int64_t shifted = days + 584694;
  const std::int64_t era = shifted / 146097;
  const std::int64_t dayOfEra = shifted - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  Date date;
  date.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  date.month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  date.year = static_cast<int>(yearOfEra + era * 400 + (date.month <= 2 ? 1 : 0));
  const std::uint64_t inDay = seconds % 86400;
  date.hour = static_cast<int>(inDay / 3600);
  date.minute = static_cast<int>(inDay / 60 % 60);
  date.second = static_cast<int>(inDay % 60);
  date.utc = true;
  return date;
}

// The TNEF's own date: seven 16-bit words, year to second and the day of the week.
std::optional<Date> fromDtr(std::string_view bytes) {
  Cursor cursor(bytes);
  Date date;
  date.year = static_cast<int>(cursor.number(2));
  date.month = static_cast<int>(cursor.number(2));
  date.day = static_cast<int>(cursor.number(2));
  date.hour = static_cast<int>(cursor.number(2));
  date.minute = static_cast<int>(cursor.number(2));
  date.second = static_cast<int>(cursor.number(2));
  if (!cursor.ok() || date.year < 1601 || date.year > 9999 || date.month < 1 || date.month > 12 ||
      date.day < 1 || date.day > 31 || date.hour > 23 || date.minute > 59 || date.second > 60) {
    return std::nullopt;
  }
  return date;
}

// One value of a property, as the block holds it.
struct Value {
  std::uint16_t type = 0;
  std::string_view bytes;
};

bool fixedSize(std::uint16_t type, std::size_t& size) {
  switch (type) {
    case kPtI2:  // two bytes, padded to four
    case kPtLong:
    case kPtR4:
    case kPtError:
    case kPtBoolean:
      size = 4;
      return true;
    case kPtDouble:
    case kPtCurrency:
    case kPtAppTime:
    case kPtI8:
    case kPtSysTime:
      size = 8;
      return true;
    case kPtClsid:
      size = 16;
      return true;
    default:
      return false;
  }
}

bool isVariable(std::uint16_t type) {
  return type == kPtString8 || type == kPtUnicode || type == kPtBinary || type == kPtObject;
}

Text textOf(const Value& value) {
  if (value.type == kPtString8) return {value.bytes, false};
  if (value.type == kPtUnicode) return {value.bytes, true};
  if (value.type == kPtBinary) return {value.bytes, false};
  return {};
}

// Reads one block of MAPI properties and hands each single value to `use(id, named, value)`
// (`named`: the id of a named property of the appointment set, 0 otherwise). Returns false
// when the block is malformed: the properties before the fault were handed over.
template <typename Use>
bool readProperties(std::string_view block, Use use) {
  Cursor cursor(block);
  const std::uint32_t count = cursor.number(4);
  // Each property takes at least eight bytes: a count past that is a lie, read as far as it goes.
  for (std::uint32_t index = 0; index < count && cursor.ok(); ++index) {
    const std::uint16_t type = static_cast<std::uint16_t>(cursor.number(2));
    const std::uint16_t id = static_cast<std::uint16_t>(cursor.number(2));
    std::uint32_t named = 0;
    if (id >= 0x8000) {
      const std::string_view guid = cursor.take(16);
      const std::uint32_t kind = cursor.number(4);
      if (kind == 0) {
        const std::uint32_t lid = cursor.number(4);
        if (cursor.ok() && std::memcmp(guid.data(), kAppointmentSet.data(), 16) == 0) named = lid;
      } else if (kind == 1) {
        cursor.takePadded(cursor.number(4));
      } else {
        return false;
      }
    }
    const bool multiple = (type & kMultiValued) != 0;
    const std::uint16_t base = type & ~kMultiValued;
    std::size_t size = 0;
    const bool variable = isVariable(base);
    if (!variable && !fixedSize(base, size)) return false;
    // A single variable value carries a count of one before its length, as a list would.
    const std::uint32_t values = multiple || variable ? cursor.number(4) : 1;
    if (!cursor.ok()) return false;
    for (std::uint32_t value = 0; value < values && cursor.ok(); ++value) {
      const std::string_view bytes =
          variable ? cursor.takePadded(cursor.number(4)) : cursor.take(size);
      if (cursor.ok() && !multiple && value == 0) use(id, named, Value{base, bytes});
    }
    if (!cursor.ok()) return false;
  }
  return cursor.ok() && cursor.atEnd();
}

void readMessageProperties(std::string_view block, Message& message) {
  const bool whole =
      readProperties(block, [&](std::uint16_t id, std::uint32_t named, const Value& value) {
        const Text text = textOf(value);
        if (named == kLidLocation) {
          if (!text.empty()) message.location = text;
        } else if (named == kLidStartWhole || named == kLidEndWhole) {
          if (value.type != kPtSysTime) return;
          auto& date = named == kLidStartWhole ? message.start : message.end;
          date = fromFiletime(littleEndian(value.bytes) |
                              std::uint64_t{littleEndian(value.bytes.substr(4))} << 32);
        }
        if (named != 0) return;
        switch (id) {
          case kPrMessageClass:
            if (!text.empty()) message.messageClass = text;
            break;
          case kPrSubject:
            if (!text.empty()) message.subject = text;
            break;
          case kPrSenderName:
          case kPrSentRepresentingName:
            if (!text.empty() && message.senderName.empty()) message.senderName = text;
            break;
          case kPrSenderAddress:
          case kPrSentRepresentingAddress:
            if (!text.empty() && message.senderAddress.empty()) message.senderAddress = text;
            break;
          case kPrClientSubmitTime:
          case kPrStartDate:
          case kPrEndDate:
            if (value.type == kPtSysTime) {
              auto date = fromFiletime(littleEndian(value.bytes) |
                                       std::uint64_t{littleEndian(value.bytes.substr(4))} << 32);
              if (id == kPrClientSubmitTime) message.sent = date;
              if (id == kPrStartDate && !message.start) message.start = date;
              if (id == kPrEndDate && !message.end) message.end = date;
            }
            break;
          case kPrBody:
            if (!text.empty()) message.body = text;
            break;
          case kPrBodyHtml:
            if (!text.empty()) message.html = text;
            break;
          case kPrRtfCompressed:
            if (value.type == kPtBinary) message.compressedRtf = value.bytes;
            break;
          case kPrInternetCpid:
            if (value.type == kPtLong) message.internetCodePage = littleEndian(value.bytes);
            break;
          default:
            break;
        }
      });
  if (!whole) message.damaged = true;
}

void readAttachmentProperties(std::string_view block, Attachment& attachment, bool& damaged) {
  const bool whole =
      readProperties(block, [&](std::uint16_t id, std::uint32_t named, const Value& value) {
        if (named != 0) return;
        const Text text = textOf(value);
        switch (id) {
          case kPrAttachLongFilename:
            if (!text.empty()) attachment.longName = text;
            break;
          case kPrAttachFilename:
            if (!text.empty() && attachment.title.empty()) attachment.title = text;
            break;
          case kPrDisplayName:
            if (!text.empty()) attachment.displayName = text;
            break;
          case kPrAttachMimeTag:
            if (!text.empty()) attachment.mimeTag = text;
            break;
          case kPrAttachData:
            if (value.type == kPtObject) {
              attachment.object = value.bytes;
              attachment.hasObject = true;
            } else if (value.type == kPtBinary && !attachment.hasData) {
              attachment.data = value.bytes;
              attachment.hasData = true;
            }
            break;
          default:
            break;
        }
      });
  if (!whole) damaged = true;
}

std::uint16_t checksum(std::string_view bytes) {
  std::uint32_t sum = 0;
  for (const char byte : bytes) sum += static_cast<std::uint8_t>(byte);
  return static_cast<std::uint16_t>(sum);
}

}  // namespace

bool looksLikeTnef(std::string_view bytes) {
  return bytes.size() >= 6 && littleEndian(bytes) == kSignature;
}

bool readMessage(std::string_view bytes, Message& message, bool verifyChecksums) {
  message = Message();
  if (!looksLikeTnef(bytes)) return false;
  Cursor cursor(bytes.substr(6));  // the signature and the key, which nothing needs
  Attachment* current = nullptr;
  while (!cursor.atEnd()) {
    const std::uint8_t level = static_cast<std::uint8_t>(cursor.number(1));
    const std::uint32_t attribute = cursor.number(4);
    const std::uint32_t length = cursor.number(4);
    const std::string_view data = cursor.take(length);
    const std::uint16_t sum = static_cast<std::uint16_t>(cursor.number(2));
    if (!cursor.ok()) {
      message.damaged = true;  // cut short: the attribute ends past the stream
      break;
    }
    // A wrong sum says the bytes changed on the way; they are kept, and the message says so.
    if (verifyChecksums && sum != checksum(data)) message.damaged = true;
    if (level == kLevelAttachment) {
      if (attribute == kAttAttachRenddata || !current) {
        if (message.attachments.size() == kMaxAttachments) {
          message.limited = true;
          break;
        }
        current = &message.attachments.emplace_back();
        if (attribute == kAttAttachRenddata) continue;
      }
      switch (attribute) {
        case kAttAttachTitle:
          current->title = {data, false};
          break;
        case kAttAttachData:
          current->data = data;
          current->hasData = true;
          break;
        case kAttAttachment:
          readAttachmentProperties(data, *current, message.damaged);
          break;
        default:
          break;
      }
      continue;
    }
    if (level != kLevelMessage) {
      message.damaged = true;
      continue;
    }
    switch (attribute) {
      case kAttSubject:
        message.subject = {data, false};
        break;
      case kAttMessageClass:
        message.messageClass = {data, false};
        break;
      case kAttBody:
        message.body = {data, false};
        break;
      case kAttDateSent:
        if (!message.sent) message.sent = fromDtr(data);
        break;
      case kAttDateStart:
        message.start = fromDtr(data);
        break;
      case kAttDateEnd:
        message.end = fromDtr(data);
        break;
      case kAttOemCodepage:
        message.oemCodePage = littleEndian(data);
        break;
      case kAttMapiProps:
        readMessageProperties(data, message);
        break;
      default:
        break;
    }
  }
  return true;
}

std::optional<std::string_view> embeddedMessage(std::string_view object) {
  if (object.size() < kIidMessage.size() ||
      std::memcmp(object.data(), kIidMessage.data(), kIidMessage.size()) != 0) {
    return std::nullopt;
  }
  return object.substr(kIidMessage.size());
}

}  // namespace korvani::mail::tnef
