#include "common/FileLock.h"

#include <cerrno>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/file.h>
#endif

namespace kalent {

#ifdef _WIN32
namespace {
// A lock on Windows forbids others to read or write the bytes it covers: one
// byte far past any journal's end is locked instead, so readers never wait.
constexpr DWORD LockOffsetHigh = 0x7FFFFFFF;

HANDLE osHandle(int handle)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(handle));
}
} // namespace

FileLock::FileLock(int handle) : m_handle(handle)
{
    OVERLAPPED at = {};
    at.OffsetHigh = LockOffsetHigh;
    m_held = handle >= 0 && LockFileEx(osHandle(handle), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at);
}

FileLock::~FileLock()
{
    if (!m_held)
        return;
    OVERLAPPED at = {};
    at.OffsetHigh = LockOffsetHigh;
    UnlockFileEx(osHandle(m_handle), 0, 1, 0, &at);
}
#else
FileLock::FileLock(int handle) : m_handle(handle)
{
    // flock, not fcntl: its lock belongs to this open file, so two writers of
    // one process (threads, two journals) exclude each other too, and closing
    // another descriptor of the file does not drop it.
    int result = -1;
    do
        result = handle >= 0 ? ::flock(handle, LOCK_EX) : -1;
    while (result != 0 && errno == EINTR);
    m_held = result == 0;
}

FileLock::~FileLock()
{
    if (m_held)
        ::flock(m_handle, LOCK_UN);
}
#endif

} // namespace kalent
