#include "common/FileKind.h"

#include "common/LocalFileName.h"
#include "common/SystemErrorText.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace kalent::FileKind {

QString refusal(const QString &path)
{
#ifdef Q_OS_UNIX
    // The system's own word: QFileInfo counts a FIFO or a device as a file.
    // stat() follows symbolic links: a link to a regular file is one.
    struct stat info = {};
    if (::stat(LocalFileName::encode(path).constData(), &info) != 0) {
        // A loop of links is no file and never becomes one: said here, in
        // Russian, before a write would put a file in the link's place.
        if (errno == ELOOP)
            return SystemErrorText::fromErrno(ELOOP);
        return {}; // nothing there (yet): the open says why it fails
    }
    if (S_ISREG(info.st_mode))
        return {};
    if (S_ISDIR(info.st_mode))
        return SystemErrorText::fromErrno(EISDIR);
    return SystemErrorText::notRegularFile();
#else
    const QFileInfo info(path);
    if (!info.exists() || info.isFile())
        return {};
    if (info.isDir())
        return SystemErrorText::fromErrno(EISDIR);
    return SystemErrorText::notRegularFile();
#endif
}

} // namespace kalent::FileKind
