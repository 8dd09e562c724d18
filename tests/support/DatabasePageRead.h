#include "ObjectNames.h"
#pragma once

#include "TestSupport.h"

#include "database/DatabasePage.h"

#include <QPushButton>
#include <QWidget>

namespace kalent::test {

// Reads the instrument's database into the page as the operator does, by the
// page's "из прибора"; true once the read has completed (the list taken).
inline bool readThroughThePage(SimRig &rig, QWidget &frame)
{
    DatabasePage &page = rig.session.databasePage();
    const int before = page.readsCompleted();
    auto *read = frame.findChild<QPushButton *>(objectNames::database::ReadInstrumentList);
    if (!read || !read->isEnabled())
        return false;
    read->click();
    return rig.runUntil([&] { return page.readsCompleted() > before; }, 120000);
}

} // namespace kalent::test
