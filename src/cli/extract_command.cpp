// korvani extract MAIL... [-d DIR] [--force] [--list] [--json]
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/cli_front_end.h"
#include "common/messages.h"
#include "mail/attachment_name.h"
#include "mail/mail_engine.h"
#include "platform/folder.h"

namespace korvani::cli {
namespace {

struct ExtractOptions {
  std::vector<std::string> mails;
  std::string folder = ".";
  bool force = false;
  bool list = false;
  bool json = false;
};

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// The mail files the arguments name: a file as it stands, a folder as every regular file under
// it (a Maildir, a folder of saved mails), in name order, links not followed.
std::vector<std::string> mailFilesOf(const Environment& environment,
                                     const std::vector<std::string>& arguments, bool& failed) {
  namespace fs = std::filesystem;
  std::vector<std::string> files;
  for (const std::string& argument : arguments) {
    std::error_code error;
    if (!fs::is_directory(argument, error)) {
      files.push_back(argument);
      continue;
    }
    std::vector<std::string> found;
    fs::recursive_directory_iterator walk(argument, fs::directory_options::skip_permission_denied,
                                          error);
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
      if (walk->is_regular_file(error) && !walk->is_symlink(error)) {
        found.push_back(walk->path().string());
      }
    }
    if (found.empty()) {
      printError(environment, argument + ": " + std::string(messages::kNoMailFound));
      failed = true;
    }
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
  }
  return files;
}

bool isDeviceFolder(const std::string& folder) {
  return folder.rfind("/dev/", 0) == 0 || folder.rfind("/proc/", 0) == 0;
}

// One mail as the listing and the extraction see it: where it came from and its parts.
struct MailRun {
  std::string path;    // the mail file
  std::string label;   // the mail file, with "#N" for a message of an mbox file
  std::string folder;  // where its files go
};

class Extraction {
 public:
  Extraction(Environment& environment, const ExtractOptions& options)
      : environment(environment), options(options), stampTimes(!isDeviceFolder(options.folder)) {}

  int run() {
    bool failed = false;
    const std::vector<std::string> files = mailFilesOf(environment, options.mails, failed);
    if (failed) status = kExitFailed;
    progress = files.size() > 1 && !options.list && ::isatty(STDERR_FILENO);
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
    if (progress) std::fprintf(environment.errorStream, "\r\033[K");
    printError(environment, message);
    status = kExitFailed;
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
    const std::string stem = std::filesystem::path(path).stem().string();
    for (std::size_t index = 0; index < count; ++index) {
      MailRun run;
      run.path = path;
      run.label = file->isMbox() ? path + "#" + std::to_string(index + 1) : path;
      if (oneMail) {
        run.folder = options.folder;
      } else {
        std::string name = mail::safeAttachmentName(
            file->isMbox() ? stem + "-" + std::to_string(index + 1) : stem);
        if (name.empty()) name = "mail";
        run.folder = joinPath(options.folder, folderNames.claim(name));
      }
      const auto parsed = file->parse(index);
      if (!parsed) {
        fail(run.label + ": " + std::string(messages::kNotAMail));
        continue;
      }
      if (parsed->limitReached()) {
        fail(run.label + ": " + std::string(messages::kPartLimitReached));
      }
      if (options.list) {
        list(run, *parsed, oneMail);
      } else {
        extractMail(run, *parsed, file->times(), oneMail);
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
                         {"truncated", part.truncated}});
      } else {
        std::printf("%s %s %s %llu %s%s%s\n", part.path.c_str(), part.mediaType.c_str(),
                    part.transferEncoding.c_str(), static_cast<unsigned long long>(size),
                    attachment ? part.name.c_str() : "-", part.truncated ? " " : "",
                    part.truncated ? std::string(messages::kTruncatedMark).c_str() : "");
      }
    }
    if (options.json) {
      listing.push_back({{"mail", run.label}, {"parts", std::move(parts)}});
    }
  }

  void extractMail(const MailRun& run, const mail::Mail& parsed, const mail::MailFileTimes& source,
                   bool oneMail) {
    const auto& all = parsed.parts();
    bool folderReady = false;
    for (std::size_t index = 0; index < all.size(); ++index) {
      const mail::MailPart& part = all[index];
      if (part.role != mail::PartRole::Attachment) continue;
      if (!folderReady) {
        int errorNumber = 0;
        if (!ensureFolder(options.folder)) return;
        if (!oneMail && !makeFolder(run.folder, errorNumber)) {
          fail(messages::describeOsError(messages::kFolderFailed, run.folder, errorNumber));
          return;
        }
        folderReady = true;
      }
      writeAttachment(run, parsed, index, source);
    }
  }

  // The folder of -d: created when missing (it is the user's own choice, so a link to a folder
  // is fine there).
  bool ensureFolder(const std::string& folder) {
    if (folderChecked) return true;
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
      int errorNumber = 0;
      if (!makeFolder(folder, errorNumber)) {
        fail(messages::describeOsError(messages::kFolderFailed, folder, errorNumber));
        return false;
      }
    }
    folderChecked = true;
    return true;
  }

  // Each check here is a system call per file, and a batch of small mails is mostly such calls:
  // creating the file without --force refuses an existing entry by itself, so only a
  // replacement needs to make sure that it does not replace the mail being read.
  void writeAttachment(const MailRun& run, const mail::Mail& parsed, std::size_t index,
                       const mail::MailFileTimes& source) {
    const mail::MailPart& part = parsed.parts()[index];
    const std::string target = joinPath(run.folder, part.name);
    Platform& platform = environment.platform;
    if (options.force && platform.sameFile(target, run.path)) {
      fail(messages::describeOutputIsSource(target, run.label));
      return;
    }
    bool read = false;
    const WriteResult result = platform.writeFileFrom(
        target, options.force ? ExistingEntry::ReplaceEntry : ExistingEntry::Keep,
        [&](const Platform::ChunkWriter& write) { return parsed.decode(index, write); }, read);
    if (result.status == WriteStatus::Written && !read) {
      fail(target + ": " + std::string(messages::kAttachmentUnreadable));
      return;
    }
    switch (result.status) {
      case WriteStatus::Written:
        if (stampTimes) {
          FileTimes times;
          times.lastWrite = source.lastWrite;
          times.lastAccess = source.lastAccess;
          platform.setFileTimes(target, times);
        }
        if (part.truncated) fail(target + ": " + std::string(messages::kAttachmentTruncated));
        break;
      case WriteStatus::AlreadyExists:
        fail(target + ": " + std::string(messages::kAttachmentExists));
        break;
      case WriteStatus::OpenFailed:
      case WriteStatus::WriteFailed:
        fail(messages::describeWriteFailure(target, result.errorNumber));
        break;
    }
  }

  Environment& environment;
  const ExtractOptions& options;
  mail::NameRegistry folderNames;
  nlohmann::json listing = nlohmann::json::array();
  const bool stampTimes;  // files made in a folder of devices (/dev/fd) keep their own times
  bool folderChecked = false;
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
