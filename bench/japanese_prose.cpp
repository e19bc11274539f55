#include "japanese_prose.h"

#include <iconv.h>

#include <cstdint>
#include <iterator>

namespace korvani::bench {
namespace {

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

}  // namespace

std::string makeProse(std::size_t size, std::size_t charactersPerLine) {
  std::string text;
  std::string lineText;
  std::size_t characters = 0;
  std::uint32_t state = 12345;
  while (text.size() < size) {
    state = state * 1103515245 + 12345;
    for (const char* p = kSentences[(state >> 16) % std::size(kSentences)]; *p != '\0'; ++p) {
      const auto byte = static_cast<unsigned char>(*p);
      const bool startsCharacter = (byte & 0xC0) != 0x80;
      if (startsCharacter && characters == charactersPerLine) {
        text += lineText + "\r\n";
        lineText.clear();
        characters = 0;
      }
      if (startsCharacter) ++characters;
      lineText += *p;
    }
  }
  // Cut at the last whole line.
  text.resize(text.rfind('\n', size - 1) + 1);
  return text;
}

std::string convertAll(const char* to, const char* from, const std::string& text) {
  const iconv_t converter = iconv_open(to, from);
  if (reinterpret_cast<std::intptr_t>(converter) == -1) return {};
  std::string out(3 * text.size() + 16, '\0');
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

}  // namespace korvani::bench
