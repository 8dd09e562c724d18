#include "journal/UnfinishedWrites.h"

#include "common/FileKind.h"
#include "journal/ServiceJournal.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#endif

namespace kalent::UnfinishedWrites {

namespace {

const QString Opening = QStringLiteral("запись БД ТС в прибор; ");
const QString Result = QStringLiteral("итог: ");
const QString Started = QStringLiteral("начата");

bool processRuns(qint64 id)
{
    if (id <= 0)
        return false;
#ifdef Q_OS_WIN
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id));
    if (!process)
        return false;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
#else
    return ::kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
#endif
}

} // namespace

QString openingResult(qint64 processId)
{
    return Started + QStringLiteral(" (процесс %1)").arg(processId);
}

QStringList find(const QByteArray &journalTail)
{
    // A write's lines share everything up to their result: source, pages,
    // fingerprint and backup. Each opening waits for the next line that is not
    // one; lines after that (the check of the read-back) close nothing more.
    QHash<QString, QStringList> open;
    QStringList order;
    static const QRegularExpression process(QStringLiteral("^начата \\(процесс (\\d+)\\)$"));
    for (const QByteArray &raw : journalTail.split('\n')) {
        const QString line = QString::fromUtf8(raw);
        const int tab = static_cast<int>(line.indexOf(QLatin1Char('\t')));
        const QString event = line.mid(tab + 1);
        const int result = static_cast<int>(event.lastIndexOf(Result));
        if (tab < 0 || !event.startsWith(Opening) || result < 0)
            continue;
        const QString key = event.left(result);
        if (event.mid(result + Result.size()).startsWith(Started)) {
            open[key].append(event);
            order.append(key);
        } else if (!open.value(key).isEmpty()) {
            open[key].removeFirst();
        }
    }
    QStringList unfinished;
    for (const QString &key : std::as_const(order)) {
        if (open.value(key).isEmpty())
            continue;
        const QString event = open[key].takeFirst();
        const QRegularExpressionMatch m = process.match(event.mid(key.size() + Result.size()));
        if (!processRuns(m.hasMatch() ? m.captured(1).toLongLong() : 0))
            unfinished.append(event);
    }
    return unfinished;
}

QStringList reportOnce(ServiceJournal &journal)
{
    // Only a regular file is read: a FIFO in the journal's place would block the start.
    QFile file(journal.path());
    if (!FileKind::refusal(journal.path()).isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    if (file.size() > TailBytes)
        file.seek(file.size() - TailBytes);
    QStringList said;
    for (const QString &event : find(file.readAll())) {
        const QString key = event.left(event.lastIndexOf(Result));
        journal.append(key + Result +
                       QStringLiteral("не завершена: программа остановлена посреди записи "
                                      "(найдено при следующем запуске); прибор может держать "
                                      "недописанную БД ТС"));
        said.append(QStringLiteral("Запись БД ТС в прибор не завершена: программа была "
                                   "остановлена посреди неё. Прибор может держать недописанную "
                                   "БД ТС. Запись: %1")
                        .arg(key.mid(Opening.size()).chopped(2)));
    }
    return said;
}

} // namespace kalent::UnfinishedWrites
