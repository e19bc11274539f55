#include "mail/attachment_name.h"

#include <array>

namespace korvani::mail {
namespace {

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

}  // namespace

std::string defaultAttachmentName(std::size_t number, std::string_view mediaType) {
  std::string_view extension = "bin";
  for (const MediaTypeExtension& row : kExtensions) {
    if (row.mediaType == mediaType) extension = row.extension;
  }
  return "part-" + std::to_string(number) + "." + std::string(extension);
}

}  // namespace korvani::mail
