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

const std::map<std::string, TextEncoding> kEncodings = {
    {"auto", TextEncoding::Auto},
    {"quoted-printable", TextEncoding::QuotedPrintable},
    {"base64", TextEncoding::Base64},
};
const std::vector<Choice> kEncodingChoices = {
    {"auto", {}}, {"quoted-printable", {"qp"}}, {"base64", {"b64"}}};

const std::map<std::string, TextCharset> kCharsets = {
    {"auto", TextCharset::Auto}, {"jis", TextCharset::Jis}, {"utf-8", TextCharset::Utf8},
    {"sjis", TextCharset::Sjis}, {"euc", TextCharset::Euc},
};
const std::vector<Choice> kCharsetChoices = {
    {"auto", {}}, {"jis", {"iso-2022-jp", "iso2022jp", "csiso2022jp"}}, {"utf-8", {"utf8"}},
    sjisChoice(), {"euc", {"euc-jp", "eucjp", "ujis", "x-euc-jp"}},
};

struct Options {
  std::string source;
  std::string output;
  std::string encoding;
  std::string charset;
  std::string outputCharset = "sjis";
};

void addCommand(CLI::App& app, Environment& environment, Action& action, const char* name,
                const char* description, ConvertMode mode, const char* encoding,
                const char* charset) {
  auto options = std::make_shared<Options>();
  options->encoding = encoding;
  options->charset = charset;
  CLI::App* command = app.add_subcommand(name, description);
  command->add_option("SOURCE", options->source, N_("The file to decode"))->required();
  command
      ->add_option("-o,--output", options->output,
                   N_("The file to write (replaced if it exists); - for standard output"))
      ->type_name("FILE")
      ->required();
  addChoiceOption(*command, "--encoding", options->encoding, kEncodingChoices,
                  mode == ConvertMode::MailDecode
                      ? N_("The transfer encoding of the encoded parts (default: auto, as each "
                           "part's header says)")
                      : N_("The transfer encoding of the whole file (default: quoted-printable; "
                           "auto tells it from the text)"));
  addChoiceOption(*command, "--charset", options->charset, kCharsetChoices,
                  mode == ConvertMode::MailDecode
                      ? N_("The character set of the text (default: auto, as the mail's header "
                           "says, else told from the text); also iso-2022-jp, utf8, shift_jis, "
                           "cp932, euc-jp")
                      : N_("The character set of the decoded text (default: jis); also "
                           "iso-2022-jp, utf8, shift_jis, cp932, euc-jp"));
  addChoiceOption(*command, "--output-charset", options->outputCharset, sjisAndUtf8(),
                  N_("Write the Shift_JIS result as it is (sjis, the default) or converted to "
                     "utf-8"));
  command->callback([&environment, &action, options, mode] {
    action = [&environment, options, mode] {
      ConversionRequest request;
      request.sourcePath = options->source;
      request.mode = mode;
      request.encodingOption = kEncodings.at(options->encoding);
      request.charsetOption = kCharsets.at(options->charset);
      request.outputCharset = outputCharsetNamed(options->outputCharset);
      StandardOutputPlatform toStandardOutput(environment.platform);
      FixedOutputChooser chooser(options->output);
      StderrSink sink(environment.errorStream);
      const ConvertOutcome outcome = convert(request, toStandardOutput, sink, chooser);
      // The output stays what the mode has always written; the user learns that it lacks text.
      if (outcome == ConvertOutcome::Converted && request.charactersDropped) {
        const std::string output = options->output == StandardOutputPlatform::kName
                                       ? tr(texts::kStandardOutput)
                                       : options->output;
        printShown(environment, texts::about(output, mode == ConvertMode::MailDecode
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
             N_("Rewrite a whole mail as readable Shift_JIS text: encoded words in headers, "
                "quoted-printable and Base64 text parts decoded and converted. Characters "
                "Shift_JIS cannot hold are lost; \"korvani read\" shows today's mail whole."),
             ConvertMode::MailDecode, "auto", "auto");
  addCommand(app, environment, action, "text-decode",
             N_("Decode a file that is entirely quoted-printable or Base64 text in one character "
                "set to Shift_JIS."),
             ConvertMode::TextDecode, "quoted-printable", "jis");
}

}  // namespace korvani::cli
