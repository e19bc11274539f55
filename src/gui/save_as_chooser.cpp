#include "gui/save_as_chooser.h"

#include <QFile>
#include <QFileInfo>

#include "common/cp932_text.h"
#include "common/safe_name.h"
#include "gui/local_path.h"

namespace korvani::gui {
namespace {

std::string toStdString(const QByteArray& bytes) {
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString fromUtf8(const std::string& bytes) {
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

bool SaveAsChooser::chooseOutputFile(const std::string& defaultName, std::string& path) {
  // Only a name that stays in the folder the dialog shows is proposed: a slash in it would make
  // the dialog go elsewhere before the user has looked.
  const SafeName proposal = safeName(defaultName, NameSource::RawBytes);
  const std::string& name = proposal.name;  // empty unless usable
  const QString shown = displayName(name);
  const std::optional<QString> chosen =
      services.saveFile(&dialog, startFolder, shown, defaultSuffixOf(shown));
  if (!chosen) return false;
  path = confirmedPathBytes(platform, *chosen, shown, name);
  existing = !shown.isEmpty() && QFileInfo(*chosen).fileName() == shown
                 ? ExistingEntry::ReplaceEntry
                 : ExistingEntry::ReplaceTarget;
  return true;
}

QString displayName(const std::string& rawName) {
  return fromUtf8(isValidUtf8(rawName) ? rawName : cp932ToUtf8(rawName));
}

QString defaultSuffixOf(const QString& name) {
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  return dot < 0 ? QString() : name.mid(dot + 1);
}

std::string confirmedPathBytes(Platform& platform, const QString& chosen, const QString& shownName,
                               const std::string& rawName) {
  const qsizetype slash = chosen.lastIndexOf(QLatin1Char('/'));
  const QString folder = chosen.left(slash + 1);
  const QString name = chosen.mid(slash + 1);
  const bool asProposed = !shownName.isEmpty() && name == shownName;
  return toStdString(localPathBytes(platform, folder)) +
         (asProposed ? rawName : toStdString(QFile::encodeName(name)));
}

}  // namespace korvani::gui
