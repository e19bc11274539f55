// korvani-gui [--screenshot PNG] [FILE]: the desktop dialog. The dialog runs modally and the
// program ends when it does.
#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QPixmap>
#include <cstdio>
#include <cstring>

#include "gui/command_line.h"
#include "gui/converter_dialog.h"
#include "gui/dialog_services.h"
#include "platform/posix_platform.h"

namespace {

bool asksForScreenshot(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--screenshot", std::strlen("--screenshot")) == 0) return true;
  }
  return false;
}

QIcon applicationIcon() {
  QIcon icon;
  icon.addFile(QStringLiteral(":/korvani/korvani-16.png"), QSize(16, 16));
  icon.addFile(QStringLiteral(":/korvani/korvani-32.png"), QSize(32, 32));
  return icon;
}

// Shows the dialog where nobody sees it and saves what it draws (its client area) as a PNG.
// Returns the exit status.
int saveScreenshot(korvani::gui::ConverterDialog& dialog, const QString& path) {
  dialog.setAttribute(Qt::WA_DontShowOnScreen);
  dialog.show();
  QApplication::processEvents();
  if (dialog.grab().save(path, "PNG")) return 0;
  std::fprintf(stderr, "korvani-gui: cannot write %s\n", qPrintable(path));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  // A screenshot needs no display: unless told otherwise it is rendered offscreen, where the
  // screen has the usual 96 dots per inch and so the dialog its usual size.
  if (asksForScreenshot(argc, argv) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Korvani"));
  QApplication::setApplicationVersion(QStringLiteral(KORVANI_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("korvani"));
  QApplication::setWindowIcon(applicationIcon());

  QCommandLineParser parser;
  korvani::gui::describeCommandLine(parser);
  parser.process(app);
  const korvani::gui::GuiCommandLine commandLine = korvani::gui::readCommandLine(parser);

  korvani::PosixPlatform platform;
  korvani::gui::QtDialogServices services;
  korvani::gui::ConverterDialog dialog(platform, services);
  dialog.setInitialSource(commandLine.initialSource);
  if (!commandLine.screenshotPath.isEmpty()) {
    return saveScreenshot(dialog, commandLine.screenshotPath);
  }
  dialog.exec();
  return 0;
}
