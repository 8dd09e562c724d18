#pragma once

#include <QByteArray>
#include <QObject>

#include <array>
#include <functional>

namespace kalent {

class SerialPort;

// The one reader of the port's input. Every comm event checks the link first,
// appends what arrived to InBuffer, and once the port's queue is empty hands the
// buffer to the handler of its first byte. A handler leaves the buffer alone to
// keep collecting, or empties it when the reply is done. A first byte with no
// handler (noise, byte 0) empties the buffer. The buffer never grows past the
// longest reply the instrument can send (the results protocol, whose length has
// five digits): what would go beyond can be no reply and is dropped, so a
// babbling line costs no memory.
class ReceiveDispatcher : public QObject
{
    Q_OBJECT
public:
    // Every reply code the instrument sends; each is routed to its feature.
    enum ReplyCode : char {
        FileName = '2',
        ContactAnswer = 'B',
        DensityBlock = 'D',
        DensitiesMeasured = 'G',
        StartupReport = 'L',
        ProtocolLength = 'N',
        PageCount = 'R',
        ProtocolText = 'd',
        ResultsReady = 'g',
        PageWanted = 'm',
        DatabasePage = 'r',
    };

    // The longest legal reply: "d", a text of up to 99,997 bytes and a final byte.
    static constexpr int LongestReply = 99999;

    using ReplyHandler = std::function<void(QByteArray &inBuffer)>;
    using LinkCheck = std::function<bool()>;

    ReceiveDispatcher(SerialPort &port, LinkCheck checkLink, QObject *parent = nullptr);

    void setReplyHandler(char code, ReplyHandler handler);

    const QByteArray &inBuffer() const { return m_inBuffer; }
    // The operations that start an exchange empty the buffer themselves.
    void clearInBuffer() { m_inBuffer.clear(); }

    // The port's comm event (MSComm1Comm).
    void onCommEvent();

private:
    SerialPort &m_port;
    LinkCheck m_checkLink;
    QByteArray m_inBuffer;
    std::array<ReplyHandler, 256> m_handlers;
};

} // namespace kalent
