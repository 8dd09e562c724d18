#include "journal/DataRecords.h"

#include "common/LocalFileName.h"
#include "common/ResolvedPath.h"
#include "database/DatabaseBackup.h"
#include "journal/ServiceJournal.h"
#include "store/ReadingQueue.h"
#include "store/StoreLocation.h"

#include <QDir>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace kalent::DataRecords {

namespace {

// Whether two names are one file on the disk: a hard link has a name of its
// own that no path comparison sees. Names not there (yet) are no file.
bool sameInode([[maybe_unused]] const QString &a, [[maybe_unused]] const QString &b)
{
#ifdef Q_OS_UNIX
    struct stat first = {};
    struct stat second = {};
    return ::stat(LocalFileName::encode(a).constData(), &first) == 0 &&
           ::stat(LocalFileName::encode(b).constData(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
#else
    return false;
#endif
}

// The folder a file at path would go in, as the system would reach it.
QString folderOf(const QString &resolved)
{
    const int slash = static_cast<int>(resolved.lastIndexOf(QLatin1Char('/')));
    return slash <= 0 ? QStringLiteral("/") : resolved.left(slash);
}

} // namespace

QString overlap(const QString &dataFolderPath, const QString &path)
{
    if (path.isEmpty() || dataFolderPath.isEmpty())
        return {};
    const QDir folder(dataFolderPath);
    const QString journal = folder.filePath(QLatin1String(ServiceJournal::FileName));
    const QString backups = folder.filePath(QLatin1String(DatabaseBackup::FolderName));
    const QString target = ResolvedPath::of(path);
    if (target == ResolvedPath::of(journal) || sameInode(path, journal))
        return QStringLiteral("это служебный журнал %1").arg(QDir::toNativeSeparators(journal));
    // The folder itself (a file in its place would stop every backup) or any
    // file at any depth inside it, a temporary copy beside a target included.
    const QString records = ResolvedPath::of(backups);
    const QString landing = folderOf(target);
    if (target == records || target.startsWith(records + QLatin1Char('/')) ||
        sameInode(landing, backups))
        return QStringLiteral("это папка резервных копий БД ТС %1 или файл в ней")
            .arg(QDir::toNativeSeparators(backups));
    // The readings store (with SQLite's own files beside it) and the readings
    // waiting for it.
    const QString store = ResolvedPath::of(folder.filePath(QLatin1String(StoreLocation::FileName)));
    if (target == store || target.startsWith(store + QLatin1Char('-')))
        return QStringLiteral("это хранилище показаний %1").arg(QDir::toNativeSeparators(store));
    const QString queue =
        ResolvedPath::of(folder.filePath(QLatin1String(ReadingQueue::FolderName)));
    if (target == queue || target.startsWith(queue + QLatin1Char('/')))
        return QStringLiteral("это очередь показаний %1 или файл в ней")
            .arg(QDir::toNativeSeparators(queue));
    return {};
}

QString optionRefusal(const QString &dataFolderPath, const QString &option, const QString &path)
{
    const QString why = overlap(dataFolderPath, path);
    if (why.isEmpty())
        return {};
    return QStringLiteral("--%1 %2: %3. Журнал и резервные копии папки данных, хранилище "
                          "показаний и очередь к нему ничем другим не заменяются и не "
                          "дописываются; укажите другой файл.")
        .arg(option, QDir::toNativeSeparators(path), why);
}

QString saveRefusal(const QString &dataFolderPath, const QString &path)
{
    const QString why = overlap(dataFolderPath, path);
    if (why.isEmpty())
        return {};
    return QStringLiteral("Файл %1 не записан: %2; записи папки данных ничем другим не заменяются.")
        .arg(QDir::toNativeSeparators(path), why);
}

} // namespace kalent::DataRecords
