// Our texts (UTF-8, as the core and the tables of texts hold them) as Qt takes them.
#pragma once

#include <QString>
#include <string_view>

namespace korvani::gui {

inline QString text(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace korvani::gui
