#include "common/DataFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>

#include "common/SystemErrorText.h"

namespace kalent {

DataFolder::DataFolder(const QString &path) : m_path(QDir(path).absolutePath())
{
    QDir().mkpath(m_path);
}

DataFolder DataFolder::resolve(const QString &overridePath)
{
    return DataFolder(resolvedPath(overridePath));
}

QString DataFolder::resolvedPath(const QString &overridePath)
{
    if (!overridePath.isEmpty())
        return QDir(overridePath).absolutePath();
    const QString exeDir = QCoreApplication::applicationDirPath();
    if (programFolderUsable(exeDir))
        return QDir(exeDir).absolutePath();
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation))
        .absolutePath();
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

QString DataFolder::cannotTakeFiles() const
{
    const auto reason = [](const QFile &file) {
        const QString why = SystemErrorText::translate(file.errorString());
        return why.isEmpty() ? SystemErrorText::fromErrno(EIO) : why;
    };
    QTemporaryFile probe(QDir(m_path).filePath(QStringLiteral(".kalent-probe-XXXXXX")));
    if (!probe.open())
        return reason(probe);
    // A byte written and flushed is what a full disk or a size limit refuses.
    if (probe.write("0", 1) != 1 || !probe.flush())
        return reason(probe);
    return {};
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
