#pragma once

#include "store/Reading.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace kalent {

class DataFolder;

// The readings a store could not take, each in a file of its own in the data
// folder's "ReadingsQueue" folder, written whole (AtomicFile) and named so
// that they sort in the order received. A file leaves the queue only once its
// reading is stored; one that cannot be read stays where it is.
class ReadingQueue
{
public:
    static constexpr const char *FolderName = "ReadingsQueue";

    explicit ReadingQueue(const DataFolder &dataFolder);

    QString folder() const { return m_folder; }
    // Empty on success, otherwise why the reading is not queued (Russian).
    QString put(const Reading &reading);
    // The waiting files' names, oldest first.
    QStringList pending() const;
    // The reading of a waiting file; nothing (and *error) when unreadable.
    std::optional<Reading> load(const QString &name, QString *error) const;
    // Empty on success, otherwise why not.
    QString remove(const QString &name);

private:
    QString m_folder;
};

} // namespace kalent
