#pragma once

#include "database/TSTree.h"

#include <QByteArray>

namespace kalent {

// One list of test systems, held twice: as the image bytes and as the tree whose
// test systems locate their records in those bytes. Only TestSystemDatabase
// builds one, and only from an image that passed the checks, so a list is never
// in a state the program would refuse to read back: the header equals the page
// count and the size, the last page is the closing page, every test system's
// record lies whole inside the image, and the tree is what parsing the image
// gives. The counts are derived from the bytes and the tree, never kept apart.
class DatabaseList
{
public:
    DatabaseList() = default;
    DatabaseList(DatabaseList &&) = default;
    DatabaseList &operator=(DatabaseList &&) = default;

    // The image; absent (not merely empty) until the list is first built, and
    // again after it is discarded. A discarded list keeps its tree on screen.
    bool exists() const { return m_exists; }
    const QByteArray &image() const { return m_image; }
    const TSTree &tree() const { return m_tree; }
    // PageCount / FilePageCount / AddPageCount: the pages the image holds.
    int pageCount() const;
    // TSCount / FileTSCount / AddTSCount: the test systems of the tree.
    int tsCount() const { return static_cast<int>(m_tree.testSystems().size()); }

private:
    friend class TestSystemDatabase;

    bool m_exists = false;
    // The additional list holds pages only, without the 10-byte header.
    bool m_headerless = false;
    QByteArray m_image;
    TSTree m_tree;
};

} // namespace kalent
