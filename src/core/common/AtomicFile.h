#pragma once

#include <QByteArray>
#include <QString>

namespace kalent {

// Writes a file whole or not at all (QSaveFile): a failed or interrupted write
// leaves the previous file exactly as it was.
namespace AtomicFile {
// Returns an empty string on success, otherwise a sentence saying what failed.
QString write(const QString &path, const QByteArray &bytes);
} // namespace AtomicFile

} // namespace kalent
