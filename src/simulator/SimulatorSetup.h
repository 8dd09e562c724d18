#pragma once

#include <memory>

namespace kalent {

class Clock;
class ReplayScript;
class VirtualInstrument;

// The built-in instrument with every feature it knows, as the program and the
// pty server run it.
std::unique_ptr<VirtualInstrument> createBuiltInInstrument(Clock &clock);

// The built-in instrument answering from a recorded trace (its TraceReplay
// feature, found with feature<TraceReplay>(), takes the whole line) at whatever
// speed the line is set to, in-process on a SimulatedPort or on a pty.
std::unique_ptr<VirtualInstrument> createReplayInstrument(Clock &clock,
                                                          std::unique_ptr<ReplayScript> script);

} // namespace kalent
