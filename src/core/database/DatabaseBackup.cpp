#include "database/DatabaseBackup.h"

#include "common/AtomicFile.h"
#include "common/DataFolder.h"
#include "common/SystemErrorText.h"
#include "journal/ServiceJournal.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

namespace kalent::DatabaseBackup {

QString folder(const DataFolder &dataFolder)
{
    return QDir(dataFolder.path()).filePath(QStringLiteral("backups"));
}

Saved save(const DataFolder &dataFolder, const QDateTime &when, const QByteArray &image)
{
    const QString dir = folder(dataFolder);
    const QFileInfo dirInfo(dir);
    // A file (or anything else) in the folder's place is never replaced.
    if ((dirInfo.exists() || dirInfo.isSymLink()) && !dirInfo.isDir())
        return {QString(),
                QStringLiteral("на месте папки %1 лежит файл.").arg(QDir::toNativeSeparators(dir))};
    errno = 0;
    if (!QDir().mkpath(dir)) {
        // The system's reason (no permission, a read-only or full disk) is said.
        const int code = errno != 0 ? errno : EACCES;
        return {QString(),
                QStringLiteral("не удалось создать папку %1: %2.")
                    .arg(QDir::toNativeSeparators(dir), SystemErrorText::fromErrno(code))};
    }
    const QString stem =
        when.toString(QStringLiteral("yyyy-MM-dd_HHmmss")) + QStringLiteral("_instrument");
    QString path = QDir(dir).filePath(stem + QStringLiteral(".bdt"));
    for (int n = 2; QFileInfo::exists(path) || QFileInfo(path).isSymLink(); ++n)
        path = QDir(dir).filePath(stem + QStringLiteral("_%1.bdt").arg(n));
    if (const QString error = AtomicFile::write(path, image); !error.isEmpty())
        return {QString(), error};
    return {path, QString()};
}

bool isBackup(const DataFolder &dataFolder, const QString &path)
{
    const QString dir = QFileInfo(folder(dataFolder)).canonicalFilePath();
    return !dir.isEmpty() && QFileInfo(QFileInfo(path).canonicalFilePath()).path() == dir;
}

QString journalNote(const QString &path, const QByteArray &image)
{
    return QStringLiteral("резервная копия: %1, %2")
        .arg(QDir::toNativeSeparators(path), ServiceJournal::fingerprint(image));
}

} // namespace kalent::DatabaseBackup
