#pragma once

#include "measurement/PlateTable.h"
#include "store/Reading.h"

#include <QByteArray>
#include <QHash>
#include <QObject>

#include <optional>

namespace kalent {

class ReadingKeeper;
class Session;

// Hands every table and protocol the session receives to the keeper, once its
// described file is written: at once when no automatic save follows, else when
// the automatic save has written its file (the file named in the reading) or
// failed (the reading is kept without it: the store is beside the files, and
// never loses what the files lost). The store's failures go to the journal
// and, once each, to message() for the pane or stderr.
class ReadingRecorder : public QObject
{
    Q_OBJECT
public:
    ReadingRecorder(Session &session, ReadingKeeper &keeper, QObject *parent = nullptr);
    // A table still waiting for its name is kept without it.
    ~ReadingRecorder() override;

    // A file whose automatic save failed is written after all (watch writes it
    // again): the reading, kept without it, is stored again with it.
    void fileWrittenLater(const QString &path);

Q_SIGNALS:
    void message(const QString &text);

private:
    void tableReceived();
    void keepWaitingTable(const QStringList &files);
    void protocolReceived();
    void keepWaitingProtocol(const QStringList &files);
    void say(const QString &text);
    void keepUnfiled(const Reading &reading);
    void autoSaveFailed(const QString &path);

    Session &m_session;
    ReadingKeeper &m_keeper;
    std::optional<PlateTable> m_waitingTable;
    std::optional<QByteArray> m_waitingProtocol;
    // The last reading kept without its file, until the failed save's path is told.
    std::optional<Reading> m_lastUnfiled;
    // By the path its automatic save could not write.
    QHash<QString, Reading> m_unfiled;
};

} // namespace kalent
