#pragma once

#include "InstrumentFeature.h"

#include <QByteArray>

namespace kalent {

// The instrument's database of test systems: "R" is answered with the page
// count, each "r" with the next page, and "M"+count starts a write that asks for
// each page with "m", takes it as "m"+528 bytes, answers a last "m" after the
// final page and then holds what it received.
class DatabaseCommands : public InstrumentFeature
{
public:
    DatabaseCommands();

    int consume(VirtualInstrument &instrument, const QByteArray &heard) override;
    // Switched off in the middle of a write: the old database stays.
    void poweredOff(VirtualInstrument &) override { m_expected = 0; }

    // The database as an image (header and pages).
    const QByteArray &image() const { return m_image; }
    void setImage(const QByteArray &image) { m_image = image; }
    // Pages received by the write under way or last finished.
    int pagesReceived() const { return m_received.size() / 528; }
    int writesFinished() const { return m_writesFinished; }

private:
    QByteArray m_image;
    int m_nextPage = 0;
    int m_expected = 0; // pages of the write under way; 0 when none
    QByteArray m_received;
    int m_writesFinished = 0;
};

} // namespace kalent
