#include "gui/message_box_sink.h"

namespace korvani::gui {

void MessageBoxSink::showMessage(std::string_view text, MessageOwner owner) {
  QWidget* const ownerWindow = owner == MessageOwner::Dialog ? &dialog : nullptr;
  services.showMessage(ownerWindow,
                       QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace korvani::gui
