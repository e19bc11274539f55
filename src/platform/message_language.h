// The language the user reads messages in, as the locale says (LC_ALL, LC_MESSAGES, LANG).
#pragma once

#include <string>

namespace korvani {

// Lets gettext() answer in the user's language for the text domain `domain`: sets the messages
// category from the environment (only that one: how bytes are classified and converted stays as
// it is) and finds the domain's catalogues beside the program (its folder's `locale`, as in the
// build tree, then `../share/locale`, as installed; failing both, `installedFolder`). The texts,
// the OS's reasons (strerror) included, come out in UTF-8 whatever the locale's character set. An
// unknown locale leaves English.
void useMessageLanguage(const std::string& domain, const std::string& installedFolder);

}  // namespace korvani
