// What the command line says about itself: the list of commands, each command's help, and usage
// errors in its own words (never the option library's), all fitted to kHelpWidth columns.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
class Option;
class ParseError;
}  // namespace CLI

namespace korvani::cli {

// The widest line help writes, in terminal columns (a wide character counts two).
inline constexpr std::size_t kHelpWidth = 100;

// The columns `text` (UTF-8) takes on a terminal: two for each East Asian wide character.
std::size_t displayWidth(std::string_view text);

// `text` broken into lines of at most `width` columns, at spaces or between wide characters, each
// line after the first starting with `indent` spaces (the first is the caller's). A word longer
// than a line stays whole.
std::string wrapText(std::string_view text, std::size_t width, std::size_t indent = 0);

// One accepted value of an option with a fixed set of values: the name help lists and the other
// spellings it takes (compared without regard to ASCII case).
struct Choice {
  std::string_view name;
  std::vector<std::string_view> aliases;
};

// Adds the option `names` (CLI11's "-s,--long") taking one of `choices`, stored in `target` as the
// choice's name, shown in help as "a|b|c". A value that is none of them is a usage error that
// lists them.
CLI::Option* addChoiceOption(CLI::App& command, const std::string& names, std::string& target,
                             const std::vector<Choice>& choices, const std::string& description);

// The text of `korvani`, `korvani help` and `korvani --help`: the commands and how to learn more.
std::string overviewText(const CLI::App& app);
// The text of `korvani COMMAND --help` and `korvani help COMMAND`.
std::string commandHelp(const CLI::App& command);

// The command whose name is nearest to `word` (a typo, a prefix), or "" when none is near.
std::string nearestCommand(const CLI::App& app, std::string_view word);

// A parse error of `command` in the command line's words, without the "korvani: " prefix.
std::string usageErrorText(const CLI::ParseError& error);

}  // namespace korvani::cli
