#include "cli/cli_usage.h"

#include <CLI/CLI.hpp>
#include <algorithm>

#include "cli/translation.h"
#include "mail/mail_text.h"

namespace korvani::cli {
namespace {

// The code point at `at` of UTF-8 `text` and its length in bytes; a stray byte counts as one.
char32_t codePointAt(std::string_view text, std::size_t at, std::size_t& length) {
  const auto byte = static_cast<unsigned char>(text[at]);
  length = byte < 0xC0 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
  if (at + length > text.size()) {
    length = 1;
    return byte;
  }
  char32_t value = length == 1 ? byte : byte & (0x3F >> (length - 1));
  for (std::size_t i = 1; i < length; ++i) {
    value = (value << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
  }
  return value;
}

bool isWide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
         (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
         (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
         (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1FAFF) ||
         (c >= 0x20000 && c <= 0x3FFFD);
}

// Wide punctuation that may not begin a line (。、）」 and the like): a break before it moves
// to the character before.
bool mayNotBeginLine(char32_t c) {
  return c == U'。' || c == U'、' || c == U'）' || c == U'」' || c == U'』' || c == U'，' ||
         c == U'．' || c == U'：' || c == U'ー';
}

std::string joinedNames(const std::vector<std::string_view>& names, std::string_view separator) {
  std::string out;
  for (const std::string_view name : names) {
    if (!out.empty()) out += separator;
    out += name;
  }
  return out;
}

std::string choiceList(const std::vector<Choice>& choices) {
  std::vector<std::string_view> names;
  names.reserve(choices.size());
  for (const Choice& choice : choices) names.push_back(choice.name);
  return joinedNames(names, "|");
}

// "-o, --output FILE" as help lists an option, or "MAIL..." for an argument.
std::string optionLabel(const CLI::Option& option) {
  if (!option.nonpositional()) {
    std::string name = option.get_name(true);
    if (option.get_expected_max() > 1) name += "...";
    return name;
  }
  std::string label;
  for (const std::string& name : option.get_snames()) label += (label.empty() ? "-" : ", -") + name;
  label += label.empty() ? "    " : ", ";
  bool first = true;
  for (const std::string& name : option.get_lnames()) {
    label += (first ? "--" : ", --") + name;
    first = false;
  }
  if (option.get_expected_max() > 0) label += " " + option.get_type_name();
  return label;
}

// One entry of a list: `label` in the first column, `text` wrapped beside it, or on the next line
// when the label is too wide.
void addEntry(std::string& out, std::string_view label, std::string_view text) {
  constexpr std::size_t kIndent = 2;
  constexpr std::size_t kColumn = 26;
  out.append(kIndent, ' ');
  out += label;
  const std::size_t used = kIndent + displayWidth(label);
  if (used + 2 > kColumn) {
    out += '\n';
    out.append(kColumn, ' ');
  } else {
    out.append(kColumn - used, ' ');
  }
  out += wrapText(text, kHelpWidth - kColumn, kColumn);
  out += '\n';
}

std::string afterPrefix(const std::string& text, std::string_view prefix) {
  const std::size_t at = text.find(prefix);
  return at == std::string::npos ? text : text.substr(at + prefix.size());
}

// Levenshtein distance, for suggestions between short command names.
std::size_t editDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

std::size_t displayWidth(std::string_view text) {
  std::size_t width = 0;
  for (std::size_t at = 0, length = 0; at < text.size(); at += length) {
    width += isWide(codePointAt(text, at, length)) ? 2 : 1;
  }
  return width;
}

std::string wrapText(std::string_view text, std::size_t width, std::size_t indent) {
  std::string out;
  std::size_t lineStart = 0;  // where the current line begins in `out`
  std::size_t column = 0;     // its width so far
  // The last place the line may be broken: its offset in `out`, the width before it, and whether
  // it is a space (dropped at the break) or the gap between two characters.
  std::size_t breakAt = std::string::npos;
  std::size_t columnAtBreak = 0;
  bool breakIsSpace = false;
  std::size_t previousAt = 0;  // where the last character began, and the width before it
  std::size_t previousColumn = 0;
  const auto allowBreak = [&](std::size_t at, std::size_t atColumn, bool space) {
    if (at <= lineStart) return;
    breakAt = at;
    columnAtBreak = atColumn;
    breakIsSpace = space;
  };
  const auto newLine = [&] {
    out += '\n';
    out.append(indent, ' ');
    lineStart = out.size();
    breakAt = std::string::npos;
  };
  for (std::size_t at = 0, length = 0; at < text.size(); at += length) {
    const char32_t c = codePointAt(text, at, length);
    if (c == '\n') {
      newLine();
      column = 0;
      continue;
    }
    const bool wide = isWide(c);
    if (c == ' ') {
      allowBreak(out.size(), column, true);
    } else if (mayNotBeginLine(c)) {
      // never before it: the break moves in front of the character it follows
      if (breakAt == out.size()) allowBreak(previousAt, previousColumn, false);
    } else if (wide) {
      allowBreak(out.size(), column, false);
    }
    previousAt = out.size();
    previousColumn = column;
    out.append(text.substr(at, length));
    column += wide ? 2 : 1;
    if (column > width && breakAt != std::string::npos) {
      const std::size_t skip = breakIsSpace ? 1 : 0;
      std::string rest = out.substr(breakAt + skip);
      const std::size_t restColumn = column - columnAtBreak - skip;
      const std::size_t restPrevious =
          previousAt >= breakAt + skip ? previousAt - breakAt - skip : 0;
      out.erase(breakAt);
      while (out.size() > lineStart && out.back() == ' ') out.pop_back();
      newLine();
      previousAt = out.size() + restPrevious;
      previousColumn = restColumn >= (wide ? 2u : 1u) ? restColumn - (wide ? 2 : 1) : 0;
      out += rest;
      column = restColumn;
    }
    if (wide) allowBreak(out.size(), column, false);  // a line may end after a wide character
  }
  return out;
}

CLI::Option* addChoiceOption(CLI::App& command, const std::string& names, std::string& target,
                             const std::vector<Choice>& choices, const std::string& description) {
  const std::string list = choiceList(choices);
  CLI::Option* option = command.add_option(names, target, description);
  option->type_name(list);
  option->transform(CLI::Validator(
      [choices, list](std::string& value) -> std::string {
        const std::string lower = mail::asciiLowercase(value);
        for (const Choice& choice : choices) {
          bool match = lower == choice.name;
          for (const std::string_view alias : choice.aliases) match = match || lower == alias;
          if (match) {
            value = std::string(choice.name);
            return {};
          }
        }
        return format(tr(N_("\"%s\" is not one of %s")), {value, list});
      },
      "", ""));
  return option;
}

std::string overviewText(const CLI::App& app) {
  std::string out = tr(N_("Usage: korvani COMMAND [OPTIONS] [FILES]")) + "\n\n";
  out += wrapText(tr(app.get_description()), kHelpWidth) + "\n\n";
  const auto section = [&](std::string_view title, std::initializer_list<const char*> names) {
    out += tr(title) + "\n";
    for (const char* name : names) {
      for (const CLI::App* command : app.get_subcommands({})) {
        if (command->get_name() == name) addEntry(out, name, tr(command->get_description()));
      }
    }
  };
  section(N_("Today's mail:"), {"extract", "read"});
  section(N_("Classic conversions:"),
          {"binary-decode", "binary-encode", "mail-decode", "text-decode"});
  out += "\n";
  out += wrapText(tr(N_("Run \"korvani help COMMAND\" or \"korvani COMMAND --help\" for a "
                        "command's options, and \"korvani --version\" for the version. The manual "
                        "is korvani(1).")),
                  kHelpWidth);
  out += '\n';
  return out;
}

std::string commandHelp(const CLI::App& command) {
  std::string usage = "korvani " + command.get_name() + " " + tr(N_("[OPTIONS]"));
  for (const CLI::Option* option : command.get_options({})) {
    if (!option->nonpositional()) usage += " " + optionLabel(*option);
  }
  std::string out = tr(N_("Usage:")) + " " + usage + "\n\n";
  out += wrapText(tr(command.get_description()), kHelpWidth) + "\n\n";
  out += tr(N_("Arguments:")) + "\n";
  for (const CLI::Option* option : command.get_options({})) {
    if (!option->nonpositional())
      addEntry(out, optionLabel(*option), tr(option->get_description()));
  }
  out += tr(N_("Options:")) + "\n";
  for (const CLI::Option* option : command.get_options({})) {
    if (option->nonpositional()) addEntry(out, optionLabel(*option), tr(option->get_description()));
  }
  addEntry(out, "-h, --help", tr(N_("Show this help and exit")));
  addEntry(out, "    --version", tr(N_("Show the version and exit")));
  return out;
}

std::string nearestCommand(const CLI::App& app, std::string_view word) {
  const std::string lower = mail::asciiLowercase(word);
  std::string best;
  std::size_t bestDistance = 3;  // more than two edits away is no suggestion
  for (const CLI::App* command : app.get_subcommands({})) {
    const std::string& name = command->get_name();
    std::size_t distance = editDistance(lower, name);
    if (lower.size() >= 3 && name.compare(0, lower.size(), lower) == 0) distance = 1;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = name;
    }
  }
  return best;
}

std::string usageErrorText(const CLI::ParseError& error) {
  std::string what = error.what();
  if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
    const std::string extra = afterPrefix(what, ": ");
    if (!extra.empty() && extra[0] == '-' && extra != "-") {
      return format(tr(N_("unknown option %s (a file whose name starts with \"-\" is given after "
                          "\"--\": -- %s)")),
                    {extra, extra});
    }
    return format(tr(N_("unexpected argument %s")), {extra});
  }
  if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) {
    return format(tr(N_("%s is required")), {what.substr(0, what.find(" is required"))});
  }
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
    return format(tr(N_("%s needs a value")), {what.substr(0, what.find(':'))});
  }
  if (dynamic_cast<const CLI::ExcludesError*>(&error) != nullptr) {
    const std::size_t at = what.find(" excludes ");
    if (at != std::string::npos) {
      return format(tr(N_("%s and %s cannot be given together")),
                    {what.substr(0, at), what.substr(at + 10)});
    }
  }
  return what;  // a value refused by a check of ours is worded already
}

}  // namespace korvani::cli
