// korvani extract MAIL... [-d DIR] [--force] [--list] [--json]
#include <CLI/CLI.hpp>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "cli/cli_front_end.h"
#include "cli/cli_texts.h"
#include "common/base64.h"
#include "common/cp932_text.h"
#include "common/messages.h"
#include "mail/mail_engine.h"
#include "mail/shown_text.h"
#include "platform/standard_output_platform.h"
#include "save/attachment_saver.h"

namespace korvani::cli {
namespace {

struct ExtractOptions {
  std::vector<std::string> mails;
  std::string folder = ".";
  bool force = false;
  bool list = false;
  bool json = false;
};

// The file name of `path` without its folder and its last extension, as a subfolder is named.
std::string stemOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot != 0) name.erase(dot);
  return name;
}

// A folder that could not be read while mail files were looked for, and why.
struct UnreadableFolder {
  std::string path;
  int errorNumber = 0;
};

// Every regular file below the held `folder`, in name order, subfolders walked in turn and links
// never followed. Folders that cannot be read are added to `unreadable`.
void collectMailFiles(Folder& folder, std::vector<std::string>& files,
                      std::vector<UnreadableFolder>& unreadable) {
  std::vector<FolderEntry> entries;
  int errorNumber = 0;
  if (!folder.list(entries, errorNumber)) {
    unreadable.push_back({folder.path(), errorNumber});
    return;
  }
  for (const FolderEntry& entry : entries) {
    if (entry.kind == EntryKind::RegularFile) {
      files.push_back(joinPath(folder.path(), entry.name));
    } else if (entry.kind == EntryKind::Folder) {
      if (auto sub = folder.openFolder(entry.name, errorNumber)) {
        collectMailFiles(*sub, files, unreadable);
      } else {
        unreadable.push_back({joinPath(folder.path(), entry.name), errorNumber});
      }
    }
  }
}

// Puts the text `value` under `key` of `object`. A value that is not UTF-8 (a file name in
// Shift_JIS, say) is written with U+FFFD for what is not, and its bytes are kept whole, in Base64,
// under `key` + "_bytes": the JSON stays valid and nothing is lost.
void putText(nlohmann::json& object, const std::string& key, const std::string& value) {
  object[key] = value;
  if (isValidUtf8(value)) return;
  std::string encoded;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(value.data());
  for (std::size_t at = 0; at < value.size(); at += 3) {
    std::uint8_t quartet[4];
    const int count = static_cast<int>(std::min<std::size_t>(3, value.size() - at));
    encoded.append(reinterpret_cast<const char*>(quartet),
                   encodeTriple(bytes + at, quartet, count));
  }
  object[key + "_bytes"] = std::move(encoded);
}

// The JSON text of `value` as a listing shows it: each line indented by `indent` spaces (its
// place in the array around it), U+FFFD for what is not UTF-8, and the characters that would act
// on a terminal escaped, which leaves the data a program reads unchanged.
std::string listingJson(const nlohmann::json& value, std::size_t indent) {
  const std::string text =
      mail::escapedForTerminal(value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace));
  std::string out(indent, ' ');
  for (char c : text) {
    out += c;
    if (c == '\n') out.append(indent, ' ');
  }
  return out;
}

// One mail as the listing and the extraction see it: where it came from and where its files go.
struct MailRun {
  std::string path;       // the mail file
  std::string label;      // the mail file, with "#N" for a message of an mbox file
  std::string subfolder;  // its own folder under -d; empty when the files go into -d itself
};

class Extraction {
 public:
  Extraction(Environment& environment, const ExtractOptions& options)
      : environment(environment),
        options(options),
        saver(environment.platform),
        folders(environment.platform, options.folder),
        standardOutput(environment.platform) {}

  int run() {
    const std::vector<std::string> files = mailFiles();
    if (options.force && !options.list) {
      for (const std::string& file : files) saver.addInput(file);
    }
    if (options.list) {
      // A listing appended to one of the mails it lists would grow the mail as it is read.
      for (const std::string& file : files) {
        if (standardOutputIs(environment.platform, file)) {
          fail(messages::describeOutputIsSource(texts::kStandardOutput, file));
          return status;
        }
      }
    }
    progress = files.size() > 1 && !options.list &&
               environment.platform.isTerminal(environment.errorStream);
    for (std::size_t number = 0; number < files.size(); ++number) {
      if (progress) {
        std::fprintf(environment.errorStream, "\r%zu/%zu %s\033[K", number + 1, files.size(),
                     mail::shownText(mailLabel(files[number])).c_str());
        std::fflush(environment.errorStream);
      }
      extractFile(files[number], files.size() > 1);
      if (outputFailed) break;  // nothing more can be listed
    }
    if (progress) std::fprintf(environment.errorStream, "\r\033[K");
    if (options.json) writeOut(mailsInJson == 0 ? "[]\n" : "\n]\n");
    return status;
  }

