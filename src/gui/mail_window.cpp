#include "gui/mail_window.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QUrl>
#include <QVBoxLayout>
#include <limits>
#include <map>
#include <mutex>
#include <optional>

#include "archive/password_mail.h"
#include "archive/unpacker.h"
#include "common/messages.h"
#include "gui/local_path.h"
#include "gui/mail_print.h"
#include "gui/mail_window_services.h"
#include "gui/mail_window_texts.h"
#include "gui/qt_text.h"
#include "mail/mail_reader.h"
#include "mail/shown_text.h"
#include "platform/platform.h"
#include "save/attachment_saver.h"

namespace korvani::gui {
namespace {

const QString kGeometryKey = QStringLiteral("mailWindow/geometry");
const QString kFixedFontKey = QStringLiteral("mailWindow/fixedFont");
const QString kRecentKey = QStringLiteral("mailWindow/recentFiles");
constexpr int kRecentFiles = 8;
// Opening shows its progress only when it takes longer than this, so that a small mail does
// not flash a progress bar.
constexpr int kQuietProgressDelayMs = 300;
// Progress of a save is reported in thousandths: byte counts do not fit the bar's int.
constexpr int kProgressSteps = 1000;
constexpr int kAttachmentRole = Qt::UserRole;  // the row in MailContent::attachments
constexpr int kControlColumn = 3;              // an archive's unpack button or password field
// The most matches of a search that are highlighted at once: each is a selection the text view
// paints, and a one-letter search in a large text would otherwise make millions.
constexpr int kMostHighlights = 5000;

// What a mail says, with the controls a sender could hide in it made visible (no text written
// right to left by an override, no invisible marks).
QString visibleText(std::string_view utf8) { return text(mail::shownText(utf8)); }

// The folder part and the name part of a path the user chose.
std::pair<std::string, std::string> splitPath(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// The words of a save's outcome, one line; empty for a plain success.
std::string describe(const save::SaveOutcome& outcome) {
  switch (outcome.status) {
    case save::SaveStatus::Written:
    case save::SaveStatus::Stopped:
      return {};
    case save::SaveStatus::Truncated:
      return std::string(texts::kTruncatedPart) + " " + outcome.target;
    case save::SaveStatus::AlreadyExists:
      return outcome.target + std::string(texts::kTargetExists);
    case save::SaveStatus::TargetIsInput:
      return outcome.target + std::string(texts::kTargetIsSource);
    case save::SaveStatus::Unreadable:
      return outcome.target + std::string(texts::kUnreadablePart);
    case save::SaveStatus::WriteFailed:
      return messages::describeWriteFailure(outcome.target, outcome.errorNumber);
  }
  return {};
}

// The text of a message as the window shows it: in `charset` (its own when empty), without the
// attachment lines the attachment list stands for.
TextRenderer textIn(const std::string& charset) {
  return [charset](const mail::Mail& parsed) { return mail::renderMailAs(parsed, charset, false); };
}

// Counts what unpacking an archive for a save wrote, and words what went wrong.
class UnpackRecord : public archive::UnpackObserver {
 public:
  explicit UnpackRecord(SaveSummary& summary) : summary(summary) {}

  void entry(const archive::EntryEvent& event) override {
    using archive::EntryStatus;
    switch (event.status) {
      case EntryStatus::Truncated:
        summary.failures.push_back(std::string(texts::kTruncatedPart) + " " + event.target);
        [[fallthrough]];
      case EntryStatus::Written:
      case EntryStatus::LinkWritten:
        ++summary.written;
        summary.entryTargets[event.path] = event.target;
        return;
      case EntryStatus::AlreadyExists:
        summary.failures.push_back(event.target + std::string(texts::kTargetExists));
        return;
      case EntryStatus::WriteFailed:
        summary.failures.push_back(messages::describeWriteFailure(event.target, event.errorNumber));
        return;
      case EntryStatus::Damaged:
        summary.failures.push_back(std::string(texts::kEntryNotWritten) + " " + event.path);
        return;
      case EntryStatus::Listed:
      case EntryStatus::Skipped:
        return;
    }
  }
  void archive(const archive::ArchiveEvent& event) override {
    if (std::string line = describeArchive(event); !line.empty()) {
      summary.archiveProblems.push_back(std::move(line));
    }
  }

 private:
  SaveSummary& summary;
};

// Writes each item of `items` through the one save path, in order, reporting the bytes done of
// all of them; runs on the engine thread.
SaveSummary saveItems(Platform& platform, const MailContent& content,
                      const std::vector<SaveItem>& items,
                      const std::function<bool(std::uint64_t, std::uint64_t)>& report) {
  SaveSummary summary;
  std::uint64_t total = 0;
  for (const SaveItem& item : items) total += item.size;
  save::AttachmentSaver saver(platform);
  saver.addInput(content.path);
  // A mail read from a stream has no times of its own to give the files.
  std::optional<FileTimes> times;
  if (!content.file->isStream()) {
    const mail::MailFileTimes source = content.file->times();
    times = FileTimes{};
    times->lastWrite = source.lastWrite;
    times->lastAccess = source.lastAccess;
  }
  std::uint64_t done = 0;
  for (const SaveItem& item : items) {
    if (!report(done, total)) {
      summary.stopped = true;
      return summary;
    }
    int errorNumber = 0;
    std::unique_ptr<Folder> folder = platform.openFolder(item.folder, false, errorNumber);
    if (folder && !item.subfolder.empty()) folder = folder->makeFolder(item.subfolder, errorNumber);
    const std::string folderPath =
        item.subfolder.empty() ? item.folder : joinPath(item.folder, item.subfolder);
    if (!folder) {
      summary.failures.push_back(
          messages::describeWriteFailure(joinPath(folderPath, item.name), errorNumber));
      continue;
    }
    const std::uint64_t before = done;
    if (item.unpack) {
      // Into a folder named after the archive, as `extract --unpack` does, through the same
      // held-folder creation path and within the same bounds.
      archive::UnpackSettings settings;
      settings.replace = item.replace;
      settings.times = times;
      UnpackRecord record(summary);
      archive::Unpacker unpacker(platform, saver, settings, record);
      std::vector<archive::Password> passwords;
      if (!item.password.empty()) passwords.push_back({item.password, {}});
      NameRegistry names;
      std::string folderName;
      const archive::PartResult result =
          unpacker.unpackPart(folder.get(), names, item.name, *content.mail, item.part, item.name,
                              passwords, false, folderName, errorNumber);
      if (result == archive::PartResult::NotAnArchive) {
        summary.archiveProblems.push_back(std::string(texts::kNotAnArchive) + " " + item.name);
      } else if (result == archive::PartResult::Unreadable) {
        summary.failures.push_back(errorNumber != 0
                                       ? messages::describeWriteFailure(item.name, errorNumber)
                                       : item.name + std::string(texts::kUnreadablePart));
      }
      done = before + item.size;
      continue;
    }
    const save::SaveOutcome outcome = saver.save(*folder, item.name, *content.mail, item.part,
                                                 item.replace, times, [&](std::uint64_t bytes) {
                                                   done = before + bytes;
                                                   return report(done, total);
                                                 });
    if (outcome.status == save::SaveStatus::Stopped) {
      summary.stopped = true;
      return summary;
    }
    if (outcome.written()) {
      ++summary.written;
      summary.targets.push_back(outcome.target);
    }
    if (std::string line = describe(outcome); !line.empty()) {
      summary.failures.push_back(std::move(line));
    }
    done = before + item.size;
  }
  report(done, total);
  return summary;
}

// The icon of each media type of an attachment list, looked up once per type: a mail may list
// thousands of attachments, and each icon made anew holds pixmaps of its own (10 000 standard
// file icons held 650 MiB).
class AttachmentIcons {
 public:
  explicit AttachmentIcons(const QStyle* style)
      : fallback(style->standardIcon(QStyle::SP_FileIcon)) {}

  const QIcon& operator()(const std::string& mediaType) { return look(mediaType).icon; }
  // The type as people read it ("PDF 文書"); the media type itself when the database does not
  // know it.
  const QString& comment(const std::string& mediaType) { return look(mediaType).comment; }

 private:
  struct Look {
    QIcon icon;
    QString comment;
  };
  const Look& look(const std::string& mediaType) {
    const auto [entry, added] = looks.try_emplace(mediaType);
    if (added) {
      const QMimeType type = database.mimeTypeForName(QString::fromStdString(mediaType));
      entry->second.icon =
          type.isValid() ? QIcon::fromTheme(type.iconName(),
                                            QIcon::fromTheme(type.genericIconName(), fallback))
                         : fallback;
      entry->second.comment =
          type.isValid() && !type.comment().isEmpty() ? type.comment() : text(mediaType);
    }
    return entry->second;
  }

  QMimeDatabase database;
  QIcon fallback;
  std::map<std::string, Look> looks;
};

// The time a Date field (RFC 5322) gives, read as password mails are paired by; invalid when it
// gives none.
QDateTime readDate(const std::string& raw) {
  const std::optional<std::int64_t> seconds = archive::parseMailDate(raw);
  return seconds ? QDateTime::fromSecsSinceEpoch(*seconds) : QDateTime();
}

// A row of the message list: its message's index in the file, and its date sorted as a time.
class MessageRow : public QTreeWidgetItem {
 public:
  static constexpr int kIndexRole = Qt::UserRole;
  static constexpr int kTimeRole = Qt::UserRole + 1;

  MessageRow(std::size_t index, const MessageSummary& message)
      : QTreeWidgetItem({MailWindow::shownDate(gui::text(message.date)), gui::text(message.from),
                         gui::text(message.subject)}) {
    setToolTip(0, gui::text(message.date));
    setData(0, kIndexRole, static_cast<qulonglong>(index));
    const QDateTime when = readDate(message.date);
    // Undated messages sort before every dated one.
    setData(0, kTimeRole,
            when.isValid() ? when.toSecsSinceEpoch() : std::numeric_limits<qint64>::min());
  }

  bool operator<(const QTreeWidgetItem& other) const override {
    const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
    if (column != 0) return QTreeWidgetItem::operator<(other);
    return data(0, kTimeRole).toLongLong() < other.data(0, kTimeRole).toLongLong();
  }
};

}  // namespace

// The attachment list; dragging rows out writes them to the private temporary folder and hands
// the file manager their paths.
class AttachmentTree : public QTreeWidget {
 public:
  using Writer = std::function<QList<QUrl>(const QList<QTreeWidgetItem*>&)>;
  explicit AttachmentTree(Writer writer) : writer(std::move(writer)) {
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
  }

