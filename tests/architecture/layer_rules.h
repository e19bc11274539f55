// The layer rules of docs/architecture.md, read from the page itself, and the check of every
// `#include` of src/ against them. The page is the one statement of the rules: this code knows
// only the shape of its two tables, never which folder may include which.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace korvani::architecture {

// A third-party library: the starts of its header names (`gmime` for <gmime/gmime.h>) and the
// places of src/ that may include them, each a folder ("mail") or one file
// ("common/safe_name.cpp").
struct Library {
  std::string name;
  std::vector<std::string> headerStarts;
  std::vector<std::string> places;
};

struct LayerRules {
  // Each folder of src/ ("mail") and the other folders it may include. A folder may always
  // include itself.
  std::map<std::string, std::set<std::string>> mayInclude;
  std::vector<Library> libraries;
};

// Reads the rules from the page's "## Layers" section: the table whose last column is "may
// include" (folders in backquotes in the first and last cells, with or without "src/"), and the
// table whose last column is "only in" (header starts in the second cell, places in the last).
// Returns nothing and sets `error` when either table is missing or empty, or when a row names a
// folder that has no row of its own.
std::optional<LayerRules> parseLayerRules(std::string_view markdown, std::string& error);

// One source file, its path relative to src/ ("mail/mail_text.cpp").
struct SourceFile {
  std::string path;
  std::string text;
};

// Every breach of `rules` in `sources`, one line each, naming the file, the line and the
// include: a quoted include of a folder the file's folder may not include (or of no folder of
// the table), an angle include of a library outside its places, and a folder of src/ with no
// row in the table. Folders of the table that no source lives in are no breach.
std::vector<std::string> findBreaches(const LayerRules& rules,
                                      const std::vector<SourceFile>& sources);

// The .h and .cpp files under `sourceRoot`, with paths relative to it, in a stable order.
std::vector<SourceFile> readSources(const std::filesystem::path& sourceRoot);

}  // namespace korvani::architecture
