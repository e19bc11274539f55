// The attachment locator and body decoder over any mail: locate, and when it finds a body,
// decode and write it.
#include <cstdint>
#include <string>

#include "extract/attachment_extractor.h"
#include "support/fake_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return 0;
  korvani::testing::FakePlatform platform;
  korvani::testing::RecordingSink sink;
  platform.addFile("mail.eml", std::string(reinterpret_cast<const char*>(data), size));
  korvani::AttachmentExtractor extractor(platform, sink);
  std::string name;
  if (extractor.locate("mail.eml", name)) {
    if (name.size() > 127) __builtin_trap();
    extractor.writeDecoded("out.bin");
    const auto out = platform.contentOf("out.bin");
    // Three bytes at most for every four of the mail.
    if (out && out->size() > size / 4 * 3) __builtin_trap();
  }
  extractor.releaseImage();
  return 0;
}
