#include "journal/ServiceJournal.h"

#include "common/DataFolder.h"
#include "common/DiskSync.h"
#include "common/FileKind.h"
#include "common/FileLock.h"
#include "common/FileSizeLimit.h"
#include "common/SystemErrorText.h"
#include "journal/JournalFilter.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace kalent {

namespace {

// The line's text on one line whatever the event said.
QString oneLine(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

// Appends one line whole or not at all. The bytes go out in one unbuffered
// write; one that the disk or a size limit cuts short is taken back (the file
// is cut to the size it had), so no half line is ever left that reads as if an
// event began. A last line left without its end by an older crash or power cut
// is ended first, so the new line starts a line of its own and is read as one.
// Several processes append (the window, watch, the command line): each holds
// the file's lock from the look at its size to the end, so a cut-back never
// takes another's line. Returns an empty string, or the reason in Russian.
QString appendWhole(const QString &path, const QByteArray &line,
                    const std::function<void()> &beforeCutBack)
{
    // Only a regular file is the journal: a FIFO in its place would block the
    // program on open, a device would swallow the lines.
    if (const QString why = FileKind::refusal(path); !why.isEmpty())
        return why;
    // Opened for each line in append mode: whatever happened to the file between
    // two events (moved, replaced), earlier lines are never touched.
    QFile file(path);
    // Read too, for its last byte; a journal that may only be written to is
    // appended to without that look.
    const bool readable =
        file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered);
    if (!readable && !file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return SystemErrorText::translate(file.errorString());
    const FileLock lock(file.handle());
    const qint64 before = file.size();
    QByteArray bytes = line;
    char last = '\n';
    if (readable && before > 0 && file.seek(before - 1) && file.read(&last, 1) == 1 && last != '\n')
        bytes.prepend('\n');
    errno = 0;
    const qint64 written = file.write(bytes);
    const int code = errno;
    if (written != bytes.size()) {
        const QString why = code != 0 ? SystemErrorText::fromErrno(code)
                                      : SystemErrorText::translate(file.errorString());
        if (beforeCutBack)
            beforeCutBack();
        // Only bytes this append added are taken away: the file is as it was.
        file.resize(before);
        return why.isEmpty() ? SystemErrorText::fromErrno(EIO) : why;
    }
    if (const int syncCode = DiskSync::toDisk(file.handle()); syncCode != 0)
        return SystemErrorText::fromErrno(syncCode);
    return {};
}

} // namespace

ServiceJournal::ServiceJournal(const DataFolder &dataFolder, QObject *parent)
    : QObject(parent), m_path(dataFolder.filePath(QLatin1String(FileName)))
{}

bool ServiceJournal::append(const QString &event)
{
    const QString failure = tryAppend(event);
    if (failure.isEmpty())
        return true;
    Q_EMIT appendFailed(failure);
    return false;
}

QString ServiceJournal::tryAppend(const QString &event)
{
    // A size limit fails the write (and is said) instead of ending the process mid-line.
    FileSizeLimit::failWritesInsteadOfSignal();
    const QByteArray line = (QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs) +
                             QLatin1Char('\t') + oneLine(event) + QLatin1Char('\n'))
                                .toUtf8();
    const QString failure = appendWhole(m_path, line, m_beforeCutBack);
    if (failure.isEmpty())
        return {};
    return QStringLiteral("Не удалось дописать служебный журнал %1: %2")
        .arg(QDir::toNativeSeparators(m_path), failure);
}

QByteArray ServiceJournal::linesSince(const QByteArray &journalText, const QDateTime &since)
{
    QByteArray out;
    JournalFilter filter(since, [&out](const char *data, qint64 size) { out.append(data, size); });
    filter.feed(journalText.constData(), journalText.size());
    filter.finish();
    return out;
}

QString ServiceJournal::fingerprint(const QByteArray &bytes)
{
    return QStringLiteral("sha256 ") +
           QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QString ServiceJournal::databaseWrite(const QString &source, int pages, const QByteArray &image,
                                      const QString &result, const QString &backup)
{
    return QStringLiteral("запись БД ТС в прибор; источник: %1; страниц: %2; %3; %4итог: %5")
        .arg(source)
        .arg(pages)
        .arg(fingerprint(image), backup.isEmpty() ? QString() : backup + QStringLiteral("; "),
             result);
}

QString ServiceJournal::firmwareUpload(const QString &file, const QByteArray &image,
                                       const QString &result)
{
    quint32 sum = 0;
    for (char c : image)
        sum += static_cast<unsigned char>(c);
    return QStringLiteral("загрузка ПО в прибор; файл: %1; размер: %2; сумма: %3; %4; итог: %5")
        .arg(QDir::toNativeSeparators(file))
        .arg(image.size())
        .arg(QStringLiteral("%1").arg(sum % 65536, 4, 16, QLatin1Char('0')).toUpper())
        .arg(fingerprint(image), result);
}

QString ServiceJournal::fileSaved(const QString &chain, const QString &path)
{
    return QStringLiteral("автоматическое сохранение; %1; файл: %2")
        .arg(chain, QDir::toNativeSeparators(path));
}

} // namespace kalent
