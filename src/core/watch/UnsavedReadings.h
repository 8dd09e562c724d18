#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

namespace kalent {

class Clock;
class ServiceJournal;
class Timer;

// The readings unattended collection received but could not save (a folder in
// the file's place, the data folder gone or made immutable, a full disk): kept
// in memory and written again every RetryMs, each failure and each late save
// journalled. What still cannot be written when the collection ends is lost:
// journalled with what it was (file, size, fingerprint), and counted, so the
// program's exit status says so. Nothing is lost silently.
class UnsavedReadings : public QObject
{
    Q_OBJECT
public:
    static constexpr int RetryMs = 5000;
    // Kept at most; an older one beyond is given up (journalled as lost).
    static constexpr int MostKept = 10000;

    UnsavedReadings(Clock &clock, ServiceJournal &journal, QObject *parent = nullptr);
    ~UnsavedReadings() override;

    // A reading whose file at path could not be written (why, in Russian). A
    // newer reading for the same file takes the older one's place, as its save
    // would have.
    void keep(const QString &path, const QByteArray &bytes, const QString &why);
    // Tries each kept reading once more; returns how many are still unsaved.
    int retry();
    // The end: a last try, then every reading still unsaved is lost. Returns
    // how many were lost in all.
    int finish();
    int kept() const { return static_cast<int>(m_kept.size()); }
    int lost() const { return m_lost; }

Q_SIGNALS:
    // A kept reading is now written whole.
    void saved(const QString &path);
    // Something for the operator.
    void message(const QString &text);

private:
    struct Reading
    {
        QString path;
        QByteArray bytes;
    };
    void lose(const Reading &reading, const QString &why);
    static QString described(const Reading &reading);

    ServiceJournal &m_journal;
    std::unique_ptr<Timer> m_retryTimer;
    QList<Reading> m_kept;
    int m_lost = 0;
};

} // namespace kalent
