#include "store/ReadingQueue.h"

#include "common/AtomicFile.h"
#include "common/BoundedFile.h"
#include "common/DataFolder.h"
#include "common/SystemErrorText.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

namespace kalent {

namespace {

// A protocol's five-digit length, in base64 and JSON, with room to spare.
constexpr qint64 LargestQueuedFile = 1024 * 1024;
const QString Suffix = QStringLiteral(".json");

} // namespace

ReadingQueue::ReadingQueue(const DataFolder &dataFolder)
    : m_folder(dataFolder.filePath(QLatin1String(FolderName)))
{}

QString ReadingQueue::put(const Reading &reading)
{
    if (!QDir().mkpath(m_folder))
        return QStringLiteral("Не удалось создать папку %1.")
            .arg(QDir::toNativeSeparators(m_folder));
    // The time first, zero-padded, so the names sort in the order received.
    const QString name = QStringLiteral("%1-%2")
                             .arg(reading.receivedAt.toMSecsSinceEpoch(), 15, 10, QLatin1Char('0'))
                             .arg(reading.uid) +
                         Suffix;
    return AtomicFile::write(QDir(m_folder).filePath(name),
                             QJsonDocument(reading.toJson()).toJson(QJsonDocument::Compact));
}

QStringList ReadingQueue::pending() const
{
    return QDir(m_folder).entryList({QLatin1Char('*') + Suffix}, QDir::Files, QDir::Name);
}

std::optional<Reading> ReadingQueue::load(const QString &name, QString *error) const
{
    const QString path = QDir(m_folder).filePath(name);
    QByteArray bytes;
    *error = BoundedFile::read(path, LargestQueuedFile, &bytes);
    if (!error->isEmpty())
        return std::nullopt;
    std::optional<Reading> reading = Reading::fromJson(QJsonDocument::fromJson(bytes).object());
    if (!reading)
        *error = QStringLiteral("Файл очереди показаний %1 не читается: он оставлен как есть.")
                     .arg(QDir::toNativeSeparators(path));
    return reading;
}

QString ReadingQueue::remove(const QString &name)
{
    QFile file(QDir(m_folder).filePath(name));
    if (file.remove())
        return {};
    return QStringLiteral("Не удалось убрать из очереди файл %1: %2")
        .arg(QDir::toNativeSeparators(file.fileName()),
             SystemErrorText::translate(file.errorString()));
}

} // namespace kalent
