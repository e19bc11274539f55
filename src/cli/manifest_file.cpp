#include "cli/manifest_file.h"

#include "cli/cli_texts.h"
#include "platform/standard_output_platform.h"

namespace korvani::cli {

std::string manifestText(const nlohmann::json& manifest) {
  return manifest.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

bool writeManifest(Environment& environment, const std::string& path,
                   const nlohmann::json& manifest) {
  const std::string text = manifestText(manifest);
  const bool toStandardOutput = path == StandardOutputPlatform::kName;
  StandardOutputPlatform standardOutput(environment.platform);
  Platform& platform =
      toStandardOutput ? static_cast<Platform&>(standardOutput) : environment.platform;
  const WriteResult result =
      platform.writeFile(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(),
                         ExistingEntry::ReplaceTarget);
  if (result.status == WriteStatus::Written) return true;
  printShown(environment, texts::writeFailed(toStandardOutput ? tr(texts::kStandardOutput) : path,
                                             result.errorNumber));
  return false;
}

}  // namespace korvani::cli
