#include "gui/application_identity.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSettings>

namespace korvani::gui {
namespace {

const QString kEarlierSettingsTakenKey = QStringLiteral("settings/earlierFileTaken");

}  // namespace

void nameTheApplication() {
  QCoreApplication::setOrganizationName(QString::fromUtf8(kOrganizationName));
  QCoreApplication::setApplicationName(QString::fromUtf8(kSettingsApplicationName));
  QGuiApplication::setApplicationDisplayName(QString::fromUtf8(kDisplayName));
}

QString desktopFileId(GuiMode mode) {
  return QString::fromUtf8(mode == GuiMode::MailWindow ? kMailWindowDesktopId
                                                       : kConverterDesktopId);
}

int adoptEarlierSettings() {
  QSettings current;
  if (current.value(kEarlierSettingsTakenKey).toBool()) return 0;
  const QSettings earlier(QString::fromUtf8(kEarlierOrganizationName),
                          QString::fromUtf8(kEarlierApplicationName));
  // QSettings reads a missing file as an empty one; only a file that is there is taken in.
  if (!QFileInfo::exists(earlier.fileName())) return 0;
  int copied = 0;
  for (const QString& key : earlier.allKeys()) {
    if (current.contains(key)) continue;
    current.setValue(key, earlier.value(key));
    ++copied;
  }
  current.setValue(kEarlierSettingsTakenKey, true);
  current.sync();
  return copied;
}

}  // namespace korvani::gui
