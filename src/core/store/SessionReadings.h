#pragma once

#include "store/ReadingKeeper.h"
#include "store/ReadingRecorder.h"

#include <QString>

#include <memory>

namespace kalent {

class Session;

// The readings store of one run of the program (the window, an action, watch):
// the keeper on the store the run was given and the recorder on its session.
// Made after the session and gone before it.
class SessionReadings
{
public:
    // storeUrl empty: the SQLite file in the session's data folder. Null when
    // this build has no store, or (with *error) when storeUrl cannot be used.
    static std::unique_ptr<SessionReadings> attach(Session &session, const QString &storeUrl,
                                                   QString *error);

    // The writes in flight are waited for while the recorder can still say
    // how they ended.
    ~SessionReadings();

    ReadingKeeper &keeper() { return m_keeper; }
    ReadingRecorder &recorder() { return m_recorder; }
    const StoreLocation &location() { return m_keeper.location(); }

private:
    SessionReadings(Session &session, const StoreLocation &location);

    ReadingKeeper m_keeper;
    ReadingRecorder m_recorder;
};

} // namespace kalent
