// DialogServices that answer as told and record what they were asked, in place of the modal
// file dialogs and message boxes.
#pragma once

#include <QGuiApplication>
#include <QString>
#include <QWidget>
#include <optional>
#include <vector>

#include "gui/dialog_services.h"

namespace korvani::gui::testing {

class ScriptedDialogServices : public DialogServices {
 public:
  struct OpenRequest {
    QString startFolder;
    bool waitCursor;  // whether the wait cursor showed while the dialog was up
  };
  struct SaveRequest {
    QWidget* parent;
    QString startFolder;
    QString proposedName;
    QString defaultSuffix;
    bool waitCursor;
  };
  struct Message {
    QWidget* owner;
    QString caption;
    QString text;
    QMessageBox::Icon icon;
    bool waitCursor;
    QString action;  // the button beside OK; empty: OK alone
  };

  std::optional<QString> openAnswer;  // nullopt: the user cancels
  std::optional<QString> saveAnswer;  // nullopt: the user cancels
  bool actionAnswer = false;          // whether a box with a second button is closed with it

  std::vector<OpenRequest> openRequests;
  std::vector<SaveRequest> saveRequests;
  std::vector<Message> messages;

  static bool waitCursorShows() { return QGuiApplication::overrideCursor() != nullptr; }

  std::optional<QString> openFile(QWidget*, const QString& startFolder) override {
    openRequests.push_back({startFolder, waitCursorShows()});
    return openAnswer;
  }
  std::optional<QString> saveFile(QWidget* parent, const QString& startFolder,
                                  const QString& proposedName,
                                  const QString& defaultSuffix) override {
    saveRequests.push_back({parent, startFolder, proposedName, defaultSuffix, waitCursorShows()});
    return saveAnswer;
  }
  void showMessage(QWidget* owner, const QString& caption, const QString& text,
                   QMessageBox::Icon icon) override {
    messages.push_back({owner, caption, text, icon, waitCursorShows(), QString()});
  }
  bool askMessage(QWidget* owner, const QString& caption, const QString& text,
                  QMessageBox::Icon icon, const QString& action) override {
    messages.push_back({owner, caption, text, icon, waitCursorShows(), action});
    return actionAnswer;
  }
};

}  // namespace korvani::gui::testing
