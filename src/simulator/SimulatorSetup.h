#pragma once

#include <memory>

namespace kalent {

class Clock;
class VirtualInstrument;

// The built-in instrument with every feature it knows, as the program and the
// pty server run it.
std::unique_ptr<VirtualInstrument> createBuiltInInstrument(Clock &clock);

} // namespace kalent
