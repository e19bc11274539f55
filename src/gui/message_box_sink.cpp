#include "gui/message_box_sink.h"

#include "gui/dialog_template.h"

namespace korvani::gui {

namespace {

QString fromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void MessageBoxSink::showMessage(std::string_view text, MessageOwner owner) {
  showMessage(text, std::string_view(), QString(), owner);
}

bool MessageBoxSink::showMessage(std::string_view text, std::string_view detail,
                                 const QString& action, MessageOwner owner) {
  const bool owned = owner == MessageOwner::Dialog;
  QWidget* boxOwner = owned ? &dialog : nullptr;
  const QString caption = QString::fromUtf8(owned ? kApplicationName : kWorkerMessageCaption);
  const QMessageBox::Icon icon = text.empty() ? QMessageBox::Warning : QMessageBox::NoIcon;
  QString shown = fromUtf8(text);
  // An empty first line stays: it is the system's own message.
  if (!detail.empty()) shown += QLatin1Char('\n') + fromUtf8(detail);
  if (action.isEmpty()) {
    services.showMessage(boxOwner, caption, shown, icon);
    return false;
  }
  return services.askMessage(boxOwner, caption, shown, icon, action);
}

}  // namespace korvani::gui
