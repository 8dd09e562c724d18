#include "PtyBridge.h"

#include "VirtualInstrument.h"

namespace kalent {

PtyBridge::PtyBridge(VirtualInstrument &instrument, QObject *parent)
    : QObject(parent), m_instrument(instrument)
{
    connect(&m_line, &PtyLine::received, &m_instrument, &VirtualInstrument::hear);
    connect(&m_instrument, &VirtualInstrument::transmitted, this,
            [this](const QByteArray &bytes, int baud) {
                m_line.write(garble(bytes, baud, m_line.lineBaud()));
            });
    connect(&m_instrument, &VirtualInstrument::lineDropped, &m_line, &PtyLine::close);
}

bool PtyBridge::start(int initialBaud)
{
    const int own = m_instrument.baud();
    return m_line.start(own == VirtualInstrument::AnyBaud ? initialBaud : own);
}

} // namespace kalent
