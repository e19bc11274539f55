#include "mail/attachment_name.h"

#include <array>
#include <cstdint>

#include "mail/mail_text.h"

namespace korvani::mail {
namespace {

constexpr std::size_t kMaxExtensionBytes = 16;

constexpr std::array<std::string_view, 22> kDeviceNames{
    "con",  "prn",  "aux",  "nul",  "com1", "com2", "com3", "com4", "com5", "com6", "com7",
    "com8", "com9", "lpt1", "lpt2", "lpt3", "lpt4", "lpt5", "lpt6", "lpt7", "lpt8", "lpt9"};

struct MediaTypeExtension {
  std::string_view mediaType;
  std::string_view extension;
};

constexpr std::array kExtensions{
    MediaTypeExtension{"text/plain", "txt"},
    MediaTypeExtension{"text/html", "html"},
    MediaTypeExtension{"text/calendar", "ics"},
    MediaTypeExtension{"text/csv", "csv"},
    MediaTypeExtension{"text/vcard", "vcf"},
    MediaTypeExtension{"text/x-vcard", "vcf"},
    MediaTypeExtension{"image/jpeg", "jpg"},
    MediaTypeExtension{"image/png", "png"},
    MediaTypeExtension{"image/gif", "gif"},
    MediaTypeExtension{"image/webp", "webp"},
    MediaTypeExtension{"image/heic", "heic"},
    MediaTypeExtension{"image/svg+xml", "svg"},
    MediaTypeExtension{"image/bmp", "bmp"},
    MediaTypeExtension{"image/tiff", "tif"},
    MediaTypeExtension{"application/pdf", "pdf"},
    MediaTypeExtension{"application/zip", "zip"},
    MediaTypeExtension{"application/json", "json"},
    MediaTypeExtension{"application/xml", "xml"},
    MediaTypeExtension{"application/pgp-signature", "asc"},
    MediaTypeExtension{"application/pkcs7-signature", "p7s"},
    MediaTypeExtension{"application/ms-tnef", "dat"},
    MediaTypeExtension{"message/rfc822", "eml"},
    MediaTypeExtension{"message/delivery-status", "txt"},
    MediaTypeExtension{"audio/mpeg", "mp3"},
    MediaTypeExtension{"video/mp4", "mp4"},
};

std::string asciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

bool isContinuation(char c) { return (static_cast<std::uint8_t>(c) & 0xC0) == 0x80; }

// The longest prefix of `text` of at most `limit` bytes that ends on a character boundary.
std::string_view cutAtBoundary(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && isContinuation(text[end])) --end;
  return text.substr(0, end);
}

// C1 controls and the characters that reorder text (bidirectional marks, embeddings, overrides
// and isolates): a name such as "invoice\u202Efdp.exe" would show as "invoiceexe.pdf" in a file
// manager. Each one becomes a single '_'. `name` is well-formed UTF-8.
void replaceInvisibleControls(std::string& name) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size();) {
    const auto b0 = static_cast<std::uint8_t>(name[i]);
    const auto b1 = i + 1 < name.size() ? static_cast<std::uint8_t>(name[i + 1]) : 0;
    const auto b2 = i + 2 < name.size() ? static_cast<std::uint8_t>(name[i + 2]) : 0;
    std::size_t length = 0;
    if (b0 == 0xC2 && b1 >= 0x80 && b1 <= 0x9F) length = 2;  // U+0080-U+009F
    if (b0 == 0xD8 && b1 == 0x9C) length = 2;                // U+061C arabic letter mark
    if (b0 == 0xE2 && b1 == 0x80 && (b2 == 0x8E || b2 == 0x8F || (b2 >= 0xAA && b2 <= 0xAE))) {
      length = 3;  // U+200E, U+200F, U+202A-U+202E
    }
    if (b0 == 0xE2 && b1 == 0x81 && b2 >= 0xA6 && b2 <= 0xA9) length = 3;  // U+2066-U+2069
    if (length == 0) {
      out.push_back(name[i++]);
    } else {
      out.push_back('_');
      i += length;
    }
  }
  name = std::move(out);
}

}  // namespace

std::string safeAttachmentName(std::string_view proposed) {
  std::string name = repairUtf8(proposed);
  const std::size_t separator = name.find_last_of("/\\");
  if (separator != std::string::npos) name.erase(0, separator + 1);
  replaceInvisibleControls(name);
  for (char& c : name) {
    const auto byte = static_cast<std::uint8_t>(c);
    if (byte < 0x20 || byte == 0x7F ||
        std::string_view("<>:\"|?*").find(c) != std::string_view::npos) {
      c = '_';
    }
  }
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  for (char& c : name) {
    if (c != '.') break;
    c = '_';
  }
  if (name.empty()) return {};
  const std::string stem = asciiLower(name.substr(0, name.find('.')));
  for (std::string_view device : kDeviceNames) {
    if (stem == device || stem == std::string(device) + " ") {
      name.insert(0, 1, '_');
      break;
    }
  }
  if (name.size() > kMaxNameBytes) {
    const std::size_t dot = name.rfind('.');
    std::string_view extension;
    if (dot != std::string::npos && dot > 0 && name.size() - dot <= kMaxExtensionBytes) {
      extension = std::string_view(name).substr(dot);
    }
    std::string cut(cutAtBoundary(name, kMaxNameBytes - extension.size()));
    // The cut may end in a space or a dot, which Windows drops from a name.
    while (!cut.empty() && (cut.back() == '.' || cut.back() == ' ')) cut.pop_back();
    if (cut.empty()) cut.push_back('_');
    cut += extension;
    name = std::move(cut);
  }
  return name;
}

std::string defaultAttachmentName(std::size_t number, std::string_view mediaType) {
  std::string_view extension = "bin";
  for (const MediaTypeExtension& row : kExtensions) {
    if (row.mediaType == mediaType) extension = row.extension;
  }
  return "part-" + std::to_string(number) + "." + std::string(extension);
}

std::string NameRegistry::claim(const std::string& name) {
  if (taken.insert(asciiLower(name)).second) return name;
  const std::size_t dot = name.rfind('.');
  const bool hasExtension =
      dot != std::string::npos && dot > 0 && name.size() - dot <= kMaxExtensionBytes;
  const std::string stem = hasExtension ? name.substr(0, dot) : name;
  const std::string extension = hasExtension ? name.substr(dot) : std::string();
  for (std::size_t number = 2;; ++number) {
    const std::string suffix = " (" + std::to_string(number) + ")";
    std::string candidate(cutAtBoundary(stem, kMaxNameBytes - suffix.size() - extension.size()));
    candidate.append(suffix).append(extension);
    if (taken.insert(asciiLower(candidate)).second) return candidate;
  }
}

}  // namespace korvani::mail
