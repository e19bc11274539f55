#include "gui/mail_window.h"

#include <QApplication>
#include <QCloseEvent>
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
#include <QMenuBar>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "common/messages.h"
#include "gui/local_path.h"
#include "gui/mail_window_services.h"
#include "mail/mail_reader.h"
#include "platform/folder.h"
#include "platform/platform.h"

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

QString text(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string joinPath(const std::string& folder, const std::string& name) {
  return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

QIcon iconFor(const std::string& mediaType, const QStyle* style) {
  const QMimeType type = QMimeDatabase().mimeTypeForName(QString::fromStdString(mediaType));
  QIcon fallback = style->standardIcon(QStyle::SP_FileIcon);
  if (!type.isValid()) return fallback;
  return QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName(), fallback));
}

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
  setWindowTitle(text(messages::mailwindow::kWindowTitle));
  setAcceptDrops(true);
  buildWidgets();
  buildMenus();
  connect(&watcher, &QFutureWatcher<void>::progressRangeChanged, progressBar,
          &QProgressBar::setRange);
  connect(&watcher, &QFutureWatcher<void>::progressValueChanged, progressBar,
          &QProgressBar::setValue);
  connect(&watcher, &QFutureWatcher<void>::finished, this, [this] {
    setBusy(false);
    const Done done = std::move(whenDone);
    whenDone = nullptr;
    if (done) done(watcher.isCanceled());
    emit workFinished();
  });
  if (!restoreGeometry(QSettings().value(kGeometryKey).toByteArray())) resize(880, 640);
  showContent(true);
}

MailWindow::~MailWindow() {
  watcher.cancel();
  watcher.waitForFinished();
  // The finished signal will not reach a window being destroyed.
  if (whenDone) QApplication::restoreOverrideCursor();
}

void MailWindow::buildMenus() {
  QMenu* fileMenu = menuBar()->addMenu(text(messages::mailwindow::kFileMenu));
  openAction = fileMenu->addAction(text(messages::mailwindow::kOpenAction), this,
                                   &MailWindow::openWithDialog);
  openAction->setShortcut(QKeySequence::Open);
  recentMenu = fileMenu->addMenu(text(messages::mailwindow::kRecentMenu));
  connect(recentMenu, &QMenu::aboutToShow, this, &MailWindow::fillRecentMenu);
  fileMenu->addSeparator();
  QAction* quitAction =
      fileMenu->addAction(text(messages::mailwindow::kQuitAction), this, &QWidget::close);
  quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

  QMenu* viewMenu = menuBar()->addMenu(text(messages::mailwindow::kViewMenu));
  fixedFontAction = viewMenu->addAction(text(messages::mailwindow::kFixedFontAction));
  fixedFontAction->setCheckable(true);
  fixedFontAction->setChecked(QSettings().value(kFixedFontKey, false).toBool());
  setFixedFont(fixedFontAction->isChecked());
  connect(fixedFontAction, &QAction::toggled, this, [this](bool fixed) {
    QSettings().setValue(kFixedFontKey, fixed);
    setFixedFont(fixed);
  });
}

