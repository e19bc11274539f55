// The modal dialogs and desktop services the mail window calls on.
//
// Behind this interface so that tests answer them without a person: QtMailWindowServices shows
// the desktop's own dialogs and hands files to the desktop; the tests script the answers.
#pragma once

#include <QString>
#include <optional>

class QTextDocument;
class QUrl;
class QWidget;

namespace korvani::gui {

class MailWindowServices {
 public:
  enum class ReplaceAnswer { Replace, ReplaceAll, Skip, SkipAll, Cancel };

  virtual ~MailWindowServices() = default;

  // The Open dialog for a mail file. Returns the path confirmed, or nullopt on cancel.
  virtual std::optional<QString> openMail(QWidget* parent) = 0;
  // The Save-As dialog for one attachment, proposing `proposedName`. It does not ask about an
  // existing file itself (the window does). Returns the path confirmed, or nullopt on cancel.
  virtual std::optional<QString> saveAttachment(QWidget* parent, const QString& proposedName) = 0;
  // A folder for several attachments. Returns the folder confirmed, or nullopt on cancel.
  virtual std::optional<QString> chooseFolder(QWidget* parent) = 0;
  // Whether to replace what is already at `path`; the "all" answers are offered when `several`.
  virtual ReplaceAnswer confirmReplace(QWidget* parent, const QString& path, bool several) = 0;
  // A warning with `text` (plain text, possibly several lines) and an OK button.
  virtual void showMessage(QWidget* parent, const QString& text) = 0;
  // Opens the local file at `url` with the desktop's default application. False when none did.
  virtual bool openExternally(const QUrl& url) = 0;
  // Says `text` (no application opens a file) and offers to save it instead. True when the user
  // chose to save it.
  virtual bool offerSaveAs(QWidget* parent, const QString& text) = 0;
  // The Save-As dialog for a PDF, proposing `proposedName`; the dialog itself asks before
  // replacing a file. Returns the path confirmed, or nullopt on cancel.
  virtual std::optional<QString> savePdf(QWidget* parent, const QString& proposedName) = 0;
  // The print dialog; prints `document` when the user confirms it.
  virtual void print(QWidget* parent, QTextDocument& document) = 0;
  // Whether to open a file that runs code: the question `text`, answered No unless the user
  // says otherwise.
  virtual bool confirmOpen(QWidget* parent, const QString& text) = 0;
  // The About box, saying `text`.
  virtual void showAbout(QWidget* parent, const QString& text) = 0;
};

class QtMailWindowServices : public MailWindowServices {
 public:
  std::optional<QString> openMail(QWidget* parent) override;
  std::optional<QString> saveAttachment(QWidget* parent, const QString& proposedName) override;
  std::optional<QString> chooseFolder(QWidget* parent) override;
  ReplaceAnswer confirmReplace(QWidget* parent, const QString& path, bool several) override;
  void showMessage(QWidget* parent, const QString& text) override;
  bool openExternally(const QUrl& url) override;
  bool offerSaveAs(QWidget* parent, const QString& text) override;
  std::optional<QString> savePdf(QWidget* parent, const QString& proposedName) override;
  void print(QWidget* parent, QTextDocument& document) override;
  bool confirmOpen(QWidget* parent, const QString& text) override;
  void showAbout(QWidget* parent, const QString& text) override;
};

}  // namespace korvani::gui
