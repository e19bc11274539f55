// The engine's Japanese decoders over any bytes: the result is always well-formed UTF-8 and
// holds exactly the NUL bytes the input held. A decoded header holds none at all.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/cp932_text.h"
#include "mail/japanese_text.h"
#include "mail/mail_engine.h"
#include "mail/mail_text.h"

namespace {

// Other charsets of header words go through GMime, which has to be set up first.
const korvani::mail::MailLibrary kLibrary;

std::ptrdiff_t nulsIn(std::string_view text) { return std::count(text.begin(), text.end(), '\0'); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 16)) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  using namespace korvani::mail;

  const std::ptrdiff_t nuls = nulsIn(bytes);
  for (const std::string& text :
       {shiftJisToUtf8(bytes), eucJpToUtf8(bytes), iso2022JpToUtf8(bytes)}) {
    if (!korvani::isValidUtf8(text) || nulsIn(text) != nuls) __builtin_trap();
  }
  for (std::string_view charset : {"iso-2022-jp", "shift_jis", "euc-jp"}) {
    const std::string text = charsetToUtf8(charset, bytes);
    if (!korvani::isValidUtf8(text) || nulsIn(text) != nuls) __builtin_trap();
  }
  const std::string header = decodeHeaderText(bytes);
  if (!korvani::isValidUtf8(header) || nulsIn(header) != 0) __builtin_trap();
  return 0;
}
