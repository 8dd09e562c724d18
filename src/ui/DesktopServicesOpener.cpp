#include "DesktopServicesOpener.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace kalent {

namespace {
constexpr int StartTimeoutMs = 5000;
constexpr int StopTimeoutMs = 1000;
} // namespace

DesktopServicesOpener::~DesktopServicesOpener()
{
    // The program is closing: nobody is left to hear a refusal. An application
    // that xdg-open already started goes on without it.
    for (QProcess *process : m_running.findChildren<QProcess *>()) {
        process->disconnect();
        process->kill();
        process->waitForFinished(StopTimeoutMs);
    }
}

int DesktopServicesOpener::runningCount() const
{
    int count = 0;
    for (const QProcess *process : m_running.findChildren<QProcess *>())
        count += process->state() != QProcess::NotRunning ? 1 : 0;
    return count;
}

bool DesktopServicesOpener::openWithDesktop(const QString &path)
{
    return openWatched(path, {});
}

bool DesktopServicesOpener::openWatched(const QString &path, Refusal refused)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!xdgOpen.isEmpty()) {
        auto *process = new QProcess(&m_running);
        process->setProgram(xdgOpen);
        process->setArguments({path});
        process->setStandardInputFile(QProcess::nullDevice());
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        QObject::connect(process, &QProcess::finished, process,
                         [process, refused](int exitCode, QProcess::ExitStatus status) {
                             process->deleteLater();
                             if (!refused)
                                 return;
                             if (status == QProcess::CrashExit)
                                 refused(
                                     QStringLiteral("Программа xdg-open завершилась аварийно."));
                             else if (exitCode != 0)
                                 refused(exitReason(exitCode));
                         });
        process->start();
        if (!process->waitForStarted(StartTimeoutMs)) {
            process->disconnect();
            process->deleteLater();
            return false;
        }
        return true;
    }
#endif
    Q_UNUSED(refused);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

QString DesktopServicesOpener::exitReason(int exitCode)
{
    switch (exitCode) {
    case 1:
        return QStringLiteral("Программа xdg-open не приняла запрос (код 1).");
    case 2:
        return QStringLiteral("Программа xdg-open не нашла файл (код 2).");
    case 3:
        return QStringLiteral("Не найдена программа, нужная для открытия файла (код 3).");
    case 4:
        return QStringLiteral(
            "В системе нет приложения для файлов этого типа, или оно не запустилось (код 4).");
    default:
        return QStringLiteral("Программа xdg-open завершилась с ошибкой (код %1).").arg(exitCode);
    }
}

} // namespace kalent
