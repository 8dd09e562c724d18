#pragma once

#include <QtGlobal>

namespace kalent {

// Ties a test-system node to its record's bytes in its list's image.
struct TSLocator
{
    qint32 Position = 0; // byte offset of the record's first page in the image
    qint32 Pages = 0;    // the record's page count
};

} // namespace kalent
