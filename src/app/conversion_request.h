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
};

}  // namespace korvani
