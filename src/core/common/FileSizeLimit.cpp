#include "common/FileSizeLimit.h"

#include <mutex>

#if !defined(_WIN32)
#include <csignal>
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

} // namespace kalent::FileSizeLimit
