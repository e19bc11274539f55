// AttachmentExtractor: binary decode. Finds the Base64 application/octet-stream attachment in a
// saved mail and writes its decoded bytes to a file that then carries the mail's times.
//
// Use: locate(source, name), choose the output (proposing `name`), writeDecoded(output),
// releaseImage(). The mail is held whole in memory (the image) from locate() until
// releaseImage() or destruction; the decoded bytes are built in one block and written in one
// piece, so a failure never leaves a partial output.
//
// The mail is recognised by case-sensitive comparisons at fixed columns of each line piece, as
// our own binary encode writes it; see locate(). Every failure is shown through the sink as one
// message and the operation returns 0.
//
// Where the layout leaves a choice, the rules stay short and keep every access in bounds: a
// quoted file name or boundary is taken only when its closing quote lies in the same piece,
// before any NUL byte; a boundary longer than 123 bytes is not
// taken; a value not taken leaves the previous one in force. Until a boundary has been taken,
// only a blank piece ends a body, even after a multipart/mixed line.
//
// One deliberate change to the classic scan: in the attachment's header (after its octet-stream
// Content-Type and before its body began) a piece that is another header field, such as
// "X-Attachment-Id: f_1", or a folded continuation belongs to the header and is skipped. It used
// to start the body, which turned today's mailers' attachments into a few bytes of garbage.
#pragma once

#include <cstdint>
#include <string>

#include "common/message_sink.h"
#include "platform/platform.h"

namespace korvani {

class AttachmentExtractor {
 public:
  // Line pieces are cut into a buffer of this size: at most 511 bytes of a line at a time.
  static constexpr std::uint32_t kLineBufferSize = 512;
  // The captured file name and boundary are NUL-terminated texts in buffers of this size: a name
  // keeps at most its first 127 bytes, and a boundary may have at most 123 bytes so that
  // "--" boundary "--" and its terminator fit.
  static constexpr std::uint32_t kFieldSize = 128;

  AttachmentExtractor(Platform& platform, MessageSink& sink);

  // Reads the mail at `sourcePath` (opened shared, so others may read and write it meanwhile)
  // whole into the image, remembers its status for stampFileTimes(), and scans it once, piece
  // by piece, for the body range of the last application/octet-stream part and the last
  // `filename` captured. Replaces any image held before.
  //
  // Returns 1 when a complete body range was found; `defaultName` then receives the captured
  // file name (empty when there was none), as raw bytes from the mail. Otherwise shows one
  // message, leaves `defaultName` alone and returns 0:
  //   "入力ファイル名異常"        the mail cannot be opened (the path and the OS's reason follow
  //                               on a second line);
  //   "入力ファイル属性取得ＮＧ"  its status cannot be read;
  //   "読込バッファ獲得異常"      no memory for the image, or a mail of 4 GiB or more;
  //   a read failure with the OS's reason (the image is then dropped);
  //   "" (empty)                  the octet-stream part names a transfer encoding other than
  //                               base64 after its Content-Type line;
  //   "データ構造が異常です"      no body both began and ended.
  // After a failure the image, when one was read, stays until releaseImage().
  int locate(const std::string& sourcePath, std::string& defaultName);

  // Decodes the body range found by locate() and writes the bytes to `outputPath` (created, or
  // replaced whole as `existing` allows), then stamps it with the mail's times. Requires a
  // successful locate(). Returns 1 when written, whether or not the times could be stamped. On
  // failure shows one message and returns 0, and no file is created or changed:
  //   "変換先バッファ獲得ＮＧ"    the range ends before it begins (a later attachment began but
  //                               never ended), or no memory for the decoded bytes;
  //   "保存ファイルオープンＮＧ"  the output cannot be created or opened (the path and the OS's
  //                               reason follow on a second line);
  //   "PATH: already exists…"     `existing` is Keep and an entry is at the path;
  //   a write failure with the OS's reason.
  int writeDecoded(const std::string& outputPath,
                   ExistingEntry existing = ExistingEntry::ReplaceTarget);

  // Frees the image, if any, and forgets the body range.
  void releaseImage();

  // Gives the file at `outputPath` the mail's creation, last-write and last-access times as
  // locate() read them. Silent, and changes nothing, when the output's status cannot be read.
  void stampFileTimes(const std::string& outputPath);

  // Decodes image[start, end) into `output` as writeDecoded() does and returns the number of
  // bytes decoded. The range is taken in the pieces readLine() would cut with a 512-byte buffer
  // (through the first LF, at most 511 bytes); each piece gives its whole quartets, counted from
  // its first byte, and the 1 to 3 bytes after them are dropped. So line ends fall into the
  // dropped rest of lines of 4k characters, and a quartet completed by CR or LF decodes by the
  // quartet rule. Nothing is validated and nothing stops at '='. `output` must have room for
  // end - start bytes; `end` must be the start of a piece (a line start or the image's end).
  static std::uint32_t decodeBody(const std::uint8_t* image, std::uint32_t start, std::uint32_t end,
                                  std::uint8_t* output);

  // The same result, obtained the plain way: each piece copied by readLine() into a zero-filled
  // 512-byte buffer and decoded from there. The reference decodeBody() is tested against.
  static std::uint32_t decodeBodyByPieces(const std::uint8_t* image, std::uint32_t start,
                                          std::uint32_t end, std::uint8_t* output);

  // The range found by the last locate(): the body is image[bodyStart, bodyEnd). 0 when not set.
  std::uint32_t foundBodyStart() const { return bodyStart; }
  std::uint32_t foundBodyEnd() const { return bodyEnd; }
  bool holdsImage() const { return static_cast<bool>(image); }

 private:
  Platform& platform;
  MessageSink& sink;
  Block image;
  std::uint32_t bodyStart = 0;
  std::uint32_t bodyEnd = 0;
  FileStatus sourceStatus;
  std::uint32_t imageLength = 0;
};

}  // namespace korvani
