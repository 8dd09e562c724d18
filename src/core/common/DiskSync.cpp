#include "common/DiskSync.h"

#include <atomic>
#include <cerrno>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kalent::DiskSync {

namespace {

// The tests' window on the writers: how often the disk was asked to hold the bytes.
std::atomic<quint64> &calls()
{
    static std::atomic<quint64> count{0};
    return count;
}

} // namespace

int toDisk(int handle)
{
    ++calls();
#ifdef Q_OS_WIN
    return _commit(handle) == 0 ? 0 : errno;
#else
    while (::fsync(handle) != 0) {
        if (errno != EINTR)
            return errno;
    }
    return 0;
#endif
}

quint64 callCount()
{
    return calls().load();
}

} // namespace kalent::DiskSync
