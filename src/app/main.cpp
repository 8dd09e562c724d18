#include "Actions.h"
#include "CommandLine.h"
#include "ExitStatus.h"
#include "HeadlessRun.h"
#include "MainWindow.h"
#include "PlatformConsole.h"
#include "ReplayScript.h"
#include "StandardOutput.h"
#include "StopSignals.h"
#include "TraceReplay.h"
#include "WindowMain.h"
#include "common/DataFolder.h"
#include "common/FileSizeLimit.h"
#include "common/QtTranslations.h"
#include "journal/DataRecords.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>

#include <memory>

using namespace kalent;

namespace {

// What the parser found that ends the run at once: help, version or a usage error.
int finishEarly(const ParsedArguments &parsed)
{
    switch (parsed.outcome) {
    case ParsedArguments::Outcome::Version:
        // The title as the window gives it, then the package's own version.
        HeadlessRun::printOut(MainWindow::ApplicationTitle);
        HeadlessRun::printOut(QStringLiteral("Версия пакета: " KALENT_PACKAGE_VERSION));
        return 0;
    case ParsedArguments::Outcome::Help:
        HeadlessRun::writeOut(parsed.text.toUtf8());
        return 0;
    case ParsedArguments::Outcome::UsageError:
        HeadlessRun::printError(parsed.text);
        return 2;
    case ParsedArguments::Outcome::Run:
        break;
    }
    return -1;
}

// A recording to answer behind "sim" is checked whole before anything starts:
// one that cannot be served is refused like a wrong parameter.
bool replayServable(const CommandLine &line)
{
    if (!line.has(QStringLiteral("replay")) || line.value(QStringLiteral("port")) != "sim")
        return true;
    const QString path = line.value(QStringLiteral("replay"));
    QString why;
    if (ReplayScript::load(path, &why))
        return true;
    HeadlessRun::printError(TraceReplay::refusedText(path, why));
    return false;
}

// No output, trace or temporary file of a run may land on the data folder's
// records (the journal, the backups): refused like a wrong parameter, before
// the port, the trace or any file is opened.
bool clearOfRecords(const ParsedArguments &parsed)
{
    // A data folder that cannot be named would be replaced by another.
    if (const QString why = DataFolder::unnameable(parsed.line.value(QStringLiteral("data-dir")));
        !why.isEmpty()) {
        HeadlessRun::printError(why);
        return false;
    }
    const QString folder = DataFolder::resolvedPath(parsed.line.value(QStringLiteral("data-dir")));
    for (const char *option : {"out", "pdf", "trace"}) {
        const QString name = QString::fromLatin1(option);
        for (const QString &path : parsed.line.all(name)) {
            const QString why = DataRecords::optionRefusal(folder, name, path);
            if (why.isEmpty())
                continue;
            HeadlessRun::printError(parsed.action ? usageErrorText(*parsed.action, why) : why);
            return false;
        }
    }
    return true;
}

int runAction(const ParsedArguments &parsed)
{
    if (!replayServable(parsed.line) || !clearOfRecords(parsed))
        return 2;
    double timeout = 0;
    QString timeoutError;
    if (!HeadlessRun::parseTimeout(parsed.line, &timeout, &timeoutError)) {
        HeadlessRun::printError(usageErrorText(*parsed.action, timeoutError));
        return 2;
    }
    return parsed.action->run(parsed.line);
}

enum class ApplicationKind { Window, PagesWithoutWindow, Console };

ApplicationKind applicationKindFor(const QStringList &arguments)
{
    const ParsedArguments untranslated = parseArguments(arguments, actions());
    if (untranslated.outcome != ParsedArguments::Outcome::Run)
        return ApplicationKind::Console;
    if (!untranslated.action)
        return displayAvailable() ? ApplicationKind::Window : ApplicationKind::Console;
    return actionDrawsPages(untranslated.line) ? ApplicationKind::PagesWithoutWindow
                                               : ApplicationKind::Console;
}

QtMessageHandler qtHandler = nullptr;

// Qt's English notice that XDG_RUNTIME_DIR is unset (a service, a root shell,
// sudo) is meant for developers: Qt falls back to a private folder of its own
// and the program works the same. Everything else Qt says passes on unchanged.
void withoutRuntimeDirNotice(QtMsgType type, const QMessageLogContext &context,
                             const QString &message)
{
    if (type == QtWarningMsg &&
        message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    if (qtHandler)
        qtHandler(type, context, message);
}

} // namespace

int main(int argc, char *argv[])
{
    // Before anything opens a file: a closed standard stream is held.
    StandardOutput::prepare();
    PlatformConsole::prepare();
    qtHandler = qInstallMessageHandler(withoutRuntimeDirNotice);
    // Every writer of the process (files, the trace, the journal) meets a
    // file-size limit as a failed write it reports, never as the end of the process.
    FileSizeLimit::failWritesInsteadOfSignal();
    const QStringList arguments = PlatformConsole::arguments(argc, argv);

    // An action that must end cleanly takes SIGTERM and SIGINT before anything
    // else happens: a signal that comes at once still lets it finish and journal.
    if (const ParsedArguments early = parseArguments(arguments, actions());
        early.outcome == ParsedArguments::Outcome::Run && early.action &&
        early.action->catchesStopSignals)
        StopSignals::catchFromNow();

    // The kind of application follows from what is asked: the window, pages drawn
    // without a window (fonts need a GUI application), or neither. The parser's
    // texts need the application's translator, so the words are read once before
    // the application exists and again, translated, after.
    const ApplicationKind kind = applicationKindFor(arguments);
    if (kind == ApplicationKind::Window) {
        PlatformConsole::releaseIfOwn();
        QApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("kalent-service"));
        // No application display name: Qt would append it to every title bar, and
        // the window's caption is exactly "КАЛЕНТ-сервис". The full title is --version's.
        installQtTranslations(app);
        const ParsedArguments parsed = parseArguments(arguments, actions());
        if (parsed.outcome != ParsedArguments::Outcome::Run || parsed.action)
            return ExitStatus::settle(finishEarly(parsed));
        if (!replayServable(parsed.line) || !clearOfRecords(parsed))
            return 2;
        return runWindow(parsed.line);
    }

    std::unique_ptr<QCoreApplication> app;
    if (kind == ApplicationKind::PagesWithoutWindow) {
#ifndef Q_OS_WIN
        // No display needed: the offscreen platform finds the system's fonts
        // through fontconfig. On Windows it would look for them in a folder Qt
        // does not ship and draw pages without text; the Windows platform draws
        // with the system's fonts and shows no window unless asked to.
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("kalent-service"));
    installQtTranslations(*app);
    const ParsedArguments parsed = parseArguments(arguments, actions());
    // Standard output is read once more before the status is given.
    if (parsed.outcome != ParsedArguments::Outcome::Run)
        return ExitStatus::settle(finishEarly(parsed));
    if (parsed.action)
        return ExitStatus::settle(runAction(parsed));
    if (!clearOfRecords(parsed))
        return ExitStatus::settle(2);
    HeadlessRun::printError(
        QStringLiteral("Нет дисплея (DISPLAY, WAYLAND_DISPLAY и QT_QPA_PLATFORM не заданы), "
                       "окно открыть нельзя; вместо него выполняется действие contact с теми же "
                       "параметрами."));
    return ExitStatus::settle(runContact(parsed.line));
}
