// AttachmentPackager: binary encode. Packages any file as a complete MIME multipart/mixed mail:
// a placeholder text part and the file as a Base64 application/octet-stream attachment.
//
// Use: load(source), choose the output, writeMessage(output). The source is held whole in memory
// (the image), the message is composed in one block sized in advance from the source's length,
// and written in one piece, so a failure never leaves a partial output. The output keeps the
// times of its own writing.
#pragma once

#include <cstdint>
#include <string>

#include "common/message_sink.h"
#include "platform/platform.h"

namespace korvani {

class AttachmentPackager {
 public:
  AttachmentPackager(Platform& platform, MessageSink& sink);

  // Reads the whole source (opened exclusively) into the image and remembers its bare file name
  // as the headers will carry it: in code page 932 when every character has a form there,
  // otherwise as it is, with '"' and control characters made '_'.
  // Returns 1 on success. On failure shows one message and returns 0:
  //   "変換元ファイルオープンＮＧ"          the source cannot be opened (the path and the OS's
  //                                         reason follow on a second line);
  //   "変換元データ読込用バッファ獲得ＮＧ"  no memory for the image, or a source of 4 GiB or more;
  //   a read failure with the OS's reason.
  int load(const std::string& sourcePath);

  // Composes the mail for the loaded source and writes it to `outputPath` (created, or replaced
  // whole as `existing` allows). The boundary is made from the platform's local time. Requires a
  // successful load(). Returns 1 when written. On failure shows one message and returns 0:
  //   "変換先バッファ獲得ＮＧ"              no memory for the message;
  //   "保存ファイルのオープンＮＧ"          the output cannot be created or opened (the path
  //                                         and the OS's reason follow on a second line);
  //   a write failure with the OS's reason (nothing is left behind).
  int writeMessage(const std::string& outputPath,
                   ExistingEntry existing = ExistingEntry::ReplaceTarget);

  // The message block's size for a source of `length` bytes:
  // floor(2 * length / 45) + floor(4 * length / 3) + 2048.
  static std::uint64_t messageCapacity(std::uint64_t length);

  // Appends the zero-terminated `piece` with its terminator at `buffer + used` and advances
  // `used` by its length, unless `used` + length >= `capacity`: then nothing is appended and 0 is
  // returned. Returns 1 when appended.
  static int appendPiece(std::uint8_t* buffer, const char* piece, std::uint64_t& used,
                         std::uint64_t capacity);

  // Encodes the next (up to) 45 source bytes from `position` as one Base64 line: at most 60
  // characters, CR, LF and a terminating zero in `line` (63 bytes at most). Advances `position`.
  // Returns 1 when source bytes remain after this line, 0 when it took the last one (or the
  // source is empty: then the line is just CR LF).
  static int encodeLine(std::uint8_t* line, const std::uint8_t* image, std::uint32_t& position,
                        std::uint32_t length);

 private:
  Platform& platform;
  MessageSink& sink;
  Block image;
  std::uint32_t length = 0;
  std::string fileName;
};

}  // namespace korvani
