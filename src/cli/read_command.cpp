// korvani read MAIL [-o OUTPUT|-] [--output-charset utf-8|sjis]
#include <CLI/CLI.hpp>
#include <map>
#include <memory>
#include <new>

#include "cli/cli_front_end.h"
#include "cli/cli_texts.h"
#include "mail/mail_engine.h"
#include "mail/mail_reader.h"
#include "mail/mail_text.h"
#include "mail/shown_text.h"
#include "platform/standard_output_platform.h"

namespace korvani::cli {
namespace {

struct ReadOptions {
  std::string mail;
  std::string output = StandardOutputPlatform::kName;
  std::string charset = "utf-8";
};

int readMail(Environment& environment, const ReadOptions& options) {
  mail::MailLibrary library;
  int errorNumber = 0;
  const auto file = mail::MailFile::open(environment.platform, options.mail, errorNumber);
  if (!file) {
    printShown(environment, texts::openFailed(texts::shownPath(options.mail), errorNumber));
    return kExitFailed;
  }
  const bool toStandardOutput = options.output == StandardOutputPlatform::kName;
  if (toStandardOutput ? standardOutputIs(environment.platform, options.mail)
                       : environment.platform.sameFile(options.output, options.mail)) {
    printShown(environment,
               texts::outputIsInput(toStandardOutput ? tr(texts::kStandardOutput) : options.output,
                                    options.mail));
    return kExitFailed;
  }
  // Every message of an mbox file in turn, one empty line between them.
  std::string text;
  int status = kExitConverted;
  for (std::size_t index = 0; index < file->messageCount(); ++index) {
    const auto parsed = file->parse(index, &errorNumber);
    const std::string label =
        file->isMbox() ? options.mail + "#" + std::to_string(index + 1) : options.mail;
    if (!parsed) {
      printShown(environment, errorNumber != 0 ? texts::readFailed(label, errorNumber)
                                               : texts::about(label, texts::kNotAMail));
      status = kExitFailed;
      continue;
    }
    if (parsed->limitReached()) {
      printShown(environment, texts::about(label, texts::limitWords(parsed->limit()).reached));
      status = kExitFailed;
    }
    // A mail of which nothing could be read is not read as empty. The reading goes to a
    // terminal as often as to a file: nothing a sender wrote may act on it.
    std::string reading;
    try {
      reading = mail::renderMail(*parsed);
      if (!reading.empty()) reading = mail::shownText(reading);
    } catch (const std::bad_alloc&) {
      // The HTML renderer gave up, or the text itself did not fit: no reading cut short.
      printShown(environment, texts::about(label, texts::kReadingOutOfMemory));
      return kExitFailed;
    }
    if (reading.empty()) {
      printShown(environment, texts::about(label, texts::kNotAMail));
      status = kExitFailed;
      continue;
    }
    if (text.empty()) {
      text = std::move(reading);
    } else {
      text.reserve(text.size() + reading.size() + 1);
      text += '\n';
      text += reading;
    }
  }
  if (text.empty() && status != kExitConverted) return status;
  if (outputCharsetNamed(options.charset) == OutputCharset::Sjis)
    text = mail::utf8ToCp932Lossy(text);

  StandardOutputPlatform standardOutput(environment.platform);
  Platform& platform =
      toStandardOutput ? static_cast<Platform&>(standardOutput) : environment.platform;
  const WriteResult result =
      platform.writeFile(options.output, reinterpret_cast<const std::uint8_t*>(text.data()),
                         text.size(), ExistingEntry::ReplaceTarget);
  if (result.status != WriteStatus::Written) {
    printShown(environment,
               texts::writeFailed(toStandardOutput ? tr(texts::kStandardOutput) : options.output,
                                  result.errorNumber));
    return kExitFailed;
  }
  return status;
}

}  // namespace

void addReadCommand(CLI::App& app, Environment& environment, Action& action) {
  auto options = std::make_shared<ReadOptions>();
  CLI::App* command = app.add_subcommand(
      "read",
      N_("Write a mail as a person reads it: its main header fields decoded, the text of each "
         "part, forwarded messages in turn and one line per attachment."));
  command->add_option("MAIL", options->mail, N_("The mail file (or mbox file) to read"))
      ->required();
  command
      ->add_option("-o,--output", options->output,
                   N_("The file to write (replaced if it exists); - for standard output, the "
                      "default"))
      ->type_name("FILE");
  addChoiceOption(*command, "--output-charset", options->charset, sjisAndUtf8(),
                  N_("utf-8 (the default), or sjis: code page 932, with 〓 for what it cannot "
                     "hold"));
  command->callback([&environment, &action, options] {
    action = [&environment, options] { return readMail(environment, *options); };
  });
}

}  // namespace korvani::cli