void MailWindow::buildWidgets() {
  messageList = new QTreeWidget;
  messageList->setObjectName(QStringLiteral("messageList"));
  messageList->setHeaderLabels({text(messages::mailwindow::kDateColumn),
                                text(messages::mailwindow::kFromColumn),
                                text(messages::mailwindow::kSubjectColumn)});
  messageList->setRootIsDecorated(false);
  messageList->setUniformRowHeights(true);
  connect(messageList, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (item) selectMessage(messageList->indexOfTopLevelItem(item));
  });

  auto* headerForm = new QFormLayout;
  for (const messages::mailwindow::HeaderCaption& caption : messages::mailwindow::kHeaderCaptions) {
    auto* value = new QLabel;
    value->setObjectName(QStringLiteral("header") + text(caption.field));
    value->setTextFormat(Qt::PlainText);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setWordWrap(true);
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

  attachmentList = new AttachmentTree(
      [this](const QList<QTreeWidgetItem*>& items) { return writeForDrag(items); });
  attachmentList->setObjectName(QStringLiteral("attachmentList"));
  attachmentList->setHeaderLabels({text(messages::mailwindow::kNameColumn),
                                   text(messages::mailwindow::kTypeColumn),
                                   text(messages::mailwindow::kSizeColumn)});
  attachmentList->setRootIsDecorated(false);
  attachmentList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  attachmentList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  attachmentList->header()->setStretchLastSection(false);
  connect(attachmentList, &QTreeWidget::itemDoubleClicked, this, &MailWindow::openAttachment);

  saveButton = new QPushButton(text(messages::mailwindow::kSaveButton));
  saveButton->setObjectName(QStringLiteral("saveButton"));
  saveAllButton = new QPushButton(text(messages::mailwindow::kSaveAllButton));
  saveAllButton->setObjectName(QStringLiteral("saveAllButton"));
  connect(saveButton, &QPushButton::clicked, this, &MailWindow::saveSelected);
  connect(saveAllButton, &QPushButton::clicked, this, &MailWindow::saveAll);
  connect(attachmentList, &QTreeWidget::itemSelectionChanged, this,
          [this] { saveButton->setEnabled(!attachmentList->selectedItems().isEmpty()); });

  auto* attachmentPanel = new QWidget;
  auto* attachmentLayout = new QVBoxLayout(attachmentPanel);
  attachmentLayout->setContentsMargins(0, 0, 0, 0);
  attachmentLayout->addWidget(new QLabel(text(messages::mailwindow::kAttachments)));
  attachmentLayout->addWidget(attachmentList);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(saveButton);
  buttons->addWidget(saveAllButton);
  attachmentLayout->addLayout(buttons);

  auto* readingSplitter = new QSplitter(Qt::Vertical);
  readingSplitter->addWidget(textView);
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
  splitter->addWidget(messageList);
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
  cancelButton = new QPushButton(text(messages::mailwindow::kCancelButton));
  cancelButton->setObjectName(QStringLiteral("cancelButton"));
  connect(cancelButton, &QPushButton::clicked, this, [this] { watcher.cancel(); });
  statusBar()->addWidget(statusText, 1);
  statusBar()->addPermanentWidget(progressBar);
  statusBar()->addPermanentWidget(cancelButton);
  progressBar->hide();
  cancelButton->hide();
}

void MailWindow::setFixedFont(bool fixed) {
  textView->setFont(
      QFontDatabase::systemFont(fixed ? QFontDatabase::FixedFont : QFontDatabase::GeneralFont));
}

bool MailWindow::isBusy() const { return watcher.isRunning() || whenDone != nullptr; }

void MailWindow::runInBackground(const QString& label, bool quiet, Work work, Done done) {
  whenDone = std::move(done);
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
  watcher.setFuture(QtConcurrent::run(std::move(work)));
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
  runInBackground(
      text(messages::mailwindow::kOpening), true,
      [loaded, bytes](QPromise<void>& promise) {
        loadMailFile(bytes, *loaded, [&promise](std::uint64_t done, std::uint64_t total) {
          if (done == 1) promise.setProgressRange(0, static_cast<int>(total));
          promise.setProgressValue(static_cast<int>(done));
          return !promise.isCanceled();
        });
      },
      [this, loaded, path](bool cancelled) {
        if (cancelled) {
          statusText->setText(text(messages::mailwindow::kCancelled));
          return;
        }
        content = loaded;
        if (content->opened) rememberRecent(path);
        showContent(true);
      });
}

void MailWindow::selectMessage(int row) {
  if (row < 0 || static_cast<std::size_t>(row) == content->messageIndex || isBusy()) return;
  auto loaded = std::make_shared<MailContent>(*content);
  runInBackground(
      text(messages::mailwindow::kOpening), true,
      [loaded, row](QPromise<void>&) { loadMessage(*loaded, static_cast<std::size_t>(row)); },
      [this, loaded](bool cancelled) {
        if (!cancelled) content = loaded;
        showContent(false);
      });
}

