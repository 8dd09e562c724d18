#include "CommandLine.h"

namespace kalent {

QString CommandLine::value(const QString &option, const QString &fallback) const
{
    const QStringList v = values.value(option);
    return v.isEmpty() ? fallback : v.last();
}

CommandLine CommandLine::parse(const QStringList &arguments, const QStringList &actions,
                               const QStringList &valueOptions, const QStringList &flagOptions)
{
    CommandLine cl;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (arg.startsWith(QLatin1String("--"))) {
            QString name = arg.mid(2);
            QString inlineValue;
            const int eq = name.indexOf(QLatin1Char('='));
            const bool hasInline = eq >= 0;
            if (hasInline) {
                inlineValue = name.mid(eq + 1);
                name = name.left(eq);
            }
            if (valueOptions.contains(name)) {
                if (hasInline) {
                    cl.values[name].append(inlineValue);
                } else if (i + 1 < arguments.size()) {
                    cl.values[name].append(arguments.at(++i));
                } else {
                    cl.error = QStringLiteral("option --%1 needs a value").arg(name);
                    return cl;
                }
            } else if (flagOptions.contains(name) && !hasInline) {
                cl.flags.append(name);
            } else {
                cl.error = QStringLiteral("unknown option %1").arg(arg);
                return cl;
            }
        } else if (cl.action.isEmpty() && cl.positional.isEmpty() && actions.contains(arg)) {
            cl.action = arg;
        } else {
            cl.positional.append(arg);
        }
    }
    return cl;
}

} // namespace kalent
