// korvani extract MAIL... [-d DIR] [--layout flat|per-mail] [--force | --skip-existing]
//                 [-r] [--list] [--json] [-q | -v] [--unpack [--max-unpacked SIZE]
//                 [--max-ratio N] [--password TEXT]... [--password-file FILE]
//                 [--show-passwords]]
#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "archive/password_mail.h"
#include "archive/unpacker.h"
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
  bool unpack = false;
  std::string maxUnpacked;
  std::uint64_t maxRatio = archive::kDefaultMaxRatio;
  std::vector<std::string> passwords;
  std::string passwordFile;
  bool showPasswords = false;
};

// The bytes of a size such as "500M", "4G", "64KiB" or "1048576" (binary multiples); none when
// it is not one.
std::optional<std::uint64_t> parseSize(const std::string& text) {
  std::uint64_t value = 0;
  std::size_t at = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    if (value > (UINT64_MAX - 9) / 10) return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(text[at] - '0');
  }
  if (at == 0) return std::nullopt;
  std::string unit = text.substr(at);
  for (const char* suffix : {"iB", "B"}) {
    const std::string tail(suffix);
    if (unit.size() > tail.size() - 1 && unit.size() >= tail.size() &&
        unit.compare(unit.size() - tail.size(), tail.size(), tail) == 0) {
      unit.erase(unit.size() - tail.size());
      break;
    }
  }
  static constexpr std::string_view kUnits = "KMGT";
  int shift = 0;
  if (unit.size() == 1) {
    const std::size_t found = kUnits.find(static_cast<char>(std::toupper(unit[0])));
    if (found == std::string_view::npos) return std::nullopt;
    shift = 10 * static_cast<int>(found + 1);
  } else if (!unit.empty()) {
    return std::nullopt;
  }
  if (shift > 0 && value > (UINT64_MAX >> shift)) return std::nullopt;
  return value << shift;
}

// The file name of `path` without its folder and its last extension, as a subfolder is named.
std::string stemOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot != 0) name.erase(dot);
  return name;
}

// `bytes` in Base64: the bytes of a text that is not UTF-8, the raw bytes of a name.
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

// Puts the text `value` under `key` of `object`. A value that is not UTF-8 (a file name in
// Shift_JIS, say) is written with U+FFFD for what is not, and its bytes are kept whole, in Base64,
// under `key` + "_bytes": the JSON stays valid and nothing is lost.
void putText(nlohmann::json& object, const std::string& key, const std::string& value) {
  object[key] = value;
  if (!isValidUtf8(value)) object[key + "_bytes"] = base64Of(value);
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
  std::string path;          // the mail file
  std::string label;         // the mail file, with "#N" for a message of an mbox file
  std::string subfolder;     // its own folder under -d; empty when the files go into -d itself
  archive::MailFacts facts;  // with --unpack: what pairs it with a password mail
};

// An encrypted archive whose password mail may come later in the run: unpacked at its end.
struct DeferredArchive {
  std::shared_ptr<const mail::Mail> mail;
  std::size_t index = 0;
  archive::MailFacts facts;
  std::string name;       // the archive's file name
  std::string subfolder;  // its mail's folder under -d; empty for -d itself
  std::string folder;     // the name claimed for its unpacked folder
  std::string path;       // "3/見積.zip"
  std::string label;      // its mail, as messages name it
};

class Extraction : private archive::UnpackObserver {
 public:
  Extraction(Environment& environment, const ExtractOptions& options, archive::Bounds bounds)
      : environment(environment),
        options(options),
        saver(environment.platform),
        folders(environment.platform, options.folder),
        standardOutput(environment.platform),
        unpacker(environment.platform, saver, unpackSettings(options, bounds), *this) {}

