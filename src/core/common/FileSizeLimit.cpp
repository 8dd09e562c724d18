#include "common/FileSizeLimit.h"

#include <mutex>

#if !defined(_WIN32)
#include <csignal>
#include <sys/resource.h>
#endif

namespace kalent::FileSizeLimit {

void failWritesInsteadOfSignal()
{
#if !defined(_WIN32)
    // Windows has no such signal: a limit there already shows as a failed write.
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGXFSZ, &ignore, nullptr);
    });
#endif
}

QString portLockRefusal()
{
#if !defined(_WIN32)
    // A lock file holds the process's number, name, host and machine: a few
    // hundred bytes at most.
    constexpr rlim_t LockFileBytes = 512;
    rlimit limit = {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        limit.rlim_cur < LockFileBytes)
        return QStringLiteral("файл блокировки порта не записан: предел размера файлов "
                              "(ulimit -f) %1 байт слишком мал")
            .arg(static_cast<qulonglong>(limit.rlim_cur));
#endif
    return {};
}

} // namespace kalent::FileSizeLimit
