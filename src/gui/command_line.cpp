#include "gui/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace korvani::gui {
namespace {

const QString kScreenshotOption = QStringLiteral("screenshot");

}  // namespace

void describeCommandLine(QCommandLineParser& parser) {
  parser.setApplicationDescription(QCoreApplication::translate(
      "korvani-gui",
      "Converts one file at a time between raw data and Internet mail encodings, for Japanese "
      "mail."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addOption(
      {kScreenshotOption,
       QCoreApplication::translate("korvani-gui",
                                   "Render the dialog to the PNG <file> and exit (offscreen "
                                   "unless QT_QPA_PLATFORM says otherwise)."),
       QStringLiteral("file")});
  parser.addPositionalArgument(
      QStringLiteral("FILE"),
      QCoreApplication::translate("korvani-gui", "The source file, shown in the dialog."),
      QStringLiteral("[FILE]"));
}

GuiCommandLine readCommandLine(const QCommandLineParser& parser) {
  GuiCommandLine commandLine;
  const QStringList plain = parser.positionalArguments();
  if (!plain.isEmpty()) commandLine.initialSource = plain.front();
  commandLine.screenshotPath = parser.value(kScreenshotOption);
  return commandLine;
}

}  // namespace korvani::gui
