#include "BootLoader.h"

#include "InstrumentFeature.h"
#include "common/Clock.h"

#include <algorithm>

namespace kalent {

namespace {

unsigned byteAt(const QByteArray &bytes, int i)
{
    return static_cast<unsigned char>(bytes.at(i));
}

} // namespace

BootLoader::BootLoader(InstrumentControl &instrument, QObject *parent)
    : QObject(parent), m_instrument(instrument), m_timer(instrument.clock().createTimer())
{
    m_timer->setSingleShot(true);
    connect(m_timer.get(), &Timer::timeout, this, [this] {
        const Pending pending = m_pending;
        m_pending = Pending::Nothing;
        switch (pending) {
        case Pending::Restart:
            m_instrument.holdCtsDown(true);
            m_pending = Pending::BackUp;
            m_timer->start(RestartMs);
            break;
        case Pending::BackUp:
            leaveProgrammingMode();
            m_instrument.holdCtsDown(false);
            if (m_fault != Fault::NeverReports)
                scheduleStartupReport();
            break;
        case Pending::Report:
            m_instrument.sendRaw(QByteArrayLiteral("L"));
            break;
        case Pending::StartDuringUpload:
            startDuringUpload();
            break;
        case Pending::Nothing:
            break;
        }
    });
}

BootLoader::~BootLoader() = default;

QString BootLoader::describe(Result result)
{
    switch (result) {
    case Result::None:
        return QStringLiteral("—");
    case Result::Accepted:
        return QStringLiteral("программа принята");
    case Result::BadLength:
        return QStringLiteral("неверная длина");
    case Result::BadChecksum:
        return QStringLiteral("неверная контрольная сумма");
    }
    return {};
}

void BootLoader::resetUpload()
{
    m_stage = Stage::Marker;
    m_expected = 0;
    m_image.clear();
    m_sum = 0;
}

void BootLoader::enterProgrammingMode()
{
    m_timer->stop();
    m_pending = Pending::Nothing;
    resetUpload();
    // The boot loader always talks at 115200, whatever the control program used.
    m_instrument.setBaud(115200);
    m_instrument.setExclusiveFeature(this);
    if (!m_programming) {
        m_programming = true;
        Q_EMIT programmingModeChanged(true);
    }
}

void BootLoader::leaveProgrammingMode()
{
    m_instrument.setExclusiveFeature(nullptr);
    if (m_programming) {
        m_programming = false;
        Q_EMIT programmingModeChanged(false);
    }
}

void BootLoader::scheduleStartupReport()
{
    m_pending = Pending::Report;
    m_timer->start(StartupMs);
}

void BootLoader::poweredOn(InstrumentControl &, bool stylusHeld)
{
    m_timer->stop();
    m_pending = Pending::Nothing;
    if (stylusHeld)
        enterProgrammingMode();
    else
        scheduleStartupReport();
}

void BootLoader::poweredOff(InstrumentControl &)
{
    m_timer->stop();
    m_pending = Pending::Nothing;
    resetUpload();
    leaveProgrammingMode();
}

void BootLoader::startDuringUpload()
{
    resetUpload();
    leaveProgrammingMode();
    m_instrument.sendRaw(QByteArrayLiteral("L"));
}

void BootLoader::finishUpload(Result result)
{
    m_result = result;
    if (result == Result::Accepted) {
        m_program = m_image;
        m_stage = Stage::Busy;
        m_pending = Pending::Restart;
        m_timer->start(ProgrammingMs);
    } else {
        resetUpload();
    }
    Q_EMIT uploadFinished(result);
}

int BootLoader::consume(InstrumentControl &, const QByteArray &heard)
{
    if (!m_programming)
        return NotMine;
    switch (m_stage) {
    case Stage::Marker:
        if (byteAt(heard, 0) != 0x55)
            return 1; // line noise before a marker is dropped
        if (heard.size() < 2)
            return NeedMore;
        if (byteAt(heard, 1) != 0xAA)
            return 1;
        m_stage = Stage::Length;
        return 2;
    case Stage::Length: {
        if (heard.size() < 4)
            return NeedMore;
        qint64 length = 0;
        for (int i = 3; i >= 0; --i)
            length = (length << 8) | byteAt(heard, i);
        if (length < 6 || length - 6 > Capacity) {
            finishUpload(Result::BadLength);
            return 4;
        }
        m_expected = length - 6;
        m_image.clear();
        m_image.reserve(static_cast<qsizetype>(m_expected));
        m_sum = 0;
        m_stage = m_expected > 0 ? Stage::Image : Stage::Checksum;
        if (m_fault == Fault::StartsDuringUpload && m_startsAfterMs > 0) {
            m_pending = Pending::StartDuringUpload;
            m_timer->start(m_startsAfterMs);
        }
        Q_EMIT uploadProgress(0, m_expected);
        return 4;
    }
    case Stage::Image: {
        const auto n =
            static_cast<int>(std::min<qint64>(heard.size(), m_expected - m_image.size()));
        for (int i = 0; i < n; ++i)
            m_sum += byteAt(heard, i);
        m_image.append(heard.constData(), n);
        if (m_image.size() == m_expected)
            m_stage = Stage::Checksum;
        Q_EMIT uploadProgress(m_image.size(), m_expected);
        if (m_fault == Fault::StartsDuringUpload && m_startsAfterMs <= 0 && m_stage == Stage::Image)
            startDuringUpload();
        return n;
    }
    case Stage::Checksum: {
        if (heard.size() < 2)
            return NeedMore;
        const unsigned checksum = byteAt(heard, 0) | (byteAt(heard, 1) << 8);
        finishUpload(checksum == (m_sum & 0xFFFF) ? Result::Accepted : Result::BadChecksum);
        return 2;
    }
    case Stage::Busy:
        return heard.size(); // programming itself: deaf until the restart
    }
    return NotMine;
}

} // namespace kalent
