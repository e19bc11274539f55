// korvani binary-decode SOURCE [-o OUTPUT | -d DIR] [--force]
#include <CLI/CLI.hpp>
#include <memory>
#include <optional>

#include "cli/cli_front_end.h"
#include "cli/cli_texts.h"
#include "common/messages.h"
#include "common/safe_name.h"
#include "platform/standard_output_platform.h"

namespace korvani::cli {
namespace {

// Names the output. An explicit -o is taken as it stands and replaced without asking, as a
// Save-As choice is. Otherwise the name the mail proposes, made safe, goes into the folder of -d
// (the current one by default): an existing entry of that name, a symbolic link included, is
// kept unless --force, and is then replaced itself, never written through. The early check here
// spares decoding; the creation checks again at the moment the file is put in place.
// A refusal prints its own reason and leaves the exit status in refusalStatus().
class SafeNameChooser : public OutputChooser {
 public:
  SafeNameChooser(const Environment& environment, std::optional<std::string> output,
                  std::string folder, bool force)
      : environment(environment),
        output(std::move(output)),
        folder(std::move(folder)),
        force(force) {}

  bool chooseOutputFile(const std::string& defaultName, std::string& path) override {
    if (output) {
      path = *output;
      return true;
    }
    const SafeName safe = safeName(defaultName, NameSource::RawBytes);
    switch (safe.verdict) {
      case ProposedNameVerdict::Usable:
        break;
      case ProposedNameVerdict::Missing:
        return refuse(kExitUsage, texts::kNoProposedName);
      case ProposedNameVerdict::Unusable:
        return refuse(kExitUsage, texts::kUnusableProposedName);
    }
    std::string chosen =
        folder.empty() || folder.back() == '/' ? folder + safe.name : folder + "/" + safe.name;
    if (!force && environment.platform.entryExists(chosen)) {
      return refuse(kExitFailed, chosen + ": " + std::string(texts::kProposedOutputExists));
    }
    path = std::move(chosen);
    return true;
  }

  ExistingEntry existingEntry() const override {
    if (output) return ExistingEntry::ReplaceTarget;
    return force ? ExistingEntry::ReplaceEntry : ExistingEntry::Keep;
  }

  int refusalStatus() const { return status; }

 private:
  bool refuse(int exitStatus, std::string_view reason) {
    printError(environment, reason);
    status = exitStatus;
    return false;
  }

  const Environment& environment;
  std::optional<std::string> output;
  std::string folder;
  bool force;
  int status = kExitFailed;
};

// Follows the locator's empty message with a line that says what it means.
class DecodeSink : public StderrSink {
 public:
  using StderrSink::StderrSink;
  void showMessage(std::string_view text, MessageOwner owner = MessageOwner::None) override {
    StderrSink::showMessage(text, owner);
    if (text.empty()) StderrSink::showMessage(texts::kNotBase64Explanation, owner);
  }
};

}  // namespace

void addBinaryDecodeCommand(CLI::App& app, Environment& environment, Action& action) {
  struct Options {
    std::string source;
    std::string output;
    std::string folder;
    bool force = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand(
      "binary-decode",
      N_("Extract the Base64 attachment of a saved mail and write its bytes with the mail's file "
         "times. Without -o the file is named as the mail proposes. For the multipart mails of "
         "today, \"korvani extract\" finds every attachment."));
  command->add_option("SOURCE", options->source, N_("The mail file to read"))->required();
  CLI::Option* output =
      command
          ->add_option("-o,--output", options->output,
                       N_("The file to write (replaced if it exists); - for standard output"))
          ->type_name("FILE");
  CLI::Option* folder =
      command
          ->add_option("-d,--directory", options->folder,
                       N_("Without -o: the folder to write the attachment to under its proposed "
                          "name (default: the current folder)"))
          ->type_name("DIR");
  output->excludes(folder);
  command->add_flag("--force", options->force,
                    N_("Without -o: replace an existing file of the proposed name"));
  command->callback([&environment, &action, options, output] {
    const bool named = output->count() > 0;
    action = [&environment, options, named] {
      ConversionRequest request;
      request.sourcePath = options->source;
      request.mode = ConvertMode::BinaryDecode;
      SafeNameChooser chooser(environment,
                              named ? std::optional<std::string>(options->output) : std::nullopt,
                              options->folder, options->force);
      // Only "-o -" means standard output; a mail proposing the name "-" gets a file of that name.
      StandardOutputPlatform toStandardOutput(environment.platform);
      Platform& platform = named && options->output == StandardOutputPlatform::kName
                               ? static_cast<Platform&>(toStandardOutput)
                               : environment.platform;
      DecodeSink sink(environment.errorStream);
      const ConvertOutcome outcome = convert(request, platform, sink, chooser);
      return exitStatusOf(outcome, chooser.refusalStatus());
    };
  });
}

}  // namespace korvani::cli
