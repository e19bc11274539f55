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
// proportional UI font, at 9 points.
inline constexpr const char* kDialogFontFamily = "IPAPGothic";
inline constexpr int kDialogFontPointSize = 9;

// The file dialogs' only filter. Its label says "*.*" as on the desktop our users come from,
// where that pattern matches every file; the pattern actually applied is "*", since "*.*" here
// would hide every file without a dot, which saved mails often are.
inline constexpr const char* kAllFilesFilterLabel = "All Files (*.*)";
inline constexpr const char* kAllFilesPattern = "*";

// The controls in tab order. The radios of a group stand, in table order, for the values 0, 1,
// 2, ... of their option: ConvertMode for the mode group, TextEncoding and TextCharset for the
// two option groups.
std::span<const ControlRow> controlTable();

// The dialog font: kDialogFontFamily at kDialogFontPointSize, falling back to `desktopFont`'s
// family (whose fallback fonts supply the Japanese glyphs) where IPAPGothic is not installed.
QFont dialogFont(const QFont& desktopFont);

// Dialog units to pixels for one font.
class DialogUnits {
 public:
  // Base units in pixels: the average width of the 52 letters A-Z and a-z, rounded as
  // (total / 26 + 1) / 2, and the font's ascent plus descent, each rounded to whole pixels.
  explicit DialogUnits(const QFontMetricsF& metrics);
  DialogUnits(int baseWidth, int baseHeight) : baseWidth(baseWidth), baseHeight(baseHeight) {}

  // Each of x, width maps as round(value * baseWidth / 4) and each of y, height as
  // round(value * baseHeight / 8), halves rounded up, independently of one another.
  QRect toPixels(const DialogUnitRect& rect) const;
  QSize baseUnits() const { return {baseWidth, baseHeight}; }

 private:
  int baseWidth;
  int baseHeight;
};

}  // namespace korvani::gui
