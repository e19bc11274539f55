// The names of archive entries: decoded to UTF-8 from whatever the archive's maker wrote, and
// made into a path that stays inside the folder an archive is unpacked into.
//
// ZIP files from Japanese Windows store names in code page 932 without saying so; ZIP's own
// default is code page 437; ZIP's UTF-8 flag, 7z and pax headers give UTF-8. The bytes decide,
// in that order of trust: UTF-8 when they are well-formed UTF-8 (a code page 932 name almost never
// is), code page 932 when every byte decodes and no character is from its user-defined area,
// code page 437 (which decodes every byte) otherwise.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace korvani::archive {

enum class NameEncoding { Ascii, Utf8, Cp932, Cp437 };

// "ascii", "utf-8", "cp932" or "cp437", as listings and reports name it.
const char* nameEncodingName(NameEncoding encoding);

struct DecodedName {
  std::string text;  // well-formed UTF-8
  NameEncoding encoding = NameEncoding::Ascii;
};

DecodedName decodeEntryName(std::string_view bytes);

// The deepest folder nesting kept from an entry's path; deeper folders are dropped.
inline constexpr std::size_t kMaxEntryFolders = 32;

struct EntryPath {
  // The folders and, last, the entry's own name, each one component safeName() gave. Empty when
  // nothing usable is left of the name.
  std::vector<std::string> components;
  bool changed = false;  // something was dropped or replaced to make it safe
};

// Splits `name` (UTF-8) at '/' and '\', drops empty, "." and ".." components and a leading drive
// ("C:"), keeps at most kMaxEntryFolders folders, and makes each component safe: no path it gives
// leaves the folder it is joined to.
EntryPath safeEntryPath(std::string_view name);

}  // namespace korvani::archive
