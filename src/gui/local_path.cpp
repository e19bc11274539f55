#include "gui/local_path.h"

#include <QFile>
#include <QStringList>
#include <QUrl>
#include <memory>
#include <vector>

namespace korvani::gui {
namespace {

// The bytes of the one entry of `folder` that shows as `shown`; `shown` encoded when there is
// not exactly one. Qt's own listings decode names and cannot give them.
QByteArray entryBytes(Platform& platform, const QByteArray& folder, const QString& shown) {
  QByteArray asShown = QFile::encodeName(shown);
  int errorNumber = 0;
  const std::unique_ptr<Folder> held =
      platform.openFolder(folder.toStdString(), false, errorNumber);
  std::vector<FolderEntry> entries;
  if (!held || !held->list(entries, errorNumber)) return asShown;
  QByteArray found;
  int matches = 0;
  for (const FolderEntry& entry : entries) {
    const QByteArray name = QByteArray::fromStdString(entry.name);
    if (QFile::decodeName(name) != shown) continue;
    found = name;
    ++matches;
  }
  return matches == 1 ? found : asShown;
}

}  // namespace

QByteArray localPathBytes(Platform& platform, const QString& path) {
  if (!path.contains(QChar::ReplacementCharacter)) return QFile::encodeName(path);
  const QStringList components = path.split(QLatin1Char('/'));
  QByteArray resolved;
  for (qsizetype i = 0; i < components.size(); ++i) {
    const QString& component = components[i];
    const QByteArray folder = i == 0 ? QByteArray(".") : resolved.isEmpty() ? "/" : resolved;
    if (i > 0) resolved += '/';
    resolved += component.contains(QChar::ReplacementCharacter)
                    ? entryBytes(platform, folder, component)
                    : QFile::encodeName(component);
  }
  return resolved;
}

QByteArray localFileBytes(const QUrl& url) {
  if (!url.host().isEmpty()) return QFile::encodeName(url.toLocalFile());
  return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
}

}  // namespace korvani::gui
