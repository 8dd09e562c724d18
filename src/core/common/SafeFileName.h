#pragma once

#include <QByteArray>
#include <QString>

namespace kalent {

// A file name that came from the instrument (the table's 19-character name, the
// protocol's number) is only ever a name: joined to the data folder it must stay
// inside it. Path separators, "..", control characters and zero bytes (on Windows
// also the characters its file system refuses) become '_'; every other character
// stays as the instrument sent it.
namespace SafeFileName {
QString make(const QString &name);
// The instrument's windows-1251 bytes, decoded, then made safe.
QString fromInstrument(const QByteArray &bytes);
} // namespace SafeFileName

} // namespace kalent
