// The mail window's words: menus, captions, questions and the lines that say what happened.
// The system's fixed messages stay in common/messages.h; the engine and the save path report
// statuses and these words are the window's.
#pragma once

#include <string_view>

// Lines that follow a file name or a count say so; the window puts the two together.
namespace korvani::gui::texts {

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
inline constexpr std::string_view kPrintAction = "印刷(&P)…";
inline constexpr std::string_view kPdfAction = "PDF に書き出す(&E)…";
inline constexpr std::string_view kCloseAction = "閉じる(&C)";
inline constexpr std::string_view kQuitAction = "終了(&Q)";
inline constexpr std::string_view kEditMenu = "編集(&E)";
inline constexpr std::string_view kCopyAction = "コピー(&C)";
inline constexpr std::string_view kFindAction = "検索(&F)…";
inline constexpr std::string_view kFindNextAction = "次を検索(&N)";
inline constexpr std::string_view kFindPreviousAction = "前を検索(&P)";
inline constexpr std::string_view kViewMenu = "表示(&V)";
inline constexpr std::string_view kFixedFontAction = "等幅フォント(&M)";
inline constexpr std::string_view kSourceAction = "ソースを表示(&S)";
inline constexpr std::string_view kZoomInAction = "拡大(&I)";
inline constexpr std::string_view kZoomOutAction = "縮小(&O)";
inline constexpr std::string_view kZoomResetAction = "元のサイズ(&R)";
inline constexpr std::string_view kEncodingMenu = "文字エンコーディング(&E)";
inline constexpr std::string_view kAutomaticEncoding = "自動(&A)";
inline constexpr std::string_view kHelpMenu = "ヘルプ(&H)";
inline constexpr std::string_view kAboutAction = "Korvani について(&A)";
inline constexpr std::string_view kAboutText =
    "Korvani メール — メールを読み、添付ファイルを保存します。\nバージョン ";  // before it
inline constexpr std::string_view kCopyValueAction = "値をコピー";

// The encodings the text can be read in instead of the one the mail declares: the label the
// engine reads and the menu's name for it.
struct EncodingChoice {
  std::string_view charset;
  std::string_view caption;
};
inline constexpr EncodingChoice kEncodings[] = {{"iso-2022-jp", "ISO-2022-JP"},
                                                {"shift_jis", "Shift_JIS"},
                                                {"euc-jp", "EUC-JP"},
                                                {"utf-8", "UTF-8"}};

// The find bar.
inline constexpr std::string_view kFindLabel = "検索:";
inline constexpr std::string_view kFindNextButton = "次へ";
inline constexpr std::string_view kFindPreviousButton = "前へ";
inline constexpr std::string_view kNotFound = "見つかりません";

// The source view and the PDF.
inline constexpr std::string_view kSourceTitle = "ソース";  // after the mail's name
inline constexpr std::string_view kCopyButton = "コピー";
inline constexpr std::string_view kCloseButton = "閉じる";
inline constexpr std::string_view kSourceCut = "(ここまでを表示しています)";
inline constexpr std::string_view kSavePdfTitle = "PDF に書き出す";
inline constexpr std::string_view kPdfFilter = "PDF 文書 (*.pdf)";
inline constexpr std::string_view kPdfWritten = "PDF に書き出しました: ";  // before the path
inline constexpr std::string_view kPdfFailed = "PDF を作れません。";

// The attachment list and the message list of an mbox file.
inline constexpr std::string_view kAttachments = "添付ファイル";
inline constexpr std::string_view kNameColumn = "名前";
inline constexpr std::string_view kTypeColumn = "種類";
inline constexpr std::string_view kSizeColumn = "サイズ";
inline constexpr std::string_view kDateColumn = "日付";
inline constexpr std::string_view kFromColumn = "差出人";
inline constexpr std::string_view kSubjectColumn = "件名";
inline constexpr std::string_view kMessageFilter = "差出人・件名で絞り込む";
inline constexpr std::string_view kSaveButton = "保存…";
inline constexpr std::string_view kSaveAllButton = "すべて保存…";
inline constexpr std::string_view kCancelButton = "中止";
inline constexpr std::string_view kUnpackButton = "展開";
inline constexpr std::string_view kPasswordOpenButton = "開く";
inline constexpr std::string_view kPasswordPlaceholder = "パスワード";

// File dialogs and questions.
inline constexpr std::string_view kOpenMailTitle = "メールを開く";
// Every file first: an mbox file often has no extension (Thunderbird's "Inbox").
inline constexpr std::string_view kMailFilter =
    "すべてのファイル (*);;メール (*.eml *.mbox *.mbx *.txt)";
inline constexpr std::string_view kAnyFileFilter = "すべてのファイル (*)";
inline constexpr std::string_view kSaveAttachmentTitle = "添付ファイルを保存";
inline constexpr std::string_view kSaveFolderTitle = "保存先のフォルダ";
inline constexpr std::string_view kReplaceQuestion =
    "は既にあります。置き換えますか?";  // after the file name

// What went wrong, one line under the header area.
inline constexpr std::string_view kNotAMail = "メールとして読めるヘッダがありません。";
inline constexpr std::string_view kPartLimit =
    "部品の数、入れ子の深さ、ヘッダまたは部品の外の文の大きさが上限を超えたため、途中までを表示し"
    "ています。";
inline constexpr std::string_view kLongLinesShortened =
    "長すぎる行は分けて、長すぎるヘッダは途中までを表示しています。";
inline constexpr std::string_view kTextOutOfMemory = "メモリが足りないため、本文を表示できません。";
inline constexpr std::string_view kMailOutOfMemory =
    "メモリが足りないため、メールを表示できません。";
inline constexpr std::string_view kTruncatedPart =
    "メールが添付ファイルの途中で終わっています:";  // before the file name
inline constexpr std::string_view kDamagedContainer =
    "壊れた部分があるため、読み出せた中身だけを表示しています:";  // before the file name
inline constexpr std::string_view kDamagedMark =
    "壊れた部分があります。下にあるのは読み出せた中身だけです。";       // a container row's tip
inline constexpr std::string_view kOpenFailed = "メールを読めません:";  // before the reason

// What became of an archive, one line each in the same place; each is followed by the archive's
// name, or by the place of a nested one ("a.zip:in/b.zip").
inline constexpr std::string_view kNotAnArchive = "書庫として開けません:";
inline constexpr std::string_view kPasswordNeeded = "パスワードを入力すると開けます:";
inline constexpr std::string_view kWrongPassword = "パスワードが違います:";
inline constexpr std::string_view kArchiveShut = "パスワードが合わないため展開できません:";
inline constexpr std::string_view kEncryptionUnsupported =
    "この暗号化には対応していないため展開できません:";
inline constexpr std::string_view kArchiveDamaged =
    "書庫に壊れた部分があるため、途中までを展開しました:";
inline constexpr std::string_view kArchiveTooLarge =
    "展開した大きさが上限を超えるため、途中で止めました:";
inline constexpr std::string_view kArchiveTooManyEntries =
    "書庫の項目の数が上限を超えるため、途中で止めました:";
inline constexpr std::string_view kArchiveTooDeep = "入れ子が深すぎるため、書庫のまま残しました:";
inline constexpr std::string_view kEntryNotWritten =
    "書庫から取り出せませんでした:";  // before the entry's place

// The status bar and the outcome of a save.
inline constexpr std::string_view kOpening = "読み込み中…";
inline constexpr std::string_view kSaving = "保存中…";
inline constexpr std::string_view kListing = "書庫を読み込み中…";
inline constexpr std::string_view kSaved = "個のファイルを保存しました。";  // after the count
inline constexpr std::string_view kCancelled = "中止しました。";
inline constexpr std::string_view kSaveFailed = "保存できなかったファイルがあります:";
inline constexpr std::string_view kTargetIsSource = "は開いているメール自身です。";  // after a path
inline constexpr std::string_view kTargetExists = "は既にあります。";                // after a path
inline constexpr std::string_view kUnreadablePart = "はメールから読み出せません。";  // after a path
inline constexpr std::string_view kOpenWithFailed = "を開くアプリケーションがありません。";
inline constexpr std::string_view kSaveAsQuestion = "名前を付けて保存しますか?";
inline constexpr std::string_view kRunsCode =
    "は開くとプログラムとして動きます。送り主を信頼できる場合だけ開いてください。開きますか"
    "?";  // after the name
inline constexpr std::string_view kOpenMenuAction = "開く";
inline constexpr std::string_view kSaveMenuAction = "保存…";
inline constexpr std::string_view kCopyNameAction = "名前をコピー";
inline constexpr std::string_view kSaveAsButton = "名前を付けて保存…";

}  // namespace korvani::gui::texts
