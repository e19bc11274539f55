// korvani-gui [--screenshot PNG] [FILE]: the desktop dialog. The dialog runs modally and the
// program ends when it does.
// korvani-gui --mail [--screenshot PNG] [FILE]: the mail window, reading FILE when given; the
// program ends when the window is closed.
// korvani-gui --mail --pdf PDF FILE: FILE written as a PDF, as the window prints it, without a
// display.
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QEventLoop>
#include <QFile>
#include <QIcon>
#include <QLocale>
#include <QPixmap>
#include <QSet>
#include <cstdio>

#include "gui/application_identity.h"
#include "gui/command_line.h"
#include "gui/converter_dialog.h"
#include "gui/dialog_services.h"
#include "gui/dialog_template.h"
#include "gui/mail_window.h"
#include "gui/mail_window_services.h"
#include "mail/mail_engine.h"
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

// The icon of the program shown in `mode`, as its desktop file names it.
QIcon applicationIcon(korvani::gui::GuiMode mode) {
  const QString name = korvani::gui::desktopFileId(mode);
  QIcon icon;
  icon.addFile(QStringLiteral(":/korvani/%1-16.png").arg(name), QSize(16, 16));
  icon.addFile(QStringLiteral(":/korvani/%1-32.png").arg(name), QSize(32, 32));
  return icon;
}

// Qt's warnings, each text once: drawing offscreen, Qt repeats some for every window it makes
// ("This plugin does not support propagateSizeHints()"). A screenshot prints what remains.
void printEachWarningOnce(QtMsgType type, const QMessageLogContext& context,
                          const QString& message) {
  // Enough for every distinct warning of a run; beyond it, repeats are printed again.
  constexpr qsizetype kMostRemembered = 64;
  static QSet<QString> printed;
  if (printed.contains(message)) return;
  if (printed.size() < kMostRemembered) printed.insert(message);
  std::fputs(qPrintable(qFormatLogMessage(type, context, message) + QLatin1Char('\n')), stderr);
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

// The mail window, reading `file` when it is not empty; with `screenshotPath`, drawn where nobody
// sees it once the mail is shown and saved as a PNG. Returns the exit status: for a screenshot,
// 1 when the file cannot be read at all or the PNG not written.
int runMailWindow(korvani::Platform& platform, const QByteArray& file,
                  const QString& screenshotPath, const QString& pdfPath, const QString& findText,
                  bool clearInstanceName, korvani::gui::DialogServices& services) {
  korvani::mail::MailLibrary library;
  korvani::gui::QtMailWindowServices windowServices;
  korvani::gui::MailWindow window(platform, windowServices);
  if (!pdfPath.isEmpty()) {
    if (file.isEmpty()) {
      korvani::gui::reportStartupFailure(services, QStringLiteral("--pdf needs a mail FILE"), true);
      return 2;
    }
    QEventLoop untilShown;
    QObject::connect(&window, &korvani::gui::MailWindow::mailShown, &untilShown, &QEventLoop::quit);
    window.openMail(file);
    untilShown.exec();
    if (!window.fileReadable()) {
      std::fprintf(stderr, "korvani-gui: %s\n", window.problem().c_str());
      return 1;
    }
    QString failure;
    if (window.writePdf(QFile::encodeName(pdfPath).toStdString(), failure)) return 0;
    std::fprintf(stderr, "korvani-gui: %s\n", failure.toLocal8Bit().constData());
    return 1;
  }
  if (screenshotPath.isEmpty()) {
    window.show();
    if (clearInstanceName) qunsetenv("RESOURCE_NAME");
    if (!file.isEmpty()) window.openMail(file);
    return QApplication::exec();
  }
  window.setAttribute(Qt::WA_DontShowOnScreen);
  window.show();
  if (!file.isEmpty()) {
    QEventLoop untilShown;
    QObject::connect(&window, &korvani::gui::MailWindow::mailShown, &untilShown, &QEventLoop::quit);
    window.openMail(file);
    untilShown.exec();
  }
  if (!findText.isEmpty()) window.findText(findText);
  QApplication::processEvents();
  if (!file.isEmpty() && !window.fileReadable()) {
    std::fprintf(stderr, "korvani-gui: %s\n", window.problem().c_str());
    return 1;
  }
  if (window.grab().save(screenshotPath, "PNG")) return 0;
  korvani::gui::reportStartupFailure(services,
                                     QStringLiteral("cannot write %1").arg(screenshotPath), true);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  korvani::gui::nameTheApplication();
  QCoreApplication::setApplicationVersion(kVersion);
  if (const std::optional<int> status = answerInformation(argc, argv)) return *status;

  // A screenshot needs no display: unless told otherwise it is rendered offscreen, where the
  // screen has the usual 96 dots per inch and so the dialog its usual size.
  if (korvani::gui::asksForScreenshot(rawArguments(argc, argv))) {
    qInstallMessageHandler(printEachWarningOnce);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  // On X11 a desktop tells the two programs apart by the instance name in the window's class,
  // which it matches against the desktop file's StartupWMClass; Qt takes it from RESOURCE_NAME
  // when it makes the first window. It is cleared once that window is shown, so that no
  // program the window starts inherits it.
  const bool mailWindowAsked = korvani::gui::asksForMailWindow(rawArguments(argc, argv));
  const bool instanceNamed = mailWindowAsked && qEnvironmentVariableIsEmpty("RESOURCE_NAME");
  if (instanceNamed) qputenv("RESOURCE_NAME", korvani::gui::kMailWindowDesktopId);
  QApplication app(argc, argv);
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

  const korvani::gui::GuiMode mode = commandLine.mailWindow || !commandLine.pdfPath.isEmpty()
                                         ? korvani::gui::GuiMode::MailWindow
                                         : korvani::gui::GuiMode::Converter;
  QApplication::setDesktopFileName(korvani::gui::desktopFileId(mode));
  QApplication::setWindowIcon(applicationIcon(mode));
  korvani::gui::adoptEarlierSettings();

  korvani::PosixPlatform platform;
  if (commandLine.mailWindow || !commandLine.pdfPath.isEmpty()) {
    return runMailWindow(platform, commandLine.initialSourceBytes, commandLine.screenshotPath,
                         commandLine.pdfPath, commandLine.findText, instanceNamed, services);
  }
  korvani::gui::ConverterDialog dialog(platform, services);
  dialog.setInitialSource(commandLine.initialSourceBytes);
  if (!commandLine.screenshotPath.isEmpty()) {
    return saveScreenshot(dialog, commandLine.screenshotPath, services);
  }
  dialog.exec();
  return 0;
}
