#include "store/SessionReadings.h"

#include "Session.h"
#include "store/ReadingStore.h"

namespace kalent {

SessionReadings::SessionReadings(Session &session, const StoreLocation &location)
    : m_keeper(location, session.dataFolder(), session.clock()), m_recorder(session, m_keeper)
{}

SessionReadings::~SessionReadings()
{
    m_keeper.finish();
}

std::unique_ptr<SessionReadings> SessionReadings::attach(Session &session, const QString &storeUrl,
                                                         QString *error)
{
    if (!ReadingStore::availableInThisBuild()) {
        if (!storeUrl.isEmpty())
            *error = ReadingStore::notInThisBuildText();
        return nullptr;
    }
    const StoreLocation location =
        StoreLocation::parse(storeUrl, session.dataFolder().path(), error);
    if (!error->isEmpty())
        return nullptr;
    return std::unique_ptr<SessionReadings>(new SessionReadings(session, location));
}

} // namespace kalent
