// korvani binary-encode SOURCE -o OUTPUT
#include <CLI/CLI.hpp>

#include "cli/cli_front_end.h"
#include "platform/standard_output_platform.h"

namespace korvani::cli {

void addBinaryEncodeCommand(CLI::App& app, Environment& environment, Action& action) {
  struct Options {
    std::string source;
    std::string output;
  };
  auto options = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand(
      "binary-encode",
      N_("Package any file as a complete MIME mail with the file as a Base64 attachment."));
  command->add_option("SOURCE", options->source, N_("The file to package"))->required();
  command
      ->add_option("-o,--output", options->output,
                   N_("The mail file to write (replaced if it exists); - for standard output"))
      ->type_name("FILE")
      ->required();
  command->callback([&environment, &action, options] {
    action = [&environment, options] {
      ConversionRequest request;
      request.sourcePath = options->source;
      request.mode = ConvertMode::BinaryEncode;
      StandardOutputPlatform toStandardOutput(environment.platform);
      Environment encoding{toStandardOutput, environment.errorStream};
      FixedOutputChooser chooser(options->output);
      return runConversion(encoding, request, chooser);
    };
  });
}

}  // namespace korvani::cli
