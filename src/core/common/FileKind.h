#pragma once

#include <QString>

namespace kalent {

// Every file the program reads or appends to is a regular file (or a symbolic
// link to one). Anything else under the name is refused before it is opened:
// opening a FIFO blocks until a writer comes, a device never ends or swallows
// what is written, a folder is not a file. Looking first is what keeps an
// action from hanging on a wrong name.
namespace FileKind {
// Why the thing at `path` is not a regular file, in Russian ("это папка, а не
// файл", "это не обычный файл (устройство, канал или сокет)"); empty when it is
// a regular file or nothing is there yet.
QString refusal(const QString &path);
} // namespace FileKind

} // namespace kalent
