// The mail window: reads any saved mail (or mbox file) with the mail engine and shows its
// header fields, its text and its attachments, which it saves or hands to the desktop.
//
// Reading and saving run on a worker thread (QtConcurrent), one piece of work at a time, with a
// progress bar and a Cancel button; the window stays responsive and its controls are disabled
// meanwhile. Files are written through the Platform (no link followed at a name, whole or not
// at all); an entry already at a target is replaced only when the user says so.
//
// A mail::MailLibrary must live as long as the window. The Platform and the services must outlive
// it. Window size, the font choice and recent files are kept in QSettings.
#pragma once

#include <QFutureWatcher>
#include <QMainWindow>
#include <QPromise>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/attachment_saver.h"
#include "gui/mail_content.h"

class QAction;
class QLabel;
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
  const std::string& problem() const { return content->problem; }

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

  std::vector<const AttachmentEntry*> selectedAttachments() const;
  void saveSelected();
  void saveAll();
  // Asks about targets that exist, then saves; `afterSave` runs when all were written.
  void save(std::vector<SaveItem> items, const std::function<void()>& afterSave = {});
  void openAttachment(QTreeWidgetItem* item);
  // A fresh folder of its own in the window's private temporary folder; empty on failure.
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

  QFutureWatcher<void> watcher;
  Done whenDone;

  QMenu* recentMenu = nullptr;
  QAction* openAction = nullptr;
  QAction* fixedFontAction = nullptr;
  QWidget* contentArea = nullptr;
  QTreeWidget* messageList = nullptr;
  std::vector<QLabel*> headerValues;  // in the order of the header captions
  QLabel* problemLine = nullptr;
  QPlainTextEdit* textView = nullptr;
  AttachmentTree* attachmentList = nullptr;
  QPushButton* saveButton = nullptr;
  QPushButton* saveAllButton = nullptr;
  QLabel* statusText = nullptr;
  QProgressBar* progressBar = nullptr;
  QPushButton* cancelButton = nullptr;
};

}  // namespace korvani::gui
