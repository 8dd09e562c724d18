#pragma once

#include "ContactFaults.h"

#include <QString>
#include <QThread>

#include <atomic>
#include <functional>

namespace kalent {
class VirtualInstrument;
}

namespace kalent::test {

// The built-in instrument on a pseudo-terminal, run on a thread of its own so
// that a test can wait for a child process (blocking) while it answers. The
// set-up function picks its speed and fault settings on that thread before the
// pty opens. It counts the probes it hears and, for a restart report, the bytes
// heard before and after "L" went out.
class PtyInstrument : public QThread
{
public:
    using SetUp = std::function<void(VirtualInstrument &)>;

    explicit PtyInstrument(ContactFaults::Settings faults = {}, SetUp setUp = {});
    ~PtyInstrument() override;

    // Starts the thread and waits for the pty; false when it could not be made.
    bool begin();
    QString path() const { return m_path; }
    // Its end of the line closes now, as if the device were pulled out.
    void vanishNow();

    int probesHeard() const { return m_probes; }
    bool reportSent() const { return m_reportSent; }
    qint64 bytesBeforeReport() const { return m_bytesBeforeReport; }
    qint64 bytesAfterReport() const { return m_bytesAfterReport; }

protected:
    void run() override;

private:
    ContactFaults::Settings m_faults;
    SetUp m_setUp;
    QString m_path;
    std::atomic<VirtualInstrument *> m_instrument{nullptr};
    std::atomic<bool> m_ready{false};
    std::atomic<int> m_probes{0};
    std::atomic<bool> m_reportSent{false};
    std::atomic<qint64> m_bytesBeforeReport{0};
    std::atomic<qint64> m_bytesAfterReport{0};
};

} // namespace kalent::test
