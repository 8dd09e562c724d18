#pragma once

#include <QString>

namespace kalent {

// The file last chosen in a file dialog, shared by the database and firmware pages:
// the folder part (with its trailing separator) and the name part shown in messages.
class LastFileChoice
{
public:
    // Splits at the last separator ('/' or '\\'); a separator only in the first
    // character, or none at all, leaves the folder empty and the whole path as name.
    void remember(const QString &path);

    QString dir() const { return m_dir; }
    QString name() const { return m_name; }

private:
    QString m_dir;
    QString m_name;
};

} // namespace kalent
