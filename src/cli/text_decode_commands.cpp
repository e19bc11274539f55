// korvani mail-decode SOURCE -o OUTPUT [--encoding ...] [--charset ...] [--output-charset ...]
// korvani text-decode SOURCE -o OUTPUT [--encoding ...] [--charset ...] [--output-charset ...]
#include <CLI/CLI.hpp>
#include <map>
#include <memory>

#include "cli/cli_front_end.h"
#include "cli/cli_texts.h"
#include "platform/standard_output_platform.h"

namespace korvani::cli {
namespace {

const std::map<std::string, TextEncoding> kEncodingNames = {
    {"auto", TextEncoding::Auto},
    {"quoted-printable", TextEncoding::QuotedPrintable},
    {"base64", TextEncoding::Base64},
};

const std::map<std::string, TextCharset> kCharsetNames = {
    {"auto", TextCharset::Auto}, {"jis", TextCharset::Jis}, {"utf-8", TextCharset::Utf8},
    {"sjis", TextCharset::Sjis}, {"euc", TextCharset::Euc},
};

struct Options {
  std::string source;
  std::string output;
  TextEncoding encoding;
  TextCharset charset;
  OutputCharset outputCharset = OutputCharset::Sjis;
};

void addCommand(CLI::App& app, Environment& environment, Action& action, const char* name,
                const char* description, ConvertMode mode, TextEncoding encoding,
                TextCharset charset) {
  auto options = std::make_shared<Options>();
  options->encoding = encoding;
  options->charset = charset;
  CLI::App* command = app.add_subcommand(name, description);
  command->add_option("SOURCE", options->source, "The file to decode")->required();
  command->add_option("-o,--output", options->output, "The file to write; - for standard output")
      ->required();
  command
      ->add_option("--encoding", options->encoding,
                   "Transfer encoding: auto, quoted-printable or base64")
      ->transform(CLI::CheckedTransformer(kEncodingNames, CLI::ignore_case))
      ->capture_default_str();
  command->add_option("--charset", options->charset, "Character set: auto, jis, utf-8, sjis or euc")
      ->transform(CLI::CheckedTransformer(kCharsetNames, CLI::ignore_case))
      ->capture_default_str();
  command
      ->add_option("--output-charset", options->outputCharset,
                   "Write the Shift_JIS result as is (sjis) or converted to utf-8")
      ->transform(CLI::CheckedTransformer(kOutputCharsetNames, CLI::ignore_case))
      ->capture_default_str();
  command->callback([&environment, &action, options, mode] {
    action = [&environment, options, mode] {
      ConversionRequest request;
      request.sourcePath = options->source;
      request.mode = mode;
      request.encodingOption = options->encoding;
      request.charsetOption = options->charset;
      request.outputCharset = options->outputCharset;
      StandardOutputPlatform toStandardOutput(environment.platform);
      FixedOutputChooser chooser(options->output);
      StderrSink sink(environment.errorStream);
      const ConvertOutcome outcome = convert(request, toStandardOutput, sink, chooser);
      // The output stays what the mode has always written; the user learns that it lacks text.
      if (outcome == ConvertOutcome::Converted && request.charactersDropped) {
        const std::string output = options->output == StandardOutputPlatform::kName
                                       ? std::string(texts::kStandardOutput)
                                       : options->output;
        printShown(environment, output + ": " +
                                    std::string(mode == ConvertMode::MailDecode
                                                    ? texts::kCharactersDroppedFromMail
                                                    : texts::kCharactersDroppedFromText));
      }
      return exitStatusOf(outcome);
    };
  });
}

}  // namespace

void addTextDecodeCommands(CLI::App& app, Environment& environment, Action& action) {
  addCommand(app, environment, action, "mail-decode",
             "Rewrite a whole mail as readable Shift_JIS text: encoded words in headers, "
             "quoted-printable and Base64 text parts decoded and converted.",
             ConvertMode::MailDecode, TextEncoding::Auto, TextCharset::Auto);
  addCommand(app, environment, action, "text-decode",
             "Decode a file that is entirely quoted-printable or Base64 text in one character set "
             "to Shift_JIS.",
             ConvertMode::TextDecode, TextEncoding::QuotedPrintable, TextCharset::Jis);
}

}  // namespace korvani::cli
