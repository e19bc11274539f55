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

// Runs of groups as the composer and the body decoder walk them, line by line: 45 bytes into 60
// characters, and back. The second argument of each pair is the one-by-one way.
void BM_EncodeTriples(benchmark::State& state,
                      void (*encode)(const std::uint8_t*, std::size_t, std::uint8_t*)) {
  const auto data = randomData(45 << 14);
  std::vector<std::uint8_t> text(data.size() / 3 * 4);
  for (auto _ : state) {
    for (std::size_t line = 0; line < data.size() / 45; ++line)
      encode(data.data() + 45 * line, 15, text.data() + 60 * line);
    benchmark::DoNotOptimize(text.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}
BENCHMARK_CAPTURE(BM_EncodeTriples, processor, korvani::encodeTriples);
BENCHMARK_CAPTURE(BM_EncodeTriples, one_by_one, korvani::encodeTriplesOneByOne);

void BM_DecodeAlphabetQuartets(benchmark::State& state,
                               std::size_t (*decode)(const std::uint8_t*, std::size_t,
                                                     std::uint8_t*)) {
  const auto data = randomData(45 << 14);
  std::vector<std::uint8_t> text(data.size() / 3 * 4);
  korvani::encodeTriples(data.data(), data.size() / 3, text.data());
  std::vector<std::uint8_t> out(data.size());
  for (auto _ : state) {
    for (std::size_t line = 0; line < text.size() / 60; ++line)
      decode(text.data() + 60 * line, 15, out.data() + 45 * line);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK_CAPTURE(BM_DecodeAlphabetQuartets, processor, korvani::decodeAlphabetQuartets);
BENCHMARK_CAPTURE(BM_DecodeAlphabetQuartets, one_by_one, korvani::decodeAlphabetQuartetsOneByOne);

}  // namespace
