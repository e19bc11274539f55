// Text from a mail as it may be shown to a person: on a terminal (`korvani read`, the lines of
// `extract --list`) or in the mail window. A sender chooses every byte of a subject, a name or a
// body, and a terminal acts on some characters instead of showing them: ESC starts sequences
// that set the window's title, colour the rest of the screen or move the cursor, C1 controls do
// the same in one byte, and the bidirectional controls reorder what follows so that "txt.exe"
// reads as "exe.txt". Such characters are shown, never acted on.
//
// This is for showing only. Files the user asked for keep their bytes: attachments, and the
// output of the classic modes.
#pragma once

#include <string>
#include <string_view>

namespace korvani::mail {

// Whether `character` (a Unicode code point) acts on a terminal or on the direction of text
// instead of being seen: the C0 controls but TAB and LF, DEL, the C1 controls U+0080–U+009F, and
// the bidirectional controls U+061C, U+200E, U+200F, U+202A–U+202E and U+2066–U+2069.
bool actsWhenShown(char32_t character);

// `text` with every character actsWhenShown() names made visible:
// - a C0 control becomes its Control Pictures sign (ESC is "␛", BEL "␇", NUL "␀"), DEL "␡";
//   CR before LF is the end of a line written the Internet's way and is dropped;
// - a C1 control or a bidirectional control becomes U+FFFD;
// - each byte that is not part of well-formed UTF-8 becomes U+FFFD.
// Everything else, TAB and LF included, is kept as it stands. The result is valid UTF-8, at most
// three times the size of `text`; time is linear.
std::string shownText(std::string_view text);

// `json`, valid UTF-8 as a JSON writer leaves it (control characters below U+0020 already
// escaped), with each character actsWhenShown() names written as its \uXXXX escape instead: the
// same JSON to a program that reads it, and nothing that acts on a terminal that shows it.
std::string escapedForTerminal(std::string_view json);

}  // namespace korvani::mail
