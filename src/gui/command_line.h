// The command line of korvani-gui: [--mail] [--screenshot PNG] [--pdf PDF] [--find TEXT] [FILE],
// with --help and --version.
//
// The arguments arrive twice: as text for QCommandLineParser, and as the bytes the program was
// given, so that a file name which is not UTF-8 still names its file.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

class QCommandLineParser;

namespace korvani::gui {

class DialogServices;

struct GuiCommandLine {
  QString initialSource;          // FILE, the first plain argument, as text; empty when none
  QByteArray initialSourceBytes;  // the same argument as the program was given it
  QString screenshotPath;   // --screenshot: render the window to this PNG instead of showing it
  bool mailWindow = false;  // --mail: the mail window instead of the classic dialog
  QString findText;         // --find: with --mail, the find bar open, looking for this
  QString pdfPath;          // --pdf: with --mail, write the mail as this PDF instead of showing it
};

// Declares the program's description, --help, --version, --mail, --screenshot and FILE on
// `parser`.
void describeCommandLine(QCommandLineParser& parser);

// What a parser set up by describeCommandLine() has parsed. `arguments` are the bytes of the
// arguments it parsed, program name first, in the same order. Plain arguments after the first
// are ignored.
GuiCommandLine readCommandLine(const QCommandLineParser& parser,
                               const QList<QByteArray>& arguments);

// Whether `arguments` (program name first) hold the option --screenshot or --pdf itself (alone
// or as --screenshot=PNG, --pdf=PDF) before any "--"; an argument that only begins with it is
// not. Both are drawn without a display.
bool asksForScreenshot(const QList<QByteArray>& arguments);

// Whether they hold --mail before any "--": the mail window, told apart before the
// application's own options are taken out.
bool asksForMailWindow(const QList<QByteArray>& arguments);

// Whether they ask for --help or --version (or -h, --help-all, -v), which are answered
// without a display.
bool asksForInformation(const QList<QByteArray>& arguments);

// What --help or --version prints, for a parser set up by describeCommandLine() that has
// parsed: the help text, or "korvani-gui VERSION"; nullopt when neither was asked for. Needs a
// QCoreApplication.
std::optional<QString> informationText(const QCommandLineParser& parser, const QString& version);

// Reports a failure before the dialog runs: on standard error as "korvani-gui: TEXT", and, when
// `onTerminal` is false (a desktop launch, where nobody reads standard error), also in a
// message box captioned with the application's name.
void reportStartupFailure(DialogServices& services, const QString& text, bool onTerminal);

}  // namespace korvani::gui