 protected:
  QStringList mimeTypes() const override { return {QStringLiteral("text/uri-list")}; }
  QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override {
    const QList<QUrl> urls = writer(items);
    if (urls.isEmpty()) return nullptr;
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
  }
  Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }

 private:
  Writer writer;
};

MailWindow::MailWindow(Platform& platform, MailWindowServices& services, QWidget* parent)
    : QMainWindow(parent),
      platform(platform),
      services(services),
      content(std::make_shared<MailContent>()) {
  setWindowTitle(text(texts::kWindowTitle));
  setAcceptDrops(true);
  buildWidgets();
  buildMenus();
  connect(&watcher, &QFutureWatcher<void>::progressRangeChanged, progressBar,
          &QProgressBar::setRange);
  connect(&watcher, &QFutureWatcher<void>::progressValueChanged, progressBar,
          &QProgressBar::setValue);
  connect(&watcher, &QFutureWatcher<void>::finished, this, [this] {
    setBusy(false);
    // Disabling the controls took the keyboard from the one that had it: the arrow keys in the
    // message list go on moving through it.
    if (focusBeforeWork && focusBeforeWork->isEnabled() && focusBeforeWork->isVisible()) {
      focusBeforeWork->setFocus(Qt::OtherFocusReason);
    }
    focusBeforeWork = nullptr;
    const Done done = std::move(whenDone);
    whenDone = nullptr;
    if (done) done(watcher.isCanceled());
    emit workFinished();
  });
  if (!restoreGeometry(QSettings().value(kGeometryKey).toByteArray())) resize(880, 640);
  if (const QScreen* shownOn = screen()) fitInto(shownOn->availableGeometry());
  showContent(true);
}

MailWindow::~MailWindow() {
  watcher.cancel();
  watcher.waitForFinished();
  // The finished signal will not reach a window being destroyed.
  if (whenDone) QApplication::restoreOverrideCursor();
}

void MailWindow::buildMenus() {
  QMenu* fileMenu = menuBar()->addMenu(text(texts::kFileMenu));
  openAction = fileMenu->addAction(text(texts::kOpenAction), this, &MailWindow::openWithDialog);
  openAction->setShortcut(QKeySequence::Open);
  recentMenu = fileMenu->addMenu(text(texts::kRecentMenu));
  connect(recentMenu, &QMenu::aboutToShow, this, &MailWindow::fillRecentMenu);
  fileMenu->addSeparator();
  QAction* printAction =
      fileMenu->addAction(text(texts::kPrintAction), this, &MailWindow::printMail);
  printAction->setShortcut(QKeySequence::Print);
  fileMenu->addAction(text(texts::kPdfAction), this, &MailWindow::exportPdf)
      ->setObjectName(QStringLiteral("pdfAction"));
  fileMenu->addSeparator();
  QAction* closeAction = fileMenu->addAction(text(texts::kCloseAction), this, &QWidget::close);
  closeAction->setObjectName(QStringLiteral("closeAction"));
  closeAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
  QAction* quitAction = fileMenu->addAction(text(texts::kQuitAction), this, &QWidget::close);
  quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

  QMenu* editMenu = menuBar()->addMenu(text(texts::kEditMenu));
  QAction* copyAction =
      editMenu->addAction(text(texts::kCopyAction), this, &MailWindow::copySelection);
  copyAction->setObjectName(QStringLiteral("copyAction"));
  copyAction->setShortcut(QKeySequence::Copy);
  copyAction->setShortcutContext(Qt::WidgetShortcut);  // the focused view copies for itself
  editMenu->addSeparator();
  QAction* findAction =
      editMenu->addAction(text(texts::kFindAction), this, &MailWindow::showFindBar);
  findAction->setObjectName(QStringLiteral("findAction"));
  findAction->setShortcut(QKeySequence::Find);
  editMenu->addAction(text(texts::kFindNextAction), this, [this] { find(false); })
      ->setShortcut(QKeySequence::FindNext);
  editMenu->addAction(text(texts::kFindPreviousAction), this, [this] { find(true); })
      ->setShortcut(QKeySequence::FindPrevious);

  QMenu* viewMenu = menuBar()->addMenu(text(texts::kViewMenu));
  fixedFontAction = viewMenu->addAction(text(texts::kFixedFontAction));
  fixedFontAction->setCheckable(true);
  fixedFontAction->setChecked(QSettings().value(kFixedFontKey, false).toBool());
  setFixedFont(fixedFontAction->isChecked());
  connect(fixedFontAction, &QAction::toggled, this, [this](bool fixed) {
    QSettings().setValue(kFixedFontKey, fixed);
    setFixedFont(fixed);
  });
  QAction* sourceAction =
      viewMenu->addAction(text(texts::kSourceAction), this, &MailWindow::showSource);
  sourceAction->setObjectName(QStringLiteral("sourceAction"));
  sourceAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
  viewMenu->addSeparator();
  QAction* zoomIn = viewMenu->addAction(text(texts::kZoomInAction), this, [this] { zoomText(1); });
  zoomIn->setObjectName(QStringLiteral("zoomInAction"));
  zoomIn->setShortcuts({QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)});
  QAction* zoomOut =
      viewMenu->addAction(text(texts::kZoomOutAction), this, [this] { zoomText(-1); });
  zoomOut->setObjectName(QStringLiteral("zoomOutAction"));
  zoomOut->setShortcut(QKeySequence::ZoomOut);
  QAction* zoomReset =
      viewMenu->addAction(text(texts::kZoomResetAction), this, [this] { zoomText(-zoomSteps); });
  zoomReset->setObjectName(QStringLiteral("zoomResetAction"));
  zoomReset->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
  viewMenu->addSeparator();
  QMenu* encodingMenu = viewMenu->addMenu(text(texts::kEncodingMenu));
  auto* encodings = new QActionGroup(encodingMenu);
  const auto addEncoding = [&](std::string_view charset, std::string_view caption) {
    QAction* action = encodingMenu->addAction(text(caption));
    action->setObjectName(QStringLiteral("encoding:") + text(charset));
    action->setCheckable(true);
    action->setChecked(charset.empty());
    encodings->addAction(action);
    connect(action, &QAction::triggered, this,
            [this, charset = std::string(charset)] { readTextAs(charset); });
  };
  addEncoding({}, texts::kAutomaticEncoding);
  encodingMenu->addSeparator();
  for (const texts::EncodingChoice& choice : texts::kEncodings) {
    addEncoding(choice.charset, choice.caption);
  }

