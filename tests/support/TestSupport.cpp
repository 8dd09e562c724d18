#include "TestSupport.h"

#include <QDir>

namespace kalent::test {

SimRig::SimRig()
    : instrument(createBuiltInInstrument(clock)), port(*instrument, clock),
      session(clock, port, DataFolder(dataDir.path()))
{
    QObject::connect(&session.pane(), &MessagePane::textChanged,
                     [this](const QString &text) { statusLog.append(text); });
}

SimRig::~SimRig() = default;

void SimRig::startUp()
{
    link().formCreate({QStringLiteral("sim")});
}

bool SimRig::runUntil(const std::function<bool()> &done, qint64 maxMs)
{
    return clock.advanceUntil(done, maxMs);
}

bool SimRig::connectFast()
{
    startUp();
    link().searchWithFastestSpeed();
    return runUntil([this] { return link().atFastestSpeed(); });
}

QString testDataPath(const QString &name)
{
    return QDir(qEnvironmentVariable("KALENT_TEST_DATA")).filePath(name);
}

} // namespace kalent::test
