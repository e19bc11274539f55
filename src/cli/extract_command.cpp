// korvani extract MAIL... [-d DIR] [--layout flat|per-mail] [--force | --skip-existing]
//                 [-r] [--list] [--json] [-q | -v]
#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "cli/cli_front_end.h"
#include "cli/cli_texts.h"
#include "cli/mail_inputs.h"
#include "common/base64.h"
#include "common/cp932_text.h"
#include "common/safe_name.h"
#include "mail/checksum.h"
#include "mail/mail_engine.h"
#include "mail/shown_text.h"
#include "platform/standard_output_platform.h"
#include "save/attachment_saver.h"

namespace korvani::cli {
namespace {

struct ExtractOptions {
  std::vector<std::string> mails;
  std::string folder = ".";
  std::string layout;  // "flat", "per-mail", or empty: flat for one mail, per-mail for more
  bool force = false;
  bool skipExisting = false;
  bool list = false;
  bool json = false;
  bool recursive = false;
  bool quiet = false;
  bool verbose = false;
  std::string manifest;  // --manifest FILE, or empty
};

// The file name of `path` without its folder and its last extension, as a subfolder is named.
std::string stemOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot != 0) name.erase(dot);
  return name;
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

// `bytes` in Base64, for the raw bytes of a name.
std::string base64Of(const std::string& bytes) {
  std::string encoded;
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  for (std::size_t at = 0; at < bytes.size(); at += 3) {
    std::uint8_t quartet[4];
    const int count = static_cast<int>(std::min<std::size_t>(3, bytes.size() - at));
    encoded.append(reinterpret_cast<const char*>(quartet), encodeTriple(data + at, quartet, count));
  }
  return encoded;
}

// What a manifest and the JSON listing record of how an attachment got its name.
void putNameOrigin(nlohmann::json& entry, const mail::MailPart& part) {
  entry["name_bytes"] = base64Of(part.nameBytes);
  entry["name_decoding"] = part.nameDecoding;
  entry["name_changes"] = part.nameChanges;
}

// What a manifest and the JSON listing record of a mail: its label and the fields that name it.
nlohmann::json mailRecord(const std::string& label, const mail::Mail& parsed) {
  nlohmann::json record = nlohmann::json::object();
  putText(record, "mail", label);
  putText(record, "message_id", parsed.messageId(0));
  for (const char* field : {"Date", "From", "Subject"}) {
    std::string key = field;
    key[0] = static_cast<char>(key[0] - 'A' + 'a');
    record[key] = nullptr;
    for (const mail::HeaderField& header : parsed.headers(0)) {
      if (header.name == field) putText(record, key, header.value);
    }
  }
  if (parsed.limitReached()) {
    record["limit"] = texts::limitWords(parsed.limit()).name;
  } else {
    record["limit"] = nullptr;
  }
  return record;
}

// The decoded size and SHA-256 of part `index`, decoding it once.
std::pair<std::uint64_t, std::string> sizeAndDigest(const mail::Mail& parsed, std::size_t index) {
  mail::Sha256 digest;
  std::uint64_t size = 0;
  parsed.decode(
      index,
      [&digest](const std::uint8_t* data, std::size_t count) {
        digest.update(data, count);
        return true;
      },
      &size);
  return {size, digest.hex()};
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
    const MailInputs inputs =
        collectMailInputs(environment.platform, options.mails, options.recursive);
    for (const UnreadableFolder& failed : inputs.unreadable) {
      fail(texts::openFailed(failed.path, failed.errorNumber));
    }
    for (const std::string& folder : inputs.emptyFolders) {
      warn(texts::about(folder, texts::kNoMailFound));
    }
    if (options.verbose) {
      for (const std::string& folder : inputs.skippedFolders) {
        warn(texts::about(folder, texts::kFolderNotWalked));
      }
    }
    const std::vector<MailInput>& files = inputs.mails;
    if (options.force && !options.list) {
      for (const MailInput& file : files) {
        if (file.path != "-") saver.addInput(file.path);
      }
    }
    if (!options.manifest.empty()) {
      // The manifest is written last, over what the user named: never over a mail of the run.
      for (const MailInput& file : files) {
        if (file.path != "-" && environment.platform.sameFile(options.manifest, file.path)) {
          fail(texts::outputIsInput(options.manifest, file.path));
          return status;
        }
      }
      saver.recordDigests(true);
    }
    if (options.list) {
      // A listing appended to one of the mails it lists would grow the mail as it is read.
      for (const MailInput& file : files) {
        if (file.path != "-" && standardOutputIs(environment.platform, file.path)) {
          fail(texts::outputIsInput(tr(texts::kStandardOutput), file.path));
          return status;
        }
      }
    }
    progress = files.size() > 1 && !options.list && !options.quiet && !options.verbose &&
               environment.platform.isTerminal(environment.errorStream);
    for (std::size_t number = 0; number < files.size(); ++number) {
      if (progress) {
        std::fprintf(environment.errorStream, "\r%zu/%zu %s\033[K", number + 1, files.size(),
                     mail::shownText(mailLabel(files[number].path)).c_str());
        std::fflush(environment.errorStream);
      }
      extractFile(files[number], files.size() > 1);
      if (outputFailed) break;  // nothing more can be listed
    }
    if (progress) std::fprintf(environment.errorStream, "\r\033[K");
    progress = false;
    if (options.json) writeOut(mailsInJson == 0 ? "[]\n" : "\n]\n");
    if (!options.manifest.empty()) writeManifest();
    if (!options.list) summarise();
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

  // The last line on a terminal (or with -v): what was written where, or that there was nothing.
  void summarise() {
    if (options.quiet || mailsRead == 0) return;
    if (!options.verbose && !environment.platform.isTerminal(environment.errorStream)) return;
    const std::string folder = options.folder == "." ? tr(texts::kCurrentFolder) : options.folder;
    std::string line;
    if (filesWritten > 0) {
      line = format(
          tr(N_("%s from %s written to %s")),
          {format(trn("%s file", "%s files", filesWritten), {std::to_string(filesWritten)}),
           format(trn("%s mail", "%s mails", mailsWithFiles), {std::to_string(mailsWithFiles)}),
           folder});
    } else if (mailsRead == 1) {
      line = format(tr(N_("no attachment in %s")), {lastMail});
    } else {
      line = format(trn("no attachment in %s mail", "no attachment in %s mails", mailsRead),
                    {std::to_string(mailsRead)});
    }
    if (filesKept > 0) {
      line += "; " + format(trn("%s file kept as it was (--skip-existing)",
                                "%s files kept as they were (--skip-existing)", filesKept),
                            {std::to_string(filesKept)});
    }
    printShown(environment, line);
  }

  void extractFile(const MailInput& input, bool severalFiles) {
    const std::string& path = input.path;
    const std::string shown = mailLabel(path);
    int errorNumber = 0;
    const auto file = mail::MailFile::open(environment.platform, path, errorNumber);
    if (!file) {
      fail(texts::openFailed(shown, errorNumber));
      return;
    }
    const std::size_t count = file->messageCount();
    const bool perMail =
        options.layout == "per-mail" || (options.layout.empty() && (severalFiles || count != 1));
    const std::string stem =
        path == kStandardInputPath ? std::string(texts::kStandardInputStem) : stemOf(path);
    for (std::size_t index = 0; index < count; ++index) {
      MailRun run;
      run.path = path;
      run.label = file->isMbox() ? shown + "#" + std::to_string(index + 1) : shown;
      int readError = 0;
      const auto parsed = file->parse(index, &readError);
      if (!parsed) {
        if (readError != 0) {
          fail(texts::readFailed(run.label, readError));
        } else if (input.named || file->isMbox()) {
          fail(texts::about(run.label, texts::kNotAMail));
        } else if (options.verbose) {
          warn(texts::about(run.label, texts::kSkippedNotAMail));
        }
        continue;
      }
      if (perMail) {
        run.subfolder =
            folders.claimSubfolder(file->isMbox() ? stem + "-" + std::to_string(index + 1) : stem);
      }
      ++mailsRead;
      lastMail = run.label;
      if (parsed->limitReached()) {
        fail(run.label + ": " + tr(texts::limitWords(parsed->limit()).reached));
      }
      for (const mail::MailPart& part : parsed->parts()) {
        if (part.unterminated) warn(texts::about(run.label, texts::kUnterminated));
        if (part.damaged) fail(texts::containerDamaged(run.label, part));
      }
      manifestFiles = nlohmann::json::array();
      if (options.list) {
        list(run, *parsed, !perMail);
      } else {
        // A stream has no times of its own to give the files.
        extractMail(run, *parsed, file->isStream() ? std::nullopt : std::optional(file->times()));
      }
      if (!options.manifest.empty()) {
        nlohmann::json record = mailRecord(run.label, *parsed);
        record["files"] = std::move(manifestFiles);
        manifestMails.push_back(std::move(record));
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
      const bool attachment = part.role == mail::PartRole::Attachment;
      const bool summed = attachment && (options.json || !options.manifest.empty());
      const auto [size, sha256] = summed ? sizeAndDigest(parsed, index)
                                         : std::pair{parsed.decodedSize(index), std::string()};
      if (attachment && !options.manifest.empty()) {
        nlohmann::json file = nlohmann::json::object();
        putText(file, "part", part.path);
        putText(file, "type", part.mediaType);
        putText(file, "name", part.name);
        putNameOrigin(file, part);
        file["size"] = size;
        file["sha256"] = sha256;
        file["status"] = "listed";
        manifestFiles.push_back(std::move(file));
      }
      // A container is not written, but it has the name its members are listed under.
      const bool named = attachment || part.role == mail::PartRole::Container;
      if (options.json) {
        nlohmann::json entry = nlohmann::json::object();
        putText(entry, "path", part.path);
        putText(entry, "type", part.mediaType);
        putText(entry, "encoding", part.transferEncoding);
        entry["size"] = size;
        if (named) {
          putText(entry, "name", part.name);
          putNameOrigin(entry, part);
          if (attachment) entry["sha256"] = sha256;
        } else {
          entry["name"] = nullptr;
        }
        entry["attachment"] = attachment;
        entry["container"] = part.role == mail::PartRole::Container;
        entry["damaged"] = part.damaged;
        entry["truncated"] = part.truncated;
        entry["unterminated"] = part.unterminated;
        parts.push_back(std::move(entry));
      } else {
        const std::string_view mark = part.truncated      ? texts::kTruncatedMark
                                      : part.unterminated ? texts::kUnterminatedMark
                                      : part.damaged      ? texts::kDamagedMark
                                                          : std::string_view();
        lines += mail::shownText(part.path + " " + part.mediaType + " " + part.transferEncoding +
                                 " " + std::to_string(size) + " " + (named ? part.name : "-"));
        if (!mark.empty()) lines += " " + tr(mark);
        lines += '\n';
      }
    }
    if (options.json) {
      nlohmann::json entry = mailRecord(run.label, parsed);
      entry["parts"] = std::move(parts);
      writeOut((mailsInJson++ == 0 ? "[\n" : ",\n") + listingJson(entry, 2));
    } else {
      if (parsed.limitReached()) lines += tr(texts::limitWords(parsed.limit()).mark) + '\n';
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
      fail(texts::writeFailed(tr(texts::kStandardOutput), result.errorNumber));
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
    bool wroteAny = false;
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
          fail(texts::folderFailed(folders.failedPath(), errorNumber));
          return;
        }
      }
      // The mails written straight into the target share it: a second "report.pdf" there
      // becomes "report (2).pdf", as within one mail.
      const std::string name = run.subfolder.empty() ? flatNames.claim(part.name) : part.name;
      const save::SaveOutcome outcome =
          saver.save(*folder, name, parsed, index, options.force, times);
      if (!options.manifest.empty()) record(part, outcome);
      wroteAny = report(run, outcome) || wroteAny;
    }
    if (wroteAny) ++mailsWithFiles;
  }

