#include "common/AtomicFile.h"

#include "common/DiskSync.h"
#include "common/FileKind.h"
#include "common/FileSizeLimit.h"
#include "common/LocalFileName.h"
#include "common/OperatorTexts.h"
#include "common/SystemErrorText.h"
#include "common/WriteAll.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

#ifdef Q_OS_WIN
#include <QRandomGenerator>
#include <QThread>
#include <windows.h>
#else
#include <QRandomGenerator>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
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
    return OperatorTexts::cannotWriteFile(shown, why);
}

// The reason a step of the file failed, in Russian where the system's text is known.
[[maybe_unused]] QString reasonOf(const QFileDevice &file)
{
    if (file.error() == QFileDevice::NoError)
        return SystemErrorText::fromErrno(EIO);
    return SystemErrorText::translate(file.errorString());
}

// What stands under the name today, following symbolic links: an empty string
// when a file may be written there, otherwise the reason it may not.
QString refusal(const QString &path)
{
    // A loop of symbolic links (QFileInfo sees nothing there) would be
    // replaced by a regular file of the program's own.
    if (const QString why = FileKind::refusal(path); !why.isEmpty())
        return why;
    if (LocalFileName::hasRawBytes(path))
        return {}; // QFileInfo would look at another name; FileKind looked at this one
    const QFileInfo target(path);
    if (!target.exists())
        return {}; // a new file, or a link whose target is still to be made
    if (target.isDir())
        return SystemErrorText::fromErrno(EISDIR);
    if (!target.isFile())
        return SystemErrorText::notRegularFile();
    return {};
}

#ifdef Q_OS_WIN
// QSaveFile's rename on Windows neither waits for the disk nor survives a
// virus scanner or an indexer holding the target for a moment, so on Windows
// the copy is made, flushed and moved in place with the system's own calls.

// How long a target held open by another program is waited for: scanners and
// indexers let go within a second; a program that keeps it open (a spreadsheet
// showing the file) makes the write fail, and the old file stays.
constexpr int ReplaceAttempts = 20;
constexpr unsigned long ReplacePauseMs = 50;

