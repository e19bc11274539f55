#include "cli/cli_front_end.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <new>
#include <string>

#include "cli/cli_texts.h"
#include "mail/shown_text.h"

namespace korvani::cli {

const std::map<std::string, OutputCharset> kOutputCharsetNames = {
    {"sjis", OutputCharset::Sjis},
    {"utf-8", OutputCharset::Utf8},
};

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
  return path == kStandardInputPath ? std::string(texts::kStandardInput) : path;
}

bool refuseRepeatedStandardInput(const Environment& environment,
                                 const std::vector<std::string>& mails) {
  if (std::count(mails.begin(), mails.end(), kStandardInputPath) < 2) return false;
  printError(environment, texts::kStandardInputTwice);
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

int run(int argc, const char* const* argv, Environment& environment) {
  CLI::App app{
      "Korvani converts one file at a time between raw data and Internet mail encodings, for "
      "Japanese mail.",
      "korvani"};
  app.set_version_flag("--version", std::string("korvani ") + KORVANI_VERSION);
  app.require_subcommand(1);

  Action action;
  addBinaryDecodeCommand(app, environment, action);
  addBinaryEncodeCommand(app, environment, action);
  addTextDecodeCommands(app, environment, action);
  addExtractCommand(app, environment, action);
  addReadCommand(app, environment, action);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }
  if (!action) return kExitUsage;
  try {
    return action();
  } catch (const std::bad_alloc&) {
    printLine(environment.errorStream, "out of memory");
    return kExitFailed;
  }
}

}  // namespace korvani::cli