  QMenu* helpMenu = menuBar()->addMenu(text(texts::kHelpMenu));
  helpMenu->addAction(text(texts::kAboutAction), this, [this] {
    services.showAbout(this, text(texts::kAboutText) + QCoreApplication::applicationVersion());
  });
}

void MailWindow::buildWidgets() {
  messageList = new QTreeWidget;
  messageList->setObjectName(QStringLiteral("messageList"));
  messageList->setHeaderLabels(
      {text(texts::kDateColumn), text(texts::kFromColumn), text(texts::kSubjectColumn)});
  messageList->setRootIsDecorated(false);
  messageList->setUniformRowHeights(true);
  // Sorted when a column's header is clicked; until then in the file's order.
  messageList->header()->setSectionsClickable(true);
  messageList->header()->setSortIndicatorShown(true);
  messageList->header()->setSortIndicator(-1, Qt::AscendingOrder);
  connect(messageList->header(), &QHeaderView::sortIndicatorChanged, messageList,
          [this](int column, Qt::SortOrder order) { messageList->sortItems(column, order); });
  connect(messageList, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (item) selectMessage(item->data(0, MessageRow::kIndexRole).toInt());
  });

  headerForm = new QFormLayout;
  for (const texts::HeaderCaption& caption : texts::kHeaderCaptions) {
    auto* value = new QLabel;
    value->setObjectName(QStringLiteral("header") + text(caption.field));
    value->setTextFormat(Qt::PlainText);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    value->setWordWrap(true);
    value->setContextMenuPolicy(Qt::ActionsContextMenu);
    QAction* copyValue = new QAction(text(texts::kCopyValueAction), value);
    copyValue->setObjectName(QStringLiteral("copy") + text(caption.field));
    connect(copyValue, &QAction::triggered, value,
            [value] { QGuiApplication::clipboard()->setText(value->text()); });
    value->addAction(copyValue);
    headerForm->addRow(text(caption.caption) + QLatin1Char(':'), value);
    headerValues.push_back(value);
  }
  problemLine = new QLabel;
  problemLine->setObjectName(QStringLiteral("problemLine"));
  problemLine->setTextFormat(Qt::PlainText);
  problemLine->setWordWrap(true);
  problemLine->setStyleSheet(QStringLiteral("color: #b00020;"));

  textView = new QPlainTextEdit;
  textView->setObjectName(QStringLiteral("mailText"));
  textView->setReadOnly(true);
  textView->setAcceptDrops(false);  // a dropped mail is opened by the window

  findField = new QLineEdit;
  findField->setObjectName(QStringLiteral("findField"));
  findField->setClearButtonEnabled(true);
  findStatus = new QLabel;
  findStatus->setObjectName(QStringLiteral("findStatus"));
  auto* findNextButton = new QPushButton(text(texts::kFindNextButton));
  auto* findPreviousButton = new QPushButton(text(texts::kFindPreviousButton));
  auto* closeFindButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), {});
  closeFindButton->setFlat(true);
  findBar = new QWidget;
  findBar->setObjectName(QStringLiteral("findBar"));
  auto* findLayout = new QHBoxLayout(findBar);
  findLayout->setContentsMargins(0, 0, 0, 0);
  findLayout->addWidget(new QLabel(text(texts::kFindLabel)));
  findLayout->addWidget(findField, 1);
  findLayout->addWidget(findPreviousButton);
  findLayout->addWidget(findNextButton);
  findLayout->addWidget(findStatus);
  findLayout->addWidget(closeFindButton);
  findBar->hide();
  connect(findField, &QLineEdit::textEdited, this, [this] {
    // Typing searches on from where the match shown begins.
    QTextCursor at = textView->textCursor();
    at.setPosition(at.selectionStart());
    textView->setTextCursor(at);
    find(false);
  });
  connect(findField, &QLineEdit::returnPressed, this, [this] { find(false); });
  connect(findNextButton, &QPushButton::clicked, this, [this] { find(false); });
  connect(findPreviousButton, &QPushButton::clicked, this, [this] { find(true); });
  const auto closeFind = [this] {
    findBar->hide();
    textView->setExtraSelections({});
    textView->setFocus();
  };
  connect(closeFindButton, &QPushButton::clicked, this, closeFind);
  connect(new QShortcut(QKeySequence(Qt::Key_Escape), findBar, nullptr, nullptr,
                        Qt::WidgetWithChildrenShortcut),
          &QShortcut::activated, this, closeFind);
  auto* textPanel = new QWidget;
  auto* textLayout = new QVBoxLayout(textPanel);
  textLayout->setContentsMargins(0, 0, 0, 0);
  textLayout->addWidget(textView, 1);
  textLayout->addWidget(findBar);

  attachmentList = new AttachmentTree(
      [this](const QList<QTreeWidgetItem*>& items) { return writeForDrag(items); });
  attachmentList->setObjectName(QStringLiteral("attachmentList"));
  attachmentList->setHeaderLabels(
      {text(texts::kNameColumn), text(texts::kTypeColumn), text(texts::kSizeColumn), QString()});
  attachmentList->setRootIsDecorated(false);
  attachmentList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  attachmentList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  attachmentList->header()->setStretchLastSection(false);
  connect(attachmentList, &QTreeWidget::itemDoubleClicked, this, &MailWindow::openAttachment);
  addAttachmentActions();

  saveButton = new QPushButton(text(texts::kSaveButton));
  saveButton->setObjectName(QStringLiteral("saveButton"));
  saveAllButton = new QPushButton(text(texts::kSaveAllButton));
  saveAllButton->setObjectName(QStringLiteral("saveAllButton"));
  connect(saveButton, &QPushButton::clicked, this, &MailWindow::saveSelected);
  connect(saveAllButton, &QPushButton::clicked, this, &MailWindow::saveAll);
  connect(attachmentList, &QTreeWidget::itemSelectionChanged, this,
          [this] { saveButton->setEnabled(!attachmentList->selectedItems().isEmpty()); });

  attachmentPanel = new QWidget;
  auto* attachmentLayout = new QVBoxLayout(attachmentPanel);
  attachmentLayout->setContentsMargins(0, 0, 0, 0);
  attachmentLayout->addWidget(new QLabel(text(texts::kAttachments)));
  attachmentLayout->addWidget(attachmentList);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(saveButton);
  buttons->addWidget(saveAllButton);
  attachmentLayout->addLayout(buttons);

  auto* readingSplitter = new QSplitter(Qt::Vertical);
  readingSplitter->addWidget(textPanel);
  readingSplitter->addWidget(attachmentPanel);
  readingSplitter->setStretchFactor(0, 3);
  readingSplitter->setStretchFactor(1, 1);

  auto* mailPane = new QWidget;
  auto* mailLayout = new QVBoxLayout(mailPane);
  mailLayout->setContentsMargins(0, 0, 0, 0);
  mailLayout->addLayout(headerForm);
  mailLayout->addWidget(problemLine);
  mailLayout->addWidget(readingSplitter, 1);

  auto* splitter = new QSplitter(Qt::Horizontal);
  messageFilter = new QLineEdit;
  messageFilter->setObjectName(QStringLiteral("messageFilter"));
  messageFilter->setPlaceholderText(text(texts::kMessageFilter));
  messageFilter->setClearButtonEnabled(true);
  connect(messageFilter, &QLineEdit::textChanged, this, [this](const QString& wanted) {
    for (int row = 0; row < messageList->topLevelItemCount(); ++row) {
      QTreeWidgetItem* item = messageList->topLevelItem(row);
      item->setHidden(!item->text(1).contains(wanted, Qt::CaseInsensitive) &&
                      !item->text(2).contains(wanted, Qt::CaseInsensitive));
    }
  });
  messagePanel = new QWidget;
  auto* messageLayout = new QVBoxLayout(messagePanel);
  messageLayout->setContentsMargins(0, 0, 0, 0);
  messageLayout->addWidget(messageFilter);
  messageLayout->addWidget(messageList, 1);
  splitter->addWidget(messagePanel);
  splitter->addWidget(mailPane);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({300, 600});
  contentArea = splitter;
  auto* central = new QWidget;
  auto* centralLayout = new QVBoxLayout(central);
  centralLayout->addWidget(splitter);
  setCentralWidget(central);

  statusText = new QLabel;
  progressBar = new QProgressBar;
  progressBar->setObjectName(QStringLiteral("progressBar"));
  progressBar->setMaximumWidth(240);
  cancelButton = new QPushButton(text(texts::kCancelButton));
  cancelButton->setObjectName(QStringLiteral("cancelButton"));
  connect(cancelButton, &QPushButton::clicked, this, [this] { watcher.cancel(); });
  statusBar()->addWidget(statusText, 1);
  statusBar()->addPermanentWidget(progressBar);
  statusBar()->addPermanentWidget(cancelButton);
  progressBar->hide();
  cancelButton->hide();
}

