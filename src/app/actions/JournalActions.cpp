#include "Actions.h"
#include "HeadlessRun.h"
#include "common/DataFolder.h"
#include "journal/ServiceJournal.h"

#include <QDir>
#include <QFile>

namespace kalent {

namespace {

// A date (local midnight) or a date and time, as the engineer types it.
QDateTime parseSince(const QString &text)
{
    const QDate date = QDate::fromString(text, Qt::ISODate);
    if (date.isValid())
        return date.startOfDay();
    QDateTime stamp = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!stamp.isValid())
        stamp = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm"));
    return stamp;
}

} // namespace

int runJournal(const CommandLine &commandLine)
{
    QDateTime since;
    if (commandLine.has(QStringLiteral("since"))) {
        since = parseSince(commandLine.value(QStringLiteral("since")));
        if (!since.isValid()) {
            return HeadlessRun::usageError(
                commandLine, QStringLiteral("Параметру --since нужна дата, например 2026-05-14 "
                                            "или 2026-05-14T09:30."));
        }
    }
    const DataFolder folder = DataFolder::resolve(commandLine.value(QStringLiteral("data-dir")));
    QFile file(folder.filePath(QLatin1String(ServiceJournal::FileName)));
    if (!file.exists()) {
        HeadlessRun::printError(QStringLiteral("Служебный журнал пока пуст: %1")
                                    .arg(QDir::toNativeSeparators(file.fileName())));
        return 0;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        HeadlessRun::printError(
            QStringLiteral("Не удалось прочитать служебный журнал %1: %2")
                .arg(QDir::toNativeSeparators(file.fileName()), file.errorString()));
        return 1;
    }
    HeadlessRun::writeOut(ServiceJournal::linesSince(file.readAll(), since));
    return 0;
}

} // namespace kalent
