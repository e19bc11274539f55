// korvani read MAIL... [-o OUTPUT|-] [--output-charset utf-8|sjis]
#include <CLI/CLI.hpp>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "cli/cli_front_end.h"
#include "cli/cli_texts.h"
#include "common/messages.h"
#include "mail/mail_engine.h"
#include "mail/mail_reader.h"
#include "mail/mail_text.h"
#include "mail/shown_text.h"
#include "platform/standard_output_platform.h"

namespace korvani::cli {
namespace {

struct ReadOptions {
  std::vector<std::string> mails;
  std::string output = StandardOutputPlatform::kName;
  OutputCharset charset = OutputCharset::Utf8;
};

// Appends the reading of one message to `text`: one empty line after the one before and, when the
// run reads more than one message, a heading that names it, as `head` heads each file.
void appendReading(std::string& text, const std::string& reading, const std::string& label,
                   bool headed) {
  const std::string heading = headed ? "==> " + mail::shownText(label) + " <==\n" : std::string();
  text.reserve(text.size() + 1 + heading.size() + reading.size());
  if (!text.empty()) text += '\n';
  text += heading;
  text += reading;
}

int readMail(Environment& environment, const ReadOptions& options) {
  if (refuseRepeatedStandardInput(environment, options.mails)) return kExitUsage;
  mail::MailLibrary library;
  const bool toStandardOutput = options.output == StandardOutputPlatform::kName;
  std::string text;
  int status = kExitConverted;
  for (const std::string& path : options.mails) {
    const std::string shownPath = mailLabel(path);
    int errorNumber = 0;
    const auto file = mail::MailFile::open(environment.platform, path, errorNumber);
    if (!file) {
      printShown(environment, messages::describeOpenFailure(messages::kDecodeOpenFailed, shownPath,
                                                            errorNumber));
      status = kExitFailed;
      continue;
    }
    // A stream was read whole as it was opened: the output cannot grow it.
    if (!file->isStream() &&
        (toStandardOutput ? standardOutputIs(environment.platform, path)
                          : environment.platform.sameFile(options.output, path))) {
      printShown(environment,
                 messages::describeOutputIsSource(
                     toStandardOutput ? texts::kStandardOutput : options.output, path));
      return kExitFailed;
    }
    const bool headed = options.mails.size() > 1 || file->messageCount() > 1;
    for (std::size_t index = 0; index < file->messageCount(); ++index) {
      const auto parsed = file->parse(index, &errorNumber);
      const std::string label =
          file->isMbox() ? shownPath + "#" + std::to_string(index + 1) : shownPath;
      if (!parsed) {
        printShown(environment, errorNumber != 0 ? messages::describeReadFailure(label, errorNumber)
                                                 : label + ": " + std::string(texts::kNotAMail));
        status = kExitFailed;
        continue;
      }
      if (parsed->limitReached()) {
        printShown(environment,
                   label + ": " + std::string(texts::limitWords(parsed->limit()).reached));
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
        printShown(environment, label + ": " + std::string(texts::kReadingOutOfMemory));
        return kExitFailed;
      }
      if (reading.empty()) {
        printShown(environment, label + ": " + std::string(texts::kNotAMail));
        status = kExitFailed;
        continue;
      }
      appendReading(text, reading, label, headed);
    }
  }
  if (text.empty() && status != kExitConverted) return status;
  if (options.charset == OutputCharset::Sjis) text = mail::utf8ToCp932Lossy(text);

  StandardOutputPlatform standardOutput(environment.platform);
  Platform& platform =
      toStandardOutput ? static_cast<Platform&>(standardOutput) : environment.platform;
  const WriteResult result =
      platform.writeFile(options.output, reinterpret_cast<const std::uint8_t*>(text.data()),
                         text.size(), ExistingEntry::ReplaceTarget);
  if (result.status != WriteStatus::Written) {
    printShown(environment,
               messages::describeWriteFailure(
                   toStandardOutput ? texts::kStandardOutput : options.output, result.errorNumber));
    return kExitFailed;
  }
  return status;
}

}  // namespace

void addReadCommand(CLI::App& app, Environment& environment, Action& action) {
  auto options = std::make_shared<ReadOptions>();
  CLI::App* command = app.add_subcommand(
      "read",
      "Write a mail as a person reads it: its main header fields decoded, the text of each part, "
      "forwarded messages in turn and one line per attachment.");
  command
      ->add_option("MAIL", options->mails,
                   "The mail files or mbox files to read, in turn; - for standard input")
      ->required();
  command->add_option("-o,--output", options->output,
                      "The file to write (replaced if it exists); - for standard output, the "
                      "default");
  command
      ->add_option("--output-charset", options->charset,
                   "utf-8 (default) or sjis: code page 932, with 〓 for what it cannot hold")
      ->transform(CLI::CheckedTransformer(kOutputCharsetNames, CLI::ignore_case));
  command->callback([&environment, &action, options] {
    action = [&environment, options] { return readMail(environment, *options); };
  });
}

}  // namespace korvani::cli
