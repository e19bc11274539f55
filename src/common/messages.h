// Every text the system shows to a user, in one place, as UTF-8.
//
// The fixed messages are the system's own and are compared byte for byte by the tests; the front
// ends decide how to show them (a message box, or "korvani: TEXT" on standard error).
#pragma once

#include <string>
#include <string_view>

namespace korvani::messages {

// Convert without a source file.
inline constexpr std::string_view kMissingSource = "変換元ファイル名が未指定です。";

// Binary decode: attachment locator and body decoder.
inline constexpr std::string_view kExtractOpenFailed = "入力ファイル名異常";
inline constexpr std::string_view kStatusFailed = "入力ファイル属性取得ＮＧ";
inline constexpr std::string_view kExtractImageFailed = "読込バッファ獲得異常";
inline constexpr std::string_view kNotBase64Attachment = "";  // the locator's empty message
inline constexpr std::string_view kBadMailStructure = "データ構造が異常です";
inline constexpr std::string_view kOutputBufferFailed = "変換先バッファ獲得ＮＧ";
inline constexpr std::string_view kExtractSaveOpenFailed = "保存ファイルオープンＮＧ";

// Binary encode: message composer.
inline constexpr std::string_view kPackageOpenFailed = "変換元ファイルオープンＮＧ";
inline constexpr std::string_view kPackageImageFailed = "変換元データ読込用バッファ獲得ＮＧ";
inline constexpr std::string_view kPackageSaveOpenFailed = "保存ファイルのオープンＮＧ";

// Mail decode and text decode: decode driver.
inline constexpr std::string_view kDecodeOpenFailed = "入力ファイルオープンＮＧ";
inline constexpr std::string_view kDecodeInputBufferFailed = "入力データバッファ獲得ＮＧ";
inline constexpr std::string_view kDecodeOutputBufferFailed = "出力データバッファ獲得ＮＧ";
inline constexpr std::string_view kDecodeOutputOpenFailed = "出力ファイルオープンＮＧ";

// Ours: what the command line says when it names a decoded attachment itself (no -o given),
// and its explanation after the locator's empty message, which on a terminal says nothing.
inline constexpr std::string_view kNoProposedName =
    "the mail proposes no file name for its attachment; name the output with -o";
inline constexpr std::string_view kUnusableProposedName =
    "the mail proposes no usable file name for its attachment; name the output with -o";
inline constexpr std::string_view kProposedOutputExists =
    "already exists; give --force to replace it, or name the output with -o";  // after the path
inline constexpr std::string_view kNotBase64Explanation =
    "the attachment's Content-Transfer-Encoding is not base64, so it cannot be decoded";

inline constexpr std::string_view kOutputIsSource =
    "is the source file itself; choose another output";  // after the output's path

// Ours: errors the file layer raises after a successful open. The OS's reason and the path are
// appended by describeReadFailure / describeWriteFailure.
inline constexpr std::string_view kReadFailed = "ファイル読込ＮＧ";
inline constexpr std::string_view kWriteFailed = "ファイル書込ＮＧ";

// "TITLE: PATH: REASON", REASON being the OS's text for `errorNumber`. The one place where an
// errno becomes a message.
std::string describeOsError(std::string_view title, std::string_view path, int errorNumber);
inline std::string describeReadFailure(std::string_view path, int errorNumber) {
  return describeOsError(kReadFailed, path, errorNumber);
}
inline std::string describeWriteFailure(std::string_view path, int errorNumber) {
  return describeOsError(kWriteFailed, path, errorNumber);
}
// "TITLE" and, on a second line, "PATH: REASON": the fixed open-failure text stays the first
// line on its own (the command line joins the two with ": ").
std::string describeOpenFailure(std::string_view title, std::string_view path, int errorNumber);

// Ours: the output would replace the source itself.
std::string describeOutputIsSource(std::string_view output, std::string_view source);

// Ours: the today's-mail commands (extract, read). Texts that follow a path say so.
inline constexpr std::string_view kNotAMail = "is not a mail: no header could be read";
inline constexpr std::string_view kAttachmentExists =
    "already exists; give --force to replace it";  // after the path
inline constexpr std::string_view kAttachmentTruncated =
    "the mail ends inside this attachment; the part that is there was written";  // after the path
inline constexpr std::string_view kAttachmentUnreadable =
    "the attachment could not be read from the mail";  // after the path
inline constexpr std::string_view kPartLimitReached =
    "holds more parts, or nests them deeper, than are read; the rest were skipped";  // after the
                                                                                     // mail
inline constexpr std::string_view kNoMailFound = "holds no mail file";  // after the folder
inline constexpr std::string_view kFolderFailed = "フォルダ作成ＮＧ";
inline constexpr std::string_view kTruncatedMark = "(cut short)";  // after a listed part
// What `read` writes between the parts of a mail.
inline constexpr std::string_view kForwardedMessage = "---------- 転送メッセージ ----------";
inline constexpr std::string_view kAttachmentMark = "[添付]";

}  // namespace korvani::messages
