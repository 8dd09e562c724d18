#pragma once

#include "link/LineOwner.h"
#include "link/ReplyEvents.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace kalent {

class ReceiveDispatcher;

// The test-system database's transfers with the instrument, bytes and pages
// only. A read asks the page count ("R", answered "R", one byte not used and
// the count) and then each page ("r", answered "r" and 528 bytes); it ends with
// the header and every page as one image. A write announces its pages ("M" and
// the count, high byte first) and sends "m" and a page for every "m" the
// instrument sends, until one comes after the last page; an "x" instead refuses
// the page just sent and ends the write at once. Each holds the line
// while it runs and ends with exactly one outcome signal. What becomes of the
// image, and what the page shows around it, belongs to the database page.
class DatabaseTransfer : public QObject
{
    Q_OBJECT
public:
    enum class Phase { Idle, CountAsked, Reading, Writing };

    // How long a read waits for the instrument's next byte before the line's
    // owner gives it up.
    static constexpr int ReadSilenceMs = 5000;

    // Every byte goes out through the line's owner, which also keeps the deadline.
    DatabaseTransfer(ReceiveDispatcher &dispatcher, LineOwner &line, QObject *parent = nullptr);
    ~DatabaseTransfer() override;

    Phase phase() const { return m_phase; }
    bool reading() const { return m_phase == Phase::CountAsked || m_phase == Phase::Reading; }
    bool writing() const { return m_phase == Phase::Writing; }
    // The page asked for or sent next (from 1), and the pages of the transfer.
    int pageNo() const { return m_pageNo; }
    int pageCount() const { return m_pageCount; }

    // Start a read or a write of image (pages of 528 bytes behind the header).
    // False when another exchange holds the line: nothing is sent. The image is
    // the caller's write input, held by it unchanged until writeEnded.
    bool startRead();
    bool startWrite(const QByteArray &image, int pages);

    // The replies R, r and m (registered with the dispatcher).
    void handlePageCountReply(const Message &reply);
    void handlePageReply(const Message &page);
    void handlePageWantedReply(const Message &wanted);
    // "x" instead of "m": the page just sent was refused; the write stops at once.
    void handlePageRefusedReply();

Q_SIGNALS:
    // The page count came: the read goes on.
    void countAnswered();
    // Page pageNo of pageCount arrived (read) or went out (write).
    void pageReceived(int pageNo, int pageCount);
    void pageSent(int pageNo, int pageCount);
    // A read ended. Done: image holds the header and every page. Otherwise why
    // says it for the operator (empty when the instrument announced no pages).
    void readEnded(kalent::JobOutcome outcome, const QByteArray &image, const QString &why);
    // A write ended. Done: the instrument asked past the last page.
    void writeEnded(kalent::JobOutcome outcome, const QString &why);

private:
    void takePageCount(const QByteArray &reply);
    // What the read's silence means for the operator, as far as it came.
    QString readSilence() const;
    // Ends the running transfer: the line is given back, then the signal goes.
    void finish(JobOutcome outcome, const QString &why, const QByteArray &image = QByteArray());
    void finish(JobOutcome outcome, JobReason reason, const QString &why,
                const QByteArray &image = QByteArray());
    void lineJobStopped(LineJob job, JobOutcome outcome, const QString &reason);

    LineOwner &m_line;

    Phase m_phase = Phase::Idle;
    int m_pageNo = 0;
    int m_pageCount = 0;
    QByteArray m_received;                   // the read under way: header, then the pages so far
    const QByteArray *m_outStream = nullptr; // the image being written
    qint64 m_outPosition = 0;
};

} // namespace kalent
