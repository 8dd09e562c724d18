#pragma once

#include <QByteArray>
#include <QString>

namespace kalent::test {

// A file's whole contents, or "<missing>" when it cannot be opened (so a missing
// file never compares equal to an empty one).
QByteArray readFile(const QString &path);
// Writes the bytes whole; false when any step fails.
bool writeFile(const QString &path, const QByteArray &bytes);

} // namespace kalent::test
