#include "WindowMain.h"

#include "MessagePane.h"
#include "Session.h"
#include "TraceReplay.h"
#include "WindowComposition.h"
#include "journal/UnfinishedWrites.h"

#include <QApplication>

#include <cstdio>

namespace kalent {

bool displayAvailable()
{
#ifdef Q_OS_LINUX
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
#else
    return true;
#endif
}

int runWindow(const CommandLine &commandLine)
{
    WindowComposition::Options options;
    options.portName = commandLine.value(QStringLiteral("port"));
    if (commandLine.has(QStringLiteral("trace")))
        options.traceFile = commandLine.value(QStringLiteral("trace"));
    options.dataDir = commandLine.value(QStringLiteral("data-dir"));
    options.replayFile = commandLine.value(QStringLiteral("replay"));
    options.storeUrl = commandLine.value(QStringLiteral("store"));
    WindowComposition composition(options);
    if (!composition.storeError().isEmpty()) {
        std::fprintf(stderr, "%s\n", composition.storeError().toUtf8().constData());
        return 2;
    }
    if (!composition.traceError().isEmpty())
        std::fprintf(stderr, "%s\n", composition.traceError().toUtf8().constData());
    if (TraceReplay *replay = composition.replay()) {
        QObject::connect(replay, &TraceReplay::departed, [](const QString &report) {
            std::fprintf(stderr, "%s\n", TraceReplay::departureText(report).toUtf8().constData());
        });
    }
    composition.start();
    // A write a killed program left unfinished is said once, after the start's own texts.
    for (const QString &text : UnfinishedWrites::reportOnce(composition.session().journal())) {
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
        composition.session().pane().setText(text);
    }
    return QApplication::exec();
}

} // namespace kalent
