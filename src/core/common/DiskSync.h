#pragma once

#include <QtGlobal>

namespace kalent::DiskSync {

// Pushes an open file's bytes from the system's cache to the disk (fsync, or
// _commit on Windows), retried when a signal interrupts it. Every writer that
// promises "on the disk" (the file writer before its rename, the journal after
// each line) goes through here, so a flush put in its place is caught: the
// calls are counted, and the tests read the count.
// Returns 0, or the system's error code.
int toDisk(int handle);

// How many times toDisk has run in this process.
quint64 callCount();

} // namespace kalent::DiskSync
