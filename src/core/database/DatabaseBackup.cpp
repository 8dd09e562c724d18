#include "database/DatabaseBackup.h"

#include "common/AtomicFile.h"
#include "common/DataFolder.h"
#include "common/SystemErrorText.h"
#include "journal/ServiceJournal.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

namespace kalent::DatabaseBackup {

namespace {
// Far more than any number of writes one second can hold; a bound all the same.
constexpr int MostInOneSecond = 9999;
} // namespace

QString folder(const DataFolder &dataFolder)
{
    return QDir(dataFolder.path()).filePath(QLatin1String(FolderName));
}

Saved save(const DataFolder &dataFolder, const QDateTime &when, const QByteArray &image,
           const std::function<void()> &beforePublish)
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
    // Each name is taken by creating the file exclusively: another process
    // saving in the same second gets the next name, never this file.
    for (int n = 1; n <= MostInOneSecond; ++n) {
        const QString path = QDir(dir).filePath(
            stem + (n == 1 ? QString() : QStringLiteral("_%1").arg(n)) + QStringLiteral(".bdt"));
        if (QFileInfo(path).isSymLink())
            continue;
        bool taken = false;
        const QString error = AtomicFile::writeNew(path, image, &taken, beforePublish);
        if (!error.isEmpty())
            return {QString(), error};
        if (!taken)
            return {path, QString()};
    }
    return {QString(), QStringLiteral("в папке %1 уже есть %2 резервных копий этой секунды.")
                           .arg(QDir::toNativeSeparators(dir))
                           .arg(MostInOneSecond)};
}

QString journalNote(const QString &path, const QByteArray &image)
{
    return QStringLiteral("резервная копия: %1, %2")
        .arg(QDir::toNativeSeparators(path), ServiceJournal::fingerprint(image));
}

} // namespace kalent::DatabaseBackup
