// korvani-gui [--screenshot PNG] [FILE]: the desktop dialog. The dialog runs modally and the
// program ends when it does.
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QLocale>
#include <QPixmap>
#include <cstdio>

#include "gui/command_line.h"
#include "gui/converter_dialog.h"
#include "gui/dialog_services.h"
#include "gui/dialog_template.h"
#include "platform/posix_platform.h"

namespace {

const QString kVersion = QStringLiteral(KORVANI_VERSION);

QList<QByteArray> rawArguments(int argc, char** argv) {
  QList<QByteArray> arguments;
  for (int i = 0; i < argc; ++i) arguments.append(QByteArray(argv[i]));
  return arguments;
}

// --help and --version, answered without a display: a plain application object parses them.
// Returns the exit status when they were asked for.
std::optional<int> answerInformation(int argc, char** argv) {
  if (!korvani::gui::asksForInformation(rawArguments(argc, argv))) return std::nullopt;
  QCoreApplication application(argc, argv);
  QCommandLineParser parser;
  korvani::gui::describeCommandLine(parser);
  // Other options, Qt's own among them, do not matter here.
  parser.parse(QCoreApplication::arguments());
  const std::optional<QString> text = korvani::gui::informationText(parser, kVersion);
  if (!text) return std::nullopt;
  std::fputs(qPrintable(*text), stdout);
  return 0;
}

QIcon applicationIcon() {
  QIcon icon;
  icon.addFile(QStringLiteral(":/korvani/korvani-16.png"), QSize(16, 16));
  icon.addFile(QStringLiteral(":/korvani/korvani-32.png"), QSize(32, 32));
  return icon;
}

// Shows the dialog where nobody sees it and saves what it draws (its client area) as a PNG.
// Returns the exit status.
int saveScreenshot(korvani::gui::ConverterDialog& dialog, const QString& path,
                   korvani::gui::DialogServices& services) {
  dialog.setAttribute(Qt::WA_DontShowOnScreen);
  dialog.show();
  QApplication::processEvents();
  if (dialog.grab().save(path, "PNG")) return 0;
  korvani::gui::reportStartupFailure(services, QStringLiteral("cannot write %1").arg(path), true);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication::setApplicationName(QString::fromUtf8(korvani::gui::kApplicationName));
  QCoreApplication::setApplicationVersion(kVersion);
  if (const std::optional<int> status = answerInformation(argc, argv)) return *status;

  // A screenshot needs no display: unless told otherwise it is rendered offscreen, where the
  // screen has the usual 96 dots per inch and so the dialog its usual size.
  if (korvani::gui::asksForScreenshot(rawArguments(argc, argv)) &&
      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  QApplication::setDesktopFileName(QStringLiteral("korvani"));
  QApplication::setWindowIcon(applicationIcon());
  korvani::gui::installQtTranslations(app, QLocale::system());

  korvani::gui::QtDialogServices services;
  QCommandLineParser parser;
  korvani::gui::describeCommandLine(parser);
  if (!parser.parse(QCoreApplication::arguments())) {
    // A message box offscreen would wait for a click that never comes.
    const bool onTerminal =
        isatty(STDERR_FILENO) || QGuiApplication::platformName() == QLatin1String("offscreen");
    korvani::gui::reportStartupFailure(services, parser.errorText(), onTerminal);
    return 2;
  }
  // QApplication has taken its own options out of argv, so the bytes line up with the text.
  const korvani::gui::GuiCommandLine commandLine =
      korvani::gui::readCommandLine(parser, rawArguments(argc, argv));

  korvani::PosixPlatform platform;
  korvani::gui::ConverterDialog dialog(platform, services);
  dialog.setInitialSource(commandLine.initialSourceBytes);
  if (!commandLine.screenshotPath.isEmpty()) {
    return saveScreenshot(dialog, commandLine.screenshotPath, services);
  }
  dialog.exec();
  return 0;
}
