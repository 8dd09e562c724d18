#pragma once

#include <QByteArray>
#include <QString>

namespace kalent {

// Reads an input file that has a largest valid size (a database image, a
// firmware image). A larger file is refused before anything is read, and a file
// still growing is never read past the bound: at most one byte more than a
// valid file can hold, which is how it is found too large. So a wrong choice
// never fills the memory. Anything but a regular file (a folder, a FIFO, a
// device) is refused before it is opened.
namespace BoundedFile {
// Returns an empty string and the whole file in *bytes, or a Russian sentence
// that names the file and the reason (and *bytes empty).
QString read(const QString &path, qint64 maxBytes, QByteArray *bytes);
} // namespace BoundedFile

} // namespace kalent
