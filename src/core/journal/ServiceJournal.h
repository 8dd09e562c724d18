#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>

namespace kalent {

class DataFolder;

// How a flow that writes to the instrument (a database, a firmware image) stores
// its opening line: the journal is the service record, so the line is stored
// before the first byte goes out, and when it cannot be the flow does not start.
// Returns an empty string, or the sentence saying why the line was not stored.
using JournalGate = std::function<QString(const QString &line)>;

// The service journal: a text file in the data folder ("ServiceJournal.txt")
// that only ever grows, one line per event, each line starting with the UTC time
// ("2026-05-14T09:31:02.118Z", then a tab). Every line is appended in one write
// and synced to the disk before append() returns, so a program killed right
// after loses nothing already reported. A line is stored whole or not at all: an
// append that a full disk or a size limit cuts short is taken back, and a last
// line left open by an older crash is ended before the next one. A failed
// append is said with its reason (appendFailed); earlier lines are never
// changed. Appends of every process are serialised by a lock on the file, so
// a cut-back only ever takes its own bytes.
class ServiceJournal : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *FileName = "ServiceJournal.txt";

    explicit ServiceJournal(const DataFolder &dataFolder, QObject *parent = nullptr);
    QString path() const { return m_path; }

    // Returns false (after appendFailed) when the line could not be stored.
    bool append(const QString &event);
    // The same without the signal: empty, or the sentence saying why not.
    QString tryAppend(const QString &event);

    // The lines of a journal's text stamped at or after `since` (an invalid time:
    // all lines). Lines without a readable time are kept: nothing is hidden.
    static QByteArray linesSince(const QByteArray &journalText, const QDateTime &since);

    // Event texts, shared by the window's flows and the command line's.
    static QString fingerprint(const QByteArray &bytes);
    // backup: what was saved before the write (the backup's file and fingerprint);
    // left out of the line when empty.
    static QString databaseWrite(const QString &source, int pages, const QByteArray &image,
                                 const QString &result, const QString &backup = QString());
    static QString firmwareUpload(const QString &file, const QByteArray &image,
                                  const QString &result);
    static QString fileSaved(const QString &chain, const QString &path);

    // Runs between a failed write and its cut-back, with the file's lock held
    // (lets a test append from elsewhere just then).
    void setBeforeCutBack(std::function<void()> hook) { m_beforeCutBack = std::move(hook); }

Q_SIGNALS:
    void appendFailed(const QString &message);

private:
    QString m_path;
    std::function<void()> m_beforeCutBack;
};

} // namespace kalent
