#include "cli/translation.h"

#include <libintl.h>

#include <vector>

namespace korvani::cli {

std::string tr(std::string_view text) {
  if (text.empty()) return {};
  return ::dgettext(kTextDomain, text.data());
}

std::string trn(const char* singular, const char* plural, unsigned long count) {
  return ::dngettext(kTextDomain, singular, plural, count);
}

std::string format(std::string_view pattern, std::initializer_list<std::string_view> values) {
  const std::vector<std::string_view> all(values);
  std::string out;
  std::size_t next = 0;
  for (std::size_t at = 0; at < pattern.size(); ++at) {
    const char c = pattern[at];
    if (c != '%' || at + 1 == pattern.size()) {
      out += c;
      continue;
    }
    if (pattern[at + 1] == '%') {
      out += '%';
      ++at;
    } else if (pattern[at + 1] == 's') {
      if (next < all.size()) out += all[next++];
      ++at;
    } else if (pattern[at + 1] >= '1' && pattern[at + 1] <= '9' && at + 3 < pattern.size() &&
               pattern[at + 2] == '$' && pattern[at + 3] == 's') {
      const std::size_t index = static_cast<std::size_t>(pattern[at + 1] - '1');
      if (index < all.size()) out += all[index];
      at += 3;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace korvani::cli
