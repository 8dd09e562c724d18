#pragma once

#include <QByteArray>
#include <QString>

namespace kalent {

// The program's standard output, checked like a file: every byte an action
// prints goes through here, the first failure (a full disk, a size limit,
// /dev/full, a pipe whose reader left, a closed descriptor) is kept with its
// reason, and the end of the run flushes the stream and reads its state once
// more. A script then never takes an empty or cut output for a success.
namespace StandardOutput {
// At the program's first moment, before anything opens a file: a standard
// stream started closed (">&-") is held open on the null device, so no file the
// run opens takes its number (the table would go into the journal, a message
// into the output file); standard output is then remembered as closed. A pipe
// whose reader has gone fails the write (EPIPE) instead of ending the process.
void prepare();
// Writes the bytes (and with flushNow hands them to the system at once);
// false once standard output has failed.
bool write(const QByteArray &bytes, bool flushNow = true);
// Flushes what is still buffered; an empty string, or the Russian sentence
// saying why standard output did not take everything.
QString finish();
} // namespace StandardOutput

} // namespace kalent
