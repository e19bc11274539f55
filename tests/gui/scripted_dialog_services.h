// DialogServices that answer as told and record what they were asked, in place of the modal
// file dialogs and message boxes.
#pragma once

#include <QString>
#include <QWidget>
#include <optional>
#include <vector>

#include "gui/dialog_services.h"

namespace korvani::gui::testing {

class ScriptedDialogServices : public DialogServices {
 public:
  struct SaveRequest {
    QWidget* parent;
    QString proposedName;
    QString defaultSuffix;
  };
  struct Message {
    QWidget* owner;
    QString text;
  };

  std::optional<QString> openAnswer;  // nullopt: the user cancels
  std::optional<QString> saveAnswer;  // nullopt: the user cancels

  int openRequests = 0;
  std::vector<SaveRequest> saveRequests;
  std::vector<Message> messages;

  std::optional<QString> openFile(QWidget*) override {
    ++openRequests;
    return openAnswer;
  }
  std::optional<QString> saveFile(QWidget* parent, const QString& proposedName,
                                  const QString& defaultSuffix) override {
    saveRequests.push_back({parent, proposedName, defaultSuffix});
    return saveAnswer;
  }
  void showMessage(QWidget* owner, const QString& text) override {
    messages.push_back({owner, text});
  }
};

}  // namespace korvani::gui::testing
