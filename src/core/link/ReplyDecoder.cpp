#include "link/ReplyDecoder.h"

#include "link/ReplyCode.h"

namespace kalent {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The page count carries "%3d": a longer count (refused later as too large)
// still belongs to the reply, as its digits do; anything else starts anew.
constexpr int LongestPageCount = 16;

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
        return 19;
    case ReplyCode::DensityBlock:
        return 873;
    case ReplyCode::ProtocolLength:
        return 6;
    case ReplyCode::DatabasePage:
        return 529;
    case ReplyCode::ProtocolText:
        return protocolLength >= 1 ? protocolLength : -1;
    case ReplyCode::PageCount:
        return -1;
    }
    return 0;
}

void ReplyDecoder::feed(const QByteArray &piece)
{
    if (piece.isEmpty())
        m_pending.append('\0');
    else if (m_pending.size() + piece.size() > LongestReply)
        // No reply is this long: what was collected and the piece that overran it
        // are noise (a reply that starts in the middle of the piece is lost with it,
        // as noise in front of a reply loses the reply).
        m_pending.clear();
    else
        m_pending.append(piece);
}

std::optional<QByteArray> ReplyDecoder::next(int protocolLength)
{
    if (m_pending.isEmpty())
        return std::nullopt;
    const int length = lengthAt(0, protocolLength);
    if (length == 0) {
        m_pending.clear();
        return std::nullopt;
    }
    if (length < 0 || m_pending.size() < length)
        return std::nullopt;
    // A reply of known length is only one if what came behind it is replies
    // too: noise that merely reached the length (a "D" and babble) is dropped
    // whole, as the buffer always was.
    if (length > 1 && !onlyMessagesFrom(length, protocolLength)) {
        m_pending.clear();
        return std::nullopt;
    }
    QByteArray message = m_pending.left(length);
    m_pending.remove(0, length);
    return message;
}

int ReplyDecoder::lengthAt(int at, int protocolLength) const
{
    const char code = m_pending.at(at);
    if (code != char(ReplyCode::PageCount))
        return lengthOf(code, protocolLength);
    const int available = static_cast<int>(m_pending.size()) - at;
    if (available < ShortestPageCount)
        return -1;
    int length = ShortestPageCount;
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
        at += length;
    }
    return true;
}

QByteArray ReplyDecoder::takePending()
{
    QByteArray taken;
    taken.swap(m_pending);
    return taken;
}

} // namespace kalent
