#include "gui/message_box_sink.h"

#include "gui/dialog_template.h"

namespace korvani::gui {

void MessageBoxSink::showMessage(std::string_view text, MessageOwner owner) {
  const bool owned = owner == MessageOwner::Dialog;
  const QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  services.showMessage(owned ? &dialog : nullptr,
                       QString::fromUtf8(owned ? kApplicationName : kWorkerMessageCaption), shown,
                       shown.isEmpty() ? QMessageBox::Warning : QMessageBox::NoIcon);
}

}  // namespace korvani::gui
