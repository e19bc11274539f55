// Paths as the file system spells them.
//
// Qt hands paths around as text. A file name whose bytes are not valid UTF-8 becomes text with
// replacement characters, which no longer names the file: encoding it back gives other bytes.
// These functions recover the bytes, so that any file the user can pick can also be opened.
#pragma once

#include <QByteArray>
#include <QString>

#include "platform/platform.h"

class QUrl;

namespace korvani::gui {

// The bytes of `path`. Each component holding a replacement character (U+FFFD) is looked up in
// its folder, listed through `platform`: the one entry whose name shows as that component gives
// its bytes. A component
// without one, one that matches no entry or more than one, and everything where a folder
// cannot be read, is encoded as it stands (QFile::encodeName).
QByteArray localPathBytes(Platform& platform, const QString& path);

// The bytes of a local file URL's path, straight from its percent-encoding (file:///a/%FF is
// "/a/\xff"); a URL naming a host gets QFile::encodeName of its local file form.
QByteArray localFileBytes(const QUrl& url);

}  // namespace korvani::gui
