#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kalent {

class ServiceJournal;

// Database writes the journal opened and never closed: the program writing
// them was killed (kill -9, a power cut) between "начата" and its outcome, so
// the instrument may hold part of a database. Found at the next start, said
// once: the journal then gets the closing line, and later starts stay quiet.
// A write whose process still runs (another window, watch) is not one of them.
namespace UnfinishedWrites {

// How much of the journal's end is looked at: far more than the lines of the
// writes that can be open at once.
constexpr qint64 TailBytes = 1 << 20;

// The result of a write's opening line, naming the process that writes it.
QString openingResult(qint64 processId);

// The opening lines (as stored, without their time) of writes in journalTail
// that no later line closes and whose process no longer runs.
QStringList find(const QByteArray &journalTail);

// Finds them in the journal, closes each there, and returns the operator's
// message for each (empty when there is none).
QStringList reportOnce(ServiceJournal &journal);

} // namespace UnfinishedWrites

} // namespace kalent