 private:
  void fail(const std::string& message) {
    warn(message);
    status = kExitFailed;
  }

  void warn(const std::string& message) {
    if (progress) std::fprintf(environment.errorStream, "\r\033[K");
    printShown(environment, message);
  }

  // The mail files the arguments name: a file as it stands, a folder as every regular file under
  // it (a Maildir, a folder of saved mails), in name order, links not followed.
  std::vector<std::string> mailFiles() {
    std::vector<std::string> files;
    for (const std::string& argument : options.mails) {
      if (argument == kStandardInputPath) {
        files.push_back(argument);
        continue;
      }
      int errorNumber = 0;
      std::unique_ptr<Folder> folder =
          environment.platform.openFolder(argument, false, errorNumber);
      if (!folder) {
        files.push_back(argument);  // not a folder: opening it as a mail says what it is
        continue;
      }
      std::vector<std::string> found;
      std::vector<UnreadableFolder> unreadable;
      collectMailFiles(*folder, found, unreadable);
      for (const UnreadableFolder& failed : unreadable) {
        fail(messages::describeOpenFailure(messages::kDecodeOpenFailed, failed.path,
                                           failed.errorNumber));
      }
      if (found.empty() && unreadable.empty()) {
        fail(argument + ": " + std::string(texts::kNoMailFound));
      }
      files.insert(files.end(), found.begin(), found.end());
    }
    return files;
  }

  void extractFile(const std::string& path, bool severalFiles) {
    int errorNumber = 0;
    const auto file = mail::MailFile::open(environment.platform, path, errorNumber);
    const std::string shownPath = mailLabel(path);
    if (!file) {
      fail(messages::describeOpenFailure(messages::kDecodeOpenFailed, shownPath, errorNumber));
      return;
    }
    const std::size_t count = file->messageCount();
    const bool oneMail = !severalFiles && count == 1;
    const std::string stem =
        path == kStandardInputPath ? std::string(texts::kStandardInputStem) : stemOf(path);
    for (std::size_t index = 0; index < count; ++index) {
      MailRun run;
      run.path = path;
      run.label = file->isMbox() ? shownPath + "#" + std::to_string(index + 1) : shownPath;
      if (!oneMail) {
        run.subfolder =
            folders.claimSubfolder(file->isMbox() ? stem + "-" + std::to_string(index + 1) : stem);
      }
      int readError = 0;
      const auto parsed = file->parse(index, &readError);
      if (!parsed) {
        fail(readError != 0 ? messages::describeReadFailure(run.label, readError)
                            : run.label + ": " + std::string(texts::kNotAMail));
        continue;
      }
      if (parsed->limitReached())
        fail(run.label + ": " + std::string(texts::limitWords(parsed->limit()).reached));
      for (const mail::MailPart& part : parsed->parts()) {
        if (part.unterminated) warn(run.label + ": " + std::string(texts::kUnterminated));
      }
      if (options.list) {
        list(run, *parsed, oneMail);
      } else {
        // A stream has no times of its own to give the files.
        extractMail(run, *parsed, file->isStream() ? std::nullopt : std::optional(file->times()));
      }
    }
  }

  // Lists the parts of one mail on standard output: a line each, or the mail's object of the JSON
  // array, written as soon as the mail has been read. What the mail says (types, encodings, names)
  // and the path are shown with shownText(); the JSON keeps them exact (see listingJson).
  void list(const MailRun& run, const mail::Mail& parsed, bool oneMail) {
    nlohmann::json parts = nlohmann::json::array();
    std::string lines;
    if (!oneMail && !options.json) lines += mail::shownText(run.label) + ":\n";
    const auto& all = parsed.parts();
    for (std::size_t index = 0; index < all.size(); ++index) {
      const mail::MailPart& part = all[index];
      if (part.role == mail::PartRole::Message) continue;
      const std::uint64_t size = parsed.decodedSize(index);
      const bool attachment = part.role == mail::PartRole::Attachment;
      if (options.json) {
        nlohmann::json entry = nlohmann::json::object();
        putText(entry, "path", part.path);
        putText(entry, "type", part.mediaType);
        putText(entry, "encoding", part.transferEncoding);
        entry["size"] = size;
        if (attachment) {
          putText(entry, "name", part.name);
        } else {
          entry["name"] = nullptr;
        }
        entry["attachment"] = attachment;
        entry["truncated"] = part.truncated;
        entry["unterminated"] = part.unterminated;
        parts.push_back(std::move(entry));
      } else {
        const std::string_view mark = part.truncated      ? texts::kTruncatedMark
                                      : part.unterminated ? texts::kUnterminatedMark
                                                          : std::string_view();
        lines += mail::shownText(part.path + " " + part.mediaType + " " + part.transferEncoding +
                                 " " + std::to_string(size) + " " + (attachment ? part.name : "-"));
        if (!mark.empty()) lines += " " + std::string(mark);
        lines += '\n';
      }
    }
    if (options.json) {
      nlohmann::json entry = nlohmann::json::object();
      putText(entry, "mail", run.label);
      entry["parts"] = std::move(parts);
      if (parsed.limitReached()) {
        entry["limit"] = texts::limitWords(parsed.limit()).name;
      } else {
        entry["limit"] = nullptr;
      }
      writeOut((mailsInJson++ == 0 ? "[\n" : ",\n") + listingJson(entry, 2));
    } else {
      if (parsed.limitReached())
        lines += std::string(texts::limitWords(parsed.limit()).mark) + '\n';
      writeOut(lines);
    }
  }

