#include "gui/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <initializer_list>

#include "gui/dialog_services.h"
#include "gui/dialog_template.h"

namespace korvani::gui {
namespace {

const QString kScreenshotOption = QStringLiteral("screenshot");
const QString kMailOption = QStringLiteral("mail");
const QString kPdfOption = QStringLiteral("pdf");
const QString kFindOption = QStringLiteral("find");
const QString kVersionOption = QStringLiteral("version");
const QString kHelpOption = QStringLiteral("help");
const QString kHelpAllOption = QStringLiteral("help-all");

// Whether an argument before any "--" satisfies `isOption`.
template <typename Predicate>
bool anyOptionBeforeEnd(const QList<QByteArray>& arguments, Predicate isOption) {
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == "--") return false;
    if (isOption(arguments[i])) return true;
  }
  return false;
}

bool isOneOf(const QByteArray& argument, std::initializer_list<const char*> names) {
  return std::any_of(names.begin(), names.end(),
                     [&](const char* name) { return argument == name; });
}

// Where the first plain argument is, the way QCommandLineParser reads them: everything after
// "--" is plain; before it, an argument that starts with '-' (but is not "-" alone) is an option,
// and --screenshot, --pdf or --find without '=' takes the next argument as its value. -1 when there
// is none.
qsizetype firstPlainArgument(const QList<QByteArray>& arguments) {
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QByteArray& argument = arguments[i];
    if (argument == "--") return i + 1 < arguments.size() ? i + 1 : -1;
    if (argument == "--screenshot" || argument == "--pdf" || argument == "--find") {
      ++i;
    } else if (!argument.startsWith('-') || argument == "-") {
      return i;
    }
  }
  return -1;
}

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
  parser.addOption({kMailOption, QCoreApplication::translate(
                                     "korvani-gui",
                                     "Open the mail window, which reads FILE (a mail or an mbox "
                                     "file) and saves its attachments, instead of the dialog.")});
  parser.addOption({kPdfOption,
                    QCoreApplication::translate(
                        "korvani-gui",
                        "With --mail: write the mail as the PDF <file>, laid out as it is "
                        "printed, and exit (offscreen unless QT_QPA_PLATFORM says otherwise)."),
                    QStringLiteral("file")});
  parser.addOption({kFindOption,
                    QCoreApplication::translate(
                        "korvani-gui", "With --mail: open the find bar and look for <text>."),
                    QStringLiteral("text")});
  parser.addPositionalArgument(
      QStringLiteral("FILE"),
      QCoreApplication::translate("korvani-gui",
                                  "The source file, shown in the dialog, or the mail to read."),
      QStringLiteral("[FILE]"));
}

GuiCommandLine readCommandLine(const QCommandLineParser& parser,
                               const QList<QByteArray>& arguments) {
  GuiCommandLine commandLine;
  const QStringList plain = parser.positionalArguments();
  if (!plain.isEmpty()) {
    commandLine.initialSource = plain.front();
    const qsizetype index = firstPlainArgument(arguments);
    // Should the two readings ever disagree, the text is what the parser saw.
    commandLine.initialSourceBytes =
        index >= 0 && QString::fromLocal8Bit(arguments[index]) == plain.front()
            ? arguments[index]
            : plain.front().toLocal8Bit();
  }
  commandLine.screenshotPath = parser.value(kScreenshotOption);
  commandLine.mailWindow = parser.isSet(kMailOption);
  commandLine.pdfPath = parser.value(kPdfOption);
  commandLine.findText = parser.value(kFindOption);
  return commandLine;
}

bool asksForScreenshot(const QList<QByteArray>& arguments) {
  return anyOptionBeforeEnd(arguments, [](const QByteArray& argument) {
    return argument == "--screenshot" || argument.startsWith("--screenshot=") ||
           argument == "--pdf" || argument.startsWith("--pdf=");
  });
}

bool asksForMailWindow(const QList<QByteArray>& arguments) {
  return anyOptionBeforeEnd(arguments,
                            [](const QByteArray& argument) { return argument == "--mail"; });
}

bool asksForInformation(const QList<QByteArray>& arguments) {
  return anyOptionBeforeEnd(arguments, [](const QByteArray& argument) {
    return isOneOf(argument, {"-h", "--help", "--help-all", "-v", "--version"});
  });
}

std::optional<QString> informationText(const QCommandLineParser& parser, const QString& version) {
  if (parser.isSet(kHelpOption) || parser.isSet(kHelpAllOption)) return parser.helpText();
  if (parser.isSet(kVersionOption)) return QStringLiteral("korvani-gui %1\n").arg(version);
  return std::nullopt;
}

void reportStartupFailure(DialogServices& services, const QString& text, bool onTerminal) {
  std::fprintf(stderr, "korvani-gui: %s\n", qPrintable(text));
  if (!onTerminal) {
    services.showMessage(nullptr, QString::fromUtf8(kApplicationName), text, QMessageBox::Warning);
  }
}

}  // namespace korvani::gui
