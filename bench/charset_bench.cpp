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
#include "textdecode/charset_conversion.h"
#include "textdecode/transfer_decoding.h"

namespace {

constexpr std::size_t kTextSize = 1 << 20;
constexpr std::size_t kCharactersPerLine = 36;  // about 72 bytes of ISO-2022-JP, as mail wraps
constexpr std::size_t kBase64LineLength = 76;

// Sentences of ordinary Japanese mail and prose; the text is a deterministic shuffle of them.
const char* const kSentences[] = {
    "今朝は早く起きて、駅前の小さな喫茶店で新聞を読みながらコーヒーを飲んだ。",
    "窓の外では細かい雨が降り続き、通りを歩く人々は傘を傾けて足早に過ぎていった。",
    "会議の資料は昨日のうちに送ってありますので、ご確認のほどよろしくお願いいたします。",
    "来週の火曜日、午後三時から第二会議室で打ち合わせを行う予定です。",
    "図書館で借りた本は、古い港町に暮らす家族の三代にわたる物語だった。",
    "子どもたちは公園の桜の下で弁当を広げ、春の日差しを楽しんでいる。",
    "新しいシステムの導入にあたり、操作手順を説明する資料を作成しました。",
    "彼女は静かに手紙を読み終えると、机の引き出しにそっとしまった。",
    "山道を登るにつれて空気が冷たくなり、遠くに雪をかぶった峰が見えてきた。",
    "ご不明な点がございましたら、担当の佐藤までお気軽にお問い合わせください。",
    "駅から徒歩十分ほどの場所に、新しい事務所を開設いたしました。",
    "夕方になると商店街には明かりがともり、焼き鳥の香ばしい匂いが漂ってくる。",
    "添付ファイルの見積書をご覧いただき、内容に問題がなければご返信ください。",
    "祖母の家の縁側に座って、庭の池に泳ぐ鯉をぼんやりと眺めていた。",
    "今回のアップデートでは、検索機能の速度が大幅に改善されています。",
    "秋の夜長に、虫の声を聞きながら読書をするのが何よりの楽しみだ。",
    "Version 2.4 では、CSV 形式での出力と 64 ビット環境に対応しました。",
    "詳細は http://www.example.jp/info/ をご参照ください。",
};

using Lines = std::vector<std::pair<std::size_t, std::uint32_t>>;  // start, length

struct Corpus {
  std::string utf8, jis, euc, base64, quotedUtf8, quotedJis;
};

std::string convertAll(const char* to, const char* from, const std::string& text) {
  const iconv_t converter = iconv_open(to, from);
  if (reinterpret_cast<std::intptr_t>(converter) == -1) return {};
  std::string out(2 * text.size() + 16, '\0');
  std::string input = text;
  char* in = input.data();
  char* o = out.data();
  std::size_t inLeft = input.size();
  std::size_t outLeft = out.size();
  const std::size_t status = iconv(converter, &in, &inLeft, &o, &outLeft);
  iconv(converter, nullptr, nullptr, &o, &outLeft);
  iconv_close(converter);
  if (status == static_cast<std::size_t>(-1)) return {};
  out.resize(out.size() - outLeft);
  return out;
}

// Prose lines of kCharactersPerLine characters with CR LF, up to kTextSize bytes of UTF-8.
std::string makeProse() {
  std::string text;
  std::string lineText;
  std::size_t characters = 0;
  std::uint32_t state = 12345;
  while (text.size() < kTextSize) {
    state = state * 1103515245 + 12345;
    for (const char* p = kSentences[(state >> 16) % std::size(kSentences)]; *p != '\0'; ++p) {
      const auto byte = static_cast<unsigned char>(*p);
      if ((byte & 0xC0) != 0x80 && characters == kCharactersPerLine) {
        text += lineText + "\r\n";
        lineText.clear();
        characters = 0;
      }
      if ((byte & 0xC0) != 0x80) ++characters;
      lineText += *p;
    }
  }
  // Cut at the last whole line.
  text.resize(text.rfind('\n', kTextSize - 1) + 1);
  return text;
}

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
    c.utf8 = makeProse();
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

using Conversion = void (*)(std::uint8_t*, std::uint32_t&, const std::uint8_t*, std::uint32_t);

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
