// The command line of korvani-gui: [--screenshot PNG] [FILE].
#pragma once

#include <QString>

class QCommandLineParser;

namespace korvani::gui {

struct GuiCommandLine {
  QString initialSource;   // FILE, the first plain argument, as given; empty when there is none
  QString screenshotPath;  // --screenshot: render the dialog to this PNG instead of showing it
};

// Declares the program's description, --help, --version, --screenshot and FILE on `parser`.
void describeCommandLine(QCommandLineParser& parser);

// What a parser set up by describeCommandLine() has parsed. Plain arguments after the first
// are ignored.
GuiCommandLine readCommandLine(const QCommandLineParser& parser);

}  // namespace korvani::gui