  int run() {
    if (options.unpack && !loadPasswords()) return status;
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
    resumeDeferred();
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
      const std::shared_ptr<const mail::Mail> parsed = file->parse(index, &readError);
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
      if (options.unpack) {
        run.facts = archive::factsOf(*parsed, run.label);
        std::vector<std::string> found = archive::passwordsInText(run.facts.text);
        if (!found.empty()) passwordMails.push_back({run.facts, std::move(found)});
      }
      if (options.list) {
        list(run, *parsed, !perMail);
      } else {
        // A stream has no times of its own to give the files.
        extractMail(run, parsed, file->isStream() ? std::nullopt : std::optional(file->times()));
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
        if (attachment && options.unpack) listArchive(run, parsed, index, nullptr, &parts);
      } else {
        const std::string_view mark = part.truncated      ? texts::kTruncatedMark
                                      : part.unterminated ? texts::kUnterminatedMark
                                      : part.damaged      ? texts::kDamagedMark
                                                          : std::string_view();
        lines += mail::shownText(part.path + " " + part.mediaType + " " + part.transferEncoding +
                                 " " + std::to_string(size) + " " + (named ? part.name : "-"));
        if (!mark.empty()) lines += " " + tr(mark);
        lines += '\n';
        if (attachment && options.unpack) listArchive(run, parsed, index, &lines, nullptr);
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

  void extractMail(const MailRun& run, const std::shared_ptr<const mail::Mail>& mail,
                   const std::optional<mail::MailFileTimes>& source) {
    const mail::Mail& parsed = *mail;
    std::optional<FileTimes> times;
    if (source) {
      times.emplace();
      times->lastWrite = source->lastWrite;
      times->lastAccess = source->lastAccess;
    }
    unpacker.setTimes(times);
    const auto& all = parsed.parts();
    // The names in the mail's own folder: its attachments' (unique within the mail), then the
    // folders of the archives among them.
    NameRegistry mailNames;
    if (options.unpack && !run.subfolder.empty()) {
      for (const mail::MailPart& part : all) {
        if (part.role == mail::PartRole::Attachment) mailNames.claim(part.name);
      }
    }
    std::unique_ptr<Folder> subfolder;
    Folder* folder = nullptr;
    bool wroteAny = false;
    for (std::size_t index = 0; index < all.size(); ++index) {
      const mail::MailPart& part = all[index];
      if (part.role != mail::PartRole::Attachment) continue;
      if (!folder) {
        // Made only once the mail has something to write.
        folder = folderOf(run.subfolder, subfolder);
        if (!folder) return;
      }
      // The mails written straight into the target share it: a second "report.pdf" there
      // becomes "report (2).pdf", as within one mail.
      const std::string name = run.subfolder.empty() ? flatNames.claim(part.name) : part.name;
      std::optional<archive::PartCopy> copy;
      mail::ChunkSink copySink;
      if (options.unpack) {
        copy.emplace(environment.platform);
        copySink = [&copy](const std::uint8_t* data, std::size_t size) {
          return copy->take(data, size);
        };
      }
      const save::SaveOutcome outcome =
          saver.save(*folder, name, parsed, index, options.force, times, {}, copySink);
      if (!options.manifest.empty()) record(part, outcome);
      wroteAny = report(run, outcome) || wroteAny;
      if (options.unpack &&
          (outcome.written() || outcome.status == save::SaveStatus::AlreadyExists)) {
        unpack(run, mail, index, name, *folder, run.subfolder.empty() ? flatNames : mailNames,
               outcome.written() ? &*copy : nullptr);
      }
    }
    if (wroteAny) ++mailsWithFiles;
  }

  // A written file's path under -d, as the manifest is read beside the files.
  std::string underTarget(const std::string& target) const {
    const std::string prefix = options.folder + "/";
    return target.compare(0, prefix.size(), prefix) == 0 ? target.substr(prefix.size()) : target;
  }

  // Adds the outcome of one save to the manifest.
  void record(const mail::MailPart& part, const save::SaveOutcome& outcome) {
    nlohmann::json file = nlohmann::json::object();
    putText(file, "path", underTarget(outcome.target));
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

  static archive::UnpackSettings unpackSettings(const ExtractOptions& options,
                                                const archive::Bounds& bounds) {
    archive::UnpackSettings settings;
    settings.bounds = bounds;
    settings.replace = options.force;
    settings.list = options.list;
    settings.digests = !options.manifest.empty();
    return settings;
  }

  // The passwords the user gave, from --password and then --password-file. False, with the
  // failure said, when the file cannot be read.
  bool loadPasswords() {
    for (const std::string& password : options.passwords) givenPasswords.push_back({password, {}});
    if (options.passwordFile.empty()) return true;
    int errorNumber = 0;
    const auto file =
        environment.platform.openForReading(options.passwordFile, ShareMode::Shared, &errorNumber);
    if (!file) {
      fail(texts::openFailed(options.passwordFile, errorNumber));
      return false;
    }
    constexpr std::uint64_t kMaxPasswordFile = std::uint64_t{1} << 20;
    std::string bytes(static_cast<std::size_t>(std::min(file->length(), kMaxPasswordFile)), '\0');
    errorNumber = file->read(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size());
    if (errorNumber != 0) {
      fail(texts::readFailed(options.passwordFile, errorNumber));
      return false;
    }
    std::size_t found = 0;
    for (std::size_t at = 0; at < bytes.size();) {
      std::size_t end = bytes.find('\n', at);
      if (end == std::string::npos) end = bytes.size();
      std::string line = bytes.substr(at, end - at);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) {
        givenPasswords.push_back({std::move(line), {}});
        ++found;
      }
      at = end + 1;
    }
    if (found == 0) warn(texts::about(options.passwordFile, texts::kPasswordFileEmpty));
    return true;
  }

  // The passwords to try on the archive `name` of the mail `facts`: those of the password mails
  // paired with it, then those the user gave.
  std::vector<archive::Password> candidatesFor(const archive::MailFacts& facts,
                                               const std::string& name) const {
    std::vector<archive::Password> candidates;
    for (const archive::PasswordMail& passwordMail : passwordMails) {
      if (!archive::pairs(facts, name, passwordMail.facts)) continue;
      for (const std::string& password : passwordMail.passwords) {
        candidates.push_back({password, passwordMail.facts.label});
      }
    }
    candidates.insert(candidates.end(), givenPasswords.begin(), givenPasswords.end());
    return candidates;
  }

  // Unpacks the attachment `index` of `mail`, saved as `name` in `folder`, when it is an
  // archive: from the bytes `copy` gathered as it was saved, or (a file kept as it was) from the
  // mail again.
  void unpack(const MailRun& run, const std::shared_ptr<const mail::Mail>& mail, std::size_t index,
              const std::string& name, Folder& folder, NameRegistry& names,
              archive::PartCopy* copy) {
    const std::string path = mail->parts()[index].path + "/" + name;
    archiveMail = run.label;
    std::string claimed;
    int errorNumber = 0;
    archive::PartResult result = archive::PartResult::NotAnArchive;
    if (copy != nullptr) {
      std::unique_ptr<ReadableFile> bytes = copy->finish(errorNumber);
      result = errorNumber != 0
                   ? archive::PartResult::Unreadable
                   : unpacker.unpackBytes(&folder, names, name, std::move(bytes), path,
                                          candidatesFor(run.facts, name), true, claimed);
    } else {
      result = unpacker.unpackPart(&folder, names, name, *mail, index, path,
                                   candidatesFor(run.facts, name), true, claimed, errorNumber);
    }
    if (result == archive::PartResult::Deferred) {
      deferred.push_back({mail, index, run.facts, name, run.subfolder, claimed, path, run.label});
    } else if (result == archive::PartResult::Unreadable && errorNumber != 0) {
      fail(texts::writeFailed(tr(texts::kScratch), errorNumber));
    }
  }

  // The folder a mail's files go into: -d itself when `subfolder` is empty, else that subfolder of
  // it, made when missing and kept in `held`. Null, with the failure said, when it cannot be had.
  Folder* folderOf(const std::string& subfolder, std::unique_ptr<Folder>& held) {
    int errorNumber = 0;
    Folder* folder = nullptr;
    if (subfolder.empty()) {
      folder = folders.root(errorNumber);
    } else {
      held = folders.subfolder(subfolder, errorNumber);
      folder = held.get();
    }
    if (!folder) fail(texts::folderFailed(folders.failedPath(), errorNumber));
    return folder;
  }

  // The encrypted archives left for the end, now that every password mail of the run is known.
  void resumeDeferred() {
    for (const DeferredArchive& waiting : deferred) {
      std::unique_ptr<Folder> held;
      Folder* folder = folderOf(waiting.subfolder, held);
      if (!folder) continue;
      int errorNumber = 0;
      archiveMail = waiting.label;
      // Its files join the record of its mail, done by now.
      resumedRecord = nullptr;
      for (nlohmann::json& record : manifestMails) {
        if (record.value("mail", std::string()) == waiting.label) resumedRecord = &record;
      }
      unpacker.resume(folder, waiting.folder, *waiting.mail, waiting.index, waiting.path,
                      candidatesFor(waiting.facts, waiting.name), errorNumber);
    }
    deferred.clear();
    resumedRecord = nullptr;
  }

  void listArchive(const MailRun& run, const mail::Mail& parsed, std::size_t index,
                   std::string* lines, nlohmann::json* parts) {
    listLines = lines;
    listParts = parts;
    archiveMail = run.label;
    const mail::MailPart& part = parsed.parts()[index];
    NameRegistry names;
    std::string claimed;
    int errorNumber = 0;
    unpacker.unpackPart(nullptr, names, part.name, parsed, index, part.path + "/" + part.name,
                        candidatesFor(run.facts, part.name), false, claimed, errorNumber);
    listLines = nullptr;
    listParts = nullptr;
  }

  // "MAIL: PLACE" for the messages about an archive or its entries.
  std::string placeOf(const std::string& path) const {
    return archiveMail.empty() ? path : archiveMail + ": " + path;
  }

  void entry(const archive::EntryEvent& event) override {
    using archive::EntryStatus;
    if (!options.manifest.empty()) recordEntry(event);
    switch (event.status) {
      case EntryStatus::Listed:
        listEntry(event);
        return;
      case EntryStatus::Written:
        ++filesWritten;
        if (options.verbose) writeOut(mail::shownText(event.target) + "\n");
        return;
      case EntryStatus::Truncated:
        ++filesWritten;
        fail(texts::about(event.target, texts::kAttachmentTruncated));
        return;
      case EntryStatus::LinkWritten:
        ++filesWritten;
        warn(texts::about(placeOf(event.path),
                          format(tr(texts::kLinkWrittenAsFile), {event.linkTarget, event.target})));
        return;
      case EntryStatus::Skipped:
        warn(texts::about(placeOf(event.path), texts::kEntrySkipped));
        return;
      case EntryStatus::AlreadyExists:
        if (options.skipExisting) {
          ++filesKept;
          if (options.verbose) warn(texts::about(event.target, texts::kKeptExisting));
        } else {
          fail(texts::about(event.target, texts::kAttachmentExists));
        }
        return;
      case EntryStatus::WriteFailed:
        fail(texts::writeFailed(event.target, event.errorNumber));
        return;
      case EntryStatus::Damaged:
        fail(texts::about(placeOf(event.path), format(tr(texts::kEntryDamaged), {event.detail})));
        return;
    }
  }

  // Adds a file of an archive (or of a mail inside one) to the manifest, as an attachment is.
  void recordEntry(const archive::EntryEvent& event) {
    using archive::EntryStatus;
    if (event.kind == archive::EntryKind::Folder) return;
    const char* statusWord = "failed";
    switch (event.status) {
      case EntryStatus::Listed:
        statusWord = "listed";
        break;
      case EntryStatus::Written:
      case EntryStatus::LinkWritten:
        statusWord = "written";
        break;
      case EntryStatus::Truncated:
        statusWord = "truncated";
        break;
      case EntryStatus::AlreadyExists:
        statusWord = options.skipExisting ? "kept" : "exists";
        break;
      case EntryStatus::Skipped:
        statusWord = "skipped";
        break;
      default:
        break;
    }
    nlohmann::json file = nlohmann::json::object();
    if (event.target.empty()) {
      file["path"] = nullptr;
    } else {
      putText(file, "path", underTarget(event.target));
    }
    putText(file, "part", event.path);
    file["type"] = nullptr;  // an archive says nothing of its entries' types
    putText(file, "name", event.name);
    file["name_bytes"] = base64Of(event.nameBytes);
    file["name_decoding"] =
        event.nameEncoding == "mail" ? std::string("mail") : "archive:" + event.nameEncoding;
    file["name_changes"] = event.nameChanged ? nlohmann::json::array({"entry-path-made-safe"})
                                             : nlohmann::json::array();
    const bool written = event.status == EntryStatus::Written ||
                         event.status == EntryStatus::LinkWritten ||
                         event.status == EntryStatus::Truncated;
    file["size"] = event.size >= 0 && (written || event.status == EntryStatus::Listed)
                       ? nlohmann::json(event.size)
                       : nlohmann::json(nullptr);
    file["sha256"] = event.sha256.empty() ? nlohmann::json(nullptr) : nlohmann::json(event.sha256);
    file["status"] = statusWord;
    (resumedRecord ? (*resumedRecord)["files"] : manifestFiles).push_back(std::move(file));
  }

  void listEntry(const archive::EntryEvent& event) {
    static constexpr const char* kKinds[] = {"file", "folder", "link", "special", "part"};
    const char* kind = kKinds[static_cast<int>(event.kind)];
    if (listParts != nullptr) {
      nlohmann::json entry = nlohmann::json::object();
      putText(entry, "path", event.path);
      entry["type"] = nullptr;
      entry["encoding"] = nullptr;
      entry["size"] = event.size;
      putText(entry, "name", event.name);
      entry["attachment"] = true;
      entry["truncated"] = false;
      entry["unterminated"] = false;
      entry["member"] = kind;
      entry["name_encoding"] = event.nameEncoding;
      entry["name_changed"] = event.nameChanged;
      entry["encrypted"] = event.encrypted;
      if (event.kind == archive::EntryKind::Link) putText(entry, "link_target", event.linkTarget);
      listParts->push_back(std::move(entry));
    } else if (listLines != nullptr) {
      *listLines += mail::shownText(
          event.path + " " + kind + " " + event.nameEncoding + " " +
          (event.size < 0 ? std::string("-") : std::to_string(event.size)) + " " + event.name);
      if (event.kind == archive::EntryKind::Link)
        *listLines += " -> " + mail::shownText(event.linkTarget);
      if (event.encrypted) *listLines += " " + tr(texts::kEncryptedMark);
      *listLines += '\n';
    }
  }

  void archive(const archive::ArchiveEvent& event) override {
    using archive::ArchiveStatus;
    const std::string place = placeOf(event.path);
    switch (event.status) {
      case ArchiveStatus::Unpacked:
        if (event.openedBy && !options.quiet) {
          std::string line = event.openedBy->mail.empty()
                                 ? tr(texts::kOpenedByGiven)
                                 : format(tr(texts::kOpenedByMail), {event.openedBy->mail});
          if (options.showPasswords) {
            line += "; " + format(tr(texts::kShownPassword), {event.openedBy->text});
          }
          warn(place + ": " + line);
        }
        return;
      case ArchiveStatus::Damaged:
        fail(texts::about(place, format(tr(texts::kArchiveDamaged), {event.detail})));
        return;
      case ArchiveStatus::SizeBound:
        fail(texts::about(place,
                          format(tr(texts::kSizeBoundReached), {std::to_string(event.bound)})));
        return;
      case ArchiveStatus::RatioBound:
        fail(texts::about(place,
                          format(tr(texts::kRatioBoundReached), {std::to_string(event.bound)})));
        return;
      case ArchiveStatus::TooManyEntries:
        fail(texts::about(place,
                          format(tr(texts::kTooManyEntries), {std::to_string(event.entries)})));
        return;
      case ArchiveStatus::TooDeep:
        warn(texts::about(place, texts::kTooDeep));
        return;
      case ArchiveStatus::Shut:
        switch (event.shutReason) {
          case archive::ShutReason::NoCandidate:
            fail(texts::about(place, texts::kShutNoCandidate));
            return;
          case archive::ShutReason::WrongPassword:
            fail(texts::about(place, texts::kShutWrongPassword));
            return;
          case archive::ShutReason::Unsupported:
            fail(texts::about(place, format(tr(texts::kShutUnsupported), {event.detail})));
            return;
        }
        return;
      case ArchiveStatus::FolderFailed:
        fail(texts::folderFailed(event.folder, event.errorNumber));
        return;
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
  NameRegistry flatNames;  // the names given in the target folder itself
  std::size_t mailsRead = 0;
  std::size_t mailsWithFiles = 0;
  std::size_t filesWritten = 0;
  std::size_t filesKept = 0;                               // left as they were (--skip-existing)
  nlohmann::json manifestMails = nlohmann::json::array();  // --manifest: the mails done
  nlohmann::json manifestFiles = nlohmann::json::array();  // and the files of the current one
  std::string lastMail;
  archive::Unpacker unpacker;
  std::vector<archive::Password> givenPasswords;
  std::vector<archive::PasswordMail> passwordMails;  // those of the run so far
  std::vector<DeferredArchive> deferred;
  std::string archiveMail;  // the mail whose archive is being unpacked, for messages
  nlohmann::json* resumedRecord = nullptr;  // the manifest's record of a deferred archive's mail
  // While an archive is listed: where its entries go.
  std::string* listLines = nullptr;
  nlohmann::json* listParts = nullptr;
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
  command->add_flag("--unpack", options->unpack,
                    N_("Unpack each attachment that is an archive (ZIP, 7z, tar, LZH…) into a "
                       "folder named after it, and the archives and mails inside it in turn"));
  command
      ->add_option("--max-unpacked", options->maxUnpacked,
                   N_("Stop unpacking an attachment once this much has come out of it, nested "
                      "archives included (default: 4G)"))
      ->type_name("SIZE");
  command
      ->add_option("--max-ratio", options->maxRatio,
                   N_("Stop unpacking an attachment once more than N times its size has come "
                      "out of it, but never below 1 MiB (default: 200)"))
      ->type_name("N")
      ->check(CLI::PositiveNumber);
  command
      ->add_option("--password", options->passwords,
                   N_("A password to try on encrypted archives (may be given several times); the "
                      "passwords of the run's password mails are tried first"))
      ->type_name("PASSWORD");
  command
      ->add_option("--password-file", options->passwordFile,
                   N_("A file of passwords to try, one per line"))
      ->type_name("FILE");
  command->add_flag("--show-passwords", options->showPasswords,
                    N_("Say which password opened each encrypted archive, not only whose it was"));
  command->callback([&environment, &action, options] {
    action = [&environment, options] {
      if (refuseRepeatedStandardInput(environment, "extract", options->mails)) return kExitUsage;
      if (options->json) options->list = true;
      archive::Bounds bounds;
      bounds.maxRatio = options->maxRatio;
      if (!options->maxUnpacked.empty()) {
        const std::optional<std::uint64_t> size = parseSize(options->maxUnpacked);
        if (!size || *size == 0) {
          printShown(environment, tr(texts::kBadSize));
          return kExitUsage;
        }
        bounds.maxUnpacked = *size;
      }
      mail::MailLibrary library;
      return Extraction(environment, *options, bounds).run();
    };
  });
}

}  // namespace korvani::cli
