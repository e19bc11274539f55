// The mail window: reads any saved mail (or mbox file) with the mail engine and shows its
// header fields, its text and its attachments, which it saves or hands to the desktop.
//
// Threads: every call into the mail engine (reading, switching messages, saving, writing for a
// drag) runs as a job on the window's one engine thread (EngineThread), so jobs run
// one after another in the order given and never two at once; the window thread only shows the
// plain data (MailContent) a finished job left. While a job runs, a progress bar and a Cancel
// button show and the window's controls are disabled; the window stays responsive. Files are
// written through the Platform (no link followed at a name, whole or not at all); an entry already
// at a target is replaced only when the user says so.
//
// A mail::MailLibrary must live as long as the window. The Platform and the services must outlive
// it. Window size, the font choice and recent files are kept in QSettings.
#pragma once

#include <QFutureWatcher>
#include <QMainWindow>
#include <QPointer>
#include <QPromise>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gui/engine_thread.h"
#include "gui/mail_content.h"

class QAction;
class QFormLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTemporaryDir;
class QTreeWidget;
class QTreeWidgetItem;

namespace korvani {
class Platform;
}

namespace korvani::gui {

// One attachment to save: part `part` of the mail shown, as `name` in the folder `folder` (or in
// its subfolder `subfolder`, made for it, when that is not empty). With `unpack`, the part is an
// archive named `name` and is unpacked instead into a folder named after it, with `password`
// when that is not empty.
struct SaveItem {
  std::size_t part = 0;
  std::string folder;
  std::string subfolder;
  std::string name;
  std::uint64_t size = 0;  // decoded, for the progress
  // Whether the user agreed to replace an entry already at the target. When false, an entry
  // there (even one that appeared after the question) makes the item fail.
  bool replace = false;
  bool unpack = false;
  std::string password{};
};

// What a save of several items came to.
struct SaveSummary {
  std::size_t written = 0;
  bool stopped = false;               // cancelled; later items were not tried
  std::vector<std::string> failures;  // one line per item that failed, UTF-8
  std::vector<std::string> targets;   // the files written, in order, but those of archives
  // The files unpacked from archives, by the place of their entry ("見積.zip:書類/a.xlsx").
  std::map<std::string, std::string> entryTargets;
  // One line per archive that did not unpack whole (describeArchive()).
  std::vector<std::string> archiveProblems;
};

class MailWindowServices;
class AttachmentTree;

class MailWindow : public QMainWindow {
  Q_OBJECT

 public:
  MailWindow(Platform& platform, MailWindowServices& services, QWidget* parent = nullptr);
  // Stops the work in progress and waits for it.
  ~MailWindow() override;

  // Starts reading the mail file at `path`, spelled as the file system spells it. Ignored while
  // other work runs. mailShown() follows when it has been read, or could not be.
  void openMail(const QByteArray& path);

  // Whether work runs on the worker thread.
  bool isBusy() const;
  // Whether the last file opened could be read at all (false also before any).
  bool fileReadable() const { return content->opened; }
  // The line saying what went wrong with the mail shown, UTF-8; empty when nothing did.
  std::string problem() const { return shownProblem(*content); }

  // Opens the find bar and looks for `term` in the text from its start.
  void findText(const QString& term);

  // A Date field (RFC 5322) in the user's time zone and locale, "2024年6月4日(火) 16:42" in
  // Japanese; `raw` itself when it cannot be read as a date.
  static QString shownDate(const QString& raw);

  // Keeps the window within `available` (a screen's available area): smaller, and moved inside
  // it. The window does so with its screen's when it is made.
  void fitInto(const QRect& available);

  // Writes the mail shown as a PDF at `path` (spelled as the file system spells it) through the
  // platform's one creation path, replacing a file there. Returns false with the line to show
  // in `failure` when it could not.
  bool writePdf(const std::string& path, QString& failure);

