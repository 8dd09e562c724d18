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
    const QString exeDir = QCoreApplication::applicationDirPath();
    if (!exeDir.isEmpty() && QFileInfo(exeDir).isWritable())
        return DataFolder(exeDir);
    return DataFolder(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
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
