// What the tests of the mail and text line loops may touch inside a TextDecoder: the options the
// loops run with, how they cut lines, and what they learned on the way.
#pragma once

#include "textdecode/text_decoder.h"

namespace korvani {

class TextDecoderTestAccess {
 public:
  static TextEncoding& encodingOption(TextDecoder& d) { return d.encodingOption; }
  static TextCharset& charsetOption(TextDecoder& d) { return d.charsetOption; }
  static TextDecoder::LineCutting& lineCutting(TextDecoder& d) { return d.lineCutting; }
  static TextEncoding currentEncoding(const TextDecoder& d) { return d.currentEncoding; }
  static TextCharset currentCharset(const TextDecoder& d) { return d.currentCharset; }
  static MailState state(const TextDecoder& d) { return d.state; }
  static int multipart(const TextDecoder& d) { return d.multipart; }
  static const std::string& boundary(const TextDecoder& d) { return d.boundary; }
};

}  // namespace korvani