QString MailWindow::shownDate(const QString& raw) {
  const QDateTime when = readDate(raw.toStdString());
  if (!when.isValid()) return raw;
  const QLocale locale;
  if (locale.language() == QLocale::Japanese) {
    return locale.toString(when, QStringLiteral("yyyy年M月d日(ddd) HH:mm"));
  }
  return locale.toString(when, QStringLiteral("ddd d MMM yyyy HH:mm"));
}

void MailWindow::setFixedFont(bool fixed) {
  textView->setFont(
      QFontDatabase::systemFont(fixed ? QFontDatabase::FixedFont : QFontDatabase::GeneralFont));
  textView->zoomIn(zoomSteps);
}

void MailWindow::zoomText(int steps) {
  constexpr int kFurthest = 20;
  steps = std::clamp(zoomSteps + steps, -kFurthest / 2, kFurthest) - zoomSteps;
  if (steps == 0) return;
  zoomSteps += steps;
  textView->zoomIn(steps);
}

void MailWindow::fitInto(const QRect& available) {
  if (!available.isValid()) return;
  QRect frame = frameGeometry();
  // What the frame adds around the client area, as the window system reports it.
  const QSize decoration = frame.size() - size();
  const QSize most = available.size() - decoration;
  resize(std::min(width(), most.width()), std::min(height(), most.height()));
  frame = frameGeometry();
  frame.moveLeft(std::clamp(frame.left(), available.left(),
                            std::max(available.left(), available.right() - frame.width() + 1)));
  frame.moveTop(std::clamp(frame.top(), available.top(),
                           std::max(available.top(), available.bottom() - frame.height() + 1)));
  move(frame.topLeft());
}

bool MailWindow::isBusy() const { return watcher.isRunning() || whenDone != nullptr; }

void MailWindow::runInBackground(const QString& label, bool quiet, Work work, Done done) {
  // What the job wrote is handed to `done` on this thread through a mutex of the standard
  // library as well as through Qt's future: Qt's own synchronisation is done with atomics and
  // futexes that ThreadSanitizer does not see, and the hand-over is then checked like any other.
  auto handOver = std::make_shared<std::mutex>();
  whenDone = [handOver, finish = std::move(done)](bool cancelled) {
    const std::lock_guard<std::mutex> lock(*handOver);
    if (finish) finish(cancelled);
  };
  Work job = [handOver, task = std::move(work)](QPromise<void>& promise) {
    const std::lock_guard<std::mutex> lock(*handOver);
    task(promise);
  };
  focusBeforeWork = QApplication::focusWidget();
  setBusy(true);
  statusText->setText(label);
  progressBar->setRange(0, 0);
  if (quiet) {
    QTimer::singleShot(kQuietProgressDelayMs, this, [this] {
      if (!isBusy()) return;
      progressBar->show();
      cancelButton->show();
    });
  } else {
    progressBar->show();
    cancelButton->show();
  }
  watcher.setFuture(engineThread.start(std::move(job)));
}

