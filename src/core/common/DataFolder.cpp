#include "common/DataFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace kalent {

DataFolder::DataFolder(const QString &path) : m_path(QDir(path).absolutePath())
{
    QDir().mkpath(m_path);
}

DataFolder DataFolder::resolve(const QString &overridePath)
{
    if (!overridePath.isEmpty())
        return DataFolder(overridePath);
#ifndef Q_OS_WIN
    const QString exeDir = QCoreApplication::applicationDirPath();
    if (programFolderUsable(exeDir))
        return DataFolder(exeDir);
#endif
    return DataFolder(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
}

bool DataFolder::programFolderUsable(const QString &exeDir)
{
    if (exeDir.isEmpty() || !QFileInfo(exeDir).isWritable())
        return false;
    const QString folder = QFileInfo(exeDir).canonicalFilePath();
    static const QStringList systemFolders = {
        QStringLiteral("/bin"),           QStringLiteral("/sbin"),
        QStringLiteral("/usr/bin"),       QStringLiteral("/usr/sbin"),
        QStringLiteral("/usr/local/bin"), QStringLiteral("/usr/local/sbin"),
        QStringLiteral("/usr/games"),
    };
    return !systemFolders.contains(folder);
}

QString DataFolder::filePath(const QString &fileName) const
{
    return QDir(m_path).filePath(fileName);
}

QString DataFolder::filesInVirant() const
{
    return QDir(m_path).filePath(QStringLiteral("FilesInVirant"));
}

QString DataFolder::ensureFilesInVirant() const
{
    const QString folder = filesInVirant();
    QDir().mkpath(folder);
    return folder;
}

} // namespace kalent
