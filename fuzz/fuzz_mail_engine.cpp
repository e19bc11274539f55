// The today's-mail engine over any bytes: parse, walk every part, name it, decode it, read its
// text and render the whole mail; the same bytes as a header value and as a proposed file name.
#include <cstdint>
#include <string>
#include <string_view>

#include "common/safe_name.h"
#include "fuzz_mail_walk.h"

namespace {

const korvani::mail::MailLibrary kLibrary;

using korvani::fuzzing::wellFormed;

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
  korvani::fuzzing::walkMail(*mail, [](std::size_t, std::uint64_t) {});
  return 0;
}
