// Ten thousand conversions of mixed inputs in one process: nothing may accumulate.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/convert.h"
#include "platform/posix_platform.h"
#include "support/fake_platform.h"
#include "support/sanitizers.h"
#include "support/test_files.h"

namespace korvani {
namespace {

using testing::ScopedTempDir;

// Resident memory of this process in KiB.
long residentKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> value;
      return value;
    }
    status.ignore(1 << 10, '\n');
  }
  return 0;
}

TEST(SoakTest, TenThousandMixedConversionsLeaveMemoryFlat) {
  ScopedTempDir dir;
  PosixPlatform platform;
  std::mt19937 random(2026);

  // Sources: random bytes, text-like lines, and mails made by binary encode (some damaged).
  std::vector<std::string> sources;
  for (int i = 0; i < 48; ++i) {
    const std::size_t size = random() % 20000;
    std::string content = testing::randomBytes(size, static_cast<unsigned>(i));
    if (i % 3 == 1) {
      for (auto& c : content)
        c = "=?QB-utf8 iso-2022-jp\r\n:ABCabc012+/"[static_cast<unsigned char>(c) % 36];
    }
    const std::string path = dir.file("source" + std::to_string(i));
    testing::writeFile(path, content);
    sources.push_back(path);
    if (i % 3 == 2 && size > 0) {
      testing::RecordingSink sink;
      testing::ScriptedChooser chooser(path + ".eml");
      ConversionRequest request{path, "", ConvertMode::BinaryEncode};
      ASSERT_EQ(convert(request, platform, sink, chooser), ConvertOutcome::Converted);
      std::string mail = testing::readFile(path + ".eml");
      if (i % 2) mail[random() % mail.size()] ^= 0x55;
      testing::writeFile(path + ".eml", mail);
      sources.push_back(path + ".eml");
    }
  }

  auto convertMany = [&](int count) {
    for (int i = 0; i < count; ++i) {
      testing::RecordingSink sink;
      testing::ScriptedChooser chooser(dir.file("out"));
      ConversionRequest request{
          sources[random() % sources.size()], "", static_cast<ConvertMode>(random() % 4),
          static_cast<TextEncoding>(random() % 3), static_cast<TextCharset>(random() % 5)};
      convert(request, platform, sink, chooser);
    }
  };
  convertMany(1000);
  const long before = residentKiB();
  convertMany(9000);
  const long after = residentKiB();
  std::cout << "resident memory after 1000 conversions: " << before
            << " KiB, after 10000: " << after << " KiB\n";
  ::testing::Test::RecordProperty("rss_growth_kib", static_cast<int>(after - before));
#ifndef KORVANI_UNDER_ASAN  // AddressSanitizer's quarantine holds freed blocks; LeakSanitizer
                            // checks
  EXPECT_LT(after - before, 2048);
#endif
}

}  // namespace
}  // namespace korvani
