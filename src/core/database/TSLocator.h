#pragma once

#include <QtGlobal>

namespace kalent {

// Ties a test-system node to its record's bytes in its list's image.
struct TSLocator
{
    qint32 Position = 0; // byte offset of the record's first page in the image
    qint32 Pages = 0;    // the record's page count, as its head says
    // The head and its Pages - 1 continuation pages all stand in the image. A
    // head that counts past a page of another kind, a closing page or the end
    // of the bytes would claim pages that are not its own.
    bool whole = false;
};

} // namespace kalent
