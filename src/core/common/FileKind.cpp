#include "common/FileKind.h"

#include "common/SystemErrorText.h"

#include <QFileInfo>

#include <cerrno>

namespace kalent::FileKind {

QString refusal(const QString &path)
{
    // QFileInfo follows symbolic links: a link to a regular file is one.
    const QFileInfo info(path);
    if (!info.exists() || info.isFile())
        return {};
    if (info.isDir())
        return SystemErrorText::fromErrno(EISDIR);
    return SystemErrorText::notRegularFile();
}

} // namespace kalent::FileKind
