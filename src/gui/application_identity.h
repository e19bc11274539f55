// Who korvani-gui is to the desktop and where it keeps its settings: one organisation and one
// application name for the dialog and the mail window, so that both keep their settings in
// ~/.config/korvani/korvani-gui.conf, and a desktop file of its own for each, so that a desktop
// shows, groups and pins the two as the programs they are.
#pragma once

#include <QString>

namespace korvani::gui {

// The settings' organisation and application names, and the name shown for the application.
inline constexpr const char* kOrganizationName = "korvani";
inline constexpr const char* kSettingsApplicationName = "korvani-gui";
inline constexpr const char* kDisplayName = "Korvani";

// The desktop file ids (without ".desktop") of the two launchers; each window class is the same
// name, as the files' StartupWMClass say.
inline constexpr const char* kConverterDesktopId = "korvani";
inline constexpr const char* kMailWindowDesktopId = "korvani-mail";

enum class GuiMode { Converter, MailWindow };

// Sets the organisation, application and display names of the running application; called
// once, before the first QSettings is made.
void nameTheApplication();

// The desktop file id for the program shown in `mode`.
QString desktopFileId(GuiMode mode);

// Where releases up to 1.0.4 kept the mail window's settings, for lack of an organisation name:
// "Unknown Organization/Korvani" under the settings folder.
inline constexpr const char* kEarlierOrganizationName = "Unknown Organization";
inline constexpr const char* kEarlierApplicationName = "Korvani";

// Copies every key of the earlier settings file into the current one, once: when the earlier
// file exists and the current one has never taken it in (a marker key records that it has, so
// a key the user has cleared since is not brought back). Keys already in the current file are
// kept. Requires nameTheApplication(). Returns the number of keys copied.
int adoptEarlierSettings();

}  // namespace korvani::gui