void MailWindow::setBusy(bool busy) {
  contentArea->setEnabled(!busy);
  openAction->setEnabled(!busy);
  recentMenu->setEnabled(!busy);
  if (busy) {
    QApplication::setOverrideCursor(Qt::BusyCursor);
  } else {
    QApplication::restoreOverrideCursor();
    progressBar->hide();
    cancelButton->hide();
    statusText->clear();
  }
}

void MailWindow::openMail(const QByteArray& path) {
  if (isBusy()) return;
  auto loaded = std::make_shared<MailContent>();
  const std::string bytes = path.toStdString();
  Platform* files = &platform;
  runInBackground(
      text(texts::kOpening), true,
      [loaded, bytes, files, charset = textCharset](QPromise<void>& promise) {
        loadMailFile(
            *files, bytes, *loaded,
            [&promise](std::uint64_t done, std::uint64_t total) {
              if (done == 1) promise.setProgressRange(0, static_cast<int>(total));
              promise.setProgressValue(static_cast<int>(done));
              return !promise.isCanceled();
            },
            textIn(charset));
      },
      [this, loaded, path](bool cancelled) {
        if (cancelled) {
          statusText->setText(text(texts::kCancelled));
          return;
        }
        content = loaded;
        unpackedToOpen.clear();
        // Only a file that reads as mail is worth opening again.
        if (content->opened && (content->mail || !content->messages.empty())) {
          rememberRecent(path);
        }
        showContent(true);
      });
}

void MailWindow::selectMessage(int row) {
  if (row < 0 || static_cast<std::size_t>(row) == content->messageIndex) return;
  loadShownMessage(static_cast<std::size_t>(row));
}

void MailWindow::readTextAs(const std::string& charset) {
  textCharset = charset;
  if (content->file) loadShownMessage(content->messageIndex);
}

void MailWindow::loadShownMessage(std::size_t row) {
  if (isBusy()) return;
  auto loaded = std::make_shared<MailContent>(*content);
  runInBackground(
      text(texts::kOpening), true,
      [loaded, row, charset = textCharset](QPromise<void>&) {
        loadMessage(*loaded, row, textIn(charset));
      },
      [this, loaded](bool cancelled) {
        if (!cancelled) {
          content = loaded;
          unpackedToOpen.clear();
        }
        showContent(false);
      });
}

void MailWindow::listArchiveRow(std::size_t row, const std::string& password) {
  if (isBusy()) return;
  auto loaded = std::make_shared<MailContent>(*content);
  Platform* files = &platform;
  runInBackground(
      text(texts::kListing), true,
      [loaded, files, row, password](QPromise<void>&) {
        listArchive(*files, *loaded, row, password);
      },
      [this, loaded, row](bool cancelled) {
        if (cancelled) return;
        content = loaded;
        unpackedToOpen.erase(content->attachments[row].part);
        showContent(false);
      });
}

void MailWindow::showProblem() {
  const std::string line = shownProblem(*content);
  problemLine->setText(visibleText(line));
  problemLine->setVisible(!line.empty());
}

void MailWindow::showContent(bool newFile) {
  const MailContent& shown = *content;
  // The loader left the header fields and the text as they are shown.
  for (std::size_t row = 0; row < headerValues.size(); ++row) {
    QString value;
    for (const mail::HeaderField& field : shown.headers) {
      if (field.name == texts::kHeaderCaptions[row].field) value = text(field.value);
    }
    const bool isDate = texts::kHeaderCaptions[row].field == "Date";
    headerValues[row]->setText(isDate ? shownDate(value) : value);
    headerValues[row]->setToolTip(isDate ? value : QString());
    // A field the mail does not have takes no room; the sender always shows.
    headerForm->setRowVisible(static_cast<int>(row), !value.isEmpty() || row == 0);
  }
  showProblem();
  textView->setPlainText(text(shownBody(shown)));
  if (findBar->isVisible()) highlightMatches();

  attachmentList->clear();
  AttachmentIcons iconFor(style());
  // A container's members are rows under it, shown open; a list without containers stays flat.
  std::vector<QTreeWidgetItem*> rows;
  rows.reserve(shown.attachments.size());
  bool nested = false;
  for (std::size_t row = 0; row < shown.attachments.size(); ++row) {
    const AttachmentEntry& entry = shown.attachments[row];
    auto* item = new QTreeWidgetItem({visibleText(entry.name), iconFor.comment(entry.mediaType),
                                      text(mail::readableSize(entry.size))});
    item->setToolTip(1, text(entry.mediaType));
    item->setIcon(0, entry.damaged ? style()->standardIcon(QStyle::SP_MessageBoxWarning)
                                   : iconFor(entry.mediaType));
    if (entry.damaged) item->setToolTip(0, text(texts::kDamagedMark));
    item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    item->setData(0, kAttachmentRole, static_cast<qulonglong>(row));
    if (entry.container == kNoContainer) {
      attachmentList->addTopLevelItem(item);
    } else {
      rows[entry.container]->addChild(item);
    }
    nested |= entry.container != kNoContainer;
    rows.push_back(item);
  }
  for (std::size_t row = 0; row < shown.attachments.size(); ++row) {
    if (shown.attachments[row].archive == ArchiveState::Closed) {
      auto* unpack = new QPushButton(text(texts::kUnpackButton));
      unpack->setObjectName(QStringLiteral("unpackButton"));
      connect(unpack, &QPushButton::clicked, this, [this, row] { listArchiveRow(row, {}); });
      attachmentList->setItemWidget(rows[row], kControlColumn, unpack);
    } else if (shown.attachments[row].archive == ArchiveState::Locked) {
      auto* field = new QWidget;
      auto* layout = new QHBoxLayout(field);
      layout->setContentsMargins(0, 0, 0, 0);
      auto* password = new QLineEdit;
      password->setObjectName(QStringLiteral("passwordEdit"));
      password->setEchoMode(QLineEdit::Password);
      password->setPlaceholderText(text(texts::kPasswordPlaceholder));
      auto* open = new QPushButton(text(texts::kPasswordOpenButton));
      open->setObjectName(QStringLiteral("passwordButton"));
      layout->addWidget(password);
      layout->addWidget(open);
      const auto tryPassword = [this, row, password] {
        if (password->text().isEmpty()) return;
        listArchiveRow(row, password->text().toStdString());
      };
      connect(open, &QPushButton::clicked, this, tryPassword);
      connect(password, &QLineEdit::returnPressed, this, tryPassword);
      attachmentList->setItemWidget(rows[row], kControlColumn, field);
    }
  }
  attachmentList->setRootIsDecorated(nested);
  if (nested) attachmentList->expandAll();
  attachmentList->resizeColumnToContents(1);
  attachmentList->resizeColumnToContents(2);
  attachmentList->resizeColumnToContents(kControlColumn);
  saveButton->setEnabled(false);
  saveAllButton->setEnabled(!shown.attachments.empty());
  attachmentPanel->setVisible(!shown.attachments.empty());

  if (newFile) {
    showMessageList();
  } else {
    // A cancelled switch leaves the list on the message still shown.
    for (int row = 0; row < messageList->topLevelItemCount(); ++row) {
      QTreeWidgetItem* item = messageList->topLevelItem(row);
      if (item->data(0, MessageRow::kIndexRole).toULongLong() != shown.messageIndex) continue;
      const QSignalBlocker blocker(messageList);
      messageList->setCurrentItem(item);
      break;
    }
  }
  const QString name =
      shown.path.empty()
          ? QString()
          : QFileInfo(QFile::decodeName(QByteArray::fromStdString(shown.path))).fileName();
  setWindowTitle(name.isEmpty() ? text(texts::kWindowTitle)
                                : name + QStringLiteral(" — ") + text(texts::kWindowTitle));
  emit mailShown();
}