void MailWindow::showContent(bool newFile) {
  const MailContent& shown = *content;
  for (std::size_t row = 0; row < headerValues.size(); ++row) {
    QString value;
    for (const mail::HeaderField& field : shown.headers) {
      if (field.name == messages::mailwindow::kHeaderCaptions[row].field) value = text(field.value);
    }
    headerValues[row]->setText(value);
  }
  problemLine->setText(text(shown.problem));
  problemLine->setVisible(!shown.problem.empty());
  textView->setPlainText(text(shown.text));

  attachmentList->clear();
  for (std::size_t row = 0; row < shown.attachments.size(); ++row) {
    const AttachmentEntry& entry = shown.attachments[row];
    auto* item = new QTreeWidgetItem(
        {text(entry.name), text(entry.mediaType), text(mail::readableSize(entry.size))});
    item->setIcon(0, iconFor(entry.mediaType, style()));
    item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    item->setData(0, kAttachmentRole, static_cast<qulonglong>(row));
    attachmentList->addTopLevelItem(item);
  }
  attachmentList->resizeColumnToContents(1);
  attachmentList->resizeColumnToContents(2);
  saveButton->setEnabled(false);
  saveAllButton->setEnabled(!shown.attachments.empty());

  if (newFile) {
    showMessageList();
  } else if (QTreeWidgetItem* current =
                 messageList->topLevelItem(static_cast<int>(shown.messageIndex))) {
    // A cancelled switch leaves the list on the message still shown.
    const QSignalBlocker blocker(messageList);
    messageList->setCurrentItem(current);
  }
  const QString name =
      shown.path.empty()
          ? QString()
          : QFileInfo(QFile::decodeName(QByteArray::fromStdString(shown.path))).fileName();
  setWindowTitle(name.isEmpty()
                     ? text(messages::mailwindow::kWindowTitle)
                     : name + QStringLiteral(" — ") + text(messages::mailwindow::kWindowTitle));
  emit mailShown();
}

void MailWindow::showMessageList() {
  const QSignalBlocker blocker(messageList);
  messageList->clear();
  messageList->setVisible(!content->messages.empty());
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(content->messages.size()));
  for (const MessageSummary& message : content->messages) {
    items.append(
        new QTreeWidgetItem({text(message.date), text(message.from), text(message.subject)}));
  }
  messageList->addTopLevelItems(items);
  if (!items.isEmpty()) messageList->setCurrentItem(items.front());
}

