// Throughput of the text decoder's line conversions on 1 MiB of Japanese prose, next to glibc's
// iconv doing the same character-set conversion as the peer.
//
// Our conversions run line by line, as the decoder calls them; iconv converts the whole text in
// one call (its most favourable use) and, for the like-for-like figure, line by line. Figures are
// input bytes per second.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "common/base64.h"
#include "japanese_prose.h"
#include "textdecode/charset_conversion.h"
#include "textdecode/transfer_decoding.h"

namespace {

constexpr std::size_t kTextSize = 1 << 20;
constexpr std::size_t kCharactersPerLine = 36;  // about 72 bytes of ISO-2022-JP, as mail wraps
constexpr std::size_t kBase64LineLength = 76;

using Lines = std::vector<std::pair<std::size_t, std::uint32_t>>;  // start, length

struct Corpus {
  std::string utf8, jis, euc, base64, quotedUtf8, quotedJis;
};

using korvani::bench::convertAll;

std::string makeBase64(const std::string& data) {
  std::string text;
  for (std::size_t i = 0; i < data.size() && text.size() < kTextSize; i += 3) {
    std::uint8_t quartet[4];
    korvani::encodeTriple(reinterpret_cast<const std::uint8_t*>(data.data()) + i, quartet,
                          static_cast<int>(std::min<std::size_t>(3, data.size() - i)));
    text.append(reinterpret_cast<const char*>(quartet), 4);
    if (text.size() % (kBase64LineLength + 2) == kBase64LineLength) text += "\r\n";
  }
  return text;
}

// Quoted-printable as the decoder sees it: soft line breaks already joined, CR LF kept.
std::string makeQuotedPrintable(const std::string& data) {
  std::string text;
  char escape[4];
  for (const char c : data) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 || byte == '=' || byte == 0x1B) {
      std::snprintf(escape, sizeof escape, "=%02X", byte);
      text += escape;
    } else {
      text += c;
    }
  }
  text.resize(text.rfind('\n', kTextSize - 1) + 1);
  return text;
}

const Corpus& corpus() {
  static const Corpus built = [] {
    Corpus c;
    c.utf8 = korvani::bench::makeProse(kTextSize, kCharactersPerLine);
    c.jis = convertAll("ISO-2022-JP", "UTF-8", c.utf8);
    c.euc = convertAll("EUC-JP", "UTF-8", c.utf8);
    c.base64 = makeBase64(c.utf8 + c.utf8);
    c.quotedUtf8 = makeQuotedPrintable(c.utf8 + c.utf8 + c.utf8);
    c.quotedJis = makeQuotedPrintable(c.jis + c.jis);
    return c;
  }();
  return built;
}

Lines splitLines(const std::string& text) {
  Lines lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.emplace_back(start, static_cast<std::uint32_t>(end - start));
    start = end;
  }
  return lines;
}

// A conversion or a transfer decoding of one line; what it returns, if anything, is not used.
template <class Conversion>
void runLines(benchmark::State& state, const std::string& text, Conversion convert) {
  if (text.empty()) {
    state.SkipWithError("no input text (iconv failed)");
    return;
  }
  const Lines lines = splitLines(text);
  const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
  std::vector<std::uint8_t> out(2 * text.size() + 2);
  for (auto _ : state) {
    std::size_t written = 0;
    for (const auto& [start, length] : lines) {
      std::uint32_t n = 0;
      convert(out.data() + written, n, data + start, length);
      written += n;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// iconv to CP932 over the whole text in one call, or line by line with the state reset before
// each line as our conversions start afresh on each piece.
void runIconv(benchmark::State& state, const char* from, const std::string& text, bool byLine) {
  const iconv_t converter = iconv_open("CP932", from);
  if (text.empty() || reinterpret_cast<std::intptr_t>(converter) == -1) {
    state.SkipWithError("iconv unavailable");
    return;
  }
  std::string input = text;
  const Lines lines =
      byLine ? splitLines(text) : Lines{{0, static_cast<std::uint32_t>(text.size())}};
  std::vector<char> out(2 * text.size() + 16);
  for (auto _ : state) {
    char* o = out.data();
    std::size_t outLeft = out.size();
    for (const auto& [start, length] : lines) {
      char* in = input.data() + start;
      std::size_t inLeft = length;
      iconv(converter, nullptr, nullptr, nullptr, nullptr);
      if (iconv(converter, &in, &inLeft, &o, &outLeft) == static_cast<std::size_t>(-1)) {
        state.SkipWithError("iconv rejected the text");
        break;
      }
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  iconv_close(converter);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_JisToSjis(benchmark::State& state) { runLines(state, corpus().jis, korvani::jisToSjis); }
void BM_IconvJisToCp932(benchmark::State& state, bool byLine) {
  runIconv(state, "ISO-2022-JP", corpus().jis, byLine);
}
void BM_EucToSjis(benchmark::State& state) { runLines(state, corpus().euc, korvani::eucToSjis); }
void BM_IconvEucToCp932(benchmark::State& state, bool byLine) {
  runIconv(state, "EUC-JP", corpus().euc, byLine);
}
void BM_Utf8ToSjis(benchmark::State& state) { runLines(state, corpus().utf8, korvani::utf8ToSjis); }
void BM_IconvUtf8ToCp932(benchmark::State& state, bool byLine) {
  runIconv(state, "UTF-8", corpus().utf8, byLine);
}
void BM_DecodeBase64Text(benchmark::State& state) {
  runLines(state, corpus().base64, korvani::decodeBase64Text);
}
void BM_DecodeQuotedPrintableUtf8(benchmark::State& state) {
  runLines(state, corpus().quotedUtf8, korvani::decodeQuotedPrintable);
}
void BM_DecodeQuotedPrintableJis(benchmark::State& state) {
  runLines(state, corpus().quotedJis, korvani::decodeQuotedPrintable);
}
// A whole body line's path: Base64, then UTF-8 to Shift_JIS.
void BM_DecodeLineBase64Utf8(benchmark::State& state) {
  runLines(state, corpus().base64,
           [](std::uint8_t* result, std::uint32_t& length, const std::uint8_t* text,
              std::uint32_t textLength) {
             korvani::decodeLine(result, length, text, textLength, korvani::TextEncoding::Base64,
                                 korvani::TextCharset::Utf8);
           });
}

BENCHMARK(BM_JisToSjis);
BENCHMARK_CAPTURE(BM_IconvJisToCp932, whole, false);
BENCHMARK_CAPTURE(BM_IconvJisToCp932, lines, true);
BENCHMARK(BM_EucToSjis);
BENCHMARK_CAPTURE(BM_IconvEucToCp932, whole, false);
BENCHMARK_CAPTURE(BM_IconvEucToCp932, lines, true);
BENCHMARK(BM_Utf8ToSjis);
BENCHMARK_CAPTURE(BM_IconvUtf8ToCp932, whole, false);
BENCHMARK_CAPTURE(BM_IconvUtf8ToCp932, lines, true);
BENCHMARK(BM_DecodeBase64Text);
BENCHMARK(BM_DecodeQuotedPrintableUtf8);
BENCHMARK(BM_DecodeQuotedPrintableJis);
BENCHMARK(BM_DecodeLineBase64Utf8);

}  // namespace
