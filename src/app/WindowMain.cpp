#include "WindowMain.h"

#include "TraceReplay.h"
#include "WindowComposition.h"

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
    return QApplication::exec();
}

} // namespace kalent