void MailWindow::showMessageList() {
  const QSignalBlocker blocker(messageList);
  messageList->clear();
  messagePanel->setVisible(!content->messages.empty());
  messageFilter->clear();
  messageList->header()->setSortIndicator(-1, Qt::AscendingOrder);
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(content->messages.size()));
  for (std::size_t index = 0; index < content->messages.size(); ++index) {
    items.append(new MessageRow(index, content->messages[index]));
  }
  messageList->addTopLevelItems(items);
  messageList->resizeColumnToContents(0);
  if (!items.isEmpty()) messageList->setCurrentItem(items.front());
}

void MailWindow::openWithDialog() {
  if (const std::optional<QString> path = services.openMail(this)) {
    openMail(localPathBytes(platform, *path));
  }
}

void MailWindow::rememberRecent(const QByteArray& path) {
  QSettings settings;
  QVariantList recent = settings.value(kRecentKey).toList();
  recent.removeAll(QVariant(path));
  recent.prepend(QVariant(path));
  while (recent.size() > kRecentFiles) recent.removeLast();
  settings.setValue(kRecentKey, recent);
}

void MailWindow::fillRecentMenu() {
  recentMenu->clear();
  const QVariantList recent = QSettings().value(kRecentKey).toList();
  for (const QVariant& entry : recent) {
    const QByteArray path = entry.toByteArray();
    recentMenu->addAction(QFile::decodeName(path), this, [this, path] { openMail(path); });
  }
  if (recent.isEmpty()) recentMenu->addAction(text(texts::kNoRecentFiles))->setEnabled(false);
}

void MailWindow::closeEvent(QCloseEvent* event) {
  watcher.cancel();
  watcher.waitForFinished();
  QSettings().setValue(kGeometryKey, saveGeometry());
  event->accept();
}

void MailWindow::dragEnterEvent(QDragEnterEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (!isBusy() && !urls.isEmpty() && urls.front().isLocalFile()) event->acceptProposedAction();
}

void MailWindow::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.isEmpty() || !urls.front().isLocalFile()) return;
  event->acceptProposedAction();
  openMail(localFileBytes(urls.front()));
}

std::vector<const AttachmentEntry*> MailWindow::selectedAttachments() const {
  // In the order of the list, members after their container.
  std::vector<const AttachmentEntry*> entries;
  for (QTreeWidgetItemIterator at(attachmentList, QTreeWidgetItemIterator::Selected); *at; ++at) {
    entries.push_back(&content->attachments[(*at)->data(0, kAttachmentRole).toULongLong()]);
  }
  return entries;
}

namespace {

// The item that unpacks the archive of the entry row `entry` into `folder` (or its `subfolder`).
SaveItem unpackItem(const MailContent& content, const AttachmentEntry& entry,
                    const std::string& folder, const std::string& subfolder) {
  const AttachmentEntry& archiveRow = content.attachments[entry.container];
  SaveItem item{archiveRow.part, folder, subfolder, archiveRow.name, archiveRow.size};
  item.unpack = true;
  item.password = archiveRow.password;
  return item;
}

// The items that write `entries` into `folder` (or its `subfolder`). The archive module unpacks
// an archive whole: an entry of one is written with the rest of its archive, in a folder named
// after it, once however many of its entries are chosen.
std::vector<SaveItem> itemsFor(const MailContent& content,
                               const std::vector<const AttachmentEntry*>& entries,
                               const std::string& folder, const std::string& subfolder) {
  std::vector<SaveItem> items;
  std::vector<std::size_t> unpacked;
  for (const AttachmentEntry* entry : entries) {
    if (!entry->archiveEntry) {
      items.push_back({entry->part, folder, subfolder, entry->name, entry->size});
    } else if (std::find(unpacked.begin(), unpacked.end(), entry->container) == unpacked.end()) {
      unpacked.push_back(entry->container);
      items.push_back(unpackItem(content, *entry, folder, subfolder));
    }
  }
  return items;
}

}  // namespace

void MailWindow::saveSelected() {
  const std::vector<const AttachmentEntry*> entries = selectedAttachments();
  if (entries.empty()) return;
  std::vector<SaveItem> items;
  if (entries.size() == 1 && !entries[0]->archiveEntry) {
    const std::optional<QString> path = services.saveAttachment(this, text(entries[0]->name));
    if (!path) return;
    const auto [folder, name] = splitPath(localPathBytes(platform, *path).toStdString());
    items.push_back({entries[0]->part, folder, {}, name, entries[0]->size});
  } else {
    const std::optional<QString> folder = services.chooseFolder(this);
    if (!folder) return;
    items = itemsFor(*content, entries, localPathBytes(platform, *folder).toStdString(), {});
  }
  save(std::move(items));
}

void MailWindow::saveAll() {
  if (content->attachments.empty()) return;
  const std::optional<QString> folder = services.chooseFolder(this);
  if (!folder) return;
  const std::string base = localPathBytes(platform, *folder).toStdString();
  // A container is saved as its members; one of which nothing could be read, as itself.
  const std::vector<AttachmentEntry>& entries = content->attachments;
  std::vector<SaveItem> items;
  for (std::size_t row = 0; row < entries.size(); ++row) {
    const AttachmentEntry& entry = entries[row];
    if (entry.archiveEntry ||
        (entry.isContainer && row + 1 < entries.size() && entries[row + 1].container == row)) {
      continue;
    }
    items.push_back({entry.part, base, {}, entry.name, entry.size});
    // An archive the user has opened is unpacked beside it, as `extract --unpack` does.
    if (entry.archive == ArchiveState::Listed) {
      SaveItem unpack = items.back();
      unpack.unpack = true;
      unpack.password = entry.password;
      items.push_back(std::move(unpack));
    }
  }
  save(std::move(items));
}

