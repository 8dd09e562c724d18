#pragma once

#include "database/DatabaseList.h"

#include <QByteArray>

namespace kalent {

// The three lists of test systems (instrument, file, additional), the closing
// page they share, and the operations that turn an image into a tree and back:
// ParseDatabase, RebuildDatabase, FormAdditionalList, AddMissingTestSystem and
// RemoveSelectedNodes. No widgets and no messages: callers show the results.
class TestSystemDatabase
{
public:
    TestSystemDatabase();

    DatabaseList &instrument() { return m_instrument; }
    DatabaseList &file() { return m_file; }
    // The additional list's image holds pages only, no header.
    DatabaseList &additional() { return m_additional; }
    const DatabaseList &instrument() const { return m_instrument; }
    const DatabaseList &file() const { return m_file; }
    const DatabaseList &additional() const { return m_additional; }

    // The closing page captured last, by a parse or a rebuild of any list.
    const QByteArray &closingPage() const { return m_closingPage; }

    // Rebuilds the tree and the locators from the image. In: list.pageCount pages
    // to walk; out: the pages walked (never past the image's end) and tsCount.
    void ParseDatabase(DatabaseList &list);
    // Rewrites the image from the tree's test systems in tree order, followed by
    // the closing page, and sets pageCount and tsCount.
    void RebuildDatabase(DatabaseList &list);

    enum class AdditionalResult {
        NotFormed, // a list's bytes are missing
        Formed,
        SizeMismatch // the bytes do not come to AddPageCount whole pages
    };
    // The file list's test systems the instrument list lacks, with their bytes.
    AdditionalResult FormAdditionalList();
    void AddMissingTestSystem(const TSNode &fileNode);
    // Deletes every selected node with its subtree.
    static void RemoveSelectedNodes(TSTree &tree);

    // A list text file: per node in tree order, one TAB per level, the name with
    // its zero byte, CR LF.
    static QByteArray listText(const TSTree &tree);

private:
    DatabaseList m_instrument;
    DatabaseList m_file;
    DatabaseList m_additional;
    QByteArray m_closingPage;
};

} // namespace kalent
