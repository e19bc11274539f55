// File names for the attachments of today's mail, safe to create in the chosen folder.
//
// A mail may propose any name: a path that climbs out of the folder, a Windows device, control
// characters, thousands of bytes. Every name a mail proposes goes through safeAttachmentName()
// before it reaches the disk; a part with no name gets one from its media type.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

namespace korvani::mail {

// The longest name, in bytes, that the common Linux and Windows file systems all accept.
inline constexpr std::size_t kMaxNameBytes = 255;

// Makes `name` (UTF-8; ill-formed bytes are replaced) a plain file name: only what follows the
// last '/' or '\' is kept; control characters and <>:"|?* become '_'; leading dots become '_';
// trailing dots and spaces are stripped; a Windows device name (CON, PRN, AUX, NUL, COM1-9,
// LPT1-9, with or without an extension) gets a leading '_'; the result is cut to at most
// kMaxNameBytes bytes on a character boundary, keeping an extension of up to 16 bytes. Returns ""
// when nothing usable is left (the caller then names the part itself).
std::string safeAttachmentName(std::string_view name);

// "part-N.EXT", EXT chosen from `mediaType` (a lower-case type/subtype; "bin" when unknown).
std::string defaultAttachmentName(std::size_t number, std::string_view mediaType);

// The names given within one folder in one run: the second "a.txt" becomes "a (2).txt", the
// third "a (3).txt". Names differing only in ASCII case count as the same, as they do on the
// desktop file systems the files may travel to.
class NameRegistry {
 public:
  // Returns `name`, or the first free "stem (N).ext" for it, and records what it returns.
  std::string claim(const std::string& name);

 private:
  std::set<std::string> taken;  // lower-cased
};

}  // namespace korvani::mail
