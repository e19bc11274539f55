// File names the program proposes from what a stranger wrote.
//
// A mail may propose any name for its attachment: a path that climbs out of the folder, a
// Windows device, control characters, characters that reorder what a file manager shows,
// thousands of bytes, the same word composed and decomposed. Every name the program proposes
// (the classic binary-decode without -o, the dialog's Save-As proposal, extract and the mail
// window) goes through safeName() before it reaches the disk or the user, and every name given
// within one folder in one run goes through a NameRegistry.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace korvani {

// The longest name, in bytes, that the common Linux and Windows file systems all accept.
inline constexpr std::size_t kMaxNameBytes = 255;

// The longest ".ext" that a length cut or a duplicate number keeps at the end of a name.
inline constexpr std::size_t kMaxExtensionBytes = 16;

// Where the proposed name comes from, which decides the two rules that cannot be shared.
enum class NameSource {
  // Text decoded from a mail's header by the mail engine: both '/' and '\' separate folders, and
  // a byte that is not part of well-formed UTF-8 becomes U+FFFD.
  DecodedText,
  // The bytes as they stand in the mail, as the classic modes read them: only '/' separates
  // folders ('\' is the second byte of many Shift_JIS characters such as 表 and ソ), and a name
  // that is not valid UTF-8 as a whole is read as code page 932 (bytes without a mapping
  // become '_').
  RawBytes,
};

enum class ProposedNameVerdict {
  Usable,   // `name` may be created in any folder
  Missing,  // nothing was proposed at all (an empty name)
  Unusable  // something was proposed, but nothing usable is left of it ("", ".", "..", "/ . ")
};

struct SafeName {
  ProposedNameVerdict verdict = ProposedNameVerdict::Missing;
  std::string name;  // non-empty exactly when Usable
  // What the steps below changed, in their order, each once, as words a program reads:
  // "not-utf8" (step 1 replaced or converted bytes), "folders-dropped", "characters-replaced",
  // "normalized", "dots-and-spaces-stripped", "leading-dots-replaced", "device-name",
  // "shortened".
  std::vector<std::string> changes;
};

// Makes `proposed` a plain file name, in this order:
//   1. it is read as UTF-8 as `source` says, and only what follows the last separator is kept;
//   2. control characters (U+0000-U+001F, U+007F, U+0080-U+009F), the characters that reorder
//      text (U+061C, U+200E, U+200F, U+202A-U+202E, U+2066-U+2069) and <>:"|?* each become '_';
//   3. it is normalised to NFC, so that a name sent decomposed is the same name as one sent
//      composed;
//   4. trailing dots and spaces are stripped, and leading dots become '_' (no hidden files);
//   5. a Windows device name (CON, PRN, AUX, NUL, COM0-COM9, LPT0-LPT9, COM¹-COM³, LPT¹-LPT³,
//      CONIN$, CONOUT$; in any ASCII case, with or without an extension, with or without
//      spaces before the first dot) gets a leading '_';
//   6. a name longer than kMaxNameBytes is cut on a character boundary, keeping an extension of
//      up to kMaxExtensionBytes.
// The result is well-formed UTF-8 in NFC, at most kMaxNameBytes bytes, holds no separator of
// `source`, no NUL or other control character, is neither "." nor ".." nor a device, and is its
// own safe name (applying safeName() to it again with the same source changes nothing). The
// verdict is Missing when `proposed` is empty and Unusable when nothing usable is left; `name`
// is then "".
SafeName safeName(std::string_view proposed, NameSource source);

// `text` (well-formed UTF-8) in Unicode Normalization Form C. Ill-formed input comes back as it
// was.
std::string toNfc(std::string_view text);

// The names given within one folder in one run: the second "a.txt" becomes "a (2).txt", the
// third "a (3).txt". Names are compared in NFC and with ASCII letters in one case, as the desktop
// file systems the files may travel to compare them. Claiming n names costs time linear in n,
// even when all of them are the same.
class NameRegistry {
 public:
  // Returns the NFC form of `name` (a name safeName() gave), or the first free "stem (N).ext"
  // for it when that is taken, and records what it returns. Never returns a name it returned
  // before, in any case. The result is at most kMaxNameBytes bytes: the stem is cut on a
  // character boundary to make room for the number.
  std::string claim(const std::string& name);

 private:
  std::unordered_set<std::string> taken;                    // folded forms of every name returned
  std::unordered_map<std::string, std::size_t> nextNumber;  // per folded name: first N to try
};

}  // namespace korvani
