#pragma once

#include <QtGlobal>

namespace kalent {

// Ties a test-system node to its record's bytes in its list's image.
struct TSLocator
{
    qint32 Position = 0; // byte offset of the record's first page in the image
    qint32 Pages = 0;    // the record's page count, as its head says
    // The Pages pages from Position are this record's own: inside the image,
    // no closing page among them, and no page the parser takes as another
    // record's head. Only such a record can be copied without holding a page twice.
    bool whole = false;
};

} // namespace kalent
