#include "architecture/layer_rules.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace korvani::architecture {
namespace {

std::vector<std::string> splitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// The cells of a Markdown table row ("| a | b |"), or none when the line is not a row.
std::vector<std::string> tableCells(const std::string& line) {
  const std::size_t first = line.find_first_not_of(' ');
  if (first == std::string::npos || line[first] != '|') return {};
  std::vector<std::string> cells;
  std::size_t start = first + 1;
  for (std::size_t bar = line.find('|', start); bar != std::string::npos;
       bar = line.find('|', start)) {
    cells.push_back(line.substr(start, bar - start));
    start = bar + 1;
  }
  return cells;
}

std::vector<std::string> quotedWords(const std::string& cell) {
  std::vector<std::string> words;
  for (std::size_t open = cell.find('`'); open != std::string::npos;) {
    const std::size_t close = cell.find('`', open + 1);
    if (close == std::string::npos) break;
    if (close > open + 1) words.push_back(cell.substr(open + 1, close - open - 1));
    open = cell.find('`', close + 1);
  }
  return words;
}

// An include line: its opening delimiter ('<' or '"') and the name inside.
struct Include {
  char delimiter;
  std::string header;
};

std::optional<Include> parseInclude(const std::string& line) {
  std::size_t at = line.find_first_not_of(" \t");
  if (at == std::string::npos || line[at] != '#') return std::nullopt;
  at = line.find_first_not_of(" \t", at + 1);
  if (at == std::string::npos || line.compare(at, 7, "include") != 0) return std::nullopt;
  at = line.find_first_not_of(" \t", at + 7);
  if (at == std::string::npos || (line[at] != '<' && line[at] != '"')) return std::nullopt;
  const std::size_t close = line.find(line[at] == '<' ? '>' : '"', at + 1);
  if (close == std::string::npos) return std::nullopt;
  return Include{line[at], line.substr(at + 1, close - at - 1)};
}

std::string withoutSourcePrefix(const std::string& name) {
  return name.rfind("src/", 0) == 0 ? name.substr(4) : name;
}

std::string trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The body rows of the first table in `lines` whose header's last cell is `lastHeader`.
std::vector<std::vector<std::string>> tableRows(const std::vector<std::string>& lines,
                                                const std::string& lastHeader) {
  std::vector<std::vector<std::string>> rows;
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    const std::vector<std::string> header = tableCells(lines[i]);
    if (header.empty() || trimmed(header.back()) != lastHeader) continue;
    for (std::size_t row = i + 2; row < lines.size(); ++row) {
      std::vector<std::string> cells = tableCells(lines[row]);
      if (cells.empty()) break;
      if (cells.size() == header.size()) rows.push_back(std::move(cells));
    }
    break;
  }
  return rows;
}

bool isUnder(const std::string& path, const std::string& place) {
  if (path == place) return true;
  return path.size() > place.size() && path.compare(0, place.size(), place) == 0 &&
         path[place.size()] == '/';
}

}  // namespace

std::optional<LayerRules> parseLayerRules(std::string_view markdown, std::string& error) {
  std::vector<std::string> lines = splitLines(markdown);
  const auto section = std::find(lines.begin(), lines.end(), "## Layers");
  if (section == lines.end()) {
    error = "no \"## Layers\" section";
    return std::nullopt;
  }
  const auto sectionEnd = std::find_if(
      section + 1, lines.end(), [](const std::string& line) { return line.rfind("## ", 0) == 0; });
  lines = std::vector<std::string>(section + 1, sectionEnd);

  LayerRules rules;
  for (const auto& cells : tableRows(lines, "may include")) {
    std::set<std::string> allowed;
    for (const std::string& word : quotedWords(cells.back())) {
      allowed.insert(withoutSourcePrefix(word));
    }
    for (const std::string& folder : quotedWords(cells.front())) {
      rules.mayInclude[withoutSourcePrefix(folder)] = allowed;
    }
  }
  if (rules.mayInclude.empty()) {
    error = "no table with a \"may include\" column under \"## Layers\"";
    return std::nullopt;
  }
  for (const auto& [folder, allowed] : rules.mayInclude) {
    for (const std::string& other : allowed) {
      if (rules.mayInclude.count(other) == 0) {
        error = "src/" + folder + " may include \"" + other + "\", which has no row";
        return std::nullopt;
      }
    }
  }

  for (const auto& cells : tableRows(lines, "only in")) {
    Library library{trimmed(cells.front()), quotedWords(cells[1]), {}};
    for (const std::string& place : quotedWords(cells.back())) {
      library.places.push_back(withoutSourcePrefix(place));
    }
    if (library.headerStarts.empty() || library.places.empty()) {
      error = "the row of " + library.name + " names no headers or no place";
      return std::nullopt;
    }
    rules.libraries.push_back(std::move(library));
  }
  if (rules.libraries.empty()) {
    error = "no table with an \"only in\" column under \"## Layers\"";
    return std::nullopt;
  }
  return rules;
}

std::vector<std::string> findBreaches(const LayerRules& rules,
                                      const std::vector<SourceFile>& sources) {
  std::vector<std::string> breaches;
  std::set<std::string> foldersWithoutRow;
  for (const SourceFile& source : sources) {
    const std::size_t slash = source.path.find('/');
    if (slash == std::string::npos) continue;
    const std::string folder = source.path.substr(0, slash);
    const auto row = rules.mayInclude.find(folder);
    if (row == rules.mayInclude.end()) {
      if (foldersWithoutRow.insert(folder).second) {
        breaches.push_back("src/" + folder + ": a folder with no row in the layer table");
      }
      continue;
    }
    const std::vector<std::string> lines = splitLines(source.text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const std::optional<Include> include = parseInclude(lines[i]);
      if (!include) continue;
      const std::string& header = include->header;
      const bool quoted = include->delimiter == '"';
      const std::string where = "src/" + source.path + ":" + std::to_string(i + 1) + ": #include " +
                                (quoted ? "\"" + header + "\"" : "<" + header + ">");
      if (quoted) {
        // A name without a folder is a file beside the includer (or generated for it).
        const std::size_t headerSlash = header.find('/');
        if (headerSlash == std::string::npos) continue;
        const std::string target = header.substr(0, headerSlash);
        if (target == folder || row->second.count(target) != 0) continue;
        breaches.push_back(where + (rules.mayInclude.count(target) != 0
                                        ? ": src/" + folder + " may not include src/" + target
                                        : ": " + target + " is no folder of the layer table"));
        continue;
      }
      for (const Library& library : rules.libraries) {
        const bool ofLibrary =
            std::any_of(library.headerStarts.begin(), library.headerStarts.end(),
                        [&](const std::string& start) { return header.rfind(start, 0) == 0; });
        if (!ofLibrary) continue;
        const bool allowed =
            std::any_of(library.places.begin(), library.places.end(),
                        [&](const std::string& place) { return isUnder(source.path, place); });
        if (!allowed) breaches.push_back(where + ": " + library.name + " is only for its places");
      }
    }
  }
  return breaches;
}

std::vector<SourceFile> readSources(const std::filesystem::path& sourceRoot) {
  std::vector<SourceFile> sources;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(sourceRoot)) {
    const std::string extension = entry.path().extension().string();
    if (!entry.is_regular_file() || (extension != ".h" && extension != ".cpp")) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    sources.push_back({entry.path().lexically_relative(sourceRoot).generic_string(), text.str()});
  }
  std::sort(sources.begin(), sources.end(),
            [](const SourceFile& a, const SourceFile& b) { return a.path < b.path; });
  return sources;
}

}  // namespace korvani::architecture
