#include "SimulatorSetup.h"

#include "BootLoader.h"
#include "DatabaseCommands.h"
#include "MeasurementData.h"
#include "TraceReplay.h"
#include "VirtualInstrument.h"

namespace kalent {

std::unique_ptr<VirtualInstrument> createBuiltInInstrument(Clock &clock)
{
    auto instrument = std::make_unique<VirtualInstrument>(clock);
    // Feature commands are added here as the instrument learns them.
    instrument->addFeature(std::make_unique<MeasurementData>());
    instrument->addFeature(std::make_unique<BootLoader>(*instrument));
    instrument->addFeature(std::make_unique<DatabaseCommands>());
    return instrument;
}

std::unique_ptr<VirtualInstrument> createReplayInstrument(Clock &clock,
                                                          std::unique_ptr<ReplayScript> script)
{
    auto instrument = std::make_unique<VirtualInstrument>(clock);
    instrument->setBaud(VirtualInstrument::AnyBaud);
    auto replay = std::make_unique<TraceReplay>(*instrument, std::move(script));
    instrument->setExclusiveFeature(replay.get());
    instrument->addFeature(std::move(replay));
    return instrument;
}

} // namespace kalent
