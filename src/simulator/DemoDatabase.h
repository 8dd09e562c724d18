#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace kalent {

// Builds database images as the instrument keeps them: record pages with a head
// (page count, group, subgroup and test-system names in windows-1251) and a
// closing page last. The built-in instrument starts with demo(); tests and
// benchmarks build their own.
class DemoDatabase
{
public:
    struct Record
    {
        QString group;
        QString subgroup;
        QString testSystem;
        int pages = 1;
    };

    void addRecord(const Record &record);
    // An image of the records in the order added, then the closing page.
    QByteArray image() const;
    int pageCount() const;

    // A realistic database: several groups and subgroups, one- and multi-page
    // records, Cyrillic names, not in sorted order.
    static QByteArray demo();
    // Exactly `pages` pages (2 to 999): one-page records with distinct names,
    // then the closing page.
    static QByteArray withPages(int pages);

private:
    std::vector<Record> m_records;
};

} // namespace kalent
