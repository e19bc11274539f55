// korvani binary-decode SOURCE [-o OUTPUT | -d DIR] [--force]
#include <CLI/CLI.hpp>
#include <memory>
#include <optional>

#include "cli/cli_front_end.h"
#include "cli/cli_texts.h"
#include "common/messages.h"
#include "common/safe_name.h"
#include "mail/attachment_count.h"
#include "mail/attachment_name.h"
#include "mail/mail_engine.h"
#include "platform/standard_output_platform.h"

namespace korvani::cli {
namespace {

// Names the output. An explicit -o is taken as it stands and replaced without asking, as a
// Save-As choice is. Otherwise the name the mail proposes, made safe, goes into the folder of -d
// (the current one by default); a mail that proposes no usable name gets the name extract gives
// such an attachment. An existing entry of that name, a symbolic link included, is kept unless
// --force, and is then replaced itself, never written through. The early check here spares
// decoding; the creation checks again at the moment the file is put in place.
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
    // The attachment binary-decode finds is always application/octet-stream: "part-1.bin".
    const std::string name = safe.verdict == ProposedNameVerdict::Usable
                                 ? safe.name
                                 : mail::defaultAttachmentName(1, "application/octet-stream");
    std::string chosen =
        folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
    if (!force && environment.platform.entryExists(chosen)) {
      return refuse(kExitFailed, texts::about(chosen, texts::kProposedOutputExists));
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
  bool refuse(int exitStatus, const std::string& reason) {
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

// The locator's two answers to a mail without an attachment of its form: kBadMailStructure, and
// an empty message for a transfer encoding other than base64, which is replaced by what it means.
// Each is followed by what extract finds in the same mail: today's mailers write their
// attachments in forms the locator does not read.
class DecodeSink : public StderrSink {
 public:
  DecodeSink(const Environment& environment, std::string source)
      : StderrSink(environment.errorStream), environment(environment), source(std::move(source)) {}

  void showMessage(std::string_view text, MessageOwner owner = MessageOwner::None) override {
    const bool notBase64 = text == messages::kNotBase64Attachment;
    StderrSink::showMessage(notBase64 ? tr(texts::kNotBase64Explanation) : std::string(text),
                            owner);
    if (notBase64 || text == messages::kBadMailStructure) {
      const mail::MailLibrary library;
      const std::size_t found = mail::countAttachments(environment.platform, source);
      printShown(environment, source + ": " + texts::extractHint(found));
    }
  }

 private:
  const Environment& environment;
  std::string source;
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
      DecodeSink sink(environment, options->source);
      const ConvertOutcome outcome = convert(request, platform, sink, chooser);
      return exitStatusOf(outcome, chooser.refusalStatus());
    };
  });
}

}  // namespace korvani::cli
