// The manifest of `korvani extract --manifest`, as it is written and as `manifest-merge` joins
// several into one: the same text for the same record, byte for byte.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "cli/cli_front_end.h"

namespace korvani::cli {

// The text of `manifest`: two spaces of indentation, UTF-8 as it is (U+FFFD for what is not), a
// line end at the end.
std::string manifestText(const nlohmann::json& manifest);

// Writes `manifest` to `path` ("-": standard output) whole or not at all, through the one
// creation path. Says a failure on standard error and returns false.
bool writeManifest(Environment& environment, const std::string& path,
                   const nlohmann::json& manifest);

}  // namespace korvani::cli
