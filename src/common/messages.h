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

// The mail window (korvani-gui --mail). Lines that follow a file name or a count say so; the
// window puts the two together.
namespace korvani::messages::mailwindow {

inline constexpr std::string_view kWindowTitle = "Korvani メール";

// The header area: the engine's field names and the captions shown for them, in this order.
struct HeaderCaption {
  std::string_view field;
  std::string_view caption;
};
inline constexpr HeaderCaption kHeaderCaptions[] = {
    {"From", "差出人"}, {"To", "宛先"}, {"Cc", "Cc"}, {"Date", "日付"}, {"Subject", "件名"}};

// Menus.
inline constexpr std::string_view kFileMenu = "ファイル(&F)";
inline constexpr std::string_view kOpenAction = "開く(&O)…";
inline constexpr std::string_view kRecentMenu = "最近使ったファイル(&R)";
inline constexpr std::string_view kNoRecentFiles = "(なし)";
inline constexpr std::string_view kQuitAction = "終了(&Q)";
inline constexpr std::string_view kViewMenu = "表示(&V)";
inline constexpr std::string_view kFixedFontAction = "等幅フォント(&M)";

// The attachment list and the message list of an mbox file.
inline constexpr std::string_view kAttachments = "添付ファイル";
inline constexpr std::string_view kNameColumn = "名前";
inline constexpr std::string_view kTypeColumn = "種類";
inline constexpr std::string_view kSizeColumn = "サイズ";
inline constexpr std::string_view kDateColumn = "日付";
inline constexpr std::string_view kFromColumn = "差出人";
inline constexpr std::string_view kSubjectColumn = "件名";
inline constexpr std::string_view kSaveButton = "保存…";
inline constexpr std::string_view kSaveAllButton = "すべて保存…";
inline constexpr std::string_view kCancelButton = "中止";

// File dialogs and questions.
inline constexpr std::string_view kOpenMailTitle = "メールを開く";
inline constexpr std::string_view kMailFilter =
    "メール (*.eml *.mbox *.msg *.txt);;すべてのファイル (*)";
inline constexpr std::string_view kSaveAttachmentTitle = "添付ファイルを保存";
inline constexpr std::string_view kSaveFolderTitle = "保存先のフォルダ";
inline constexpr std::string_view kReplaceQuestion =
    "は既にあります。置き換えますか?";  // after the file name

// What went wrong, one line under the header area.
inline constexpr std::string_view kNotAMail = "メールとして読めるヘッダがありません。";
inline constexpr std::string_view kPartLimit =
    "部品が多すぎるか入れ子が深すぎるため、途中までを表示しています。";
inline constexpr std::string_view kTruncatedPart =
    "メールが添付ファイルの途中で終わっています:";                      // before the file name
inline constexpr std::string_view kOpenFailed = "メールを読めません:";  // before the reason

// The status bar and the outcome of a save.
inline constexpr std::string_view kOpening = "読み込み中…";
inline constexpr std::string_view kSaving = "保存中…";
inline constexpr std::string_view kSaved = "個のファイルを保存しました。";  // after the count
inline constexpr std::string_view kCancelled = "中止しました。";
inline constexpr std::string_view kSaveFailed = "保存できなかったファイルがあります:";
inline constexpr std::string_view kTargetIsSource = "は開いているメール自身です。";  // after a path
inline constexpr std::string_view kTargetExists = "は既にあります。";                // after a path
inline constexpr std::string_view kUnreadablePart = "はメールから読み出せません。";  // after a path
inline constexpr std::string_view kOpenWithFailed = "を開くアプリケーションがありません。";

}  // namespace korvani::messages::mailwindow
