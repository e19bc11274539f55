// korvani extract MAIL... [-d DIR] [--layout flat|per-mail] [--force | --skip-existing]
//                 [-r] [--list] [--json] [-q | -v] [--unpack [--max-unpacked SIZE]
//                 [--max-ratio N] [--password TEXT]... [--password-file FILE]
//                 [--show-passwords]]
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "archive/password_mail.h"
#include "archive/unpacker.h"
#include "cli/cli_front_end.h"
#include "cli/cli_texts.h"
#include "cli/mail_inputs.h"
#include "cli/manifest_file.h"
#include "cli/ordered_pipeline.h"
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
  // "flat", "per-mail", "per-file", or empty: flat for one mail, per-mail for more
  std::string layout;
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
  unsigned jobs = 0;  // --jobs N; 0: one per processor
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

// The file name of `path` without its folder.
std::string fileNameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file name of `path` without its folder and its last extension, as a subfolder is named.
std::string stemOf(const std::string& path) {
  std::string name = fileNameOf(path);
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

// What one mail leaves to be said and recorded, gathered while it is read and written (on any
// thread) and told in input order.
struct MailReport {
  enum class Kind { Failure, Warning, Output, JsonEntry };
  struct Line {
    Kind kind;
    std::string text;
  };
  std::vector<Line> lines;
  nlohmann::json files = nlohmann::json::array();  // --manifest: the mail's files
  std::size_t filesWritten = 0;
  std::size_t filesKept = 0;
  std::uint64_t bytesWritten = 0;
  bool wroteAny = false;

  void fail(std::string text) { lines.push_back({Kind::Failure, std::move(text)}); }
  void warn(std::string text) { lines.push_back({Kind::Warning, std::move(text)}); }
  void out(std::string text) { lines.push_back({Kind::Output, std::move(text)}); }
};

// One mail of the run (or a mail file that could not be opened) on its way through the steps of
// runPipeline().
struct MailJob {
  std::shared_ptr<const mail::MailFile> file;  // null when it could not be opened
  int openError = 0;
  const MailInput* input = nullptr;
  std::size_t index = 0;  // the message of an mbox file, from 0
  bool perMail = false;   // a subfolder of its own
  std::string stem;       // what its subfolder is named after
  MailRun run;
  std::shared_ptr<const mail::Mail> parsed;
  Folder* root = nullptr;          // the target folder, when the mail has something to write
  int rootError = 0;               // why it could not be had
  std::string rootFailedPath;      // and which folder that was
  std::vector<std::string> names;  // the names its attachments take in a shared target folder
  MailReport report;
  // Once a worker is done with the mail: that it was read, and its record for the manifest
  // (`parsed` is then let go on the worker, where freeing it costs no time of the ordered step).
  bool read = false;
  nlohmann::json record;
};

// The mails handed from one step of runPipeline() to the next at once, in input order.
struct MailBatch {
  std::vector<MailJob> mails;
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
    progress = !options.list && !options.quiet && !options.verbose &&
               environment.platform.isTerminal(environment.errorStream);
    rated = options.list && !options.quiet &&
            (options.verbose || environment.platform.isTerminal(environment.errorStream));
    startedAt = environment.platform.steadyMilliseconds();
    lastDrawn = startedAt;  // the first line after 200 ms, with a rate worth showing
    extractAll(files);
    if (progress && progressShown) std::fprintf(environment.errorStream, "\r\033[K");
    progress = false;
    if (rated) sayRate();
    resumeDeferred();
    if (options.json) writeOut(mailsInJson == 0 ? "[]\n" : "\n]\n");
    if (!options.manifest.empty()) writeManifest();
    if (!options.list) summarise();
    return status;
  }

 private:
  // Says a failure (and makes the run's exit status 1): into the report of the mail being told,
  // when there is one, so that it keeps its place among that mail's other messages.
  void fail(const std::string& message) {
    if (current != nullptr) {
      current->fail(message);
    } else {
      tellFailure(message);
    }
  }

  void warn(const std::string& message) {
    if (current != nullptr) {
      current->warn(message);
    } else {
      tellWarning(message);
    }
  }

  void tellFailure(const std::string& message) {
    tellWarning(message);
    status = kExitFailed;
  }

  void tellWarning(const std::string& message) {
    if (progressShown) {
      std::fprintf(environment.errorStream, "\r\033[K");
      progressShown = false;
    }
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

  // Reads, writes and tells every mail of `files` through runPipeline(): parsed, written and
  // listed by options.jobs workers, decided and told in input order. With --unpack the archives
  // are unpacked in the ordered step, where the password mails before each are known.
  void extractAll(const std::vector<MailInput>& files) {
    std::size_t nextFile = 0;
    std::shared_ptr<const mail::MailFile> open;  // the file whose messages are being handed out
    std::size_t nextIndex = 0;
    const MailInput* openInput = nullptr;
    std::string openStem;
    bool openPerMail = false;
    // The next mail of the run; false when there is none.
    auto next = [&](MailJob& job) {
      while (!open || nextIndex == open->messageCount()) {
        open.reset();
        if (nextFile == files.size()) return false;
        const MailInput& input = files[nextFile++];
        ++filesOpened;
        int errorNumber = 0;
        std::unique_ptr<mail::MailFile> file =
            mail::MailFile::open(environment.platform, input.path, errorNumber);
        if (!file) {
          job.input = &input;
          job.openError = errorNumber;
          return true;
        }
        bytesRead += file->length();
        mailsKnown += file->messageCount();
        open = std::move(file);
        nextIndex = 0;
        openInput = &input;
        openStem = input.path == kStandardInputPath ? std::string(texts::kStandardInputStem)
                   : options.layout == "per-file"   ? fileNameOf(input.path)
                                                    : stemOf(input.path);
        openPerMail = options.layout == "per-mail" || options.layout == "per-file" ||
                      (options.layout.empty() && (files.size() > 1 || open->messageCount() != 1));
      }
      job.file = open;
      job.input = openInput;
      job.index = nextIndex++;
      job.perMail = openPerMail;
      job.stem = openStem;
      return true;
    };
    // Mails travel in batches: a small mail takes less time to parse than a handing over
    // between threads takes, so up to kBatchMails of them (or 1 MiB) are handed over at once.
    constexpr std::size_t kBatchMails = 16;
    constexpr std::uint64_t kBatchBytes = std::uint64_t{1} << 20;
    PipelineSteps<MailBatch> steps;
    steps.make = [&](MailBatch& batch) {
      std::uint64_t bytes = 0;
      while (batch.mails.size() < kBatchMails && bytes < kBatchBytes) {
        MailJob job;
        if (!next(job)) break;
        if (job.file) bytes += job.file->length() / job.file->messageCount();
        batch.mails.push_back(std::move(job));
      }
      return !batch.mails.empty();
    };
    steps.parse = [this](MailBatch& batch) {
      for (MailJob& job : batch.mails) parse(job);
    };
    steps.claim = [this](MailBatch& batch) {
      for (MailJob& job : batch.mails) claim(job);
    };
    steps.work = [this](MailBatch& batch) {
      if (options.unpack) return;
      for (MailJob& job : batch.mails) {
        work(job);
        letGo(job);
      }
    };
    steps.finish = [this, &files, &nextFile](MailBatch& batch) {
      for (MailJob& job : batch.mails) {
        tell(job, files.size() - nextFile);
        if (outputFailed) return false;  // nothing more can be listed
      }
      return true;
    };
    const unsigned jobs = options.jobs != 0 ? options.jobs : environment.platform.processorCount();
    // Enough batches in flight to keep every worker busy while one waits for its turn to claim;
    // few enough that memory stays that of a few dozen parsed mails per worker.
    runPipeline(jobs, std::size_t{4} * jobs, steps);
  }

  // Step one, on any thread: the mail parsed, or why it is not.
  void parse(MailJob& job) const {
    const std::string shown = mailLabel(job.input->path);
    if (!job.file) {
      job.report.fail(texts::openFailed(shown, job.openError));
      return;
    }
    job.run.path = job.input->path;
    job.run.label = job.file->isMbox() ? shown + "#" + std::to_string(job.index + 1) : shown;
    int readError = 0;
    job.parsed = job.file->parse(job.index, &readError);
    if (job.parsed) return;
    if (readError != 0) {
      job.report.fail(texts::readFailed(job.run.label, readError));
    } else if (job.input->named || job.file->isMbox()) {
      job.report.fail(texts::about(job.run.label, texts::kNotAMail));
    } else if (options.verbose) {
      job.report.warn(texts::about(job.run.label, texts::kSkippedNotAMail));
    }
  }

  // Step two, one mail at a time in input order: its subfolder's name, the names its files take
  // in a target folder shared with other mails, and the target folder itself once a mail has
  // something to write, as a run of one worker decides them.
  void claim(MailJob& job) {
    if (!job.parsed) return;
    if (job.perMail) {
      job.run.subfolder = folders.claimSubfolder(
          job.file->isMbox() ? job.stem + "-" + std::to_string(job.index + 1) : job.stem);
    }
    if (options.list || options.unpack) return;  // --unpack claims as it writes, in order
    bool writes = false;
    for (const mail::MailPart& part : job.parsed->parts()) {
      if (part.role != mail::PartRole::Attachment) continue;
      writes = true;
      if (job.run.subfolder.empty()) job.names.push_back(flatNames.claim(part.name));
    }
    if (!writes) return;
    job.root = folders.root(job.rootError);
    if (!job.root) job.rootFailedPath = folders.failedPath();
  }

  // Step three, on any thread: what the mail says of itself, then its listing or its files.
  // Without --unpack it touches nothing another mail's step touches; with --unpack, tell() runs it.
  void work(MailJob& job) {
    if (!job.parsed) return;
    const mail::Mail& parsed = *job.parsed;
    MailReport& report = job.report;
    if (parsed.limitReached()) {
      report.fail(job.run.label + ": " + tr(texts::limitWords(parsed.limit()).reached));
    }
    for (const mail::MailPart& part : parsed.parts()) {
      if (part.unterminated) report.warn(texts::about(job.run.label, texts::kUnterminated));
      if (part.damaged) report.fail(texts::containerDamaged(job.run.label, part));
    }
    if (options.list) {
      list(job.run, parsed, !job.perMail, report);
    } else {
      extractMail(job, report);
    }
  }

  // Keeps what tell() needs of a parsed mail and lets the mail go.
  void letGo(MailJob& job) const {
    if (!job.parsed) return;
    job.read = true;
    if (!options.manifest.empty()) job.record = mailRecord(job.run.label, *job.parsed);
    job.parsed.reset();
  }

  // The last step, in input order: with --unpack, the mail's archives; then all it has to say.
  void tell(MailJob& job, std::size_t filesLeft) {
    if (job.parsed && options.unpack) {
      current = &job.report;
      job.run.facts = archive::factsOf(*job.parsed, job.run.label);
      std::vector<std::string> found = archive::passwordsInText(job.run.facts.text);
      if (!found.empty()) passwordMails.push_back({job.run.facts, std::move(found)});
      work(job);
      current = nullptr;
    }
    MailReport& report = job.report;
    const bool read = job.read || job.parsed;
    if (read) {
      ++mailsRead;
      lastMail = job.run.label;
    }
    for (MailReport::Line& line : report.lines) {
      switch (line.kind) {
        case MailReport::Kind::Failure:
          tellFailure(line.text);
          break;
        case MailReport::Kind::Warning:
          tellWarning(line.text);
          break;
        case MailReport::Kind::Output:
          writeOut(line.text);
          break;
        case MailReport::Kind::JsonEntry:
          writeOut((mailsInJson++ == 0 ? "[\n" : ",\n") + line.text);
          break;
      }
    }
    filesWritten += report.filesWritten;
    filesKept += report.filesKept;
    bytesWritten += report.bytesWritten;
    if (report.wroteAny) ++mailsWithFiles;
    if (read && !options.manifest.empty()) {
      nlohmann::json record =
          job.parsed ? mailRecord(job.run.label, *job.parsed) : std::move(job.record);
      record["files"] = std::move(report.files);
      manifestMails.push_back(std::move(record));
    }
    ++mailsTold;
    if (progress) showProgress(filesLeft);
  }

  // The progress line on a terminal: mails done of those known (an mbox's count is known once
  // it is open; the files not yet opened count as the average so far), files and bytes written,
  // the rate, and the time left at that rate. Drawn at most every 200 ms.
  void showProgress(std::size_t filesLeft) {
    const std::uint64_t now = environment.platform.steadyMilliseconds();
    if (now < lastDrawn + 200) return;
    lastDrawn = now;
    const double seconds = static_cast<double>(now - startedAt) / 1000.0;
    const double expected = static_cast<double>(mailsKnown) +
                            static_cast<double>(filesLeft) * static_cast<double>(mailsKnown) /
                                static_cast<double>(std::max<std::size_t>(filesOpened, 1));
    const double rate = seconds > 0 ? static_cast<double>(mailsTold) / seconds : 0.0;
    const double left =
        rate > 0 ? std::max(0.0, expected - static_cast<double>(mailsTold)) / rate : 0.0;
    const auto whole = static_cast<unsigned long>(std::lround(left));
    std::fprintf(
        environment.errorStream, "\r%s\033[K",
        format(tr(texts::kExtractProgress),
               {std::to_string(mailsTold), std::to_string(static_cast<std::size_t>(expected)),
                std::to_string(filesWritten), megabytes(bytesWritten),
                std::to_string(std::lround(rate)),
                std::to_string(whole / 60) + ":" + (whole % 60 < 10 ? "0" : "") +
                    std::to_string(whole % 60)})
            .c_str());
    std::fflush(environment.errorStream);
    progressShown = true;
  }

  // After --list with -v or on a terminal: how much was read, and how fast.
  void sayRate() {
    const std::uint64_t elapsed = environment.platform.steadyMilliseconds() - startedAt;
    const double seconds = static_cast<double>(std::max<std::uint64_t>(elapsed, 1)) / 1000.0;
    tellWarning(format(tr(texts::kListRate),
                       {std::to_string(mailsRead), megabytes(bytesRead), fixed(seconds, 2),
                        fixed(static_cast<double>(bytesRead) / 1e6 / seconds, 0)}));
  }

  // `bytes` in megabytes (10^6), one decimal.
  static std::string megabytes(std::uint64_t bytes) {
    return fixed(static_cast<double>(bytes) / 1e6, 1);
  }

  static std::string fixed(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
  }

  // Lists the parts of one mail on standard output: a line each, or the mail's object of the JSON
  // array, written as soon as the mail has been read. What the mail says (types, encodings, names)
  // and the path are shown with shownText(); the JSON keeps them exact (see listingJson).
  void list(const MailRun& run, const mail::Mail& parsed, bool oneMail, MailReport& report) {
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
        report.files.push_back(std::move(file));
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
      report.lines.push_back({MailReport::Kind::JsonEntry, listingJson(entry, 2)});
    } else {
      if (parsed.limitReached()) lines += tr(texts::limitWords(parsed.limit()).mark) + '\n';
      report.out(std::move(lines));
    }
  }

  // Writes `text` on standard output, in its place among the current mail's messages.
  void print(const std::string& text) {
    if (current != nullptr) {
      current->out(text);
    } else {
      writeOut(text);
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

  void extractMail(MailJob& job, MailReport& report) {
    const MailRun& run = job.run;
    const mail::Mail& parsed = *job.parsed;
    std::optional<FileTimes> times;
    // A stream has no times of its own to give the files.
    if (!job.file->isStream()) {
      const mail::MailFileTimes source = job.file->times();
      times.emplace();
      times->lastWrite = source.lastWrite;
      times->lastAccess = source.lastAccess;
    }
    if (options.unpack) unpacker.setTimes(times);
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
    std::size_t claimed = 0;
    for (std::size_t index = 0; index < all.size(); ++index) {
      const mail::MailPart& part = all[index];
      if (part.role != mail::PartRole::Attachment) continue;
      if (!folder) {
        // Made only once the mail has something to write.
        folder = options.unpack ? folderOf(run.subfolder, subfolder)
                                : claimedFolder(job, subfolder, report);
        if (!folder) return;
      }
      // The mails written straight into the target share it: a second "report.pdf" there
      // becomes "report (2).pdf", as within one mail.
      std::string name = part.name;
      if (run.subfolder.empty()) {
        name = options.unpack ? flatNames.claim(part.name) : job.names[claimed++];
      }
      std::optional<archive::PartHead> head;
      mail::ChunkSink headSink;
      if (options.unpack) {
        head.emplace();
        headSink = [&head](const std::uint8_t* data, std::size_t size) {
          return head->take(data, size);
        };
      }
      const save::SaveOutcome outcome =
          saver.save(*folder, name, parsed, index, options.force, times, {}, headSink);
      if (!options.manifest.empty()) record(part, outcome, report);
      report.wroteAny = sayOutcome(run, outcome, report) || report.wroteAny;
      if (options.unpack &&
          (outcome.written() || outcome.status == save::SaveStatus::AlreadyExists)) {
        unpack(run, job.parsed, index, name, *folder, run.subfolder.empty() ? flatNames : mailNames,
               outcome.written() ? &*head : nullptr, outcome);
      }
    }
  }

  // The folder of a mail whose target folder claim() had: that folder, or the mail's subfolder
  // of it, made now and kept in `held`. Null, with the failure in `report`, when it cannot be had.
  static Folder* claimedFolder(const MailJob& job, std::unique_ptr<Folder>& held,
                               MailReport& report) {
    if (!job.root) {
      report.fail(texts::folderFailed(job.rootFailedPath, job.rootError));
      return nullptr;
    }
    if (job.run.subfolder.empty()) return job.root;
    int errorNumber = 0;
    held = job.root->makeFolder(job.run.subfolder, errorNumber);
    if (!held) {
      report.fail(texts::folderFailed(joinPath(job.root->path(), job.run.subfolder), errorNumber));
    }
    return held.get();
  }

  // A written file's path under -d, as the manifest is read beside the files.
  std::string underTarget(const std::string& target) const {
    const std::string prefix = options.folder + "/";
    return target.compare(0, prefix.size(), prefix) == 0 ? target.substr(prefix.size()) : target;
  }

  // Adds the outcome of one save to the manifest.
  void record(const mail::MailPart& part, const save::SaveOutcome& outcome,
              MailReport& report) const {
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
    report.files.push_back(std::move(file));
  }

  // Writes the manifest, whole or not at all, through the one creation path.
  void writeManifest() {
    nlohmann::json manifest = nlohmann::json::object();
    manifest["korvani"] = KORVANI_VERSION;
    putText(manifest, "directory", options.folder);
    manifest["listed"] = options.list;
    manifest["mails"] = std::move(manifestMails);
    if (!cli::writeManifest(environment, options.manifest, manifest)) status = kExitFailed;
  }

  // Words the outcome of one save; returns whether a file was written.
  bool sayOutcome(const MailRun& run, const save::SaveOutcome& outcome, MailReport& report) const {
    switch (outcome.status) {
      case save::SaveStatus::Written:
        break;
      case save::SaveStatus::Truncated:
        report.fail(texts::about(outcome.target, texts::kAttachmentTruncated));
        break;
      case save::SaveStatus::AlreadyExists:
        if (options.skipExisting) {
          ++report.filesKept;
          if (options.verbose) report.warn(texts::about(outcome.target, texts::kKeptExisting));
        } else {
          report.fail(texts::about(outcome.target, texts::kAttachmentExists));
        }
        return false;
      case save::SaveStatus::TargetIsInput:
        report.fail(texts::outputIsInput(outcome.target, run.label));
        return false;
      case save::SaveStatus::Unreadable:
      case save::SaveStatus::Stopped:
        report.fail(texts::about(outcome.target, texts::kAttachmentUnreadable));
        return false;
      case save::SaveStatus::WriteFailed:
        report.fail(texts::writeFailed(outcome.target, outcome.errorNumber));
        return false;
    }
    ++report.filesWritten;
    report.bytesWritten += outcome.size;
    if (options.verbose) report.out(mail::shownText(outcome.target) + "\n");
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
  // archive: from the file just written (`saved`, whose head `head` saw), or (a file kept as it
  // was) from the mail again.
  void unpack(const MailRun& run, const std::shared_ptr<const mail::Mail>& mail, std::size_t index,
              const std::string& name, Folder& folder, NameRegistry& names,
              const archive::PartHead* head, const save::SaveOutcome& saved) {
    const std::string path = mail->parts()[index].path + "/" + name;
    archiveMail = run.label;
    std::string claimed;
    int errorNumber = 0;
    archive::PartResult result = archive::PartResult::NotAnArchive;
    if (head != nullptr) {
      result = unpacker.unpackSaved(folder, names, name, saved, *head, *mail, index, path,
                                    candidatesFor(run.facts, name), true, claimed, errorNumber);
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
        if (options.verbose) print(mail::shownText(event.target) + "\n");
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
    if (resumedRecord != nullptr) {
      (*resumedRecord)["files"].push_back(std::move(file));
    } else if (current != nullptr) {
      current->files.push_back(std::move(file));
    }
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
  MailReport* current = nullptr;  // the report of the mail being told, for the unpacker's events
  // The progress line and the listing's rate.
  bool progressShown = false;  // a progress line is on the terminal now
  bool rated = false;
  std::uint64_t startedAt = 0;
  std::uint64_t lastDrawn = 0;
  std::uint64_t bytesRead = 0;     // the lengths of the mail files opened
  std::uint64_t bytesWritten = 0;  // of the attachments written
  std::size_t mailsKnown = 0;      // the mails in the files opened so far
  std::size_t filesOpened = 0;
  std::size_t mailsTold = 0;
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
  addChoiceOption(*command, "--layout", options->layout,
                  {{"flat", {}}, {"per-mail", {}}, {"per-file", {}}},
                  N_("flat: every file into the folder of -d (a second \"a.pdf\" becomes "
                     "\"a (2).pdf\"); per-mail: a subfolder per mail, named after the mail file "
                     "without its extension; per-file: named after the whole file name (an mbox "
                     "file's mails add -1, -2…), which the mails of separate runs never share. "
                     "Default: flat for one mail, per-mail for more"));
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
  command
      ->add_option("--jobs", options->jobs,
                   N_("Read and write N mails at once (default: one per processor); the result "
                      "is the same for any N"))
      ->type_name("N")
      ->check(CLI::PositiveNumber);
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