void MailWindow::save(std::vector<SaveItem> items,
                      const std::function<void(const SaveSummary&)>& afterSave) {
  using Answer = MailWindowServices::ReplaceAnswer;
  // The outcome of an earlier save is no answer to this one, even when nothing is written.
  statusBar()->clearMessage();
  std::optional<Answer> forAll;
  std::vector<SaveItem> confirmed;
  for (SaveItem& item : items) {
    const std::string target = joinPath(item.folder, item.name);
    // An archive's folder is merged with one already there; its files are never replaced
    // unasked (they fail as existing).
    if (item.subfolder.empty() && !item.unpack && platform.entryExists(target)) {
      const Answer answer = forAll ? *forAll
                                   : services.confirmReplace(
                                         this, QFile::decodeName(QByteArray::fromStdString(target)),
                                         items.size() > 1);
      if (answer == Answer::Cancel) return;
      if (answer == Answer::ReplaceAll || answer == Answer::SkipAll) forAll = answer;
      if (answer == Answer::Skip || answer == Answer::SkipAll) continue;
      item.replace = true;
    }
    confirmed.push_back(std::move(item));
  }
  if (confirmed.empty()) return;

  auto summary = std::make_shared<SaveSummary>();
  std::shared_ptr<const MailContent> shown = content;
  Platform* files = &platform;
  runInBackground(
      text(texts::kSaving), false,
      [summary, shown, files, confirmed](QPromise<void>& promise) {
        promise.setProgressRange(0, kProgressSteps);
        *summary = saveItems(
            *files, *shown, confirmed, [&promise](std::uint64_t done, std::uint64_t total) {
              promise.setProgressValue(
                  total == 0 ? kProgressSteps : static_cast<int>(done * kProgressSteps / total));
              return !promise.isCanceled();
            });
      },
      [this, summary, afterSave, confirmed](bool cancelled) {
        const bool unpacked = std::any_of(confirmed.begin(), confirmed.end(),
                                          [](const SaveItem& item) { return item.unpack; });
        if (unpacked) {
          // What became of the archives replaces what the last listing said.
          auto updated = std::make_shared<MailContent>(*content);
          updated->archiveProblem.clear();
          for (const std::string& line : summary->archiveProblems) {
            if (!updated->archiveProblem.empty()) updated->archiveProblem += ' ';
            updated->archiveProblem += line;
          }
          content = updated;
          showProblem();
        }
        if (!summary->failures.empty()) {
          QString message = text(texts::kSaveFailed);
          for (const std::string& failure : summary->failures) {
            message += QLatin1Char('\n') + QFile::decodeName(QByteArray::fromStdString(failure));
          }
          services.showMessage(this, message);
        }
        if (cancelled || summary->stopped) {
          statusBar()->showMessage(text(texts::kCancelled));
          return;
        }
        statusBar()->showMessage(QString::number(summary->written) + text(texts::kSaved));
        if (afterSave && summary->failures.empty()) afterSave(*summary);
      });
}

std::string MailWindow::scratchFolder() {
  if (!scratch) scratch = std::make_unique<QTemporaryDir>();
  return scratch->isValid() ? QFile::encodeName(scratch->path()).toStdString() : std::string();
}

void MailWindow::addAttachmentActions() {
  // Enter and the context menu act on the rows as double-clicking and the buttons do.
  connect(new QShortcut(QKeySequence(Qt::Key_Return), attachmentList, nullptr, nullptr,
                        Qt::WidgetShortcut),
          &QShortcut::activated, this, [this] { openAttachment(attachmentList->currentItem()); });
  attachmentList->setContextMenuPolicy(Qt::ActionsContextMenu);
  const auto add = [this](std::string_view caption, const char* name, auto slot) {
    auto* action = new QAction(text(caption), attachmentList);
    action->setObjectName(QLatin1String(name));
    connect(action, &QAction::triggered, this, slot);
    attachmentList->addAction(action);
  };
  add(texts::kOpenMenuAction, "openAttachmentAction",
      [this] { openAttachment(attachmentList->currentItem()); });
  add(texts::kSaveMenuAction, "saveAttachmentAction", [this] { saveSelected(); });
  add(texts::kCopyNameAction, "copyNameAction", [this] {
    QStringList names;
    for (const AttachmentEntry* entry : selectedAttachments()) names << text(entry->name);
    if (!names.isEmpty()) QGuiApplication::clipboard()->setText(names.join(QLatin1Char('\n')));
  });
}

void MailWindow::openAttachment(QTreeWidgetItem* item) {
  if (!item || isBusy()) return;
  const AttachmentEntry& entry = content->attachments[item->data(0, kAttachmentRole).toULongLong()];
  const QString name = text(entry.name);
  if (const QString lower = name.toLower(); runsCode(entry.name) ||
                                            lower.endsWith(QStringLiteral(".html")) ||
                                            lower.endsWith(QStringLiteral(".htm"))) {
    // Read on the engine thread like every use of the mail; the window waits, as for a drag.
    bool risky = runsCode(entry.name);
    if (!risky) {
      std::shared_ptr<const mail::Mail> parsed = content->mail;
      const std::size_t part = entry.part;
      engineThread.runAndWait([&risky, parsed, part] { risky = holdsScript(*parsed, part); });
    }
    if (risky && !services.confirmOpen(this, name + text(texts::kRunsCode))) return;
  }
  const std::string folder = scratchFolder();
  if (folder.empty()) return;
  if (entry.archiveEntry) {
    openArchiveEntry(entry, folder);
    return;
  }
  // One folder per file handed out, so that equal names of different mails never meet.
  save({{entry.part, folder, std::to_string(++scratchCount), entry.name, entry.size}},
       [this, name, part = entry.part, size = entry.size](const SaveSummary& summary) {
         // The copy in the temporary folder is no file of the user's: nothing was "saved".
         statusBar()->clearMessage();
         if (summary.targets.empty()) return;
         const QUrl url = QUrl::fromLocalFile(
             QFile::decodeName(QByteArray::fromStdString(summary.targets.front())));
         if (services.openExternally(url)) return;
         if (!services.offerSaveAs(this, name + text(texts::kOpenWithFailed) + QLatin1Char('\n') +
                                             text(texts::kSaveAsQuestion))) {
           return;
         }
         const std::optional<QString> path = services.saveAttachment(this, name);
         if (!path) return;
         const auto [folder, file] = splitPath(localPathBytes(platform, *path).toStdString());
         save({{part, folder, {}, file, size}});
       });
}

void MailWindow::openArchiveEntry(const AttachmentEntry& entry, const std::string& folder) {
  const QString name = text(entry.name);
  const std::string place = entry.place;
  const std::size_t part = entry.part;
  const auto openUnpacked = [this, name, place, part] {
    const std::map<std::string, std::string>& files = unpackedToOpen[part];
    const auto found = files.find(place);
    if (found == files.end()) {
      // The line above already says why, when the archive did not unpack whole.
      if (content->archiveProblem.empty()) {
        content = std::make_shared<MailContent>(*content);
        content->archiveProblem = std::string(texts::kEntryNotWritten) + " " + place;
        showProblem();
      }
      return;
    }
    const QUrl url =
        QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(found->second)));
    if (!services.openExternally(url)) {
      services.showMessage(this, name + text(texts::kOpenWithFailed));
    }
  };
  // The archive is unpacked once, whole, the first time one of its entries is opened.
  if (unpackedToOpen.contains(part)) {
    openUnpacked();
    return;
  }
  save({unpackItem(*content, entry, folder, std::to_string(++scratchCount))},
       [this, part, openUnpacked](const SaveSummary& summary) {
         unpackedToOpen[part] = summary.entryTargets;
         openUnpacked();
       });
}

