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
// Ours: why the locator's message is empty, for a front end to show under it (the command line
// words it in the user's language; this is its Japanese).
inline constexpr std::string_view kNotBase64Reason =
    "添付ファイルの Content-Transfer-Encoding が base64 ではないため、デコードできません";
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

// Ours: a name the program chose is taken by an entry it may not replace.
inline constexpr std::string_view kOutputExists = "already exists";  // after the path

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

// Ours: what the today's-mail engine and its save path report in the system's own style.
inline constexpr std::string_view kFolderFailed = "フォルダ作成ＮＧ";
// What `read` writes between the parts of a mail.
inline constexpr std::string_view kForwardedMessage = "---------- 転送メッセージ ----------";
inline constexpr std::string_view kAttachmentMark = "[添付]";
// The last line of an HTML part too long to be rendered whole.
inline constexpr std::string_view kHtmlCut = "[HTML が長すぎるため、ここから先は表示していません]";

}  // namespace korvani::messages
