#include "journal/ServiceJournal.h"

#include "common/DataFolder.h"
#include "common/FileKind.h"
#include "common/SystemErrorText.h"
#include "journal/JournalFilter.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kalent {

namespace {

// The line's text on one line whatever the event said.
QString oneLine(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

bool syncToDisk(QFile &file)
{
#ifdef Q_OS_WIN
    return _commit(file.handle()) == 0;
#else
    int result;
    do
        result = ::fsync(file.handle());
    while (result != 0 && errno == EINTR);
    return result == 0;
#endif
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
    const QByteArray line = (QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs) +
                             QLatin1Char('\t') + oneLine(event) + QLatin1Char('\n'))
                                .toUtf8();
    // Opened for each line in append mode: whatever happened to the file between
    // two events (moved, replaced), earlier lines are never touched.
    QFile file(m_path);
    QString failure;
    // Only a regular file is the journal: a FIFO in its place would block the
    // program on open, a device would swallow the lines.
    if (const QString why = FileKind::refusal(m_path); !why.isEmpty())
        failure = why;
    else if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        failure = SystemErrorText::translate(file.errorString());
    else if (file.write(line) != line.size() || !file.flush())
        failure = SystemErrorText::translate(file.errorString());
    else if (!syncToDisk(file))
        failure = SystemErrorText::fromErrno(errno);
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
                                      const QString &result)
{
    return QStringLiteral("запись БД ТС в прибор; источник: %1; страниц: %2; %3; итог: %4")
        .arg(source)
        .arg(pages)
        .arg(fingerprint(image), result);
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
