#include "link/ReplyDecoder.h"

namespace kalent {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The page count carries "%3d": a longer count (refused later as too large)
// still belongs to the reply, as its digits do; anything else starts anew.
constexpr int LongestPageCount = 16;

// The protocol length in force once message has been read.
int protocolLengthAfter(const QByteArray &message, int protocolLength)
{
    if (message.at(0) != char(ReplyCode::ProtocolLength))
        return protocolLength;
    return ReplyDecoder::announcedLength(message).value_or(protocolLength);
}

} // namespace

int ReplyDecoder::lengthOf(char code, int protocolLength)
{
    switch (static_cast<ReplyCode>(code)) {
    case ReplyCode::ContactAnswer:
    case ReplyCode::DensitiesMeasured:
    case ReplyCode::StartupReport:
    case ReplyCode::ResultsReady:
    case ReplyCode::PageWanted:
    case ReplyCode::PageRefused:
        return 1;
    case ReplyCode::FileName:
        return ReplyLength::FileName;
    case ReplyCode::DensityBlock:
        return ReplyLength::DensityBlock;
    case ReplyCode::ProtocolLength:
        return ReplyLength::ProtocolLength;
    case ReplyCode::DatabasePage:
        return ReplyLength::DatabasePage;
    case ReplyCode::ProtocolText:
        return protocolLength >= 1 ? protocolLength : -1;
    case ReplyCode::PageCount:
        return -1;
    }
    return 0;
}

std::optional<int> ReplyDecoder::announcedLength(const QByteArray &lengthReply)
{
    if (lengthReply.size() != ReplyLength::ProtocolLength)
        return std::nullopt;
    bool isNumber = false;
    const int length = lengthReply.mid(1, 5).toInt(&isNumber, 10);
    if (!isNumber)
        return std::nullopt;
    return length;
}

void ReplyDecoder::feed(const QByteArray &piece)
{
    if (piece.isEmpty())
        m_pending.append('\0');
    else if (m_pending.size() + piece.size() > ReplyLength::Longest)
        // No reply is this long: what was collected and the piece that overran it
        // are noise (a reply that starts in the middle of the piece is lost with it,
        // as noise in front of a reply loses the reply).
        m_pending.clear();
    else
        m_pending.append(piece);
}

std::vector<ReplyEvent> ReplyDecoder::decode()
{
    std::vector<ReplyEvent> events;
    while (!m_pending.isEmpty()) {
        const int length = lengthAt(0, m_protocolLength);
        if (length == 0) {
            m_pending.clear();
            break;
        }
        if (length < 0 || m_pending.size() < length)
            break;
        // A reply of known length is only one if what came behind it is replies
        // too: noise that merely reached the length (a "D" and babble) is dropped
        // whole.
        const QByteArray bytes = m_pending.left(length);
        const int protocolLength = protocolLengthAfter(bytes, m_protocolLength);
        if (length > 1 && !onlyMessagesFrom(length, protocolLength)) {
            m_pending.clear();
            break;
        }
        m_pending.remove(0, length);
        m_protocolLength = protocolLength;
        const auto code = static_cast<ReplyCode>(bytes.at(0));
        if (length > 1)
            events.emplace_back(ReplyProgress{code, length, length});
        events.emplace_back(Message{code, bytes});
    }
    if (const std::optional<ReplyProgress> progress = collecting())
        events.emplace_back(*progress);
    return events;
}

std::optional<Message> ReplyDecoder::flush()
{
    if (!pageCountCutShort())
        return std::nullopt;
    Message count{ReplyCode::PageCount, QByteArray()};
    count.bytes.swap(m_pending);
    return count;
}

std::optional<ReplyProgress> ReplyDecoder::collecting() const
{
    if (m_pending.isEmpty())
        return std::nullopt;
    const char code = m_pending.at(0);
    const int need = code == char(ReplyCode::PageCount) ? ReplyLength::ShortestPageCount
                                                        : lengthOf(code, m_protocolLength);
    if (need == 0)
        return std::nullopt;
    return ReplyProgress{static_cast<ReplyCode>(code), static_cast<int>(m_pending.size()), need};
}

bool ReplyDecoder::pageCountCutShort() const
{
    return m_pending.startsWith(char(ReplyCode::PageCount)) &&
           m_pending.size() < ReplyLength::ShortestPageCount;
}

int ReplyDecoder::lengthAt(int at, int protocolLength) const
{
    const char code = m_pending.at(at);
    if (code != char(ReplyCode::PageCount))
        return lengthOf(code, protocolLength);
    const int available = static_cast<int>(m_pending.size()) - at;
    if (available < ReplyLength::ShortestPageCount)
        return -1;
    int length = ReplyLength::ShortestPageCount;
    while (length < available && length < LongestPageCount && isDigit(m_pending.at(at + length)))
        ++length;
    return length;
}

bool ReplyDecoder::onlyMessagesFrom(int at, int protocolLength) const
{
    while (at < m_pending.size()) {
        const int length = lengthAt(at, protocolLength);
        if (length == 0)
            return false;
        // A reply still collecting at the end is a reply on its way.
        if (length < 0 || at + length > m_pending.size())
            return true;
        protocolLength = protocolLengthAfter(m_pending.mid(at, length), protocolLength);
        at += length;
    }
    return true;
}

} // namespace kalent
