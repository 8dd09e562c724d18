#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace kalent {

// The parsed command line: an optional action, its positional arguments, and
// --options (a value option may repeat; a flag has no value).
struct CommandLine
{
    QString action;
    QStringList positional;
    QHash<QString, QStringList> values;
    QStringList flags;
    QString error; // non-empty: a usage error

    bool has(const QString &option) const
    {
        return values.contains(option) || flags.contains(option);
    }
    QString value(const QString &option, const QString &fallback = {}) const;
    QStringList all(const QString &option) const { return values.value(option); }

    // valueOptions take a value, flagOptions do not; anything else is an error.
    static CommandLine parse(const QStringList &arguments, const QStringList &actions,
                             const QStringList &valueOptions, const QStringList &flagOptions);
};

} // namespace kalent