void MailWindow::openWithDialog() {
  if (const std::optional<QString> path = services.openMail(this)) {
    openMail(localPathBytes(*path));
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
  if (recent.isEmpty())
    recentMenu->addAction(text(messages::mailwindow::kNoRecentFiles))->setEnabled(false);
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
  std::vector<const AttachmentEntry*> entries;
  for (int row = 0; row < attachmentList->topLevelItemCount(); ++row) {
    QTreeWidgetItem* item = attachmentList->topLevelItem(row);
    if (item->isSelected()) entries.push_back(&content->attachments[static_cast<std::size_t>(row)]);
  }
  return entries;
}

void MailWindow::saveSelected() {
  const std::vector<const AttachmentEntry*> entries = selectedAttachments();
  if (entries.empty()) return;
  std::vector<SaveItem> items;
  if (entries.size() == 1) {
    const std::optional<QString> path = services.saveAttachment(this, text(entries[0]->name));
    if (!path) return;
    items.push_back({entries[0]->part, localPathBytes(*path).toStdString(), entries[0]->size});
  } else {
    const std::optional<QString> folder = services.chooseFolder(this);
    if (!folder) return;
    const std::string base = localPathBytes(*folder).toStdString();
    for (const AttachmentEntry* entry : entries) {
      items.push_back({entry->part, joinPath(base, entry->name), entry->size});
    }
  }
  save(std::move(items));
}

void MailWindow::saveAll() {
  if (content->attachments.empty()) return;
  const std::optional<QString> folder = services.chooseFolder(this);
  if (!folder) return;
  const std::string base = localPathBytes(*folder).toStdString();
  std::vector<SaveItem> items;
  for (const AttachmentEntry& entry : content->attachments) {
    items.push_back({entry.part, joinPath(base, entry.name), entry.size});
  }
  save(std::move(items));
}

void MailWindow::save(std::vector<SaveItem> items, const std::function<void()>& afterSave) {
  using Answer = MailWindowServices::ReplaceAnswer;
  std::optional<Answer> forAll;
  std::vector<SaveItem> confirmed;
  for (SaveItem& item : items) {
    if (platform.entryExists(item.target)) {
      const Answer answer =
          forAll ? *forAll
                 : services.confirmReplace(
                       this, QFile::decodeName(QByteArray::fromStdString(item.target)),
                       items.size() > 1);
      if (answer == Answer::Cancel) return;
      if (answer == Answer::ReplaceAll || answer == Answer::SkipAll) forAll = answer;
      if (answer == Answer::Skip || answer == Answer::SkipAll) continue;
      item.replace = true;
    }
    confirmed.push_back(std::move(item));
  }
  if (confirmed.empty()) return;

  auto outcome = std::make_shared<SaveOutcome>();
  std::shared_ptr<const mail::Mail> mail = content->mail;
  Platform* files = &platform;
  const std::string source = content->path;
  runInBackground(
      text(messages::mailwindow::kSaving), false,
      [outcome, mail, files, source, confirmed](QPromise<void>& promise) {
        promise.setProgressRange(0, kProgressSteps);
        *outcome = saveAttachments(
            *files, *mail, confirmed, source, [&promise](std::uint64_t done, std::uint64_t total) {
              promise.setProgressValue(
                  total == 0 ? kProgressSteps : static_cast<int>(done * kProgressSteps / total));
              return !promise.isCanceled();
            });
      },
      [this, outcome, afterSave](bool cancelled) {
        if (!outcome->failures.empty()) {
          QString message = text(messages::mailwindow::kSaveFailed);
          for (const std::string& failure : outcome->failures) {
            message += QLatin1Char('\n') + QFile::decodeName(QByteArray::fromStdString(failure));
          }
          services.showMessage(this, message);
        }
        if (cancelled || outcome->stopped) {
          statusBar()->showMessage(text(messages::mailwindow::kCancelled));
          return;
        }
        statusBar()->showMessage(QString::number(outcome->written) +
                                 text(messages::mailwindow::kSaved));
        if (afterSave && outcome->failures.empty()) afterSave();
      });
}

std::string MailWindow::scratchFolder() {
  if (!scratch) scratch = std::make_unique<QTemporaryDir>();
  if (!scratch->isValid()) return {};
  // One folder per file handed out, so that equal names of different mails never meet.
  const std::string folder =
      joinPath(QFile::encodeName(scratch->path()).toStdString(), std::to_string(++scratchCount));
  int errorNumber = 0;
  return makeFolder(folder, errorNumber) ? folder : std::string();
}

void MailWindow::openAttachment(QTreeWidgetItem* item) {
  if (!item || isBusy()) return;
  const AttachmentEntry& entry = content->attachments[item->data(0, kAttachmentRole).toULongLong()];
  const std::string folder = scratchFolder();
  if (folder.empty()) return;
  const std::string target = joinPath(folder, entry.name);
  const QString name = text(entry.name);
  save({{entry.part, target, entry.size}}, [this, target, name] {
    const QUrl url = QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(target)));
    if (!services.openExternally(url)) {
      services.showMessage(this, name + text(messages::mailwindow::kOpenWithFailed));
    }
  });
}

QList<QUrl> MailWindow::writeForDrag(const QList<QTreeWidgetItem*>& items) {
  // The file manager needs the files when the drag starts; they are written here, on this
  // thread, as a drag of attachments is a drag of files the user can see the size of.
  QList<QUrl> urls;
  if (isBusy() || !content->mail) return urls;
  const std::string folder = scratchFolder();
  if (folder.empty()) return urls;
  std::vector<SaveItem> saveItems;
  for (QTreeWidgetItem* item : items) {
    const AttachmentEntry& entry =
        content->attachments[item->data(0, kAttachmentRole).toULongLong()];
    saveItems.push_back({entry.part, joinPath(folder, entry.name), entry.size});
  }
  saveAttachments(platform, *content->mail, saveItems, content->path,
                  [](std::uint64_t, std::uint64_t) { return true; });
  for (const SaveItem& item : saveItems) {
    if (platform.entryExists(item.target)) {
      urls.append(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(item.target))));
    }
  }
  return urls;
}

}  // namespace korvani::gui
