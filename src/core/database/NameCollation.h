#pragma once

#include <QByteArray>
#include <QCollator>
#include <QString>

namespace kalent {

// The order of siblings in the database trees, as the instrument's own lists
// sort them: case-sensitive, a lower-case letter before the upper-case one,
// Latin before Cyrillic, a hyphen or apostrophe almost ignored. Names are
// windows-1251 bytes; the comparison ends at the first zero byte.
class NameCollation
{
public:
    NameCollation();

    // What the comparison looks at: the decoded text before the zero byte, and
    // that text without hyphens and apostrophes.
    struct Key
    {
        QString text;
        QString folded;
        QByteArray bytes;
    };
    static Key keyOf(const QByteArray &name);

    // Negative, zero or positive like strcmp. Zero only for identical bytes, so
    // sorting is stable whatever the names hold.
    int compare(const Key &a, const Key &b) const;
    int compare(const QByteArray &a, const QByteArray &b) const;

private:
    QCollator m_collator;
};

} // namespace kalent
