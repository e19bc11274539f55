// The command line's own words in the user's language: English as written in the code, Japanese
// under a ja locale from po/ja.po (see useMessageLanguage). The classic modes' messages
// (common/messages.h) are the system's own and are never translated.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// Marks a literal for the message catalogue where it is written; tr() translates it where it is
// shown. (xgettext finds both keywords.)
#define N_(text) text

namespace korvani::cli {

// The text domain of the catalogues.
inline constexpr const char* kTextDomain = "korvani";

// `text` in the user's language. `text` must be a whole string literal (or an N_ constant): the
// catalogue is looked up by it.
std::string tr(std::string_view text);
// The form of `singular` / `plural` for `count`, in the user's language.
std::string trn(const char* singular, const char* plural, unsigned long count);

// `pattern` with its "%s" replaced by `values` in turn, or "%N$s" by value N (a translation may
// reorder them); "%%" is a '%'.
std::string format(std::string_view pattern, std::initializer_list<std::string_view> values);

}  // namespace korvani::cli
