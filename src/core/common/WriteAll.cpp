#include "common/WriteAll.h"

#include <QtGlobal>

#include <cerrno>
#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kalent {

int writeAll(int handle, const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
#ifdef Q_OS_WIN
        const int n = ::_write(handle, bytes.constData() + done,
                               static_cast<unsigned>(qMin<qint64>(bytes.size() - done, 1 << 30)));
#else
        const ssize_t n =
            ::write(handle, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
#endif
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        // A file that takes nothing and names no reason has no room.
        if (n == 0)
            return ENOSPC;
        done += n;
    }
    return 0;
}

} // namespace kalent
