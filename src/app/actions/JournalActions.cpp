#include "Actions.h"
#include "HeadlessRun.h"
#include "common/DataFolder.h"
#include "common/FileKind.h"
#include "common/SystemErrorText.h"
#include "journal/JournalFilter.h"
#include "journal/ServiceJournal.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace kalent {

namespace {

// Read and written piece by piece: the journal only ever grows, and showing it
// never takes memory in proportion to its size.
constexpr qint64 PieceBytes = 64 * 1024;

} // namespace

int runJournal(const CommandLine &commandLine)
{
    QDateTime since;
    if (commandLine.has(QStringLiteral("since"))) {
        since = JournalFilter::parseSince(commandLine.value(QStringLiteral("since")));
        if (!since.isValid()) {
            return HeadlessRun::usageError(
                commandLine, QStringLiteral("Параметру --since нужна дата ГГГГ-ММ-ДД или дата и "
                                            "время ГГГГ-ММ-ДДTЧЧ:ММ[:СС], например 2026-05-14 "
                                            "или 2026-05-14T09:30."));
        }
    }
    // Reading the journal creates nothing: not the data folder, not the file.
    const QString path =
        QDir(DataFolder::resolvedPath(commandLine.value(QStringLiteral("data-dir"))))
            .filePath(QLatin1String(ServiceJournal::FileName));
    const auto cannotRead = [&path](const QString &why) {
        HeadlessRun::printError(QStringLiteral("Не удалось прочитать служебный журнал %1: %2")
                                    .arg(QDir::toNativeSeparators(path), why));
        return 1;
    };
    if (const QString why = FileKind::refusal(path); !why.isEmpty())
        return cannotRead(why);
    QFile file(path);
    if (!file.exists()) {
        HeadlessRun::printError(
            QStringLiteral("Служебный журнал пока пуст: %1").arg(QDir::toNativeSeparators(path)));
        return 0;
    }
    if (!file.open(QIODevice::ReadOnly))
        return cannotRead(SystemErrorText::translate(file.errorString()));

    bool outputFailed = false;
    JournalFilter filter(since, [&outputFailed](const char *data, qint64 size) {
        if (!outputFailed &&
            std::fwrite(data, 1, static_cast<size_t>(size), stdout) != static_cast<size_t>(size))
            outputFailed = true;
    });
    QByteArray piece(PieceBytes, Qt::Uninitialized);
    for (;;) {
        const qint64 got = file.read(piece.data(), PieceBytes);
        if (got < 0)
            return cannotRead(SystemErrorText::translate(file.errorString()));
        if (got == 0)
            break;
        filter.feed(piece.constData(), got);
        if (outputFailed)
            break;
    }
    filter.finish();
    if (outputFailed || std::fflush(stdout) != 0) {
        HeadlessRun::printError(QStringLiteral("Не удалось вывести служебный журнал."));
        return 1;
    }
    return 0;
}

} // namespace kalent
