#include "database/NameCollation.h"

#include "common/Cp1251.h"

namespace kalent {

NameCollation::NameCollation() : m_collator(QLocale(QLocale::English, QLocale::UnitedStates))
{
    // en_US rather than ru_RU: the Russian tailoring puts Cyrillic before Latin.
    m_collator.setCaseSensitivity(Qt::CaseSensitive);
    m_collator.setNumericMode(false);
    m_collator.setIgnorePunctuation(false);
}

NameCollation::Key NameCollation::keyOf(const QByteArray &name)
{
    Key key;
    key.bytes = name;
    const int zero = name.indexOf('\0');
    key.text = Cp1251::decode(zero < 0 ? name : name.left(zero));
    key.folded = key.text;
    key.folded.remove(QLatin1Char('-'));
    key.folded.remove(QLatin1Char('\''));
    return key;
}

int NameCollation::compare(const Key &a, const Key &b) const
{
    int result = m_collator.compare(a.folded, b.folded);
    if (result == 0)
        result = m_collator.compare(a.text, b.text);
    if (result == 0)
        result = a.text.compare(b.text);
    if (result == 0)
        result = a.bytes < b.bytes ? -1 : (b.bytes < a.bytes ? 1 : 0);
    return result;
}

int NameCollation::compare(const QByteArray &a, const QByteArray &b) const
{
    return compare(keyOf(a), keyOf(b));
}

} // namespace kalent
