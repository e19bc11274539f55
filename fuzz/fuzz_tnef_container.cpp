// winmail.dat over any bytes: the bytes as the application/ms-tnef part of a mail, walked as
// fuzz_mail_engine walks a mail (every part decoded, every text read, the mail rendered), and
// the same bytes as compressed RTF and as RTF.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_mail_walk.h"
#include "fuzz_support.h"
#include "mail/compressed_rtf.h"
#include "mail/rtf_text.h"
#include "support/tnef_writer.h"

namespace {

const korvani::mail::MailLibrary kLibrary;

using korvani::fuzzing::wellFormed;

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
  korvani::fuzzing::walkMail(*mail, [&parts, size](std::size_t index, std::uint64_t decoded) {
    // A member holds no more than the stream it came from.
    if (parts[index].path.find(':') != std::string::npos &&
        parts[index].role == PartRole::Attachment && parts[index].mediaType != "text/calendar" &&
        decoded > size) {
      __builtin_trap();
    }
  });
  return 0;
}
