// korvani manifest-merge OUTPUT MANIFEST...
//
// Joins the manifests of several `extract` runs over parts of one set of mails (shards, run on
// several machines) into the manifest one run over them all writes: their mails in the order the
// manifests are given. The runs must have written into the same -d, listed or not alike, with
// the same version of korvani; and no two may have written the same file, which one run would
// have named apart (--layout per-file gives the mails of separate runs folders of their own).
#include <CLI/CLI.hpp>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_front_end.h"
#include "cli/cli_texts.h"
#include "cli/manifest_file.h"
#include "platform/standard_output_platform.h"

namespace korvani::cli {
namespace {

struct MergeOptions {
  std::string output;
  std::vector<std::string> manifests;
};

// Manifests larger than this are not read: one run's record of a million files is well below.
constexpr std::uint64_t kMaxManifestBytes = std::uint64_t{4} << 30;

// The manifest at `path`, read whole; null (with the failure said) when it cannot be read or is
// not a manifest.
std::optional<nlohmann::json> readManifest(Environment& environment, const std::string& path) {
  int errorNumber = 0;
  const auto file = environment.platform.openForReading(path, ShareMode::Shared, &errorNumber);
  if (!file) {
    printShown(environment, texts::openFailed(path, errorNumber));
    return std::nullopt;
  }
  if (file->length() > kMaxManifestBytes) {
    printShown(environment, texts::about(path, texts::kNotAManifest));
    return std::nullopt;
  }
  std::string bytes(static_cast<std::size_t>(file->length()), '\0');
  errorNumber = file->read(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size());
  if (errorNumber != 0) {
    printShown(environment, texts::readFailed(path, errorNumber));
    return std::nullopt;
  }
  nlohmann::json manifest = nlohmann::json::parse(bytes, nullptr, false);
  if (!manifest.is_object() || !manifest.contains("korvani") || !manifest.contains("directory") ||
      !manifest.contains("listed") || !manifest.contains("mails") ||
      !manifest["mails"].is_array()) {
    printShown(environment, texts::about(path, texts::kNotAManifest));
    return std::nullopt;
  }
  return manifest;
}

int mergeManifests(Environment& environment, const MergeOptions& options) {
  for (const std::string& path : options.manifests) {
    if (options.output != StandardOutputPlatform::kName &&
        environment.platform.sameFile(options.output, path)) {
      printShown(environment, texts::outputIsInput(options.output, path));
      return kExitFailed;
    }
  }
  nlohmann::json merged;
  std::set<std::string> written;  // the paths of the files written so far
  for (const std::string& path : options.manifests) {
    std::optional<nlohmann::json> manifest = readManifest(environment, path);
    if (!manifest) return kExitFailed;
    if (merged.is_null()) {
      merged = *manifest;  // its fields; its mails are added below, as the others' are
      merged["mails"] = nlohmann::json::array();
    }
    for (const char* field : {"korvani", "directory", "directory_bytes", "listed"}) {
      if (merged.value(field, nlohmann::json()) != manifest->value(field, nlohmann::json())) {
        printShown(environment, texts::about(path, format(tr(texts::kManifestsDiffer),
                                                          {options.manifests.front(), field})));
        return kExitFailed;
      }
    }
    for (nlohmann::json& mail : (*manifest)["mails"]) {
      for (const nlohmann::json& file : mail.value("files", nlohmann::json::array())) {
        const nlohmann::json& target = file.value("path", nlohmann::json());
        if (!target.is_string() || file.value("status", std::string()) != "written") continue;
        if (!written.insert(target.get<std::string>()).second) {
          printShown(environment, texts::about(path, format(tr(texts::kWrittenTwice),
                                                            {target.get<std::string>()})));
          return kExitFailed;
        }
      }
      merged["mails"].push_back(std::move(mail));
    }
  }
  return writeManifest(environment, options.output, merged) ? kExitConverted : kExitFailed;
}

}  // namespace

void addManifestMergeCommand(CLI::App& app, Environment& environment, Action& action) {
  auto options = std::make_shared<MergeOptions>();
  CLI::App* command = app.add_subcommand(
      "manifest-merge",
      N_("Join the manifests of several extract runs over parts of one set of mails (on several "
         "machines, say) into the manifest one run over them all writes: their mails in the "
         "order the manifests are given. The runs must have written into the same -d, and no two "
         "the same file (see --layout per-file)."));
  command
      ->add_option("OUTPUT", options->output,
                   N_("The manifest to write (replaced if it exists); - for standard output"))
      ->required();
  command
      ->add_option("MANIFEST", options->manifests,
                   N_("The manifests of the runs, in the order of their mails"))
      ->required();
  command->callback([&environment, &action, options] {
    action = [&environment, options] { return mergeManifests(environment, *options); };
  });
}

}  // namespace korvani::cli
