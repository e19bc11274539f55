// korvani extract MAIL... [-d DIR] [--force] [--list] [--json]
#include <CLI/CLI.hpp>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/cli_front_end.h"
#include "cli/cli_texts.h"
#include "common/messages.h"
#include "mail/mail_engine.h"
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
      files.push_back(save::joinPath(folder.path(), entry.name));
    } else if (entry.kind == EntryKind::Folder) {
      if (auto sub = folder.openFolder(entry.name, errorNumber)) {
        collectMailFiles(*sub, files, unreadable);
      } else {
        unreadable.push_back({save::joinPath(folder.path(), entry.name), errorNumber});
      }
    }
  }
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
        folders(environment.platform, options.folder) {}

  int run() {
    const std::vector<std::string> files = mailFiles();
    if (options.force && !options.list) {
      for (const std::string& file : files) saver.addInput(file);
    }
    progress = files.size() > 1 && !options.list &&
               environment.platform.isTerminal(environment.errorStream);
    for (std::size_t number = 0; number < files.size(); ++number) {
      if (progress) {
        std::fprintf(environment.errorStream, "\r%zu/%zu %s\033[K", number + 1, files.size(),
                     files[number].c_str());
        std::fflush(environment.errorStream);
      }
      extractFile(files[number], files.size() > 1);
    }
    if (progress) std::fprintf(environment.errorStream, "\r\033[K");
    if (options.json) std::printf("%s\n", listing.dump(2).c_str());
    return status;
  }

 private:
  void fail(const std::string& message) {
    warn(message);
    status = kExitFailed;
  }

  void warn(const std::string& message) {
    if (progress) std::fprintf(environment.errorStream, "\r\033[K");
    printError(environment, message);
  }

  // The mail files the arguments name: a file as it stands, a folder as every regular file under
  // it (a Maildir, a folder of saved mails), in name order, links not followed.
  std::vector<std::string> mailFiles() {
    std::vector<std::string> files;
    for (const std::string& argument : options.mails) {
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
    if (!file) {
      fail(messages::describeOpenFailure(messages::kDecodeOpenFailed, path, errorNumber));
      return;
    }
    const std::size_t count = file->messageCount();
    const bool oneMail = !severalFiles && count == 1;
    const std::string stem = stemOf(path);
    for (std::size_t index = 0; index < count; ++index) {
      MailRun run;
      run.path = path;
      run.label = file->isMbox() ? path + "#" + std::to_string(index + 1) : path;
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
      if (parsed->limitReached()) {
        fail(run.label + ": " + std::string(texts::kPartLimitReached));
      }
      for (const mail::MailPart& part : parsed->parts()) {
        if (part.unterminated) warn(run.label + ": " + std::string(texts::kUnterminated));
      }
      if (options.list) {
        list(run, *parsed, oneMail);
      } else {
        extractMail(run, *parsed, file->times());
      }
    }
  }

  void list(const MailRun& run, const mail::Mail& parsed, bool oneMail) {
    nlohmann::json parts = nlohmann::json::array();
    if (!oneMail && !options.json) std::printf("%s:\n", run.label.c_str());
    const auto& all = parsed.parts();
    for (std::size_t index = 0; index < all.size(); ++index) {
      const mail::MailPart& part = all[index];
      if (part.role == mail::PartRole::Message) continue;
      const std::uint64_t size = parsed.decodedSize(index);
      const bool attachment = part.role == mail::PartRole::Attachment;
      if (options.json) {
        parts.push_back({{"path", part.path},
                         {"type", part.mediaType},
                         {"encoding", part.transferEncoding},
                         {"size", size},
                         {"name", attachment ? nlohmann::json(part.name) : nlohmann::json()},
                         {"attachment", attachment},
                         {"truncated", part.truncated},
                         {"unterminated", part.unterminated}});
      } else {
        const std::string_view mark = part.truncated      ? texts::kTruncatedMark
                                      : part.unterminated ? texts::kUnterminatedMark
                                                          : std::string_view();
        std::printf("%s %s %s %llu %s%s%s\n", part.path.c_str(), part.mediaType.c_str(),
                    part.transferEncoding.c_str(), static_cast<unsigned long long>(size),
                    attachment ? part.name.c_str() : "-", mark.empty() ? "" : " ",
                    std::string(mark).c_str());
      }
    }
    if (options.json) {
      listing.push_back({{"mail", run.label}, {"parts", std::move(parts)}});
    }
  }

  void extractMail(const MailRun& run, const mail::Mail& parsed,
                   const mail::MailFileTimes& source) {
    FileTimes times;
    times.lastWrite = source.lastWrite;
    times.lastAccess = source.lastAccess;
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
  nlohmann::json listing = nlohmann::json::array();
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
  command->add_option("MAIL", options->mails, "The mail files, mbox files or folders to read")
      ->required();
  command->add_option("-d,--directory", options->folder,
                      "The folder to write the attachments to (default: the current folder)");
  command->add_flag("--force", options->force, "Replace existing files of the same names");
  command->add_flag("--list", options->list, "Write nothing; print one line per part");
  command->add_flag("--json", options->json, "Write nothing; print the parts as JSON");
  command->callback([&environment, &action, options] {
    action = [&environment, options] {
      if (options->json) options->list = true;
      mail::MailLibrary library;
      return Extraction(environment, *options).run();
    };
  });
}

}  // namespace korvani::cli
