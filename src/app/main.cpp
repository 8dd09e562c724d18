#include "Actions.h"
#include "CommandLine.h"
#include "HeadlessRun.h"

#include <QCoreApplication>

#include <cstdio>

using namespace kalent;

namespace {

const QStringList GlobalValueOptions = {QStringLiteral("port"), QStringLiteral("data-dir")};

QString usage()
{
    QString text =
        QStringLiteral("usage: kalent-service [--port NAME] [--data-dir DIR]\n"
                       "       kalent-service ACTION [--port NAME] [--data-dir DIR] ...\n"
                       "actions:\n");
    for (const Action &a : actions())
        text += QStringLiteral("  kalent-service ") + a.usage + QLatin1Char('\n');
    return text;
}

QStringList actionNames()
{
    QStringList names;
    for (const Action &a : actions())
        names.append(a.name);
    return names;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kalent-service"));
    const QStringList arguments = QCoreApplication::arguments();

    // The action decides which options are allowed; find it first.
    const CommandLine first = CommandLine::parse(
        arguments, actionNames(),
        GlobalValueOptions + QStringList{QStringLiteral("timeout"), QStringLiteral("out"),
                                         QStringLiteral("node"), QStringLiteral("baud")},
        {QStringLiteral("auto-name"), QStringLiteral("pty"), QStringLiteral("wait-restart"),
         QStringLiteral("programming"), QStringLiteral("help")});
    if (first.flags.contains(QStringLiteral("help"))) {
        HeadlessRun::writeOut(usage().toUtf8());
        return 0;
    }
    const Action *action = findAction(first.action);
    if (!action) {
        HeadlessRun::printError(QStringLiteral("The window is not available in this build yet.\n") +
                                usage());
        return 2;
    }
    const CommandLine commandLine = CommandLine::parse(
        arguments, actionNames(), GlobalValueOptions + action->valueOptions, action->flagOptions);
    double timeout = 0;
    QString timeoutError;
    if (commandLine.error.isEmpty() &&
        !HeadlessRun::parseTimeout(commandLine, &timeout, &timeoutError)) {
        HeadlessRun::printError(timeoutError);
        return 2;
    }
    if (!commandLine.error.isEmpty()) {
        HeadlessRun::printError(commandLine.error + QStringLiteral("\nusage: kalent-service ") +
                                action->usage);
        return 2;
    }
    return action->run(commandLine);
}
