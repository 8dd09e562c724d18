#pragma once

#include "link/ReplyCode.h"
#include "link/ReplyDecoder.h"

#include <QByteArray>
#include <QObject>

#include <array>
#include <functional>
#include <vector>

namespace kalent {

class LineOwner;
class SerialPort;

// The one reader of the port's input. Every comm event checks the link first
// and feeds what arrived to the decoder; once the port's queue is empty, every
// whole message the decoder yields goes to the listeners of its code, in the
// order they subscribed (emptying the buffer, as the operations that start an
// exchange do, drops only a reply left unfinished), and the reply still collecting (if any) is
// shown to its listeners as it stands, for progress. A notice ("measured", "results ready") that
// comes while the line's owner runs a job waits in the owner's queue and is served after the job,
// in order.
class ReceiveDispatcher : public QObject
{
    Q_OBJECT
public:
    // Every reply code the instrument sends; each is routed to its feature.
    static constexpr char FileName = char(ReplyCode::FileName);
    static constexpr char ContactAnswer = char(ReplyCode::ContactAnswer);
    static constexpr char DensityBlock = char(ReplyCode::DensityBlock);
    static constexpr char DensitiesMeasured = char(ReplyCode::DensitiesMeasured);
    static constexpr char StartupReport = char(ReplyCode::StartupReport);
    static constexpr char ProtocolLength = char(ReplyCode::ProtocolLength);
    static constexpr char PageCount = char(ReplyCode::PageCount);
    static constexpr char ProtocolText = char(ReplyCode::ProtocolText);
    static constexpr char ResultsReady = char(ReplyCode::ResultsReady);
    static constexpr char PageWanted = char(ReplyCode::PageWanted);
    static constexpr char DatabasePage = char(ReplyCode::DatabasePage);

    static constexpr int LongestReply = ReplyDecoder::LongestReply;

    // A listener gets its own copy of the message (whole, or still collecting
    // when its length is not reached); what it does with the copy is its own.
    using ReplyHandler = std::function<void(QByteArray &reply)>;
    using LinkCheck = std::function<bool()>;

    ReceiveDispatcher(SerialPort &port, LinkCheck checkLink, QObject *parent = nullptr);

    // Adds a listener for the messages that start with code.
    void subscribe(char code, ReplyHandler handler);
    // Where the protocol text's length comes from (the last "N" reply).
    void setProtocolLengthQuery(std::function<int()> query) { m_protocolLength = std::move(query); }
    // Notices wait for the job running on the line (none until one is set).
    void setLineOwner(LineOwner *owner) { m_owner = owner; }

    // What has been read and not yet handled: a reply still collecting.
    const QByteArray &inBuffer() const { return m_decoder.pending(); }
    // The operations that start an exchange empty the buffer themselves.
    void clearInBuffer() { m_decoder.clear(); }
    // The unread remainder, removed (a page count cut short, after its wait).
    QByteArray takeInBuffer() { return m_decoder.takePending(); }

    // The port's comm event (MSComm1Comm).
    void onCommEvent();

Q_SIGNALS:
    // Bytes arrived from the instrument (the running job's deadline restarts).
    void bytesArrived();

private:
    void deliver(const QByteArray &message);
    int protocolLength() const { return m_protocolLength ? m_protocolLength() : 0; }

    SerialPort &m_port;
    LinkCheck m_checkLink;
    ReplyDecoder m_decoder;
    std::function<int()> m_protocolLength;
    LineOwner *m_owner = nullptr;
    std::array<std::vector<ReplyHandler>, 256> m_handlers;
};

} // namespace kalent
