// The main dialog's template: its caption, size and font, and one table of its controls with
// their ids, kinds, captions and rectangles, in tab order. Every text the dialog itself shows
// lives here, as UTF-8.
//
// Rectangles are in dialog units: a horizontal unit is a quarter of the dialog font's average
// character width, a vertical unit an eighth of its height. DialogUnits turns them into pixels
// the way the desktop our users come from does, so that the dialog keeps its proportions with
// the font it is drawn in.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <QStringList>
#include <functional>
#include <span>

class QFontMetricsF;

namespace korvani::gui {

// A rectangle in dialog units: left, top, width, height.
struct DialogUnitRect {
  int x;
  int y;
  int width;
  int height;
};

enum class ControlKind {
  GroupBox,           // a frame with a caption; takes no focus and no input
  Edit,               // a one-line edit field
  PushButton,         // a command button
  DefaultPushButton,  // a command button marked as a default one: of the two, Exit is the
                      // dialog's default (it takes Enter), Convert an ordinary button
  FirstRadioOfGroup,  // a radio button that starts a new exclusive group
  Radio               // a radio button in the group of the radio before it
};

struct ControlRow {
  int id;  // the control's id; -1 for the group boxes, which nothing refers to
  ControlKind kind;
  const char* caption;  // UTF-8; empty for the edit field
  DialogUnitRect rect;
};

// Control ids the dialog refers to.
namespace control {
inline constexpr int kExit = 1;
inline constexpr int kConvert = 2;
inline constexpr int kSourceEdit = 1000;
inline constexpr int kBrowse = 1001;
inline constexpr int kBinaryDecode = 1002;
inline constexpr int kBinaryEncode = 1003;
inline constexpr int kMailDecode = 1004;
inline constexpr int kEncodingAuto = 1005;
inline constexpr int kQuotedPrintable = 1006;
inline constexpr int kBase64 = 1007;
inline constexpr int kCharsetAuto = 1008;
inline constexpr int kJis = 1009;
inline constexpr int kUtf8 = 1010;
inline constexpr int kSjis = 1011;
inline constexpr int kEuc = 1012;
inline constexpr int kTextDecode = 1013;
}  // namespace control

inline constexpr const char* kDialogCaption = "Korvani Ver1.04";
inline constexpr DialogUnitRect kDialogSize = {0, 0, 265, 204};  // the client area

// The dialog font: IPAPGothic, drawn to the same metrics as the Japanese desktop's standard
// proportional UI font, at 9 points. Where it is not installed, the first of the common
// Japanese desktop fonts that is, at the same size.
inline constexpr const char* kDialogFontFamily = "IPAPGothic";
inline constexpr const char* kFallbackFontFamilies[] = {"Noto Sans CJK JP", "Source Han Sans JP",
                                                        "TakaoPGothic", "VL PGothic"};
inline constexpr int kDialogFontPointSize = 9;

// What a screen reader announces for the source field, which has no caption of its own.
inline constexpr const char* kSourceFieldName = "変換元ファイル";

// Message box captions: the application's name for the dialog's own message (what a message box
// owned by the dialog gets by default), and the desktop's default caption for a box without one
// for the workers' messages.
inline constexpr const char* kApplicationName = "Korvani";
inline constexpr const char* kWorkerMessageCaption = "エラー";

// Under binary decode's answer to a mail it finds no attachment in: how many the mail engine
// finds there (%1), and the button that opens the mail in the mail window.
inline constexpr const char* kAttachmentsFoundFormat =
    "このメールには添付ファイルが %1 個あります。メールウィンドウで開くと保存できます。";
inline constexpr const char* kOpenInMailWindow = "メールウィンドウで開く";

// The file dialogs' only filter. Its label says "*.*" as on the desktop our users come from,
// where that pattern matches every file; the pattern actually applied is "*", since "*.*" here
// would hide every file without a dot, which saved mails often are.
inline constexpr const char* kAllFilesFilterLabel = "All Files (*.*)";
inline constexpr const char* kAllFilesPattern = "*";

// The controls in tab order. The radios of a group stand, in table order, for the values 0, 1,
// 2, ... of their option: ConvertMode for the mode group, TextEncoding and TextCharset for the
// two option groups.
std::span<const ControlRow> controlTable();

// The dialog font at kDialogFontPointSize: kDialogFontFamily if `isInstalled` says so for it,
// otherwise the first of kFallbackFontFamilies it says so for, otherwise `desktopFont`'s family.
// One family, so that the dialog units measured from it are those of the font the captions are
// drawn in.
QFont dialogFont(const QFont& desktopFont,
                 const std::function<bool(const QString& family)>& isInstalled);

// Whether asking for `family` gets a font of that family. Asked of the font matcher rather than
// looked up among QFontDatabase::families(), which lists a family by its name in the user's
// language ("IPA Pゴシック" under a Japanese locale) and so misses it by its English name: the
// family is there when the match is exact, or when it differs from what a family that does not
// exist falls back to.
bool fontFamilyResolves(const QString& family);

// Dialog units to pixels for one font.
class DialogUnits {
 public:
  // Base units in pixels: the average width of the 52 letters A-Z and a-z, rounded as
  // (total / 26 + 1) / 2, and the font's ascent plus descent, each rounded to whole pixels.
  explicit DialogUnits(const QFontMetricsF& metrics);
  DialogUnits(int baseWidth, int baseHeight)
      : baseWidth(baseWidth), baseHeight(baseHeight), horizontalSixtyFourths(16 * baseWidth) {}

  // Each of x, width maps as round(value * baseWidth / 4) and each of y, height as
  // round(value * baseHeight / 8), halves rounded up, independently of one another (unless
  // widened()).
  QRect toPixels(const DialogUnitRect& rect) const;
  QSize baseUnits() const { return {baseWidth, baseHeight}; }

  // The same units with the horizontal one `sixtyFourths` / 64 pixel wider: x and width then
  // map as round(value * (16 * baseWidth + sixtyFourths) / 64). For a font whose captions need
  // more room than the rectangles give them.
  DialogUnits widened(int sixtyFourths) const;

 private:
  int baseWidth;
  int baseHeight;
  int horizontalSixtyFourths;  // a horizontal unit, in 1/64 pixel
};

}  // namespace korvani::gui
