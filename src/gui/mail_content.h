// What the mail window shows of one mail file, read by the engine away from the window.
//
// These functions are plain C++ over the engine's header and take no Qt types, so that the
// window can run them on a worker thread: each call reads, fills a MailContent and returns; the
// window then shows it. A MailContent is used by one thread at a time.
//
// Everything a MailContent holds for showing is already as it is shown: controls made visible
// (mail/shown_text.h), no line of the text longer than kShownLineChars characters and no header
// field longer than kShownFieldChars, so that the window thread only hands it to its widgets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/unpacker.h"
#include "mail/mail_engine.h"
#include "mail/mail_reader.h"

namespace korvani {
class Platform;
}

namespace korvani::gui {

// The longest line of a mail's text the window lays out, in characters. Qt lays out a line that
// offers no place to break in time that grows with the square of its length (here: 16 K
// characters 20 ms, 64 K 160 ms, 256 K 1.9 s, 1 M 16 s), and the whole of a line at once. A
// longer line is shown as lines of at most this many characters: nothing of it is hidden, and a
// 10 MiB line paints as fast as 10 MiB of ordinary lines.
inline constexpr std::size_t kShownLineChars = 16384;

// The most of one header field shown beside its caption or in the message list, in characters. A
// field is a label that wraps to the window's width and grows downwards with its text, so a
// longer one is cut and ends with "…"; the text below shows the whole field.
inline constexpr std::size_t kShownFieldChars = 1024;

// Marks an AttachmentEntry that is no container's member.
inline constexpr std::size_t kNoContainer = static_cast<std::size_t>(-1);

// What the window knows of an attachment as an archive.
enum class ArchiveState {
  None,          // its first bytes begin no archive
  Closed,        // its first bytes may begin one: its row has an unpack control
  Listed,        // its entries are rows under it
  Locked,        // encrypted and not opened: its entries' names are listed, a field asks
  NotAnArchive,  // the archive module did not take it after all (a .docx, say)
};

// One row of the attachment list: an attachment, or a container (a winmail.dat) whose member
// attachments follow it with its row as their `container`, or an entry of an archive listed by
// listArchive(), with the archive's row as its `container`.
struct AttachmentEntry {
  std::size_t part = 0;    // its index in Mail::parts()
  std::string name;        // the engine's safe file name, UTF-8
  std::string mediaType;   // lower-case type/subtype, as it is shown
  std::uint64_t size = 0;  // decoded
  bool truncated = false;
  bool isContainer = false;
  bool damaged = false;                  // a container of which only some could be read
  std::size_t container = kNoContainer;  // the row of the container holding it
  ArchiveState archive = ArchiveState::None;
  // An entry of an archive: `part` and `container` are the archive's, `name` is the entry's name
  // inside it ("書類/a.xlsx", or "in/b.zip:c.txt" inside a nested one) and `place` is where the
  // unpacker says it is ("見積.zip:書類/a.xlsx").
  bool archiveEntry = false;
  std::string place{};
  // An archive that a password opened: that password, to unpack it with. Never shown.
  std::string password{};
};

// One message of an mbox file, for the message list, each field as it is shown.
struct MessageSummary {
  std::string date;
  std::string from;
  std::string subject;
};

struct MailContent {
  std::string path;     // the file's bytes as the file system spells them
  bool opened = false;  // false: the file could not be opened or read at all
  std::shared_ptr<const mail::MailFile> file;
  std::vector<MessageSummary> messages;  // one per message of an mbox file; empty otherwise

  // The message shown: index within the file, the mail (null when it is not a mail), its
  // decoded header fields and its text as `korvani read` writes it, both as they are shown, and
  // its attachments.
  std::size_t messageIndex = 0;
  std::shared_ptr<const mail::Mail> mail;
  std::vector<mail::HeaderField> headers;
  std::string text;
  std::vector<AttachmentEntry> attachments;

