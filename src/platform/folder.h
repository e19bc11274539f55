// Folders the tool creates itself (one per mail when extract is given several mails).
#pragma once

#include <string>

namespace korvani {

// Makes the folder `path`, or accepts the folder already there. A symbolic link, even to a
// folder, is refused (ENOTDIR), so that files are never written through a link at a name the
// program chose. Returns false and sets `errorNumber` on failure.
bool makeFolder(const std::string& path, int& errorNumber);

}  // namespace korvani