  // Adds the outcome of one save to the manifest.
  void record(const mail::MailPart& part, const save::SaveOutcome& outcome) {
    nlohmann::json file = nlohmann::json::object();
    // Its path under -d, as the manifest is read beside the files.
    const std::string prefix = options.folder + "/";
    putText(file, "path",
            outcome.target.compare(0, prefix.size(), prefix) == 0
                ? outcome.target.substr(prefix.size())
                : outcome.target);
    putText(file, "part", part.path);
    putText(file, "type", part.mediaType);
    putText(file, "name", part.name);
    putNameOrigin(file, part);
    const bool written = outcome.written();
    file["size"] = written ? nlohmann::json(outcome.size) : nlohmann::json(nullptr);
    file["sha256"] = written ? nlohmann::json(outcome.sha256) : nlohmann::json(nullptr);
    const char* statusWord = "failed";
    switch (outcome.status) {
      case save::SaveStatus::Written:
        statusWord = "written";
        break;
      case save::SaveStatus::Truncated:
        statusWord = "truncated";
        break;
      case save::SaveStatus::AlreadyExists:
        statusWord = options.skipExisting ? "kept" : "exists";
        break;
      default:
        break;
    }
    file["status"] = statusWord;
    manifestFiles.push_back(std::move(file));
  }

