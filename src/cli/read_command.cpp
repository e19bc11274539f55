// korvani read MAIL... [-o OUTPUT|-] [--output-charset utf-8|sjis]
#include <CLI/CLI.hpp>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "cli/cli_front_end.h"
#include "cli/cli_texts.h"
#include "cli/mail_inputs.h"
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
  std::string charset = "utf-8";
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
  if (refuseRepeatedStandardInput(environment, "read", options.mails)) return kExitUsage;
  mail::MailLibrary library;
  const bool toStandardOutput = options.output == StandardOutputPlatform::kName;
  const MailInputs inputs = collectMailInputs(environment.platform, options.mails, false);
  for (const UnreadableFolder& failed : inputs.unreadable) {
    printShown(environment, texts::openFailed(failed.path, failed.errorNumber));
  }
  for (const std::string& folder : inputs.emptyFolders) {
    printShown(environment, texts::about(folder, texts::kNoMailFound));
  }
  std::string text;
  // A folder without a mail leaves nothing to read: that is no reading.
  int status =
      inputs.unreadable.empty() && inputs.emptyFolders.empty() ? kExitConverted : kExitFailed;
  for (const MailInput& input : inputs.mails) {
    const std::string& path = input.path;
    const std::string shownPath = mailLabel(path);
    int errorNumber = 0;
    const auto file = mail::MailFile::open(environment.platform, path, errorNumber);
    if (!file) {
      printShown(environment, texts::openFailed(shownPath, errorNumber));
      status = kExitFailed;
      continue;
    }
    // A stream was read whole as it was opened: the output cannot grow it.
    if (!file->isStream() &&
        (toStandardOutput ? standardOutputIs(environment.platform, path)
                          : environment.platform.sameFile(options.output, path))) {
      printShown(environment,
                 texts::outputIsInput(
                     toStandardOutput ? tr(texts::kStandardOutput) : options.output, path));
      return kExitFailed;
    }
    const bool headed = inputs.mails.size() > 1 || file->messageCount() > 1;
    for (std::size_t index = 0; index < file->messageCount(); ++index) {
      const auto parsed = file->parse(index, &errorNumber);
      const std::string label =
          file->isMbox() ? shownPath + "#" + std::to_string(index + 1) : shownPath;
      if (!parsed) {
        // A file of a folder that is not a mail is passed over, as extract passes it.
        if (errorNumber == 0 && !input.named && !file->isMbox()) continue;
        printShown(environment, errorNumber != 0 ? texts::readFailed(label, errorNumber)
                                                 : texts::about(label, texts::kNotAMail));
        status = kExitFailed;
        continue;
      }
      if (parsed->limitReached()) {
        printShown(environment, texts::about(label, texts::limitWords(parsed->limit()).reached));
        status = kExitFailed;
      }
      for (const mail::MailPart& part : parsed->parts()) {
        if (!part.damaged) continue;
        printShown(environment, texts::containerDamaged(label, part));
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
      appendReading(text, reading, label, headed);
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
         "part, forwarded messages in turn and one line per attachment. Several mails, and the "
         "messages of an mbox file, are read in turn, each under a heading that names it."));
  command
      ->add_option("MAIL", options->mails,
                   N_("The mail files, mbox files, Maildirs or folders to read, in turn; - for "
                      "standard input"))
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
