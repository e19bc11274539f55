#include "gui/local_path.h"

#include <dirent.h>

#include <QFile>
#include <QStringList>
#include <QUrl>
#include <memory>

namespace korvani::gui {
namespace {

struct CloseFolder {
  void operator()(DIR* folder) const { closedir(folder); }
};
using FolderHandle = std::unique_ptr<DIR, CloseFolder>;

// The bytes of the one entry of `folder` that shows as `shown`; `shown` encoded when there is
// not exactly one. Qt's own listings decode names and cannot give them.
QByteArray entryBytes(const QByteArray& folder, const QString& shown) {
  QByteArray asShown = QFile::encodeName(shown);
  const FolderHandle handle(opendir(folder.constData()));
  if (!handle) return asShown;
  QByteArray found;
  int matches = 0;
  while (const dirent* entry = readdir(handle.get())) {
    if (QFile::decodeName(entry->d_name) != shown) continue;
    found = entry->d_name;
    ++matches;
  }
  return matches == 1 ? found : asShown;
}

}  // namespace

QByteArray localPathBytes(const QString& path) {
  if (!path.contains(QChar::ReplacementCharacter)) return QFile::encodeName(path);
  const QStringList components = path.split(QLatin1Char('/'));
  QByteArray resolved;
  for (qsizetype i = 0; i < components.size(); ++i) {
    const QString& component = components[i];
    const QByteArray folder = i == 0 ? QByteArray(".") : resolved.isEmpty() ? "/" : resolved;
    if (i > 0) resolved += '/';
    resolved += component.contains(QChar::ReplacementCharacter) ? entryBytes(folder, component)
                                                                : QFile::encodeName(component);
  }
  return resolved;
}

QByteArray localFileBytes(const QUrl& url) {
  if (!url.host().isEmpty()) return QFile::encodeName(url.toLocalFile());
  return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
}

}  // namespace korvani::gui
