#include "firmware/FirmwareUpload.h"

#include "MessagePane.h"
#include "common/BoundedFile.h"
#include "common/Clock.h"
#include "link/SerialPort.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace kalent {

namespace {

// The largest image read: 16 MiB, far above any control program the instrument's
// flash can hold (and far below what the 32-bit length field could carry), so a
// wrong choice (a disc image, a video) is refused before it fills the memory.
constexpr qint64 LargestImage = 16 * 1024 * 1024;

QByteArray lengthField(qint64 imageSize)
{
    const auto length = static_cast<quint32>(imageSize + 6);
    QByteArray field(4, '\0');
    for (int i = 0; i < 4; ++i)
        field[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
    return field;
}

} // namespace

FirmwareUpload::FirmwareUpload(SerialPort &port, MessagePane &pane, Clock &clock, QObject *parent)
    : QObject(parent), m_port(port), m_pane(pane), m_tick(clock.createTimer()),
      m_drainPoll(clock.createTimer())
{
    m_tick->setSingleShot(true);
    connect(m_tick.get(), &Timer::timeout, this, &FirmwareUpload::timerTimer);
    connect(m_drainPoll.get(), &Timer::timeout, this, &FirmwareUpload::pollDrain);
}

FirmwareUpload::~FirmwareUpload() = default;

QString FirmwareUpload::readImage(const QString &path, QByteArray *image)
{
    image->clear();
    if (path.isEmpty())
        return QStringLiteral("Файл для загрузки не выбран.");
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("Файл %1 не найден.").arg(shown);
    if (!info.isFile())
        return QStringLiteral("%1 не является файлом.").arg(shown);
    QByteArray bytes;
    if (const QString error = BoundedFile::read(path, LargestImage, &bytes); !error.isEmpty())
        return error;
    if (bytes.isEmpty())
        return QStringLiteral("Файл %1 пуст. Загрузка не начата.").arg(shown);
    *image = std::move(bytes);
    return {};
}

quint16 FirmwareUpload::checksumOf(const QByteArray &image)
{
    quint32 sum = 0;
    for (const char byte : image)
        sum += static_cast<unsigned char>(byte);
    return static_cast<quint16>(sum & 0xFFFF);
}

void FirmwareUpload::start(const QByteArray &image)
{
    halt();
    if (image.isEmpty())
        return;
    m_image = image;
    m_position = 0;
    m_sum = checksumOf(m_image);
    m_running = true;
    m_pane.setText(QStringLiteral("Загрузка программы в прибор"));
    m_port.output(QByteArrayLiteral("\x55\xAA"));
    m_port.output(lengthField(m_image.size()));
    waitForDrain();
}

void FirmwareUpload::halt()
{
    m_tick->stop();
    m_drainPoll->stop();
    m_running = false;
}

void FirmwareUpload::timerTimer()
{
    m_tick->stop();
    if (!m_running || m_position >= m_image.size())
        return;
    const qint64 n = std::min<qint64>(BlockSize, m_image.size() - m_position);
    m_port.output(m_image.mid(m_position, n));
    m_position += n;
    if (m_position == m_image.size()) {
        QByteArray checksum(2, '\0');
        checksum[0] = static_cast<char>(m_sum & 0xFF);
        checksum[1] = static_cast<char>((m_sum >> 8) & 0xFF);
        m_port.output(checksum);
        waitForDrain();
        Q_EMIT checksumWritten();
        return;
    }
    waitForDrain();
}

void FirmwareUpload::waitForDrain()
{
    // Even a port that took everything at once is asked on the next poll, so
    // the finish never happens inside the call that started the write.
    m_drainPoll->start(DrainPollMs);
}

void FirmwareUpload::pollDrain()
{
    if (m_port.bytesToWrite() > 0)
        return;
    m_drainPoll->stop();
    drained();
}

void FirmwareUpload::drained()
{
    if (!m_running)
        return;
    if (m_position > 0) {
        const qint64 percent = m_position * 100 / m_image.size();
        m_pane.setProgress(static_cast<int>(std::min<qint64>(percent, 100)));
    }
    if (m_position < m_image.size()) {
        m_tick->start(TickMs);
        return;
    }
    m_running = false;
    m_pane.setText(QStringLiteral("Программирование прибора"));
    m_pane.setProgress(0);
    Q_EMIT finished();
}

} // namespace kalent
