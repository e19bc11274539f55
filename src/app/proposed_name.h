// The file name a mail proposes for its attachment is hostile input: whoever wrote the mail
// chose it. Before a front end creates a file under that name without the user having typed it,
// the name goes through safeFileName(), which keeps the file inside the folder it is put in.
#pragma once

#include <string>
#include <string_view>

namespace korvani {

enum class ProposedNameVerdict {
  Usable,   // `name` may be created in any folder
  Missing,  // the mail proposes no name at all
  Unusable  // what the mail proposes has no usable last component ("", "." or "..")
};

struct SafeFileName {
  ProposedNameVerdict verdict = ProposedNameVerdict::Missing;
  std::string name;  // set only when Usable
};

// Takes only what follows the last '/' of `proposed` (the only path separator here: '\' is not
// one, and it is the second byte of many Shift_JIS characters such as 表 and ソ), and refuses an
// empty result, "." and "..". A name that is not valid UTF-8 is read as code page 932 and
// converted to UTF-8 (bytes without a mapping become '_'), so that it lists as its characters;
// then each control byte (0x00 to 0x1F and 0x7F) and each leading dot becomes '_' (a mail cannot
// plant a hidden file such as .bashrc).
SafeFileName safeFileName(std::string_view proposed);

}  // namespace korvani
