#pragma once

#include "database/DatabaseService.h"

#include <optional>

namespace kalent {

// What the database page shows, as facts about the lists, the selection and
// the job; the window's presenter derives every caption and enabled flag from
// it (DatabasePagePresenter).
struct DatabasePageState
{
    DatabaseService::Phase job = DatabaseService::Phase::Idle;
    // Each list's test systems, once the list has first been made (a discarded
    // file list keeps its tree, and so its count).
    std::optional<int> instrumentTs;
    std::optional<int> fileTs;
    std::optional<int> additionalTs;
    bool instrumentListExists = false;
    // A read from the instrument completed; a file passed its checks (each since the start).
    bool fromDevice = false;
    bool fromFile = false;
    // The instrument list has been added to or deleted from.
    bool instrumentEdited = false;
    int selected = 0; // nodes selected in the instrument tree
    // The trees are hidden while a read replaces the instrument list, and after a
    // file without its closing page.
    bool instrumentTreeShown = true;
    bool fileTreeShown = true;
    bool additionalTreeShown = true;

    bool operator==(const DatabasePageState &o) const;
    bool operator!=(const DatabasePageState &o) const { return !(*this == o); }
};

} // namespace kalent
