#include "ShutdownSignals.h"

#include <csignal>

namespace kalent {

namespace {

// A signal handler may touch nothing but a flag of this type. The handler has C
// linkage, so its name is unique in the whole program.
volatile std::sig_atomic_t stopRequested = 0;

extern "C" void onShutdownSignal(int)
{
    stopRequested = 1;
}

using Handler = void (*)(int);
Handler previousInterrupt = SIG_DFL;
Handler previousTerminate = SIG_DFL;

} // namespace

ShutdownSignals::ShutdownSignals()
{
    stopRequested = 0;
    previousInterrupt = std::signal(SIGINT, onShutdownSignal);
    previousTerminate = std::signal(SIGTERM, onShutdownSignal);
}

ShutdownSignals::~ShutdownSignals()
{
    std::signal(SIGINT, previousInterrupt == SIG_ERR ? SIG_DFL : previousInterrupt);
    std::signal(SIGTERM, previousTerminate == SIG_ERR ? SIG_DFL : previousTerminate);
}

bool ShutdownSignals::requested() const
{
    return stopRequested != 0;
}

} // namespace kalent
