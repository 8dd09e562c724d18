#include "common/DataFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>

#include "common/LocalFileName.h"
#include "common/SystemErrorText.h"

#include <QStringDecoder>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

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
    if (keepsFilesBesideProgram(exeDir, builtProgramFolder()))
        return QDir(exeDir).absolutePath();
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation))
        .absolutePath();
}

QString DataFolder::unnameable(const QString &overridePath)
{
#ifdef Q_OS_WIN
    Q_UNUSED(overridePath);
    return {}; // names are UTF-16 there
#else
    const auto utf8 = [](const QByteArray &bytes) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = decoder.decode(bytes);
        Q_UNUSED(text);
        return !decoder.hasError();
    };
    QByteArray base;
    QString where;
    if (!overridePath.isEmpty()) {
        if (QDir::isAbsolutePath(overridePath))
            return {};
        char buffer[4096];
        base = ::getcwd(buffer, sizeof buffer) ? QByteArray(buffer) : QByteArray();
        where = QStringLiteral("текущая папка");
    } else if (keepsFilesBesideProgram(QCoreApplication::applicationDirPath(),
                                       builtProgramFolder())) {
        return {}; // the build's own folder, found by its name
    } else if (!qEnvironmentVariableIsEmpty("XDG_DATA_HOME")) {
        base = qgetenv("XDG_DATA_HOME");
        where = QStringLiteral("XDG_DATA_HOME");
    } else {
        base = qgetenv("HOME");
        where = QStringLiteral("домашняя папка (HOME)");
    }
    if (utf8(base))
        return {};
    return QStringLiteral("Папка данных не может быть выбрана: %1 %2 названа не в UTF-8, и "
                          "программа работала бы в другой папке. Укажите --data-dir полным путём "
                          "в UTF-8.")
        .arg(where, LocalFileName::decode(base));
#endif
}

bool DataFolder::keepsFilesBesideProgram(const QString &exeDir, const QString &builtDir)
{
    if (exeDir.isEmpty() || builtDir.isEmpty())
        return false;
    // Canonical paths: a symbolic link to the build folder is still the build
    // folder, and a copy elsewhere (an installed one) is not, whatever its name.
    const QString running = QFileInfo(exeDir).canonicalFilePath();
    return !running.isEmpty() && running == QFileInfo(builtDir).canonicalFilePath() &&
           QFileInfo(running).isWritable();
}

QString DataFolder::builtProgramFolder()
{
#ifdef KALENT_BUILT_PROGRAM_FOLDER
    return QStringLiteral(KALENT_BUILT_PROGRAM_FOLDER);
#else
    return {};
#endif
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