 signals:
  // A mail file or one of its messages has been read and is shown, or its failure is.
  void mailShown();
  // A piece of work on the worker thread has ended (finished or cancelled) and its outcome is
  // shown.
  void workFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  using Work = std::function<void(QPromise<void>&)>;
  using Done = std::function<void(bool cancelled)>;

  void buildMenus();
  void buildWidgets();
  void openWithDialog();
  void showContent(bool newFile);
  void showMessageList();
  void selectMessage(int row);
  void rememberRecent(const QByteArray& path);
  void fillRecentMenu();
  void setFixedFont(bool fixed);
  void setHeaderRows();

  void showFindBar();
  void find(bool backward);
  void highlightMatches();
  void showSource();
  void printMail();
  void exportPdf();
  void copySelection();
  void zoomText(int steps);
  void readTextAs(const std::string& charset);
  // Reads message `row` of the file again, or another one, in the window's text encoding.
  void loadShownMessage(std::size_t row);

  std::vector<const AttachmentEntry*> selectedAttachments() const;
  void saveSelected();
  void saveAll();
  // Asks about targets that exist, then saves; `afterSave` runs when all were written.
  void save(std::vector<SaveItem> items,
            const std::function<void(const SaveSummary&)>& afterSave = {});
  void openAttachment(QTreeWidgetItem* item);
  // Opens the entry row `entry` of an archive, unpacking the archive into a subfolder of
  // `folder` the first time.
  void openArchiveEntry(const AttachmentEntry& entry, const std::string& folder);
  // Lists the archive at row `row` of the attachments, trying `password` too when not empty.
  void listArchiveRow(std::size_t row, const std::string& password);
  // Shows content's problem line as it now is.
  void showProblem();
  void addAttachmentActions();
  // The window's private temporary folder; empty when it cannot be had.
  std::string scratchFolder();
  QList<QUrl> writeForDrag(const QList<QTreeWidgetItem*>& items);

  // Runs `work` on the worker thread, showing `label` with the progress (at once, or only once
  // it takes a while when `quiet`); `done` runs on this thread when it has ended.
  void runInBackground(const QString& label, bool quiet, Work work, Done done);
  void setBusy(bool busy);

  Platform& platform;
  MailWindowServices& services;
  std::shared_ptr<MailContent> content;
  std::unique_ptr<QTemporaryDir> scratch;
  int scratchCount = 0;
  // The archives of the message shown already unpacked into the temporary folder to open their
  // entries, by their part: the files, by the place of their entry.
  std::map<std::size_t, std::map<std::string, std::string>> unpackedToOpen;

  // Every use of the engine's objects runs here, one job after another (see runInBackground).
  EngineThread engineThread;
  QFutureWatcher<void> watcher;
  Done whenDone;
  // The widget that had the keyboard when work began; it gets it back when the work ends.
  QPointer<QWidget> focusBeforeWork;

  QMenu* recentMenu = nullptr;
  QAction* openAction = nullptr;
  QAction* fixedFontAction = nullptr;
  QWidget* contentArea = nullptr;
  QWidget* messagePanel = nullptr;
  QLineEdit* messageFilter = nullptr;
  QTreeWidget* messageList = nullptr;
  std::vector<QLabel*> headerValues;  // in the order of the header captions
  QFormLayout* headerForm = nullptr;
  QLabel* problemLine = nullptr;
  QPlainTextEdit* textView = nullptr;
  QWidget* attachmentPanel = nullptr;
  QWidget* findBar = nullptr;
  QLineEdit* findField = nullptr;
  QLabel* findStatus = nullptr;
  std::string textCharset;  // the encoding the text is read in; empty: the mail's own
  int zoomSteps = 0;
  AttachmentTree* attachmentList = nullptr;
  QPushButton* saveButton = nullptr;
  QPushButton* saveAllButton = nullptr;
  QLabel* statusText = nullptr;
  QProgressBar* progressBar = nullptr;
  QPushButton* cancelButton = nullptr;
};

}  // namespace korvani::gui