QList<QUrl> MailWindow::writeForDrag(const QList<QTreeWidgetItem*>& items) {
  // The file manager needs the files when the drag starts: they are written now, on the engine
  // thread like every other use of the mail, and the drag waits for them, as a drag of
  // attachments is a drag of files the user can see the size of.
  QList<QUrl> urls;
  if (isBusy() || !content->mail) return urls;
  const std::string folder = scratchFolder();
  if (folder.empty()) return urls;
  // An entry of an archive is dragged out as its own file, unpacked with its archive.
  std::vector<const AttachmentEntry*> entries;
  std::vector<std::string> places;
  for (QTreeWidgetItem* item : items) {
    entries.push_back(&content->attachments[item->data(0, kAttachmentRole).toULongLong()]);
    if (entries.back()->archiveEntry) places.push_back(entries.back()->place);
  }
  const std::vector<SaveItem> saveItems =
      itemsFor(*content, entries, folder, std::to_string(++scratchCount));
  std::shared_ptr<const MailContent> shown = content;
  Platform* files = &platform;
  SaveSummary summary;
  engineThread.runAndWait([&] {
    summary = gui::saveItems(*files, *shown, saveItems,
                             [](std::uint64_t, std::uint64_t) { return true; });
  });
  for (const std::string& place : places) {
    if (const auto found = summary.entryTargets.find(place); found != summary.entryTargets.end()) {
      summary.targets.push_back(found->second);
    }
  }
  for (const std::string& target : summary.targets) {
    urls.append(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(target))));
  }
  return urls;
}

void MailWindow::showFindBar() {
  findBar->show();
  if (textView->textCursor().hasSelection()) {
    findField->setText(textView->textCursor().selectedText());
  }
  findField->setFocus(Qt::ShortcutFocusReason);
  findField->selectAll();
  highlightMatches();
}

void MailWindow::findText(const QString& term) {
  showFindBar();
  findField->setText(term);
  textView->moveCursor(QTextCursor::Start);
  find(false);
}

void MailWindow::find(bool backward) {
  if (!findBar->isVisible()) {
    showFindBar();
    return;
  }
  highlightMatches();
  const QString term = findField->text();
  findStatus->clear();
  if (term.isEmpty()) return;
  const QTextDocument::FindFlags flags =
      backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
  if (textView->find(term, flags)) return;
  // On from the other end, once round.
  QTextCursor wrapped = textView->textCursor();
  wrapped.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
  textView->setTextCursor(wrapped);
  if (!textView->find(term, flags)) findStatus->setText(text(texts::kNotFound));
}

void MailWindow::highlightMatches() {
  QList<QTextEdit::ExtraSelection> matches;
  const QString term = findField->text();
  if (!term.isEmpty()) {
    QTextCharFormat marked;
    marked.setBackground(QColor(0xff, 0xe0, 0x66));
    QTextCursor at(textView->document());
    while (matches.size() < kMostHighlights) {
      at = textView->document()->find(term, at);
      if (at.isNull()) break;
      matches.append({at, marked});
    }
  }
  textView->setExtraSelections(matches);
}

void MailWindow::copySelection() {
  if (auto* label = qobject_cast<QLabel*>(QApplication::focusWidget());
      label && label->hasSelectedText()) {
    QGuiApplication::clipboard()->setText(label->selectedText());
    return;
  }
  textView->copy();
}

void MailWindow::showSource() {
  if (isBusy() || !content->file) return;
  struct Loaded {
    std::string source;
    bool cut = false;
    int errorNumber = 0;
    bool read = false;
  };
  auto loaded = std::make_shared<Loaded>();
  std::shared_ptr<const MailContent> shown = content;
  runInBackground(
      text(texts::kOpening), true,
      [loaded, shown](QPromise<void>&) {
        try {
          loaded->read = loadSource(*shown, loaded->source, loaded->cut, loaded->errorNumber);
        } catch (const std::bad_alloc&) {
          loaded->source.clear();
          loaded->errorNumber = ENOMEM;
        }
      },
      [this, loaded](bool cancelled) {
        if (cancelled) return;
        if (!loaded->read || loaded->errorNumber != 0) {
          services.showMessage(this, QString::fromStdString(messages::describeReadFailure(
                                         content->path, loaded->errorNumber)));
          return;
        }
        auto* dialog = new QDialog(this);
        dialog->setObjectName(QStringLiteral("sourceWindow"));
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowTitle(windowTitle() + QStringLiteral(" — ") + text(texts::kSourceTitle));
        auto* view = new QPlainTextEdit;
        view->setObjectName(QStringLiteral("sourceText"));
        view->setReadOnly(true);
        view->setLineWrapMode(QPlainTextEdit::NoWrap);
        view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        QString source = text(loaded->source);
        if (loaded->cut) source += QLatin1Char('\n') + text(texts::kSourceCut);
        view->setPlainText(source);
        auto* buttons = new QDialogButtonBox;
        QPushButton* copy =
            buttons->addButton(text(texts::kCopyButton), QDialogButtonBox::ActionRole);
        copy->setObjectName(QStringLiteral("copySourceButton"));
        connect(copy, &QPushButton::clicked, view, [view] {
          QGuiApplication::clipboard()->setText(
              view->textCursor().hasSelection() ? view->textCursor().selectedText().replace(
                                                      QChar::ParagraphSeparator, QLatin1Char('\n'))
                                                : view->toPlainText());
        });
        connect(buttons->addButton(text(texts::kCloseButton), QDialogButtonBox::RejectRole),
                &QPushButton::clicked, dialog, &QDialog::close);
        auto* layout = new QVBoxLayout(dialog);
        layout->addWidget(view);
        layout->addWidget(buttons);
        dialog->resize(size() * 9 / 10);
        dialog->show();
      });
}

void MailWindow::printMail() {
  if (isBusy() || !content->mail) return;
  const std::unique_ptr<QTextDocument> document = mailDocument(*content, printFont());
  services.print(this, *document);
}

bool MailWindow::writePdf(const std::string& path, QString& failure) {
  const QByteArray pdf = mailPdf(*content, printFont(), text(headerValue(*content, "Subject")));
  if (pdf.isEmpty()) {
    failure = text(texts::kPdfFailed);
    return false;
  }
  const WriteResult result =
      platform.writeFile(path, reinterpret_cast<const std::uint8_t*>(pdf.constData()),
                         static_cast<std::size_t>(pdf.size()), ExistingEntry::ReplaceTarget);
  if (result.status == WriteStatus::Written) return true;
  failure = QFile::decodeName(
      QByteArray::fromStdString(messages::describeWriteFailure(path, result.errorNumber)));
  return false;
}

void MailWindow::exportPdf() {
  if (isBusy() || !content->mail) return;
  const QString base = content->path.empty()
                           ? QStringLiteral("mail")
                           : QFileInfo(QFile::decodeName(QByteArray::fromStdString(content->path)))
                                 .completeBaseName();
  const std::optional<QString> path = services.savePdf(this, base + QStringLiteral(".pdf"));
  if (!path) return;
  const std::string target = localPathBytes(platform, *path).toStdString();
  QString failure;
  if (!writePdf(target, failure)) {
    services.showMessage(this, failure);
    return;
  }
  statusBar()->showMessage(text(texts::kPdfWritten) + *path);
}

}  // namespace korvani::gui
