#include "DatabaseCommands.h"

#include "DemoDatabase.h"
#include "VirtualInstrument.h"
#include "database/DatabaseImage.h"

#include <cstdio>

namespace kalent {

using namespace DatabaseImage;

DatabaseCommands::DatabaseCommands() : m_image(DemoDatabase::demo())
{}

int DatabaseCommands::consume(VirtualInstrument &instrument, const QByteArray &heard)
{
    switch (heard.at(0)) {
    case 'R': {
        const int pages = static_cast<int>((m_image.size() - HeaderSize) / PageSize);
        char digits[16];
        std::snprintf(digits, sizeof digits, "%3d", pages);
        // "R", a character the program does not use, then the count.
        instrument.send(QByteArrayLiteral("R ") + QByteArray(digits));
        m_nextPage = 0;
        return 1;
    }
    case 'r': {
        const qint64 start = pageStart(m_nextPage);
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
        if (m_received.size() / PageSize >= m_expected) {
            m_image = header(m_expected) + m_received;
            m_expected = 0;
            ++m_writesFinished;
        }
        instrument.send(QByteArrayLiteral("m"));
        return 1 + PageSize;
    }
    default:
        return NotMine;
    }
}

} // namespace kalent
