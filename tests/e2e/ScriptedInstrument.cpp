#include "ScriptedInstrument.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace kalent::test {

namespace {

using Clock = std::chrono::steady_clock;

int baudOf(speed_t speed)
{
    switch (speed) {
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    default:
        return 0;
    }
}

const int Rates[] = {4800, 9600, 19200, 38400, 57600, 115200};

// Noise that is no reply code: bytes above 127.
char noiseByte(unsigned &seed)
{
    seed = seed * 1103515245u + 12345u;
    return static_cast<char>(0x80 | ((seed >> 16) & 0x7f));
}

} // namespace

ScriptedInstrument::ScriptedInstrument(Script script) : m_script(std::move(script))
{}

ScriptedInstrument::~ScriptedInstrument()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    closeLine();
}

QByteArray ScriptedInstrument::table()
{
    // Each row: 12 values of six characters, each followed by three blanks, and
    // one closing character: 109.
    QByteArray out("D");
    for (int row = 0; row < 8; ++row) {
        for (int column = 0; column < 12; ++column)
            out += QByteArray::number(0.1 * row + 0.01 * column + 0.001, 'f', 3)
                       .rightJustified(6, ' ') +
                   "   ";
        out += '\n';
    }
    return out;
}

bool ScriptedInstrument::start()
{
    // Close-on-exec: a program started from the test must not hold the line's
    // other end, or closing it here would not look like a vanished device.
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return false;
    m_path = QString::fromLocal8Bit(::ptsname(m_master));
    m_thread = std::thread([this] { run(); });
    return true;
}

int ScriptedInstrument::lineBaud() const
{
    termios t{};
    if (::tcgetattr(m_master, &t) != 0)
        return 0;
    return baudOf(::cfgetospeed(&t));
}

void ScriptedInstrument::closeLine()
{
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

bool ScriptedInstrument::send(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size() && !m_stop) {
        const ssize_t n =
            ::write(m_master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd out{m_master, POLLOUT, 0};
            ::poll(&out, 1, 20);
        } else {
            return false;
        }
    }
    return true;
}

void ScriptedInstrument::run()
{
    unsigned seed = 1;
    bool awaitingCode = false;
    Clock::time_point contactAt{};
    bool contact = false;
    const auto vanish = [this] {
        closeLine();
        m_vanished = true;
    };
    // Programming mode: the last bytes heard, to find the header in.
    QByteArray recent;
    std::optional<Clock::time_point> headerAt;

    while (!m_stop) {
        if (m_vanishRequested) {
            vanish();
            return;
        }
        if (contact && m_script.vanish == Vanish::AfterContact &&
            Clock::now() - contactAt >= std::chrono::milliseconds(m_script.vanishAfterMs)) {
            vanish();
            return;
        }
        if (headerAt && !m_reportSent &&
            Clock::now() - *headerAt >= std::chrono::milliseconds(m_script.reportAfterHeaderMs)) {
            send("L");
            m_reportSent = true;
        }
        if (contact && m_script.babbleAfterContact) {
            // About the line's pace at 115200: 115 bytes every 10 ms.
            QByteArray noise;
            for (int i = 0; i < 115; ++i)
                noise += noiseByte(seed);
            send(noise);
        }

        pollfd in{m_master, POLLIN, 0};
        if (::poll(&in, 1, 10) <= 0 || !(in.revents & POLLIN)) {
            // POLLHUP with nobody on the other end yet: wait for the program.
            if (in.revents & POLLHUP)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        char buffer[256];
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0) {
            // EIO while the program has its end closed (between a close and a reopen).
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        if (m_script.reportAfterHeaderMs >= 0) {
            (m_reportSent ? m_bytesAfterReport : m_bytesBeforeReport) += n;
            if (!headerAt) {
                recent.append(buffer, static_cast<qsizetype>(n));
                const qsizetype marker = recent.indexOf("\x55\xaa");
                if (marker >= 0 && recent.size() >= marker + 6)
                    headerAt = Clock::now();
            }
            continue;
        }
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buffer[i];
            if (awaitingCode) {
                awaitingCode = false;
                const int code = static_cast<unsigned char>(c);
                if (code < 6)
                    m_script.baud = Rates[code];
                continue;
            }
            if (c == 'b') {
                awaitingCode = true;
            } else if (c == 'B') {
                ++m_probes;
                if (lineBaud() == m_script.baud) {
                    send("B");
                    if (!contact) {
                        contact = true;
                        contactAt = Clock::now();
                        if (m_script.floodBytes > 0) {
                            std::this_thread::sleep_for(std::chrono::milliseconds(300));
                            QByteArray flood(static_cast<int>(m_script.floodBytes), '\0');
                            flood[0] = 'D';
                            for (qsizetype k = 1; k < flood.size(); ++k)
                                flood[k] = noiseByte(seed);
                            send(flood);
                        } else if (m_script.babbleAfterContact) {
                            std::this_thread::sleep_for(std::chrono::milliseconds(300));
                            send("D");
                        }
                    }
                } else if (m_script.vanish == Vanish::MidSearch &&
                           m_probes >= m_script.probesBeforeVanishing) {
                    vanish();
                    return;
                }
            } else if (c == 'G' && lineBaud() == m_script.baud && !m_script.babbleAfterContact &&
                       m_script.floodBytes == 0) {
                QByteArray reply = table();
                if (!m_script.noiseInTable.isEmpty())
                    reply.insert(reply.size() / 2, m_script.noiseInTable);
                if (m_script.silentMidReply) {
                    send(reply.left(reply.size() / 2));
                    continue;
                }
                if (m_script.vanish == Vanish::MidReply) {
                    send(reply.left(reply.size() / 2));
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                    vanish();
                    return;
                }
                if (m_script.byteDelayMs <= 0) {
                    send(reply);
                    continue;
                }
                for (char byte : reply) {
                    if (m_stop)
                        return;
                    send(QByteArray(1, byte));
                    std::this_thread::sleep_for(std::chrono::milliseconds(m_script.byteDelayMs));
                }
            }
        }
    }
}

} // namespace kalent::test