std::wstring wide(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

bool heldByAnother(DWORD code)
{
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ||
           code == ERROR_ACCESS_DENIED;
}

// The temporary copy beside the target (so the move stays on one volume),
// removed again unless it became the target.
class TemporaryCopy
{
public:
    explicit TemporaryCopy(const QString &target)
    {
        for (int attempt = 0; attempt < 100 && m_handle == INVALID_HANDLE_VALUE; ++attempt) {
            m_path = QStringLiteral("%1.%2.tmp")
                         .arg(target)
                         .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
            m_handle = CreateFileW(wide(m_path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
            m_error = m_handle == INVALID_HANDLE_VALUE ? GetLastError() : 0;
            if (m_error != ERROR_FILE_EXISTS && m_error != ERROR_ALREADY_EXISTS)
                break;
        }
    }
    ~TemporaryCopy()
    {
        closeHandle();
        if (!m_published)
            DeleteFileW(wide(m_path).c_str());
    }
    TemporaryCopy(const TemporaryCopy &) = delete;
    TemporaryCopy &operator=(const TemporaryCopy &) = delete;

    // Each returns 0 or the system's error code.
    DWORD openError() const { return m_error; }
    DWORD write(const QByteArray &bytes)
    {
        for (qint64 done = 0; done < bytes.size();) {
            const DWORD chunk = static_cast<DWORD>(qMin<qint64>(bytes.size() - done, 1 << 20));
            DWORD written = 0;
            if (!WriteFile(m_handle, bytes.constData() + done, chunk, &written, nullptr))
                return GetLastError();
            if (written == 0)
                return ERROR_DISK_FULL;
            done += written;
        }
        return 0;
    }
    // From the system's cache to the disk, so the move never publishes a file
    // whose contents are still only in memory.
    DWORD flushAndClose()
    {
        if (!FlushFileBuffers(m_handle))
            return GetLastError();
        const HANDLE handle = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        return CloseHandle(handle) ? 0 : GetLastError();
    }
    // One step: the copy takes the target's name, the old file goes with it.
    DWORD replace(const QString &target)
    {
        DWORD code = 0;
        for (int attempt = 0; attempt < ReplaceAttempts; ++attempt) {
            if (MoveFileExW(wide(m_path).c_str(), wide(target).c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                m_published = true;
                return 0;
            }
            code = GetLastError();
            if (!heldByAnother(code))
                return code;
            QThread::msleep(ReplacePauseMs);
        }
        return code;
    }

    // The copy takes the target's name only if nothing holds it.
    DWORD publishNew(const QString &target)
    {
        if (!MoveFileExW(wide(m_path).c_str(), wide(target).c_str(), MOVEFILE_WRITE_THROUGH))
            return GetLastError();
        m_published = true;
        return 0;
    }

private:
    void closeHandle()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }

    QString m_path;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    DWORD m_error = 0;
    bool m_published = false;
};

QString writeReplacing(const QString &path, const QString &shown, const QByteArray &bytes,
                       const std::function<void()> &beforeRename)
{
    // A symbolic link is written through and kept, as QSaveFile does elsewhere.
    const QFileInfo info(path);
    const QString target = info.isSymbolicLink() ? info.symLinkTarget() : path;
    TemporaryCopy copy(target);
    if (const DWORD code = copy.openError(); code != 0)
        return cannotOpen(shown, SystemErrorText::fromWindowsError(code));
    if (const DWORD code = copy.write(bytes); code != 0)
        return cannotWrite(shown, SystemErrorText::fromWindowsError(code));
    if (const DWORD code = copy.flushAndClose(); code != 0)
        return cannotWrite(shown, SystemErrorText::fromWindowsError(code));
    if (beforeRename)
        beforeRename();
    // Something else may have taken the name while the copy was written.
    if (const QString why = refusal(path); !why.isEmpty())
        return cannotWrite(shown, why);
    if (const DWORD code = copy.replace(target); code != 0)
        return cannotWrite(shown, SystemErrorText::fromWindowsError(code));
    return {};
}

QString writeNewFile(const QString &path, const QString &shown, const QByteArray &bytes,
                     bool *taken, const std::function<void()> &beforePublish)
{
    TemporaryCopy copy(path);
    if (const DWORD code = copy.openError(); code != 0)
        return cannotOpen(shown, SystemErrorText::fromWindowsError(code));
    if (const DWORD code = copy.write(bytes); code != 0)
        return cannotWrite(shown, SystemErrorText::fromWindowsError(code));
    if (const DWORD code = copy.flushAndClose(); code != 0)
        return cannotWrite(shown, SystemErrorText::fromWindowsError(code));
    if (beforePublish)
        beforePublish();
    const DWORD code = copy.publishNew(path);
    if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) {
        *taken = true;
        return {};
    }
    return code == 0 ? QString() : cannotWrite(shown, SystemErrorText::fromWindowsError(code));
}
#else
// The copy at temporary takes the name target only if nothing holds it: a hard
// link fails on a name that exists, in one step; a file system without hard
// links gets the rename that refuses to replace. Returns 0 or the system's code.
int publishNew(const QByteArray &temporary, const QByteArray &target)
{
    if (::link(temporary.constData(), target.constData()) == 0) {
        ::unlink(temporary.constData());
        return 0;
    }
    const int code = errno;
#ifdef RENAME_NOREPLACE
    if (code == EEXIST)
        return EEXIST;
    if (::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD, target.constData(),
                    RENAME_NOREPLACE) == 0)
        return 0;
    return errno;
#else
    return code;
#endif
}

// A new file beside target (so the rename stays on one file system), under a
// name nobody holds, made exclusively: its handle and in *temporary its name,
// or -1 with errno saying why.
int openTemporaryBeside(const QByteArray &target, QByteArray *temporary)
{
    int handle = -1;
    for (int attempt = 0; attempt < 100 && handle < 0; ++attempt) {
        *temporary =
            target + '.' +
            QByteArray::number(QRandomGenerator::global()->generate(), 16).rightJustified(8, '0');
        handle = ::open(temporary->constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (handle < 0 && errno != EEXIST)
            break;
    }
    return handle;
}

// Writes the bytes, pushes them to the disk (a rename must never publish a file
// whose contents are only in memory) and closes the handle, whatever happens.
// Returns 0, or the system's code of the first step that failed.
int fillAndClose(int handle, const QByteArray &bytes)
{
    int code = writeAll(handle, bytes);
    if (code == 0)
        code = DiskSync::toDisk(handle);
    if (::close(handle) != 0 && code == 0)
        code = errno;
    return code;
}

// Removes the temporary copy and says why the write failed.
QString discard(const QByteArray &temporary, const QString &shown, int code)
{
    ::unlink(temporary.constData());
    return cannotWrite(shown, SystemErrorText::fromErrno(code != 0 ? code : EIO));
}

QString writeNewFile(const QString &path, const QString &shown, const QByteArray &bytes,
                     bool *taken, const std::function<void()> &beforePublish)
{
    const QByteArray target = LocalFileName::encode(path);
    QByteArray temporary;
    const int handle = openTemporaryBeside(target, &temporary);
    if (handle < 0)
        return cannotOpen(shown, SystemErrorText::fromErrno(errno));
    if (const int code = fillAndClose(handle, bytes); code != 0)
        return discard(temporary, shown, code);
    if (beforePublish)
        beforePublish();
    const int code = publishNew(temporary, target);
    if (code == EEXIST) {
        ::unlink(temporary.constData());
        *taken = true;
        return {};
    }
    return code == 0 ? QString() : discard(temporary, shown, code);
}

// A name Qt cannot spell (bytes that are not UTF-8) is written with the
// system's own calls on those bytes, in the same steps: a copy beside the
// target, written, synced and closed, then renamed over it. A symbolic link
// is written through, as QSaveFile does for other names.
QString writeUnderRawName(const QString &path, const QString &shown, const QByteArray &bytes,
                          const std::function<void()> &beforeRename)
{
    QByteArray target = LocalFileName::encode(path);
    struct stat link = {};
    if (::lstat(target.constData(), &link) == 0 && S_ISLNK(link.st_mode)) {
        if (char *real = ::realpath(target.constData(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    if (::access(target.constData(), F_OK) == 0 && ::access(target.constData(), W_OK) != 0)
        return cannotOpen(shown, SystemErrorText::fromErrno(EACCES));
    QByteArray temporary;
    const int handle = openTemporaryBeside(target, &temporary);
    if (handle < 0)
        return cannotOpen(shown, SystemErrorText::fromErrno(errno));
    // The new copy keeps the old file's permissions (a private file stays
    // private), as QSaveFile does for other names.
    if (struct stat old = {};
        ::stat(target.constData(), &old) == 0 && ::fchmod(handle, old.st_mode & 07777) != 0) {
        const int code = errno;
        ::close(handle);
        return discard(temporary, shown, code);
    }
    if (const int code = fillAndClose(handle, bytes); code != 0)
        return discard(temporary, shown, code);
    if (beforeRename)
        beforeRename();
    if (const QString why = refusal(path); !why.isEmpty()) {
        ::unlink(temporary.constData());
        return cannotWrite(shown, why);
    }
    if (::rename(temporary.constData(), target.constData()) != 0)
        return discard(temporary, shown, errno);
    return {};
}
#endif

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
#ifndef Q_OS_WIN
    if (LocalFileName::hasRawBytes(path))
        return writeUnderRawName(path, shown, bytes, beforeRename);
#endif

    if (const QFileInfo existing(path); existing.exists() && !existing.isWritable())
        return cannotOpen(shown, SystemErrorText::fromErrno(EACCES));

#ifdef Q_OS_WIN
    return writeReplacing(path, shown, bytes, beforeRename);
#else
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
    // From the system's cache to the disk, so the rename never publishes a file
    // whose contents are still only in memory.
    if (const int code = DiskSync::toDisk(file.handle()); code != 0)
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
#endif
}

QString writeNew(const QString &path, const QByteArray &bytes, bool *taken,
                 const std::function<void()> &beforePublish)
{
    FileSizeLimit::failWritesInsteadOfSignal();
    *taken = false;
    const QString shown = QDir::toNativeSeparators(path);
    if (path.isEmpty())
        return cannotOpen(shown, SystemErrorText::fromErrno(ENOENT));
    return writeNewFile(path, shown, bytes, taken, beforePublish);
}

} // namespace kalent::AtomicFile
