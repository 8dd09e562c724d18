#pragma once

#include "FileContents.h"
#include "TestSupport.h"
#include "measurement/OpticalDensityReader.h"
#include "measurement/ResultsProtocol.h"

#include <QSignalSpy>

#include <memory>

namespace kalent::test {

// The reader and results suites start from here: the built-in instrument found
// at 115200, the line quiet, the message log and the written bytes cleared.
// Null when the link could not be made.
inline std::unique_ptr<SimRig> connectedRig()
{
    auto rig = std::make_unique<SimRig>();
    if (!rig->connectFast())
        return nullptr;
    rig->settle();
    rig->statusLog.clear();
    rig->port.clearWritten();
    return rig;
}

// "Принять данные" on the reader page until the table has arrived.
inline bool readTable(SimRig &rig)
{
    OpticalDensityReader &reader = rig.session.reader();
    QSignalSpy received(&reader, &OpticalDensityReader::tableReceived);
    reader.readTable();
    return rig.runUntil([&] { return received.count() > 0; });
}

// "Принять данные" on the results page until the protocol has arrived.
inline bool readProtocol(SimRig &rig)
{
    ResultsProtocol &results = rig.session.results();
    QSignalSpy received(&results, &ResultsProtocol::protocolReceived);
    results.readProtocol();
    return rig.runUntil([&] { return received.count() > 0; });
}

} // namespace kalent::test
