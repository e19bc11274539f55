// How a front end names the output file: a Save-As dialog in the desktop front end, the -o / -d
// options in the command line.
#pragma once

#include <string>

#include "platform/platform.h"

namespace korvani {

class OutputChooser {
 public:
  virtual ~OutputChooser() = default;
  // Asks for the output path. `defaultName` is the name to propose (the attachment's own name in
  // binary decode; empty otherwise) as raw bytes from the mail. Returns true and sets `path`
  // when a path was confirmed; returns false and leaves `path` alone when the user cancelled.
  virtual bool chooseOutputFile(const std::string& defaultName, std::string& path) = 0;

  // What creating the last chosen path may do with an entry already there: a path the user typed
  // or confirmed replaces its target (the default); a name the program chose itself must not
  // follow a link there, and replaces nothing unless the user allowed it.
  virtual ExistingEntry existingEntry() const { return ExistingEntry::ReplaceTarget; }
};

}  // namespace korvani
