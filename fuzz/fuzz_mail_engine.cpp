// The today's-mail engine over any bytes: parse, walk every part, name it, decode it, read its
// text and render the whole mail; the same bytes as a header value and as a proposed file name.
#include <cstdint>
#include <string>
#include <string_view>

#include "common/safe_name.h"
#include "mail/mail_engine.h"
#include "mail/mail_reader.h"
#include "mail/mail_text.h"

namespace {

const korvani::mail::MailLibrary kLibrary;

bool wellFormed(const std::string& text) { return korvani::mail::repairUtf8(text) == text; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  using namespace korvani::mail;

  if (!wellFormed(decodeHeaderText(bytes))) __builtin_trap();
  const std::string name =
      korvani::safeName(bytes.substr(0, 4096), korvani::NameSource::DecodedText).name;
  if (name.size() > korvani::kMaxNameBytes || name.find_first_of("/\\") != std::string::npos) {
    __builtin_trap();
  }
  if (!name.empty() && (name[0] == '.' || name.back() == '.' || name.back() == ' ')) {
    __builtin_trap();
  }

  const auto mail = parseMail(bytes);
  if (!mail) return 0;
  const auto& parts = mail->parts();
  if (parts.size() > kMaxPartsPerMail) __builtin_trap();
  for (std::size_t index = 0; index < parts.size(); ++index) {
    std::uint64_t counted = 0;
    std::uint64_t size = 0;
    mail->decode(
        index,
        [&counted](const std::uint8_t*, std::size_t chunk) {
          counted += chunk;
          return true;
        },
        &size);
    if (counted != size) __builtin_trap();
    if (parts[index].role == PartRole::Text && !wellFormed(mail->text(index))) __builtin_trap();
  }
  if (!wellFormed(renderMail(*mail))) __builtin_trap();
  return 0;
}
