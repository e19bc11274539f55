// Everything one conversion needs, as the front end hands it to convert().
#pragma once

#include <string>

#include "common/conversion_options.h"

namespace korvani {

struct ConversionRequest {
  std::string sourcePath;
  std::string outputPath;  // filled by convert() from the output chooser
  ConvertMode mode = ConvertMode::BinaryDecode;
  TextEncoding encodingOption = TextEncoding::Auto;
  TextCharset charsetOption = TextCharset::Auto;
};

}  // namespace korvani
