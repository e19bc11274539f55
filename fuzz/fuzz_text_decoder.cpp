// The mail decode and text decode line loops over any bytes, with every pair of options. The
// first byte chooses the loop and the options; the rest is the source.
#include <cstdint>

#include "fuzz_support.h"
#include "platform/posix_platform.h"
#include "support/fake_platform.h"
#include "support/text_decoder_test_access.h"
#include "textdecode/text_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > (1u << 20)) return 0;
  const unsigned selector = data[0];
  const bool mail = selector & 1;
  const auto encoding = static_cast<korvani::TextEncoding>((selector >> 1) % 3);
  const auto charset = static_cast<korvani::TextCharset>((selector >> 3) % 5);
  const auto source = korvani::fuzzing::copyOf(data + 1, size - 1);

  korvani::PosixPlatform platform;
  korvani::testing::RecordingSink sink;
  korvani::TextDecoder decoder(platform, sink);
  korvani::TextDecoderTestAccess::encodingOption(decoder) = encoding;
  korvani::TextDecoderTestAccess::charsetOption(decoder) = charset;
  korvani::OutputArea out(platform, platform.allocateZeroed(source.size()));
  const auto length = static_cast<std::uint32_t>(source.size());
  if (mail) {
    decoder.decodeMailLines(source.data(), length, out);
  } else {
    decoder.decodeTextLines(source.data(), length, out);
  }
  // Only the EUC-JP line ends can make the output longer than the input, by at most double.
  if (out.size() > 2 * source.size() + 2) __builtin_trap();
  if (!sink.messages.empty()) __builtin_trap();
  return 0;
}
