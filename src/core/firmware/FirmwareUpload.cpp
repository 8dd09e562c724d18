#include "firmware/FirmwareUpload.h"

#include "MessagePane.h"
#include "common/BoundedFile.h"
#include "common/Clock.h"
#include "link/LineOwner.h"
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

FirmwareUpload::FirmwareUpload(SerialPort &port, LineOwner &line, MessagePane &pane, Clock &clock,
                               QObject *parent)
    : QObject(parent), m_port(port), m_line(line), m_pane(pane), m_tick(clock.createTimer()),
      m_systemQueue(clock.createTimer())
{
    m_tick->setSingleShot(true);
    m_systemQueue->setSingleShot(true);
    connect(m_tick.get(), &Timer::timeout, this, &FirmwareUpload::sendNextBlock);
    connect(m_systemQueue.get(), &Timer::timeout, this, &FirmwareUpload::checkOnTheLine);
    connect(&m_port, &SerialPort::bytesWritten, this, [this] {
        if (m_waiting && !m_systemQueue->isActive())
            checkOnTheLine();
    });
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
    send(QByteArrayLiteral("\x55\xAA"));
    send(lengthField(m_image.size()));
    waitUntilOnTheLine();
}

void FirmwareUpload::send(const QByteArray &bytes)
{
    m_line.send(LineJob::FirmwareUpload, bytes);
}

void FirmwareUpload::halt()
{
    m_tick->stop();
    m_systemQueue->stop();
    m_waiting = false;
    m_running = false;
}

void FirmwareUpload::sendNextBlock()
{
    m_tick->stop();
    if (!m_running || m_position >= m_image.size())
        return;
    const qint64 n = std::min<qint64>(BlockSize, m_image.size() - m_position);
    send(m_image.mid(m_position, n));
    m_position += n;
    if (m_position == m_image.size()) {
        QByteArray checksum(2, '\0');
        checksum[0] = static_cast<char>(m_sum & 0xFF);
        checksum[1] = static_cast<char>((m_sum >> 8) & 0xFF);
        send(checksum);
        waitUntilOnTheLine();
        Q_EMIT checksumWritten();
        return;
    }
    waitUntilOnTheLine();
}

void FirmwareUpload::waitUntilOnTheLine()
{
    m_waiting = true;
    // The port reports each piece that leaves the program; the first look
    // comes from the event loop, so a port that took everything at once never
    // finishes the upload inside the call that started the write.
    m_systemQueue->start(0);
}

void FirmwareUpload::checkOnTheLine()
{
    // A port that closed under the write put nothing more on the line: the
    // link check ends the transfer; it never counts as sent.
    if (!m_waiting || !m_port.isOpen() || m_port.bytesToWrite() > 0)
        return; // the next bytesWritten brings us back
    const qint64 queued = m_port.bytesQueuedInSystem();
    if (queued > 0) {
        // The system sends its queue at the line's pace and says nothing when
        // done: look again when that much should have gone (10 bits a byte).
        const int baud = std::max(baudOfSettings(m_port.settings()), 1);
        m_systemQueue->start(static_cast<int>(queued * 10 * 1000 / baud) + 1);
        return;
    }
    m_waiting = false;
    onTheLine();
}

void FirmwareUpload::onTheLine()
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
