// The option values shared by the front ends and the workers. The numbers are those the dialog
// stores and the decoders use for their current values.
#pragma once

#include <cstdint>

namespace korvani {

enum class ConvertMode : std::int32_t {
  BinaryDecode = 0,
  BinaryEncode = 1,
  MailDecode = 2,
  TextDecode = 3
};

enum class TextEncoding : std::int32_t { Auto = 0, QuotedPrintable = 1, Base64 = 2 };

enum class TextCharset : std::int32_t { Auto = 0, Jis = 1, Utf8 = 2, Sjis = 3, Euc = 4 };

// The charset a decoded text is written in: Shift_JIS (code page 932) as decoded, or converted
// to UTF-8 as a last step for today's terminals and editors.
enum class OutputCharset : std::int32_t { Sjis = 0, Utf8 = 1 };

}  // namespace korvani
