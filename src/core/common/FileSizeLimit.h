#pragma once

namespace kalent::FileSizeLimit {

// A file-size limit (`ulimit -f`, systemd's LimitFSIZE=) is met like a full
// disk: the write that crosses it fails with EFBIG ("файл слишком велик"), the
// writer reports it and the program goes on. Left to the system's default, the
// process is ended by SIGXFSZ in the middle of the write instead: the output is
// lost, half a line stays in an appended file, and `watch` restarts with the
// notice's table gone. Safe to call any number of times from any writer.
void failWritesInsteadOfSignal();

} // namespace kalent::FileSizeLimit
