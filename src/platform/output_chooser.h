// How a front end names the output file: a Save-As dialog in the desktop front end, the -o / -d
// options in the command line.
#pragma once

#include <string>

namespace korvani {

class OutputChooser {
 public:
  virtual ~OutputChooser() = default;
  // Asks for the output path. `defaultName` is the name to propose (the attachment's own name in
  // binary decode; empty otherwise) as raw bytes from the mail. Returns true and sets `path`
  // when a path was confirmed; returns false and leaves `path` alone when the user cancelled.
  virtual bool chooseOutputFile(const std::string& defaultName, std::string& path) = 0;
};

}  // namespace korvani