  // Writes the manifest, whole or not at all, through the one creation path.
  void writeManifest() {
    nlohmann::json manifest = nlohmann::json::object();
    manifest["korvani"] = KORVANI_VERSION;
    putText(manifest, "directory", options.folder);
    manifest["listed"] = options.list;
    manifest["mails"] = std::move(manifestMails);
    const std::string text =
        manifest.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    const bool toStandardOutput = options.manifest == StandardOutputPlatform::kName;
    Platform& platform =
        toStandardOutput ? static_cast<Platform&>(standardOutput) : environment.platform;
    const WriteResult result =
        platform.writeFile(options.manifest, reinterpret_cast<const std::uint8_t*>(text.data()),
                           text.size(), ExistingEntry::ReplaceTarget);
    if (result.status != WriteStatus::Written) {
      fail(texts::writeFailed(toStandardOutput ? tr(texts::kStandardOutput) : options.manifest,
                              result.errorNumber));
    }
  }

  // Words the outcome of one save; returns whether a file was written.
  bool report(const MailRun& run, const save::SaveOutcome& outcome) {
    switch (outcome.status) {
      case save::SaveStatus::Written:
        break;
      case save::SaveStatus::Truncated:
        fail(texts::about(outcome.target, texts::kAttachmentTruncated));
        break;
      case save::SaveStatus::AlreadyExists:
        if (options.skipExisting) {
          ++filesKept;
          if (options.verbose) warn(texts::about(outcome.target, texts::kKeptExisting));
        } else {
          fail(texts::about(outcome.target, texts::kAttachmentExists));
        }
        return false;
      case save::SaveStatus::TargetIsInput:
        fail(texts::outputIsInput(outcome.target, run.label));
        return false;
      case save::SaveStatus::Unreadable:
      case save::SaveStatus::Stopped:
        fail(texts::about(outcome.target, texts::kAttachmentUnreadable));
        return false;
      case save::SaveStatus::WriteFailed:
        fail(texts::writeFailed(outcome.target, outcome.errorNumber));
        return false;
    }
    ++filesWritten;
    if (options.verbose) writeOut(mail::shownText(outcome.target) + "\n");
    return true;
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
  NameRegistry flatNames;  // the names given in the target folder itself
  std::size_t mailsRead = 0;
  std::size_t mailsWithFiles = 0;
  std::size_t filesWritten = 0;
  std::size_t filesKept = 0;                               // left as they were (--skip-existing)
  nlohmann::json manifestMails = nlohmann::json::array();  // --manifest: the mails done
  nlohmann::json manifestFiles = nlohmann::json::array();  // and the files of the current one
  std::string lastMail;
};

}  // namespace

