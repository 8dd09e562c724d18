#include "common/AtomicFile.h"

#include "common/FileSizeLimit.h"
#include "common/SystemErrorText.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kalent::AtomicFile {

namespace {

QString cannotOpen(const QString &shown, const QString &why)
{
    return QStringLiteral("Не удалось открыть файл %1 для записи: %2").arg(shown, why);
}

QString cannotWrite(const QString &shown, const QString &why)
{
    return QStringLiteral("Не удалось записать файл %1: %2").arg(shown, why);
}

// The reason a step of the file failed, in Russian where the system's text is known.
QString reasonOf(const QFileDevice &file)
{
    if (file.error() == QFileDevice::NoError)
        return SystemErrorText::fromErrno(EIO);
    return SystemErrorText::translate(file.errorString());
}

// What stands under the name today, following symbolic links: an empty string
// when a file may be written there, otherwise the reason it may not.
QString refusal(const QString &path)
{
    const QFileInfo target(path);
    if (!target.exists())
        return {}; // a new file, or a link whose target is still to be made
    if (target.isDir())
        return SystemErrorText::fromErrno(EISDIR);
    if (!target.isFile())
        return SystemErrorText::notRegularFile();
    return {};
}

// Pushes the temporary file's bytes from the system's cache to the disk, so a
// rename never publishes a file whose contents are still only in memory.
int syncToDisk(QSaveFile &file)
{
#ifdef Q_OS_WIN
    return _commit(file.handle()) == 0 ? 0 : errno;
#else
    while (::fsync(file.handle()) != 0) {
        if (errno != EINTR)
            return errno;
    }
    return 0;
#endif
}

} // namespace

QString write(const QString &path, const QByteArray &bytes)
{
    return write(path, bytes, {});
}

QString write(const QString &path, const QByteArray &bytes,
              const std::function<void()> &beforeRename)
{
    // A size limit then fails the write below with EFBIG instead of ending the process.
    FileSizeLimit::failWritesInsteadOfSignal();
    const QString shown = QDir::toNativeSeparators(path);
    if (path.isEmpty())
        return cannotOpen(shown, SystemErrorText::fromErrno(ENOENT));
    if (const QString why = refusal(path); !why.isEmpty())
        return cannotWrite(shown, why);

    if (const QFileInfo existing(path); existing.exists() && !existing.isWritable())
        return cannotOpen(shown, SystemErrorText::fromErrno(EACCES));

    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    // Unbuffered: every write reaches the system at once, so a full disk or a
    // size limit shows in the write's own result, not later in a flush that the
    // rename would not wait for.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return cannotOpen(shown, reasonOf(file));
    const auto fail = [&](const QString &why) {
        file.cancelWriting();
        return cannotWrite(shown, why);
    };
    // A write cut short (the disk filled up on the way) is tried again for the
    // rest, which then fails with the system's reason.
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return fail(reasonOf(file));
        done += written;
    }
    if (!file.flush())
        return fail(reasonOf(file));
    if (const int code = syncToDisk(file); code != 0)
        return fail(SystemErrorText::fromErrno(code));

    if (beforeRename)
        beforeRename();
    // A special file may have taken the name while the copy was written.
    if (const QString why = refusal(path); !why.isEmpty())
        return fail(why);
    errno = 0;
    if (!file.commit()) {
        // A failed rename can leave Qt with no text of its own ("Unknown error")
        // while the system's code is still at hand.
        const int code = errno;
        const QString why = reasonOf(file);
        if (why == file.errorString() && code != 0)
            return cannotWrite(shown, SystemErrorText::fromErrno(code));
        return cannotWrite(shown, why);
    }
    return {};
}

} // namespace kalent::AtomicFile
