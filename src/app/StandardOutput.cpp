#include "StandardOutput.h"

#include "common/SystemErrorText.h"

#include <cerrno>
#include <csignal>
#include <cstdio>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kalent::StandardOutput {

namespace {

// The stream's one record: closed from the start, and the first failure's code.
struct State
{
    bool closed = false;
    int failure = 0;
};

State &state()
{
    static State s;
    return s;
}

void noteFailure(int code)
{
    if (state().failure == 0)
        state().failure = code != 0 ? code : EIO;
}

#ifndef Q_OS_WIN
// True when the descriptor was closed and now holds the null device.
bool holdOpen(int descriptor)
{
    if (::fcntl(descriptor, F_GETFD) != -1 || errno != EBADF)
        return false;
    const int opened = ::open("/dev/null", O_RDWR);
    if (opened >= 0 && opened != descriptor) {
        ::dup2(opened, descriptor);
        ::close(opened);
    }
    return true;
}
#endif

} // namespace

void prepare()
{
#ifndef Q_OS_WIN
    // Lowest first: open() takes the lowest free number.
    holdOpen(0);
    state().closed = holdOpen(1);
    holdOpen(2);
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

bool write(const QByteArray &bytes, bool flushNow)
{
    if (state().closed)
        noteFailure(EBADF);
    if (state().failure != 0)
        return false;
    errno = 0;
    if (std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout) !=
        static_cast<size_t>(bytes.size())) {
        noteFailure(errno);
        return false;
    }
    if (flushNow && std::fflush(stdout) != 0) {
        noteFailure(errno);
        return false;
    }
    return true;
}

QString finish()
{
    if (state().failure == 0 && !state().closed) {
        errno = 0;
        if (std::fflush(stdout) != 0 || std::ferror(stdout))
            noteFailure(errno);
    }
    if (state().failure == 0)
        return {};
    const QString why = state().failure == EBADF ? QStringLiteral("стандартный вывод закрыт")
                                                 : SystemErrorText::fromErrno(state().failure);
    return QStringLiteral("Не удалось вывести данные на стандартный вывод: %1.").arg(why);
}

} // namespace kalent::StandardOutput
