#include "gui/dialog_template.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <cstdint>

namespace korvani::gui {
namespace {

using enum ControlKind;

constexpr ControlRow kControls[] = {
    {-1, GroupBox, "変換元ファイル指定", {7, 7, 251, 34}},
    {control::kSourceEdit, Edit, "", {17, 20, 189, 12}},
    {control::kBrowse, PushButton, "参照", {209, 20, 23, 12}},
    {-1, GroupBox, "変換モード選択", {7, 45, 251, 34}},
    {control::kBinaryDecode, FirstRadioOfGroup, "Binaryデコード", {16, 59, 56, 10}},
    {control::kBinaryEncode, Radio, "Binaryエンコード", {78, 59, 60, 10}},
    {control::kMailDecode, Radio, "Mailデコード", {144, 59, 49, 10}},
    {control::kTextDecode, Radio, "Textデコード", {198, 59, 49, 10}},
    {-1, GroupBox, "TEXTエンコード形式", {7, 83, 251, 34}},
    {control::kEncodingAuto, FirstRadioOfGroup, "自動判定", {16, 97, 43, 10}},
    {control::kQuotedPrintable, Radio, "Quoted-Printable", {87, 97, 66, 10}},
    {control::kBase64, Radio, "Base64", {160, 97, 38, 10}},
    {-1, GroupBox, "TEXT文字コード", {7, 121, 251, 34}},
    {control::kCharsetAuto, FirstRadioOfGroup, "自動判定", {16, 135, 40, 10}},
    {control::kJis, Radio, "JIS (ISO-2022-JP)", {58, 135, 65, 10}},
    {control::kUtf8, Radio, "UTF-8", {130, 135, 32, 10}},
    {control::kSjis, Radio, "SJIS", {166, 135, 27, 10}},
    {control::kEuc, Radio, "EUC", {198, 135, 27, 10}},
    {control::kConvert, DefaultPushButton, "変換", {100, 162, 50, 14}},
    {control::kExit, DefaultPushButton, "終了", {208, 183, 50, 14}},
};

// value * base / divisor, rounded to the nearest integer with halves rounded up, as the
// desktop's own conversion does it.
int scale(int value, int base, int divisor) {
  const std::int64_t product = static_cast<std::int64_t>(value) * base;
  return static_cast<int>((product + divisor / 2) / divisor);
}

}  // namespace

std::span<const ControlRow> controlTable() { return kControls; }

QFont dialogFont(const QFont& desktopFont,
                 const std::function<bool(const QString& family)>& isInstalled) {
  QFont font = desktopFont;
  font.setPointSize(kDialogFontPointSize);
  const auto installed = [&](const char* family) { return isInstalled(QString::fromUtf8(family)); };
  if (installed(kDialogFontFamily)) {
    font.setFamilies({QString::fromUtf8(kDialogFontFamily)});
    return font;
  }
  for (const char* family : kFallbackFontFamilies) {
    if (installed(family)) {
      font.setFamilies({QString::fromUtf8(family)});
      return font;
    }
  }
  return font;
}

bool fontFamilyResolves(const QString& family) {
  const QFontInfo asked{QFont(family)};
  if (asked.exactMatch()) return true;
  // No family is called this: whatever it resolves to is the matcher's last resort.
  const QFontInfo nowhere{QFont(QStringLiteral("Korvani No Such Family"))};
  return asked.family() != nowhere.family();
}

DialogUnits::DialogUnits(const QFontMetricsF& metrics) {
  static const QString kLetters =
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const int total = qRound(metrics.horizontalAdvance(kLetters));
  baseWidth = (total / 26 + 1) / 2;
  baseHeight = qRound(metrics.ascent()) + qRound(metrics.descent());
  horizontalSixtyFourths = 16 * baseWidth;
}

QRect DialogUnits::toPixels(const DialogUnitRect& rect) const {
  return QRect(scale(rect.x, horizontalSixtyFourths, 64), scale(rect.y, baseHeight, 8),
               scale(rect.width, horizontalSixtyFourths, 64), scale(rect.height, baseHeight, 8));
}

DialogUnits DialogUnits::widened(int sixtyFourths) const {
  DialogUnits units = *this;
  units.horizontalSixtyFourths += sixtyFourths;
  return units;
}

}  // namespace korvani::gui
