#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace kalent {

// The one writer of every file the program produces. A file is written whole or
// not at all: the bytes go to a temporary file beside the target, each step
// (open, write, flush, sync to disk, rename over the target) is checked, and only
// a copy that reached the disk replaces the old file. Whatever fails, the old
// file stays byte for byte as it was and the caller gets a Russian sentence that
// names the file and the reason.
//
// Only a regular file (or a symbolic link to one, which is written through and
// kept) is ever replaced: a folder, a device node, a FIFO or a socket under the
// name is refused and left as it was.
//
// There is no direct-write fallback. A folder that refuses the temporary file or
// the rename (a read-only or locked folder, some network shares) gets an error:
// writing into the old file in place would empty it first, and a failure on the
// way would lose it, which is exactly what this writer exists to prevent.
namespace AtomicFile {
// Returns an empty string on success, otherwise the sentence saying what failed.
QString write(const QString &path, const QByteArray &bytes);
// The same, running beforeRename once the bytes are on the disk in the temporary
// file and just before it replaces the target (lets a test change the folder
// between the two steps).
QString write(const QString &path, const QByteArray &bytes,
              const std::function<void()> &beforeRename);

// Writes a new file that nobody else may hold: the copy is made as above and
// then given the name only if the name is free, in one step of the system (no
// look first, no rename over a file that came in between). When the name is
// taken *taken is set and nothing is written (no error); another name is the
// caller's to choose. beforePublish runs just before the name is taken (a test
// puts a rival file there).
QString writeNew(const QString &path, const QByteArray &bytes, bool *taken,
                 const std::function<void()> &beforePublish = {});
} // namespace AtomicFile

} // namespace kalent