void addExtractCommand(CLI::App& app, Environment& environment, Action& action) {
  auto options = std::make_shared<ExtractOptions>();
  CLI::App* command = app.add_subcommand(
      "extract",
      N_("Write every attachment of each mail under its own name, with the mail's file times. A "
         "MAIL may be a mail file, an mbox file, a Maildir or a folder of mail files, or - for "
         "standard input. One mail writes its files into the folder of -d; several mails get a "
         "subfolder each, named after the mail file (see --layout)."));
  command
      ->add_option("MAIL", options->mails,
                   N_("The mail files, mbox files, Maildirs or folders to read; - for standard "
                      "input"))
      ->required();
  command
      ->add_option("-d,--directory", options->folder,
                   N_("The folder to write the attachments to, made if missing (default: the "
                      "current folder)"))
      ->type_name("DIR");
  addChoiceOption(*command, "--layout", options->layout, {{"flat", {}}, {"per-mail", {}}},
                  N_("flat: every file into the folder of -d (a second \"a.pdf\" becomes "
                     "\"a (2).pdf\"); per-mail: a subfolder per mail. Default: flat for one "
                     "mail, per-mail for more"));
  CLI::Option* force =
      command->add_flag("--force", options->force, N_("Replace existing files of the same names"));
  CLI::Option* skip = command->add_flag(
      "--skip-existing", options->skipExisting,
      N_("Keep existing files of the same names and go on (a second run writes only what is "
         "new)"));
  force->excludes(skip);
  command->add_flag("-r,--recursive", options->recursive,
                    N_("Read the subfolders of a folder too (a Maildir's .Sent, .Archive…)"));
  command->add_flag("--list", options->list, N_("Write nothing; print one line per part"));
  command->add_flag("--json", options->json, N_("Write nothing; print the parts as JSON"));
  command
      ->add_option("--manifest", options->manifest,
                   N_("Also write FILE, a JSON record of every file written (or listed): its "
                      "path, size, SHA-256, place in the mail, and how its name was read and made "
                      "safe; and of each mail, its Message-ID, Date, From and Subject"))
      ->type_name("FILE");
  CLI::Option* quiet = command->add_flag(
      "-q,--quiet", options->quiet, N_("Print nothing but failures (no progress, no summary)"));
  CLI::Option* verbose = command->add_flag(
      "-v,--verbose", options->verbose,
      N_("Print each file written on standard output, and each file and folder skipped"));
  quiet->excludes(verbose);
  command->callback([&environment, &action, options] {
    action = [&environment, options] {
      if (refuseRepeatedStandardInput(environment, "extract", options->mails)) return kExitUsage;
      if (options->json) options->list = true;
      mail::MailLibrary library;
      return Extraction(environment, *options).run();
    };
  });
}

}  // namespace korvani::cli
