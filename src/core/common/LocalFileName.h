#pragma once

#include <QByteArray>
#include <QString>

namespace kalent {

// File names as the system holds them are bytes; on Linux they need not be
// UTF-8 (a name made under a KOI8-R or windows-1251 locale, "o\xff.bdt"). Qt
// turns every such byte into U+FFFD and back into three other bytes, so a file
// asked for by such a name would be another file. Here each byte that is no
// part of valid UTF-8 is carried as the lone surrogate U+DC80 + byte (as
// Python's "surrogateescape" does; valid UTF-8 never decodes to one), so the
// name goes from the command line to the file system and into messages byte
// for byte. The writers and readers that meet such a name (the file writer,
// the bounded reader, the file-kind check) call the system with encode()'s
// bytes; everywhere else it is an ordinary QString.
namespace LocalFileName {
// The bytes of a command-line word or a file name, decoded losslessly.
QString decode(const QByteArray &bytes);
// The bytes decode() took them from (valid text as UTF-8).
QByteArray encode(const QString &name);
// Whether the name holds bytes that are not UTF-8 (Qt's own calls would
// change it).
bool hasRawBytes(const QString &name);
} // namespace LocalFileName

} // namespace kalent
