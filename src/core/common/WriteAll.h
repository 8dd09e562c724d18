#pragma once

#include <QByteArray>

namespace kalent {

// Writes all of `bytes` to an open file handle, going on after a short write or
// an interrupting signal. A short write is followed by another, which names the
// reason (a full disk says ENOSPC only on the write that finds no room).
// Returns 0, or the system's error code of the write that failed.
int writeAll(int handle, const QByteArray &bytes);

} // namespace kalent
