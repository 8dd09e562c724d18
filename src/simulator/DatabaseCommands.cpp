#include "DatabaseCommands.h"

#include "DemoDatabase.h"
#include "InstrumentFeature.h"
#include "common/Clock.h"
#include "database/DatabaseImage.h"

#include <cstdio>

namespace kalent {

using namespace DatabaseImage;

DatabaseCommands::DatabaseCommands() : m_image(DemoDatabase::demo())
{}

DatabaseCommands::~DatabaseCommands() = default;

int DatabaseCommands::pagesReceived() const
{
    return static_cast<int>(m_received.size() / PageSize);
}

int DatabaseCommands::consume(InstrumentControl &instrument, const QByteArray &heard)
{
    switch (heard.at(0)) {
    case 'R': {
        const int held = static_cast<int>((m_image.size() - HeaderSize) / PageSize);
        const int pages = m_announced >= 0 ? m_announced : held;
        char digits[16];
        std::snprintf(digits, sizeof digits, "%3d", pages);
        // "R", a character the program does not use, then the count.
        const QByteArray reply = QByteArrayLiteral("R ") + QByteArray(digits);
        m_nextPage = 0;
        if (m_splitAt < 0 || m_splitAt >= reply.size()) {
            instrument.send(reply);
            return 1;
        }
        instrument.send(reply.left(m_splitAt));
        m_splitRest = reply.mid(m_splitAt);
        if (!m_splitTimer) {
            m_splitTimer = instrument.clock().createTimer();
            m_splitTimer->setSingleShot(true);
            QObject::connect(m_splitTimer.get(), &Timer::timeout, m_splitTimer.get(),
                             [this, &instrument] { instrument.sendRaw(m_splitRest); });
        }
        m_splitTimer->start(m_splitDelayMs);
        return 1;
    }
    case 'r': {
        const qint64 start = pageStart(m_nextPage);
        if (m_stopAfter >= 0 && m_nextPage >= m_stopAfter)
            return 1;
        if (pageInside(m_image, start)) {
            instrument.send(QByteArrayLiteral("r") + m_image.mid(start, PageSize));
            ++m_nextPage;
        }
        return 1;
    }
    case 'M': {
        if (heard.size() < 3)
            return NeedMore;
        m_expected =
            static_cast<unsigned char>(heard.at(1)) * 256 + static_cast<unsigned char>(heard.at(2));
        m_received.clear();
        if (m_expected > 0)
            instrument.send(QByteArrayLiteral("m"));
        return 3;
    }
    case 'm': {
        if (m_expected == 0)
            return NotMine;
        if (heard.size() < 1 + PageSize)
            return NeedMore;
        m_received.append(heard.constData() + 1, PageSize);
        const int taken = static_cast<int>(m_received.size() / PageSize);
        if (taken == m_refusePage) {
            m_expected = 0;
            instrument.send(QByteArrayLiteral("x"));
            return 1 + PageSize;
        }
        if (taken == m_holdAfter)
            return 1 + PageSize;
        if (taken >= m_expected) {
            if (m_dropPage > 0 && m_dropPage <= m_expected) {
                m_received.remove(qsizetype(m_dropPage - 1) * PageSize, PageSize);
                --m_expected;
            }
            m_image = header(m_expected) + m_received;
            m_expected = 0;
        }
        instrument.send(QByteArrayLiteral("m"));
        return 1 + PageSize;
    }
    default:
        return NotMine;
    }
}

} // namespace kalent
