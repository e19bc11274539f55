// TextDecoder: mail decode and text decode.
//
// decodeMail and decodeText read the whole source into memory, run a line loop over it that
// appends the decoded text to an output area in memory, write the output area to the chosen file
// in one piece and give that file the source's times. decodeMail follows the structure of the
// mail with a state machine (header lines have their first encoded word decoded, text bodies are
// transfer-decoded and converted to Shift_JIS, other parts are copied); decodeText sends every
// non-blank line through decodeLine with the options as given. Lines are cut with readLine into a
// 4096-byte buffer, so a longer line is handled as pieces of 4095 bytes.
//
// Nothing is written to the output before the whole result is built, so every failure leaves no
// output file; the source is closed before the output is opened. The process locale is never
// read or changed: the code page 932 conversion is table-driven.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/conversion_options.h"
#include "common/message_sink.h"
#include "platform/platform.h"

namespace korvani {

// Where the decoder stands in the structure of a mail. Text decode runs entirely in TextBody.
enum class MailState : std::int32_t {
  Start = -1,           // before the first non-blank line
  Header = 0,           // the mail's header (also after a "Date:" line in a text body)
  Preamble = 1,         // after the header of a multipart mail, before the first delimiter
  TextPartHeader = 2,   // the header of a part treated as text
  TextBody = 3,         // a body decoded as text
  OtherPartHeader = 4,  // the header of a part treated as non-text
  OtherPartBody = 5,    // the body of a non-text part, copied
  Epilogue = 6          // after the closing delimiter
};

// The decoded text of one conversion. It starts as one zero-filled block of the source's length
// and grows, through the platform, only when a line's result needs more room (EUC-JP line ends
// become CR LF, so EUC-JP text can come out longer than it went in).
class OutputArea {
 public:
  OutputArea(Platform& platform, Block initial) : platform(platform), block(std::move(initial)) {}
  // Makes room for `extra` bytes after the current end. False when the memory cannot be had;
  // the area then stays as it was and remembers the failure.
  bool reserve(std::size_t extra);
  // Appends `count` bytes (reserving room for them first).
  void append(const std::uint8_t* bytes, std::size_t count);
  // The current end, with at least the room last reserved.
  std::uint8_t* end() { return block.data() + length; }
  // The bytes that fit after the current end without growing.
  std::size_t room() const { return block.size() - length; }
  void advance(std::size_t count) { length += count; }
  std::size_t size() const { return length; }
  const std::uint8_t* data() const { return block.data(); }
  bool failed() const { return failure; }

 private:
  Platform& platform;
  Block block;
  std::size_t length = 0;
  bool failure = false;
};

// How a decoded text is written.
struct OutputForm {
  OutputCharset charset = OutputCharset::Sjis;
  ExistingEntry existing = ExistingEntry::ReplaceTarget;
};

class TextDecoder {
 public:
  TextDecoder(Platform& platform, MessageSink& sink);

  // Mail decode of `sourcePath` into `outputPath` with the user's options (Auto lets the mail's
  // headers decide). Text decode likewise, with the options fixed for every line. Both return 1
  // when the output was written (whether or not its times could be stamped). On failure they
  // show one message and return 0:
  //   "入力ファイルオープンＮＧ"     the source cannot be opened (exclusively);
  //   "入力ファイル属性取得ＮＧ"     the source's status cannot be read;
  //   "入力データバッファ獲得ＮＧ"   no memory for the source, or a source of 4 GiB or more;
  //   "出力データバッファ獲得ＮＧ"   no memory for the output area;
  //   "出力ファイルオープンＮＧ"     the output cannot be created or opened (the path and the
  //                                  OS's reason follow on a second line);
  //   a read or write failure with the OS's reason.
  // `output` says how the finished result is written: converted to UTF-8 as a last step (bytes
  // that are not code page 932 pass through), and what an entry already at the path allows.
  // Text with characters that code page 932 cannot hold is written as the conversion leaves it
  // (see utf8ToSjis); droppedCharacters() then says so.
  int decodeMail(const std::string& sourcePath, const std::string& outputPath,
                 TextEncoding encodingOption, TextCharset charsetOption,
                 const OutputForm& output = {});
  int decodeText(const std::string& sourcePath, const std::string& outputPath,
                 TextEncoding encodingOption, TextCharset charsetOption,
                 const OutputForm& output = {});

