#include "Actions.h"
#include "CommandLine.h"
#include "HeadlessRun.h"
#include "TFormMainKalS_D7.h"
#include "WindowMain.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>

using namespace kalent;

namespace {

// --trace FILE records every byte exchanged, for every action and the window.
const QStringList GlobalValueOptions = {QStringLiteral("port"), QStringLiteral("data-dir"),
                                        QStringLiteral("trace")};

QString usage()
{
    QString text =
        QStringLiteral("usage: kalent-service [--port NAME] [--data-dir DIR] [--trace FILE]\n"
                       "       kalent-service ACTION [--port NAME] [--data-dir DIR] [--trace FILE] "
                       "...\n"
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

// No action: the window, or the contact action where no window can be shown.
int runWithoutAction(int argc, char *argv[], const CommandLine &commandLine)
{
    if (!displayAvailable()) {
        HeadlessRun::printError(
            QStringLiteral("No display is available (DISPLAY, WAYLAND_DISPLAY and "
                           "QT_QPA_PLATFORM are unset), so the window cannot open; running the "
                           "headless contact action with the same options instead."));
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("kalent-service"));
        return runContact(commandLine);
    }
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kalent-service"));
    // No application display name: Qt would append it to every title bar, and the
    // window's caption is exactly "КАЛЕНТ-сервис". The full title is --version's.
    return runWindow(commandLine);
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));

    // The action decides which options are allowed; find it first.
    const CommandLine first = CommandLine::parse(
        arguments, actionNames(),
        GlobalValueOptions + QStringList{QStringLiteral("timeout"), QStringLiteral("out"),
                                         QStringLiteral("node"), QStringLiteral("baud"),
                                         QStringLiteral("since"), QStringLiteral("notices"),
                                         QStringLiteral("replay")},
        {QStringLiteral("auto-name"), QStringLiteral("pty"), QStringLiteral("wait-restart"),
         QStringLiteral("programming"), QStringLiteral("help"), QStringLiteral("version")});
    if (first.flags.contains(QStringLiteral("version"))) {
        HeadlessRun::printOut(TFormMainKalS_D7::ApplicationTitle);
        return 0;
    }
    if (first.flags.contains(QStringLiteral("help"))) {
        HeadlessRun::writeOut(usage().toUtf8());
        return 0;
    }
    if (first.action.isEmpty()) {
        const CommandLine windowLine =
            CommandLine::parse(arguments, actionNames(), GlobalValueOptions, {});
        if (!windowLine.error.isEmpty() || !windowLine.positional.isEmpty()) {
            HeadlessRun::printError(
                (windowLine.error.isEmpty()
                     ? QStringLiteral("unknown action %1").arg(windowLine.positional.first())
                     : windowLine.error) +
                QLatin1Char('\n') + usage());
            return 2;
        }
        return runWithoutAction(argc, argv, windowLine);
    }
    const Action *action = findAction(first.action);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kalent-service"));
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
