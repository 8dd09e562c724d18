#include "database/DatabaseTransfer.h"

#include "database/DatabaseImage.h"
#include "link/ReceiveDispatcher.h"

namespace kalent {

using namespace DatabaseImage;

namespace {
const QString NotRead = QStringLiteral("БД ТС из прибора не считана: ");
} // namespace

DatabaseTransfer::DatabaseTransfer(ReceiveDispatcher &dispatcher, LineOwner &line, QObject *parent)
    : QObject(parent), m_line(line)
{
    dispatcher.subscribe(ReplyCode::PageCount,
                         [this](const Message &m) { handlePageCountReply(m); });
    dispatcher.subscribe(ReplyCode::DatabasePage, [this](const Message &m) { handlePageReply(m); });
    dispatcher.subscribe(ReplyCode::PageWanted,
                         [this](const Message &m) { handlePageWantedReply(m); });
    dispatcher.subscribe(ReplyCode::PageRefused,
                         [this](const Message &) { handlePageRefusedReply(); });
    // The count starts to come (it may be cut short, and is taken after a wait).
    dispatcher.subscribeProgress([this](const ReplyProgress &progress) {
        if (progress.code == ReplyCode::PageCount && reading())
            Q_EMIT countAnswered();
    });
    connect(&m_line, &LineOwner::cancelling, this, &DatabaseTransfer::lineJobStopped);
}

DatabaseTransfer::~DatabaseTransfer() = default;

bool DatabaseTransfer::startRead()
{
    // One exchange at a time: a read never starts over a write or another read.
    if (!m_line.begin(LineJob::DatabaseRead, ReadSilenceMs, [this] { return readSilence(); }))
        return false;
    m_received.clear();
    m_phase = Phase::CountAsked;
    m_line.send(LineJob::DatabaseRead, QByteArrayLiteral("R"));
    return true;
}

bool DatabaseTransfer::startWrite(const QByteArray &image, int pages)
{
    // The instrument acknowledges every page: a write that hears nothing for
    // this long is given up, and says so, instead of holding the line for ever.
    if (!m_line.begin(LineJob::DatabaseWrite, LineOwner::ReplySilenceMs))
        return false;
    m_received.clear();
    m_outStream = &image;
    m_pageCount = pages;
    m_outPosition = HeaderSize;
    m_pageNo = 1;
    m_phase = Phase::Writing;
    QByteArray start("M");
    start.append(static_cast<char>(pages / 256));
    start.append(static_cast<char>(pages % 256));
    m_line.send(LineJob::DatabaseWrite, start);
    return true;
}

void DatabaseTransfer::finish(JobOutcome outcome, const QString &why, const QByteArray &image)
{
    finish(outcome, JobReason::BadReply, why, image);
}

void DatabaseTransfer::finish(JobOutcome outcome, JobReason reason, const QString &why,
                              const QByteArray &image)
{
    const Phase phase = m_phase;
    if (phase == Phase::Idle)
        return;
    m_phase = Phase::Idle;
    m_received.clear();
    m_outStream = nullptr;
    const bool write = phase == Phase::Writing;
    const LineJob job = write ? LineJob::DatabaseWrite : LineJob::DatabaseRead;
    // A failure of no more precise kind (or one the line's owner is stopping
    // for its own reason) takes the owner's reason.
    if (reason == JobReason::BadReply)
        m_line.end(job, outcome, why);
    else
        m_line.end(job, JobResult{outcome, reason, why});
    if (write)
        Q_EMIT writeEnded(outcome, why);
    else
        Q_EMIT readEnded(outcome, image, why);
}

void DatabaseTransfer::lineJobStopped(LineJob job, JobOutcome outcome, const QString &reason)
{
    if (job == LineJob::DatabaseRead && reading())
        finish(outcome, NotRead + reason + QLatin1Char('.'));
    else if (job == LineJob::DatabaseWrite && writing())
        finish(outcome, reason);
}

void DatabaseTransfer::handlePageCountReply(const Message &reply)
{
    // A count nobody asked for starts nothing.
    if (!reading())
        return;
    takePageCount(reply.bytes);
}

void DatabaseTransfer::takePageCount(const QByteArray &reply)
{
    const std::optional<int> count = parseDecimal(reply.mid(2));
    if (!count) {
        finish(JobOutcome::Failed,
               QStringLiteral("Прибор ответил на запрос числа страниц БД ТС не числом."));
        return;
    }
    if (*count > MaxPages) {
        finish(JobOutcome::Failed,
               QStringLiteral("Прибор сообщил %1 страниц БД ТС: больше 999 не помещается в "
                              "заголовок, чтение отменено.")
                   .arg(*count));
        return;
    }
    if (*count < 1) {
        // Nothing more happens: no text, the instrument list stays.
        finish(JobOutcome::Failed, QString());
        return;
    }
    m_phase = Phase::Reading;
    m_pageCount = *count;
    m_pageNo = 1;
    // The header always reads back as the count, whatever digits the reply carried.
    m_received = header(*count);
    m_line.send(LineJob::DatabaseRead, QByteArrayLiteral("r"));
}

void DatabaseTransfer::handlePageReply(const Message &page)
{
    // A page nobody asked for is dropped.
    if (m_phase != Phase::Reading || m_pageNo > m_pageCount)
        return;
    m_received.append(page.bytes.constData() + 1, PageSize);
    Q_EMIT pageReceived(m_pageNo, m_pageCount);
    if (m_pageNo == m_pageCount) {
        const QByteArray image = m_received;
        finish(JobOutcome::Done, QString(), image);
        return;
    }
    ++m_pageNo;
    m_line.send(LineJob::DatabaseRead, QByteArrayLiteral("r"));
}

QString DatabaseTransfer::readSilence() const
{
    if (m_phase == Phase::Reading)
        return QStringLiteral("принято страниц %1 из %2").arg(m_pageNo - 1).arg(m_pageCount);
    return LineOwner::noAnswer();
}

void DatabaseTransfer::handlePageRefusedReply()
{
    // The instrument answered: it will not take the page just sent. Waiting for
    // its "m" would only run into the deadline.
    if (m_phase != Phase::Writing)
        return;
    const int refused = m_pageNo - 1;
    finish(JobOutcome::Failed, JobReason::Refused,
           refused >= 1 ? QStringLiteral("прибор не принял страницу %1").arg(refused)
                        : QStringLiteral("прибор не принял начало записи"));
}

void DatabaseTransfer::handlePageWantedReply(const Message &)
{
    if (m_phase != Phase::Writing)
        return;
    if (m_pageCount < m_pageNo) {
        finish(JobOutcome::Done, QString());
        return;
    }
    m_line.send(LineJob::DatabaseWrite, QByteArrayLiteral("m"));
    // One send per byte; the port buffers them, so on the line the marker and
    // the page leave as one stream, not byte by byte.
    for (int i = 0; i < PageSize; ++i)
        m_line.send(LineJob::DatabaseWrite, m_outStream->mid(m_outPosition + i, 1));
    m_outPosition += PageSize;
    Q_EMIT pageSent(m_pageNo, m_pageCount);
    ++m_pageNo;
}

} // namespace kalent
