#pragma once

#include "InstrumentFeature.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

namespace kalent {

class Timer;
class InstrumentControl;

// The instrument's boot loader. Switched on with the stylus held, it stays
// silent in programming mode at 115200 and alone hears the line: it takes an
// upload (55 AA, four length bytes low first = image size + 6, the image, the
// two checksum bytes low first), checks the length and the checksum, and on
// success programs itself, restarts (CTS down, back up a moment later) and
// sends "L" when its control program has started. A bad upload leaves it in
// programming mode, silent, ready for another. Switched on normally, it sends
// "L" about a second after CTS rises.
class BootLoader : public QObject, public InstrumentFeature
{
    Q_OBJECT
public:
    static constexpr int StartupMs = 1000;    // CTS up to "L"
    static constexpr int ProgrammingMs = 500; // checksum checked to restart
    static constexpr int RestartMs = 500;     // CTS held down while restarting
    // What the instrument's program memory holds at most.
    static constexpr qint64 Capacity = 8 * 1024 * 1024;

    enum class Result { None, Accepted, BadLength, BadChecksum };
    Q_ENUM(Result)

    // Failure knobs.
    enum class Fault {
        None,
        // The control program starts in the middle of an upload (as after a
        // watchdog reset) and announces itself with "L" at once.
        StartsDuringUpload,
        // Accepts and restarts, but its control program never sends "L".
        NeverReports,
    };
    void setFault(Fault fault) { m_fault = fault; }
    // StartsDuringUpload: the control program starts this long after the
    // upload's header is in rather than with the first image bytes.
    void setStartsDuringUploadAfterMs(int ms) { m_startsAfterMs = ms; }

    explicit BootLoader(InstrumentControl &instrument, QObject *parent = nullptr);
    ~BootLoader() override;

    // Programming mode as if switched on with the stylus held (the command line
    // cannot hold the stylus).
    void enterProgrammingMode();
    bool inProgrammingMode() const { return m_programming; }

    // The upload under way or last taken.
    qint64 received() const { return m_image.size(); }
    qint64 expected() const { return m_expected; }
    Result lastResult() const { return m_result; }
    // The image of the last accepted upload.
    const QByteArray &programImage() const { return m_program; }

    int consume(InstrumentControl &instrument, const QByteArray &heard) override;
    void poweredOn(InstrumentControl &instrument, bool stylusHeld) override;
    void poweredOff(InstrumentControl &instrument) override;

    static QString describe(Result result);

Q_SIGNALS:
    void programmingModeChanged(bool on);
    // Image bytes taken so far of the announced size.
    void uploadProgress(qint64 received, qint64 expected);
    void uploadFinished(kalent::BootLoader::Result result);

private:
    enum class Stage { Marker, Length, Image, Checksum, Busy };

    void leaveProgrammingMode();
    void scheduleStartupReport();
    void finishUpload(Result result);
    // The control program starting while an upload still comes in.
    void startDuringUpload();
    void resetUpload();

    InstrumentControl &m_instrument;
    std::unique_ptr<Timer> m_timer;
    enum class Pending { Nothing, Restart, BackUp, Report, StartDuringUpload };
    Pending m_pending = Pending::Nothing;
    bool m_programming = false;
    Stage m_stage = Stage::Marker;
    qint64 m_expected = 0;
    QByteArray m_image;
    quint32 m_sum = 0;
    Result m_result = Result::None;
    QByteArray m_program;
    Fault m_fault = Fault::None;
    int m_startsAfterMs = 0;
};

} // namespace kalent
