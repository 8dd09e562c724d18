#include "StopSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace kalent {

namespace {

// The self-pipe: the handler only writes a byte, the event loop reads it.
int pipeEnds[2] = {-1, -1};
volatile std::sig_atomic_t stopCaught = 0;

extern "C" void onStopSignal(int)
{
    const int savedErrno = errno;
    stopCaught = 1;
    const char byte = 1;
    // A full pipe already holds a wake-up: the byte may be lost, the stop is not.
    [[maybe_unused]] const ssize_t ignored = ::write(pipeEnds[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

void StopSignals::catchFromNow()
{
    if (pipeEnds[0] >= 0)
        return;
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // the default action stays: the program still ends on the signal
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    // A closed terminal or a dropped remote session ends a run the same way.
    ::sigaction(SIGHUP, &action, nullptr);
}

bool StopSignals::caught()
{
    return stopCaught != 0;
}

StopSignals::StopSignals(QObject *parent) : QObject(parent)
{
    catchFromNow();
    if (pipeEnds[0] < 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(pipeEnds[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &StopSignals::drain);
}

StopSignals::~StopSignals() = default;

void StopSignals::drain()
{
    char bytes[64];
    while (::read(pipeEnds[0], bytes, sizeof bytes) > 0) {
    }
    Q_EMIT stopRequested();
}

} // namespace kalent