  // Writes `text` on standard output. The first write that fails is reported, and the run stops
  // listing: a listing with a part missing must not look whole.
  void writeOut(const std::string& text) {
    if (outputFailed) return;
    WriteResult result;
    if (!output)
      output = standardOutput.createFile(StandardOutputPlatform::kName,
                                         ExistingEntry::ReplaceTarget, result);
    if (output) {
      result = output->write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    }
    if (result.status != WriteStatus::Written) {
      outputFailed = true;
      fail(messages::describeWriteFailure(texts::kStandardOutput, result.errorNumber));
    }
  }

  void extractMail(const MailRun& run, const mail::Mail& parsed,
                   const std::optional<mail::MailFileTimes>& source) {
    std::optional<FileTimes> times;
    if (source) {
      times.emplace();
      times->lastWrite = source->lastWrite;
      times->lastAccess = source->lastAccess;
    }
    const auto& all = parsed.parts();
    std::unique_ptr<Folder> subfolder;
    Folder* folder = nullptr;
    for (std::size_t index = 0; index < all.size(); ++index) {
      const mail::MailPart& part = all[index];
      if (part.role != mail::PartRole::Attachment) continue;
      if (!folder) {
        // Made only once the mail has something to write.
        int errorNumber = 0;
        if (run.subfolder.empty()) {
          folder = folders.root(errorNumber);
        } else {
          subfolder = folders.subfolder(run.subfolder, errorNumber);
          folder = subfolder.get();
        }
        if (!folder) {
          fail(messages::describeOsError(messages::kFolderFailed, folders.failedPath(),
                                         errorNumber));
          return;
        }
      }
      report(run, saver.save(*folder, part.name, parsed, index, options.force, times));
    }
  }

  void report(const MailRun& run, const save::SaveOutcome& outcome) {
    switch (outcome.status) {
      case save::SaveStatus::Written:
        break;
      case save::SaveStatus::Truncated:
        fail(outcome.target + ": " + std::string(texts::kAttachmentTruncated));
        break;
      case save::SaveStatus::AlreadyExists:
        fail(outcome.target + ": " + std::string(texts::kAttachmentExists));
        break;
      case save::SaveStatus::TargetIsInput:
        fail(messages::describeOutputIsSource(outcome.target, run.label));
        break;
      case save::SaveStatus::Unreadable:
      case save::SaveStatus::Stopped:
        fail(outcome.target + ": " + std::string(texts::kAttachmentUnreadable));
        break;
      case save::SaveStatus::WriteFailed:
        fail(messages::describeWriteFailure(outcome.target, outcome.errorNumber));
        break;
    }
  }

  Environment& environment;
  const ExtractOptions& options;
  save::AttachmentSaver saver;
  save::TargetFolders folders;
  StandardOutputPlatform standardOutput;
  std::unique_ptr<NewFile> output;  // standard output, once something is listed
  bool outputFailed = false;
  std::size_t mailsInJson = 0;
  bool progress = false;
  int status = kExitConverted;
};

}  // namespace

void addExtractCommand(CLI::App& app, Environment& environment, Action& action) {
  auto options = std::make_shared<ExtractOptions>();
  CLI::App* command = app.add_subcommand(
      "extract",
      "Write every attachment of each mail under its own name, with the mail's file times. A "
      "MAIL may be a mail file, an mbox file or a folder of mail files; several mails get a "
      "subfolder each.");
  command
      ->add_option("MAIL", options->mails,
                   "The mail files, mbox files or folders to read; - for standard input")
      ->required();
  command->add_option("-d,--directory", options->folder,
                      "The folder to write the attachments to (default: the current folder)");
  command->add_flag("--force", options->force, "Replace existing files of the same names");
  command->add_flag("--list", options->list, "Write nothing; print one line per part");
  command->add_flag("--json", options->json, "Write nothing; print the parts as JSON");
  command->callback([&environment, &action, options] {
    action = [&environment, options] {
      if (refuseRepeatedStandardInput(environment, options->mails)) return kExitUsage;
      if (options->json) options->list = true;
      mail::MailLibrary library;
      return Extraction(environment, *options).run();
    };
  });
}

}  // namespace korvani::cli
