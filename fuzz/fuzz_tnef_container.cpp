// winmail.dat over any bytes: the bytes as the application/ms-tnef part of a mail, walked as
// fuzz_mail_engine walks a mail (every part decoded, every text read, the mail rendered), and
// the same bytes as compressed RTF and as RTF.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "mail/compressed_rtf.h"
#include "mail/mail_engine.h"
#include "mail/mail_reader.h"
#include "mail/mail_text.h"
#include "mail/rtf_text.h"
#include "support/tnef_writer.h"

namespace {

const korvani::mail::MailLibrary kLibrary;

bool wellFormed(const std::string& text) { return korvani::mail::repairUtf8(text) == text; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return 0;
  using namespace korvani::mail;
  const auto copy = korvani::fuzzing::copyOf(data, size);
  const std::string_view bytes(reinterpret_cast<const char*>(copy.data()), copy.size());

  const DecompressedRtf rtf = decompressRtf(bytes);
  // The output is at most 17 bytes per byte of input, less the header.
  if (rtf.rtf.size() > 17 * size) __builtin_trap();
  if (!wellFormed(rtfToText(bytes))) __builtin_trap();

  const auto mail = parseMail(korvani::testing::mailWithTnef(std::string(bytes)));
  if (!mail) __builtin_trap();  // the mail around the bytes is always a mail
  const auto& parts = mail->parts();
  if (parts.size() > kMaxPartsPerMail) __builtin_trap();
  for (std::size_t index = 0; index < parts.size(); ++index) {
    std::uint64_t counted = 0;
    std::uint64_t decoded = 0;
    mail->decode(
        index,
        [&counted](const std::uint8_t*, std::size_t chunk) {
          counted += chunk;
          return true;
        },
        &decoded);
    if (counted != decoded) __builtin_trap();
    // A member holds no more than the stream it came from.
    if (parts[index].path.find(':') != std::string::npos &&
        parts[index].role == PartRole::Attachment && parts[index].mediaType != "text/calendar" &&
        decoded > size) {
      __builtin_trap();
    }
    if (parts[index].role == PartRole::Text && !wellFormed(mail->text(index))) __builtin_trap();
    if (parts[index].role == PartRole::Message) {
      for (const HeaderField& field : mail->headers(index)) {
        if (!wellFormed(field.value)) __builtin_trap();
      }
    }
  }
  if (!wellFormed(renderMail(*mail))) __builtin_trap();
  return 0;
}
