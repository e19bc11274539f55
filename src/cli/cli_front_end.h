// The `korvani` command: turns its arguments into a ConversionRequest, runs convert() and turns
// the outcome into an exit status (0 converted, 1 conversion failed, 2 usage error). Messages go
// to standard error as "korvani: MESSAGE"; a successful conversion prints nothing but the note of
// mail-decode and text-decode that text Shift_JIS cannot hold was lost.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/convert.h"
#include "app/output_chooser.h"
#include "cli/cli_usage.h"
#include "cli/translation.h"
#include "common/message_sink.h"
#include "platform/platform.h"

namespace CLI {
class App;
}

namespace korvani::cli {

inline constexpr int kExitConverted = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// The values of --output-charset, for every command that writes text ("sjis" or "utf-8", each
// with its other spellings), and the charset a value names.
Choice sjisChoice();
std::vector<Choice> sjisAndUtf8();
OutputCharset outputCharsetNamed(const std::string& name);

// What every subcommand works with.
struct Environment {
  Platform& platform;
  std::FILE* errorStream;
};

// Prints each message as "korvani: MESSAGE", a second line of it after ": ".
class StderrSink : public MessageSink {
 public:
  explicit StderrSink(std::FILE* stream) : stream(stream) {}
  void showMessage(std::string_view text, MessageOwner owner = MessageOwner::None) override;

 private:
  std::FILE* stream;
};

// The output named with -o.
class FixedOutputChooser : public OutputChooser {
 public:
  explicit FixedOutputChooser(std::string path) : path(std::move(path)) {}
  bool chooseOutputFile(const std::string&, std::string& chosen) override {
    chosen = path;
    return true;
  }

 private:
  std::string path;
};

// Prints "korvani: TEXT" on the environment's error stream.
void printError(const Environment& environment, std::string_view text);
// Prints a usage error of `command` ("korvani: COMMAND: MESSAGE") and where its options are told;
// returns kExitUsage.
int usageError(const Environment& environment, const std::string& command,
               const std::string& message);
// Whether standard output writes to the file `path`, as a shell's `>> MAIL` makes it.
bool standardOutputIs(Platform& platform, const std::string& path);

// printError() for the today's-mail commands, whose messages hold paths found in folders and text
// from mails: what would act on a terminal is shown instead (mail::shownText).
void printShown(const Environment& environment, std::string_view text);

// How messages name the mail at `path`: "standard input" for "-", else the path itself.
std::string mailLabel(const std::string& path);
// Whether `mails` name standard input ("-") more than once, which a run cannot read: it is said
// on the error stream, and the caller exits with kExitUsage.
bool refuseRepeatedStandardInput(const Environment& environment, const std::string& command,
                                 const std::vector<std::string>& mails);

// The exit status of an outcome. `cancelledStatus` is the status for a chooser that declined (it
// has said why itself).
int exitStatusOf(ConvertOutcome outcome, int cancelledStatus = kExitFailed);

// Runs `request` through convert() with a StderrSink and returns the exit status.
int runConversion(Environment& environment, ConversionRequest request, OutputChooser& chooser);

// The action a parsed subcommand leaves behind; returns the exit status.
using Action = std::function<int()>;

// Each subcommand registers itself on `app` and, when it is the one given, sets `action`.
void addBinaryDecodeCommand(CLI::App& app, Environment& environment, Action& action);
void addBinaryEncodeCommand(CLI::App& app, Environment& environment, Action& action);
void addTextDecodeCommands(CLI::App& app, Environment& environment, Action& action);
void addExtractCommand(CLI::App& app, Environment& environment, Action& action);
void addReadCommand(CLI::App& app, Environment& environment, Action& action);
void addManifestMergeCommand(CLI::App& app, Environment& environment, Action& action);

// Parses `argv` and runs the chosen subcommand. Returns the process's exit status.
int run(int argc, const char* const* argv, Environment& environment);

}  // namespace korvani::cli
