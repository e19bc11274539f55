// Everything one conversion needs, as the front end hands it to convert().
#pragma once

#include <string>

#include "common/conversion_options.h"
#include "platform/platform.h"

namespace korvani {

struct ConversionRequest {
  std::string sourcePath;
  std::string outputPath;  // filled by convert() from the output chooser
  ConvertMode mode = ConvertMode::BinaryDecode;
  TextEncoding encodingOption = TextEncoding::Auto;
  TextCharset charsetOption = TextCharset::Auto;
  OutputCharset outputCharset = OutputCharset::Sjis;  // mail and text decode only
  // Filled by convert() from the output chooser with outputPath: what creating it may replace.
  ExistingEntry outputExisting = ExistingEntry::ReplaceTarget;
  // Filled by convert() in mail and text decode: the source held characters that Shift_JIS
  // cannot hold, so the output, written as the mode writes it, lacks or alters some of the text
  // (as a rule the rest of each such line). A front end may point to where it can be read whole.
  bool charactersDropped = false;
};

}  // namespace korvani
