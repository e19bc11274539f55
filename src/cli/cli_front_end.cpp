#include "cli/cli_front_end.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <new>
#include <string>

#include "cli/cli_texts.h"
#include "cli/cli_usage.h"
#include "cli/translation.h"
#include "mail/shown_text.h"

namespace korvani::cli {

Choice sjisChoice() {
  return {"sjis", {"shift_jis", "shift-jis", "cp932", "windows-31j", "ms932", "x-sjis"}};
}

std::vector<Choice> sjisAndUtf8() { return {sjisChoice(), {"utf-8", {"utf8"}}}; }

OutputCharset outputCharsetNamed(const std::string& name) {
  return name == "sjis" ? OutputCharset::Sjis : OutputCharset::Utf8;
}

namespace {

// One line on the terminal: a message's second line (the path and the OS's reason after an open
// failure) follows its first after ": ".
void printLine(std::FILE* stream, std::string_view text) {
  std::string line(text);
  for (std::size_t at = line.find('\n'); at != std::string::npos; at = line.find('\n', at)) {
    line.replace(at, 1, ": ");
  }
  std::fprintf(stream, "korvani: %s\n", line.c_str());
}

}  // namespace

void StderrSink::showMessage(std::string_view text, MessageOwner) { printLine(stream, text); }

void printError(const Environment& environment, std::string_view text) {
  printLine(environment.errorStream, text);
}

bool standardOutputIs(Platform& platform, const std::string& path) {
  FileIdentity output;
  FileIdentity file;
  return platform.identityOfStandardOutput(output) && platform.identityOf(path, file) &&
         output == file;
}

void printShown(const Environment& environment, std::string_view text) {
  printLine(environment.errorStream, mail::shownText(text));
}

std::string mailLabel(const std::string& path) {
  return path == kStandardInputPath ? tr(texts::kStandardInput) : path;
}

bool refuseRepeatedStandardInput(const Environment& environment, const std::string& command,
                                 const std::vector<std::string>& mails) {
  if (std::count(mails.begin(), mails.end(), kStandardInputPath) < 2) return false;
  usageError(environment, command, tr(texts::kStandardInputTwice));
  return true;
}

int exitStatusOf(ConvertOutcome outcome, int cancelledStatus) {
  switch (outcome) {
    case ConvertOutcome::Converted:
      return kExitConverted;
    case ConvertOutcome::Cancelled:
      return cancelledStatus;
    case ConvertOutcome::MissingSource:
    case ConvertOutcome::NothingDone:
      return kExitUsage;
    case ConvertOutcome::Failed:
      break;
  }
  return kExitFailed;
}

int runConversion(Environment& environment, ConversionRequest request, OutputChooser& chooser) {
  StderrSink sink(environment.errorStream);
  return exitStatusOf(convert(request, environment.platform, sink, chooser));
}

namespace {

// Whether `argument` is an option of `command` that takes a value: the argument after it is that
// value, never an option or a command.
bool takesValue(CLI::App& command, const std::string& argument) {
  if (argument.size() < 2 || argument[0] != '-' || argument.find('=') != std::string::npos) {
    return false;
  }
  const CLI::Option* option = command.get_option_no_throw(argument);
  return option != nullptr && option->get_expected_max() > 0;
}

CLI::App* findCommand(CLI::App& app, const std::string& name) {
  for (CLI::App* command : app.get_subcommands({})) {
    if (command->get_name() == name) return command;
  }
  return nullptr;
}

// Whether `argument` (starting with '-') names options of `command`: "--name" or "--name=value",
// "-x", or short flags run together ("-rq"), the last of which may take the rest as its value.
bool knownOption(CLI::App& command, const std::string& argument) {
  if (argument.rfind("--", 0) == 0) {
    return command.get_option_no_throw(argument.substr(0, argument.find('='))) != nullptr;
  }
  for (std::size_t at = 1; at < argument.size(); ++at) {
    const CLI::Option* option = command.get_option_no_throw(std::string("-") + argument[at]);
    if (option == nullptr) return false;
    if (option->get_expected_max() > 0) return true;
  }
  return true;
}

void printOut(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

int printUsageError(const Environment& environment, const std::string& message,
                    const std::string& hint) {
  printLine(environment.errorStream, message);
  printLine(environment.errorStream, hint);
  return kExitUsage;
}

}  // namespace

int usageError(const Environment& environment, const std::string& command,
               const std::string& message) {
  return printUsageError(environment, command + ": " + message,
                         format(tr(N_("\"korvani %s --help\" shows its options")), {command}));
}

int run(int argc, const char* const* argv, Environment& environment) {
  CLI::App app{N_("Korvani reads Japanese mail: it saves the attachments of mails, mbox files and "
                  "Maildirs under their real names, shows a mail as text, and converts single "
                  "files between raw data and the encodings of Internet mail."),
               "korvani"};
  app.set_help_flag();
  app.require_subcommand(1);

  Action action;
  addBinaryDecodeCommand(app, environment, action);
  addBinaryEncodeCommand(app, environment, action);
  addTextDecodeCommands(app, environment, action);
  addExtractCommand(app, environment, action);
  addReadCommand(app, environment, action);
  addManifestMergeCommand(app, environment, action);
  for (CLI::App* command : app.get_subcommands({})) command->set_help_flag();

  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const std::string version = std::string("korvani ") + KORVANI_VERSION + "\n";
  const std::string overviewHint = tr(N_("\"korvani help\" lists the commands"));
  // What CLI11 would answer alone with "A subcommand is required": no command, a help or version
  // request, an unknown word.
  if (arguments.empty()) {
    printOut(stdout, overviewText(app));
    return kExitUsage;
  }
  const std::string& first = arguments[0];
  if (first == "-h" || first == "--help" || (first == "help" && arguments.size() == 1)) {
    printOut(stdout, overviewText(app));
    return kExitConverted;
  }
  if (first == "--version" || first == "-V") {
    printOut(stdout, version);
    return kExitConverted;
  }
  if (first == "help") {
    CLI::App* command = findCommand(app, arguments[1]);
    if (command == nullptr) {
      return printUsageError(environment,
                             format(tr(N_("\"%s\" is not a korvani command")), {arguments[1]}),
                             overviewHint);
    }
    printOut(stdout, commandHelp(*command));
    return kExitConverted;
  }
  CLI::App* command = findCommand(app, first);
  if (command == nullptr) {
    const std::string message = first[0] == '-'
                                    ? format(tr(N_("unknown option %s")), {first})
                                    : format(tr(N_("\"%s\" is not a korvani command")), {first});
    const std::string nearest = first == "-v" || first == "-version" ? std::string("--version")
                                : first[0] == '-'                    ? std::string()
                                                                     : nearestCommand(app, first);
    if (!nearest.empty()) {
      return printUsageError(
          environment,
          first[0] == '-'
              ? format(tr(N_("unknown option %s; did you mean \"%s\"?")), {first, nearest})
              : format(tr(N_("\"%s\" is not a korvani command; did you mean \"%s\"?")),
                       {first, nearest}),
          overviewHint);
    }
    return printUsageError(environment, message, overviewHint);
  }
  // Help and version anywhere among the command's options, up to "--".
  for (std::size_t at = 1; at < arguments.size(); ++at) {
    const std::string& argument = arguments[at];
    if (argument == "--") break;
    if (argument == "-h" || argument == "--help") {
      printOut(stdout, commandHelp(*command));
      return kExitConverted;
    }
    if (argument == "--version") {
      printOut(stdout, version);
      return kExitConverted;
    }
    if (argument.size() > 1 && argument[0] == '-' && !knownOption(*command, argument)) {
      return usageError(
          environment, command->get_name(),
          format(tr(N_("unknown option %s (a file whose name starts with \"-\" is given after "
                       "\"--\": -- %s)")),
                 {argument, argument}));
    }
    if (takesValue(*command, argument)) ++at;
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return usageError(environment, command->get_name(), usageErrorText(e));
  }
  if (!action) return kExitUsage;
  try {
    return action();
  } catch (const std::bad_alloc&) {
    printLine(environment.errorStream, tr(N_("out of memory")));
    return kExitFailed;
  }
}

}  // namespace korvani::cli
