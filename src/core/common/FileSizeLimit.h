#pragma once

#include <QString>

namespace kalent::FileSizeLimit {

// A file-size limit (`ulimit -f`, systemd's LimitFSIZE=) is met like a full
// disk: the write that crosses it fails with EFBIG ("файл слишком велик"), the
// writer reports it and the program goes on. Left to the system's default, the
// process is ended by SIGXFSZ in the middle of the write instead: the output is
// lost, half a line stays in an appended file, and `watch` restarts with the
// notice's table gone. Safe to call any number of times from any writer.
void failWritesInsteadOfSignal();

// Why a serial port's lock file could not be written when a file-size limit
// is the reason: a limit too small for the few lines of a lock file (Qt then
// reports the port as locked, as if another program held it). Empty when no
// such limit is set.
QString portLockRefusal();

} // namespace kalent::FileSizeLimit
