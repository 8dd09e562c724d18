#include "database/DatabaseTransfer.h"

#include "common/Clock.h"
#include "common/OperatorTexts.h"
#include "database/DatabaseImage.h"
#include "link/ReceiveDispatcher.h"
#include "link/SerialPort.h"

namespace kalent {

using namespace DatabaseImage;

namespace {
const QString NotRead = QStringLiteral("БД ТС из прибора не считана: ");
// "R", one character the program does not use, then the count as "%3d".
constexpr int FullCountReply = 5;
} // namespace

DatabaseTransfer::DatabaseTransfer(SerialPort &port, ReceiveDispatcher &dispatcher, LineOwner &line,
                                   Clock &clock, QObject *parent)
    : QObject(parent), m_port(port), m_dispatcher(dispatcher), m_line(line),
      m_countRestWait(clock.createTimer()), m_readSilence(clock.createTimer())
{
    dispatcher.subscribe(ReceiveDispatcher::PageCount,
                         [this](QByteArray &b) { handlePageCountReply(b); });
    dispatcher.subscribe(ReceiveDispatcher::DatabasePage,
                         [this](QByteArray &b) { handlePageReply(b); });
    dispatcher.subscribe(ReceiveDispatcher::PageWanted,
                         [this](QByteArray &b) { handlePageWantedReply(b); });
    dispatcher.subscribe(char(ReplyCode::PageRefused),
                         [this](QByteArray &b) { handlePageRefusedReply(b); });
    m_countRestWait->setSingleShot(true);
    m_readSilence->setSingleShot(true);
    connect(m_countRestWait.get(), &Timer::timeout, this, &DatabaseTransfer::countRestWaited);
    connect(m_readSilence.get(), &Timer::timeout, this, &DatabaseTransfer::readFellSilent);
    connect(&m_line, &LineOwner::cancelling, this, &DatabaseTransfer::lineJobStopped);
}

DatabaseTransfer::~DatabaseTransfer() = default;

void DatabaseTransfer::stopTimers()
{
    m_countRestWait->stop();
    m_readSilence->stop();
}

void DatabaseTransfer::dropUnfinishedReply()
{
    // A page or count cut short (a glitch, the instrument switched off mid-read)
    // never completes: every later reply would be appended behind it and no read
    // or write could ever finish. The new request replaces that transfer anyway.
    const QByteArray &in = m_dispatcher.inBuffer();
    if (in.startsWith(ReceiveDispatcher::DatabasePage) ||
        in.startsWith(ReceiveDispatcher::PageCount))
        m_dispatcher.clearInBuffer();
}

bool DatabaseTransfer::startRead()
{
    // One exchange at a time: a read never starts over a write or another read.
    if (!m_line.begin(LineJob::DatabaseRead))
        return false;
    dropUnfinishedReply();
    stopTimers();
    m_received.clear();
    m_phase = Phase::CountAsked;
    m_port.output(QByteArrayLiteral("R"));
    m_readSilence->start(ReadSilenceMs);
    return true;
}

bool DatabaseTransfer::startWrite(const QByteArray &image, int pages)
{
    // The instrument acknowledges every page: a write that hears nothing for
    // this long is given up, and says so, instead of holding the line for ever.
    if (!m_line.begin(LineJob::DatabaseWrite, LineOwner::ReplySilenceMs))
        return false;
    dropUnfinishedReply();
    stopTimers();
    m_received.clear();
    m_outStream = &image;
    m_pageCount = pages;
    m_outPosition = HeaderSize;
    m_pageNo = 1;
    m_phase = Phase::Writing;
    QByteArray start("M");
    start.append(static_cast<char>(pages / 256));
    start.append(static_cast<char>(pages % 256));
    m_port.output(start);
    return true;
}

void DatabaseTransfer::finish(JobOutcome outcome, const QString &why, const QByteArray &image)
{
    const Phase phase = m_phase;
    if (phase == Phase::Idle)
        return;
    m_phase = Phase::Idle;
    stopTimers();
    m_received.clear();
    m_outStream = nullptr;
    const bool write = phase == Phase::Writing;
    m_line.end(write ? LineJob::DatabaseWrite : LineJob::DatabaseRead, outcome, why);
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

void DatabaseTransfer::handlePageCountReply(QByteArray &inBuffer)
{
    // A count nobody asked for starts nothing.
    if (!reading())
        return;
    Q_EMIT countAnswered();
    // The count comes as three characters; a reply cut before them may be only
    // on its way (a line delivers in pieces), so the rest is waited for a moment.
    if (inBuffer.size() < FullCountReply) {
        m_countRestWait->start(CountRestWaitMs);
        return;
    }
    const QByteArray reply = inBuffer;
    inBuffer.clear();
    takePageCount(reply);
}

void DatabaseTransfer::countRestWaited()
{
    if (!m_dispatcher.inBuffer().startsWith(ReceiveDispatcher::PageCount))
        return;
    takePageCount(m_dispatcher.takeInBuffer());
}

void DatabaseTransfer::takePageCount(const QByteArray &reply)
{
    m_countRestWait->stop();
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
    stopTimers();
    m_phase = Phase::Reading;
    m_pageCount = *count;
    m_pageNo = 1;
    // The header always reads back as the count, whatever digits the reply carried.
    m_received = header(*count);
    m_readSilence->start(ReadSilenceMs);
    m_port.output(QByteArrayLiteral("r"));
}

void DatabaseTransfer::handlePageReply(QByteArray &inBuffer)
{
    // A page nobody asked for is dropped instead of blocking every later reply.
    if (m_phase != Phase::Reading || m_pageNo > m_pageCount) {
        inBuffer.clear();
        return;
    }
    if (inBuffer.size() != 1 + PageSize)
        return;
    m_received.append(inBuffer.constData() + 1, PageSize);
    inBuffer.clear();
    m_readSilence->start(ReadSilenceMs);
    Q_EMIT pageReceived(m_pageNo, m_pageCount);
    if (m_pageNo == m_pageCount) {
        const QByteArray image = m_received;
        finish(JobOutcome::Done, QString(), image);
        return;
    }
    ++m_pageNo;
    m_port.output(QByteArrayLiteral("r"));
}

void DatabaseTransfer::readFellSilent()
{
    if (m_phase == Phase::CountAsked)
        finish(JobOutcome::Failed, NotRead + OperatorTexts::noReply() + QLatin1Char('.'));
    else if (m_phase == Phase::Reading)
        finish(JobOutcome::Failed,
               NotRead +
                   QStringLiteral("принято страниц %1 из %2.").arg(m_pageNo - 1).arg(m_pageCount));
}

void DatabaseTransfer::handlePageRefusedReply(QByteArray &inBuffer)
{
    inBuffer.clear();
    // The instrument answered: it will not take the page just sent. Waiting for
    // its "m" would only run into the deadline.
    if (m_phase != Phase::Writing)
        return;
    const int refused = m_pageNo - 1;
    finish(JobOutcome::Failed, refused >= 1
                                   ? QStringLiteral("прибор не принял страницу %1").arg(refused)
                                   : QStringLiteral("прибор не принял начало записи"));
}

void DatabaseTransfer::handlePageWantedReply(QByteArray &inBuffer)
{
    inBuffer.clear();
    if (m_phase != Phase::Writing)
        return;
    if (m_pageCount < m_pageNo) {
        finish(JobOutcome::Done, QString());
        return;
    }
    m_port.output(QByteArrayLiteral("m"));
    // One output() call per byte; the port buffers the calls, so on the line
    // the marker and the page leave as one stream, not byte by byte.
    for (int i = 0; i < PageSize; ++i)
        m_port.output(m_outStream->mid(m_outPosition + i, 1));
    m_outPosition += PageSize;
    Q_EMIT pageSent(m_pageNo, m_pageCount);
    ++m_pageNo;
}

} // namespace kalent