  // One line saying what went wrong, and that long lines were shortened when they were; empty
  // when all of it could be read and is shown whole.
  std::string problem;
  // One line saying what became of the archive last listed or unpacked; empty when all went well.
  std::string archiveProblem;
};

// The text of a message as `korvani read` writes it: mail::renderMail, or a stand-in in tests.
// May throw std::bad_alloc.
using TextRenderer = std::function<std::string(const mail::Mail&)>;

// Called after each step of a long read with the steps done and the steps there are; returns
// false to stop.
using StepReport = std::function<bool(std::uint64_t done, std::uint64_t total)>;

// Opens the file at `path` through `platform`, summarises every message when it is an mbox file
// (one step each), and reads its first message. Returns false when `report` stopped it; `content`
// is then incomplete. A file that cannot be read gives opened == false and the reason in `problem`.
// Memory running out is a problem too, never an exception: what was read before is kept, and
// `problem` says what could not be shown. `platform` is used only within the call, on the calling
// thread.
bool loadMailFile(Platform& platform, const std::string& path, MailContent& content,
                  const StepReport& report, const TextRenderer& render = mail::renderMail);

// Reads message `index` of the already opened content.file into `content`. When memory runs out
// while the text is made, the header fields and attachments are still shown and `problem` says
// that the text could not be; when it runs out before, `problem` says the message could not be
// shown and `mail` is null.
void loadMessage(MailContent& content, std::size_t index,
                 const TextRenderer& render = mail::renderMail);

// Lists the entries of the archive at row `row` of content.attachments, through the archive
// module in listing mode, as rows under it (replacing those it had), and sets its state. The
// passwords tried are those of the password mails of content.file that pair with it, then
// `password` when not empty; one that opens it is kept in its row. What went wrong (not an
// archive, still locked, a wrong password, …) is said in content.archiveProblem, which is
// otherwise cleared. Writes nothing. `platform` is used only within the call.
void listArchive(Platform& platform, MailContent& content, std::size_t row,
                 const std::string& password);

// The line that says what became of an archive that did not unpack whole; empty when it did.
// Names the archive by its place, never by a password.
std::string describeArchive(const archive::ArchiveEvent& event);

// The problem line of `content`: its problem and its archive problem.
std::string shownProblem(const MailContent& content);
// The value of the header field `name` of the message shown, as shown; empty when it has none.
std::string headerValue(const MailContent& content, std::string_view name);

// The text of the message shown without the block of its header fields that the text starts
// with: the window shows those fields above it, and shows them once.
std::string_view shownBody(const MailContent& content);

// The message shown as received, made readable (mail::sourceText), its controls visible and its
// long lines broken as the text's are; at most kShownSourceBytes of it, and `cut` says whether
// there was more. Runs on the engine thread. May throw std::bad_alloc. False, with the OS's errno
// in `errorNumber`, when the file could not be read.
inline constexpr std::size_t kShownSourceBytes = std::size_t{32} << 20;
bool loadSource(const MailContent& content, std::string& source, bool& cut, int& errorNumber);

// Whether a file of this name runs code when the desktop opens it (a program, a script, a
// shortcut): opening one asks first.
bool runsCode(std::string_view name);

// Whether part `part` of `mail` is HTML that holds a script (a "<script" tag, any case), which a
// browser runs when it opens the file. Reads the part chunk by chunk; memory stays the same.
bool holdsScript(const mail::Mail& mail, std::size_t part);

// Breaks every line of `text` (UTF-8, lines ended by LF) longer than `maxChars` characters into
// lines of `maxChars` and a last one of at most that many. Returns whether a line was broken.
// `maxChars` is at least 1.
bool breakLongLines(std::string& text, std::size_t maxChars);

// Cuts `value` (UTF-8) longer than `maxChars` characters to `maxChars - 1` of them and "…".
// Returns whether it was cut. `maxChars` is at least 1.
bool cutLongField(std::string& value, std::size_t maxChars);

}  // namespace korvani::gui
