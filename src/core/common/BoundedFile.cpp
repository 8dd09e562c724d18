#include "common/BoundedFile.h"

#include "common/FileKind.h"
#include "common/LocalFileName.h"
#include "common/OperatorTexts.h"
#include "common/SystemErrorText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#ifndef Q_OS_WIN
#include <fcntl.h>
#endif

namespace kalent::BoundedFile {

namespace {

constexpr qint64 ChunkBytes = 1 << 20;

QString cannotRead(const QString &path, const QString &why)
{
    return OperatorTexts::cannotReadFile(QDir::toNativeSeparators(path), why);
}

QString reasonOf(const QFile &file)
{
    const QString why = SystemErrorText::translate(file.errorString());
    return why.isEmpty() ? SystemErrorText::fromErrno(EIO) : why;
}

int openRaw(const QString &path)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    errno = ENOENT; // Windows names come as UTF-16 and are never escaped
    return -1;
#else
    int handle;
    do
        handle = ::open(LocalFileName::encode(path).constData(), O_RDONLY | O_CLOEXEC);
    while (handle < 0 && errno == EINTR);
    return handle;
#endif
}

} // namespace

QString read(const QString &path, qint64 maxBytes, QByteArray *bytes)
{
    bytes->clear();
    // A FIFO would block the open until a writer came, a device never ends: only
    // a regular file is read.
    if (const QString why = FileKind::refusal(path); !why.isEmpty())
        return cannotRead(path, why);
    const QFileInfo info(path);
    // A regular file tells its size: a larger one is refused unread.
    if (!LocalFileName::hasRawBytes(path) && info.isFile() && info.size() > maxBytes)
        return cannotRead(path, SystemErrorText::tooLarge(maxBytes));

    QFile file(path);
    if (LocalFileName::hasRawBytes(path)) {
        // Qt would open another name: the system opens the bytes asked for.
        const int handle = openRaw(path);
        if (handle < 0)
            return cannotRead(path, SystemErrorText::fromErrno(errno));
        if (!file.open(handle, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
            return cannotRead(path, reasonOf(file));
    } else if (!file.open(QIODevice::ReadOnly)) {
        return cannotRead(path, reasonOf(file));
    }

    // One byte past the bound is enough to know the input is too large.
    const qint64 wanted = maxBytes + 1;
    QByteArray data;
    while (data.size() < wanted) {
        const qint64 before = data.size();
        const qint64 step = qMin(ChunkBytes, wanted - before);
        data.resize(before + step);
        const qint64 got = file.read(data.data() + before, step);
        if (got < 0)
            return cannotRead(path, reasonOf(file));
        data.resize(before + got);
        if (got == 0)
            break; // the end of the file
    }
    if (data.size() > maxBytes)
        return cannotRead(path, SystemErrorText::tooLarge(maxBytes));
    *bytes = std::move(data);
    return {};
}

} // namespace kalent::BoundedFile
