// The desktop's OutputChooser: the Save-As dialog over the main dialog, opened in the source's
// folder (a desktop launch runs in the home folder, where a proposed dotfile name would replace
// the user's own file).
//
// A name proposed by a mail arrives as the mail's raw bytes and is proposed as safeName() makes
// it (UTF-8, no folder part, no leading dot). When the user confirms it unchanged, a symbolic
// link already at that name is replaced itself, never written through.
#pragma once

#include <QString>
#include <string>

#include "app/output_chooser.h"
#include "gui/dialog_services.h"
#include "platform/platform.h"

namespace korvani::gui {

class SaveAsChooser : public OutputChooser {
 public:
  // `dialog` is the window the Save-As dialog appears over; it, `services` and `platform` (which
  // looks up folder names) must outlive the chooser. The
  // dialog opens in `startFolder` (the working folder when empty).
  SaveAsChooser(Platform& platform, DialogServices& services, QWidget& dialog,
                QString startFolder = QString())
      : platform(platform),
        services(services),
        dialog(dialog),
        startFolder(std::move(startFolder)) {}

  // Shows the Save-As dialog proposing displayName() of safeName() of `defaultName` read as raw
  // bytes (nothing when no usable name is left), with defaultSuffixOf() that name. Returns true and
  // sets `path` to confirmedPathBytes() when confirmed; returns false and leaves `path` alone when
  // cancelled.
  bool chooseOutputFile(const std::string& defaultName, std::string& path) override;

  // ReplaceEntry when the last choice kept the proposed name, ReplaceTarget for a name the user
  // typed or picked.
  ExistingEntry existingEntry() const override { return existing; }

 private:
  Platform& platform;
  DialogServices& services;
  QWidget& dialog;
  ExistingEntry existing = ExistingEntry::ReplaceTarget;
  QString startFolder;
};

// `rawName` made readable: as UTF-8 when it is valid UTF-8 (plain ASCII included), otherwise as
// code page 932.
QString displayName(const std::string& rawName);

// The text after the last '.' of `name`; empty when it has no '.'.
QString defaultSuffixOf(const QString& name);

// The bytes of the path `chosen`. When its final component equals `shownName` (non-empty), that
// component is `rawName` itself; otherwise it is encoded as it stands. The folder part is
// localPathBytes() of it, so that a folder whose name is not UTF-8 is still the one written to.
std::string confirmedPathBytes(Platform& platform, const QString& chosen, const QString& shownName,
                               const std::string& rawName);

}  // namespace korvani::gui
