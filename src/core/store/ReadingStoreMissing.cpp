// The store of a build without Qt SQL: every call says that it is not there.
#include "store/ReadingStore.h"

namespace kalent {

bool ReadingStore::availableInThisBuild()
{
    return false;
}

ReadingStore::ReadingStore(const StoreLocation &location) : m_location(location)
{}

ReadingStore::~ReadingStore() = default;

QString ReadingStore::open()
{
    return notInThisBuildText();
}

bool ReadingStore::isOpen() const
{
    return false;
}

void ReadingStore::close()
{}

QString ReadingStore::add(const Reading &, qint64 *)
{
    return notInThisBuildText();
}

QString ReadingStore::find(const HistoryFilter &, QVector<Reading> *, bool,
                           std::optional<HistoryCursor>, int)
{
    return notInThisBuildText();
}

QString ReadingStore::scan(const HistoryFilter &, const std::function<void(const Reading &)> &,
                           bool, std::optional<HistoryCursor>, int)
{
    return notInThisBuildText();
}

QString ReadingStore::get(qint64, Reading *)
{
    return notInThisBuildText();
}

QString ReadingStore::fail(const QString &, const QString &reason)
{
    return reason;
}

QString ReadingStore::createOrMigrate()
{
    return notInThisBuildText();
}

} // namespace kalent
