#pragma once

#include "link/ReplyDecoder.h"
#include "link/ReplyEvents.h"

#include <QObject>

#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace kalent {

class LineOwner;
class SerialPort;

// The one reader of the port's input. Every comm event checks the link first
// and feeds what arrived to the decoder; once the port's queue is empty, the
// decoder's events go out: every whole message to the listeners of its code,
// in the order they subscribed, and every progress (a reply growing, and its
// last step just before it is whole) to the progress listeners. Handlers
// never see a partial reply, nor one no job asked for (the line's owner drops
// and says it). A notice ("measured", "results ready") that comes
// while the line's owner runs a job waits in the owner's queue and is served
// after the job, in order.
//
// A new exchange starts on a clean line: when the owner starts a job, a reply
// left unfinished by the last one is dropped. A page count cut short is taken
// as it stands when its rest has not come within PageCountRestMs, a wait run
// by the line's owner.
class ReceiveDispatcher : public QObject
{
    Q_OBJECT
public:
    static constexpr int PageCountRestMs = 100;

    using MessageHandler = std::function<void(const Message &message)>;
    using ProgressHandler = std::function<void(const ReplyProgress &progress)>;
    using LinkCheck = std::function<bool()>;

    // Notices wait for the job running on the owner's line; each job the owner
    // starts begins on a clean line.
    ReceiveDispatcher(SerialPort &port, LineOwner &owner, LinkCheck checkLink,
                      QObject *parent = nullptr);
    ~ReceiveDispatcher() override;

    // Adds a listener for the whole messages that start with code.
    void subscribe(ReplyCode code, MessageHandler handler);
    // Adds a listener for the progress of every reply.
    void subscribeProgress(ProgressHandler handler);

    // The reply still collecting, if any.
    std::optional<ReplyProgress> collecting() const { return m_decoder.collecting(); }
    // A reply still collecting never completes: a probe replaces whatever the
    // line was doing, or the input was discarded.
    void dropUnfinishedReply();
    // The text length the last protocol-length reply announced.
    int protocolLength() const { return m_decoder.protocolLength(); }

    // The port's comm event (MSComm1Comm).
    void onCommEvent();

private:
    void dispatch(std::vector<ReplyEvent> events);
    void deliver(const Message &message);
    void pageCountRestWaited();

    SerialPort &m_port;
    LinkCheck m_checkLink;
    ReplyDecoder m_decoder;
    LineOwner &m_owner;
    std::array<std::vector<MessageHandler>, 256> m_handlers;
    std::vector<ProgressHandler> m_progressHandlers;
};

} // namespace kalent