  // The line loops over an image of `length` bytes; they reset the current values, the state,
  // `multipart` and `boundary` first and append to `out` (which they do not empty). Return 1.
  int decodeMailLines(const std::uint8_t* data, std::uint32_t length, OutputArea& out);
  int decodeTextLines(const std::uint8_t* data, std::uint32_t length, OutputArea& out);

  // Whether the last line loop met UTF-8 text with a character that code page 932 cannot hold,
  // so that the result lacks or alters some of the text (the rest of the line, as a rule).
  bool droppedCharacters() const { return dropped; }

  // How the line loops cut lines. Fast (cutLine) writes only the line and the 0 after it, which
  // is as far as any handler reads; Plain (readLine) zero-fills the whole 4096-byte buffer
  // first. The output is the same; Plain is the reference that Fast is tested against.
  enum class LineCutting { Fast, Plain };

 private:
  // Tests that drive the line loops set the options and look at what the loops learned through
  // it (tests/support/text_decoder_test_access.h).
  friend class TextDecoderTestAccess;

  // The options of the current conversion, set by decodeMail / decodeText.
  TextEncoding encodingOption = TextEncoding::Auto;
  TextCharset charsetOption = TextCharset::Auto;

  // What the line loops have learned.
  TextEncoding currentEncoding = TextEncoding::Auto;
  TextCharset currentCharset = TextCharset::Auto;
  MailState state = MailState::Start;
  int multipart = 0;
  std::string boundary;
  bool dropped = false;

  LineCutting lineCutting = LineCutting::Fast;

  using Loop = int (TextDecoder::*)(const std::uint8_t*, std::uint32_t, OutputArea&);
  int decode(const std::string& sourcePath, const std::string& outputPath, const OutputForm& output,
             Loop loop);

  // The line loop both modes share: resets what the loop learns, starts in `initial` (Start for
  // mail decode, TextBody for text decode) and hands each line, joined at soft line breaks while
  // in TextBody with quoted-printable in force, to its handler.
  void runLines(const std::uint8_t* data, std::uint32_t length, OutputArea& out, MailState initial);

  // Joins quoted-printable soft line breaks: while the line's last significant byte is '=', the
  // next input line is read over that '='.
  void joinSoftLineBreaks(const std::uint8_t* data, std::uint32_t length, std::uint32_t& position,
                          std::uint8_t* line, std::uint32_t& count);

  // Hands the line to the handler of the current state; Start and Header share one.
  void dispatch(OutputArea& out, const std::uint8_t* line, std::uint32_t count);

  // The per-line handlers: each appends the line's output to `out`.
  void decodeTextLine(OutputArea& out, const std::uint8_t* line, std::uint32_t count);
  void handleHeaderLine(OutputArea& out, const std::uint8_t* line, std::uint32_t count);
  void handlePreambleLine(OutputArea& out, const std::uint8_t* line, std::uint32_t count);
  void handleTextPartHeaderLine(OutputArea& out, const std::uint8_t* line, std::uint32_t count);
  void handleTextBodyLine(OutputArea& out, const std::uint8_t* line, std::uint32_t count);
  void handleOtherPartHeaderLine(OutputArea& out, const std::uint8_t* line, std::uint32_t count);
  void handleOtherPartBodyLine(OutputArea& out, const std::uint8_t* line, std::uint32_t count);
  void handleEpilogueLine(OutputArea& out, const std::uint8_t* line, std::uint32_t count);

  // The three forms a line's output takes.
  void appendCopy(OutputArea& out, const std::uint8_t* line, std::uint32_t count);
  void appendWords(OutputArea& out, const std::uint8_t* line, std::uint32_t count);
  void appendDecoded(OutputArea& out, const std::uint8_t* line, std::uint32_t count);

  // Header field tests shared by the header handlers.
  void testTransferEncoding(const std::uint8_t* line);
  void matchCharsetName(const std::uint8_t* name);
  void captureBoundary(const std::uint8_t* line);
  void learnBoundary(const std::uint8_t* line, std::uint32_t count);
  // Sets `boundary` and rebuilds the delimiters from the whole of it: "--" + boundary and
  // "--" + boundary + "--", searched anywhere in a line.
  void setBoundary(std::string value);

  std::string delimiter = "--";
  std::string closingDelimiter = "----";

  Platform& platform;
  MessageSink& sink;
  FileStatus sourceStatus;
};

}  // namespace korvani
