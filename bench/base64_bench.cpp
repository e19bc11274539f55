// Throughput of the Base64 primitives and of message composition.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "common/base64.h"
#include "package/attachment_packager.h"

namespace {

std::vector<std::uint8_t> randomData(std::size_t size) {
  std::mt19937 generator(42);
  std::vector<std::uint8_t> data(size);
  for (auto& byte : data) byte = static_cast<std::uint8_t>(generator());
  return data;
}

void BM_EncodeLines(benchmark::State& state) {
  const auto data = randomData(1 << 20);
  std::uint8_t line[128];
  for (auto _ : state) {
    std::uint32_t position = 0;
    while (korvani::AttachmentPackager::encodeLine(line, data.data(), position,
                                                   static_cast<std::uint32_t>(data.size()))) {
    }
    benchmark::DoNotOptimize(line);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_EncodeLines);

void BM_DecodeQuartets(benchmark::State& state) {
  std::vector<std::uint8_t> text((1 << 20) / 3 * 4);
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = korvani::kBase64Alphabet[(i * 7) % 64];
  std::vector<std::uint8_t> out(text.size());
  for (auto _ : state) {
    std::size_t written = 0;
    for (std::size_t i = 0; i + 4 <= text.size(); i += 4)
      written += static_cast<std::size_t>(korvani::decodeQuartet(&text[i], &out[written]));
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_DecodeQuartets);

}  // namespace
