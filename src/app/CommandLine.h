#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

namespace kalent {

// The options and arguments one action was given.
struct CommandLine
{
    QString action;
    QStringList positional;
    QHash<QString, QStringList> values;
    QStringList flags;

    bool has(const QString &option) const
    {
        return values.contains(option) || flags.contains(option);
    }
    QString value(const QString &option, const QString &fallback = {}) const;
    QStringList all(const QString &option) const { return values.value(option); }
};

// A headless action of the command line. run() returns the exit status:
// 0 success, 1 the operation failed or timed out, 2 a usage error.
struct Action
{
    QString name;
    QString usage;            // the action's syntax, beginning with its name
    QStringList valueOptions; // besides the options every action takes
    QStringList flagOptions;
    int (*run)(const CommandLine &commandLine);
    QString summary = {};      // one sentence for --help
    QStringList required = {}; // options that must be given
    int minArguments = 0;      // positional arguments after the action's name
    int maxArguments = 0;
    bool takesPort = true; // false: --port is refused as an option it does not know
    // SIGTERM/SIGINT/SIGHUP are caught from the program's first moment: the action
    // finishes or cancels its work, journals it and exits.
    bool catchesStopSignals = false;
};

// Options every action and the window take.
const QStringList &globalValueOptions();
// Whether a global option is one the action (null: the window) takes: --port
// and --replay only where there is a port.
bool globalOptionApplies(const Action *action, const QString &name);
// Whether the action (null: the window) keeps or reads readings (takes --store).
bool keepsReadings(const Action *action);

// The command line as QCommandLineParser reads it, with the options of the one
// action it names, so that "ACTION --help" shows that action's options. Texts
// go through Qt's translator: with the Russian one installed, the parser's
// own words are Russian like the program's.
struct ParsedArguments
{
    enum class Outcome { Run, Help, Version, UsageError };
    Outcome outcome = Outcome::Run;
    const Action *action = nullptr; // null: the window
    CommandLine line;
    QString text; // the help, or the usage error followed by the usage
};

// The action the command line names (its first word that is not an option or
// an option's value); null for none. A first word that names no action is
// returned in unknownWord.
const Action *actionNamedIn(const QStringList &arguments, const std::vector<Action> &actions,
                            QString *unknownWord);
ParsedArguments parseArguments(const QStringList &arguments, const std::vector<Action> &actions);
// A number of seconds typed on the command line, taken only when it is a finite
// number within [least, most] (never nan, inf or 1e300).
bool secondsInRange(const QString &text, double least, double most, double *seconds);
// The usage error of an action: what is wrong, then how it is called.
QString usageErrorText(const Action &action, const QString &what);

} // namespace kalent
