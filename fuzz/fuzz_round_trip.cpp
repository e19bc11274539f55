// Any non-empty bytes, packaged as a mail and extracted again, come back unchanged under their
// name.
#include <cstdint>
#include <string>

#include "extract/attachment_extractor.h"
#include "package/attachment_packager.h"
#include "support/fake_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > (1u << 20)) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  korvani::testing::FakePlatform platform;
  korvani::testing::RecordingSink sink;
  platform.addFile("folder/payload.bin", bytes);

  korvani::AttachmentPackager packager(platform, sink);
  if (!packager.load("folder/payload.bin") || !packager.writeMessage("mail.eml")) __builtin_trap();
  korvani::AttachmentExtractor extractor(platform, sink);
  std::string name;
  if (!extractor.locate("mail.eml", name) || name != "payload.bin") __builtin_trap();
  if (!extractor.writeDecoded("out.bin")) __builtin_trap();
  extractor.releaseImage();
  if (platform.contentOf("out.bin") != bytes || !sink.messages.empty()) __builtin_trap();
  return 0;
}
