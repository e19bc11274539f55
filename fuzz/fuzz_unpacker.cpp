// The unpacker over any bytes, as an attachment of a mail, into the in-memory platform: every
// entry it writes stays below the archive's folder, and the bounds hold (small ones here, so that
// a run stays quick).
#include <cstdint>
#include <string>
#include <string_view>

#include "archive/unpacker.h"
#include "common/base64.h"
#include "mail/mail_engine.h"
#include "save/attachment_saver.h"
#include "support/fake_platform.h"

namespace {

const korvani::mail::MailLibrary kLibrary;

constexpr std::uint64_t kFuzzMaxUnpacked = std::uint64_t{8} << 20;

class Checks : public korvani::archive::UnpackObserver {
 public:
  void entry(const korvani::archive::EntryEvent& event) override {
    if (!event.target.empty() && event.target.rfind("out/a/", 0) != 0) __builtin_trap();
    if (event.target.find("/../") != std::string::npos) __builtin_trap();
  }
  void archive(const korvani::archive::ArchiveEvent&) override {}
};

std::string mailHolding(std::string_view bytes) {
  std::string mail =
      "From: a@example.com\nMIME-Version: 1.0\nContent-Type: application/zip; name=a.zip\n"
      "Content-Transfer-Encoding: base64\n\n";
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  for (std::size_t at = 0; at < bytes.size(); at += 3) {
    std::uint8_t quartet[4];
    const int count = static_cast<int>(std::min<std::size_t>(3, bytes.size() - at));
    mail.append(reinterpret_cast<const char*>(quartet),
                korvani::encodeTriple(data + at, quartet, count));
    if (at % 57 == 54) mail += '\n';
  }
  return mail + '\n';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return 0;
  using namespace korvani;
  const auto mail = mail::parseMail(mailHolding({reinterpret_cast<const char*>(data), size}));
  if (!mail || mail->parts().empty()) return 0;
  testing::FakePlatform platform;
  int errorNumber = 0;
  const auto folder = platform.openFolder("out", true, errorNumber);
  save::AttachmentSaver saver(platform);
  Checks checks;
  for (const bool list : {false, true}) {
    archive::UnpackSettings settings;
    settings.bounds.maxUnpacked = kFuzzMaxUnpacked;
    settings.list = list;
    archive::Unpacker unpacker(platform, saver, settings, checks);
    NameRegistry names;
    std::string claimed;
    const std::vector<archive::Password> passwords = {{"secret", "p.eml"}};
    const std::size_t last = mail->parts().size() - 1;
    unpacker.unpackPart(list ? nullptr : folder.get(), names, "a.zip", *mail, last, "1/a.zip",
                        passwords, false, claimed, errorNumber);
  }
  std::uint64_t written = 0;
  for (const auto& [path, file] : platform.files) {
    if (path.rfind("out/a/", 0) != 0 && path != "out") __builtin_trap();
    written += file.content.size();
  }
  if (written > kFuzzMaxUnpacked + 4096) __builtin_trap();
  return 0;
}
