#include "TestSupport.h"

#include "database/DatabasePage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace kalent::test {

SimRig::SimRig()
    : instrument(createBuiltInInstrument(clock)), port(*instrument, clock),
      session(clock, port, DataFolder(dataDir.path()))
{
    QObject::connect(&session.pane(), &MessagePane::textChanged,
                     [this](const QString &text) { statusLog.append(text); });
}

SimRig::~SimRig() = default;

void SimRig::startUp()
{
    link().openFirstPort({QStringLiteral("sim")});
}

bool SimRig::runUntil(const std::function<bool()> &done, qint64 maxMs)
{
    return clock.advanceUntil(done, maxMs);
}

bool SimRig::connectFast()
{
    startUp();
    link().searchWithFastestSpeed();
    return runUntil([this] { return link().atFastestSpeed(); });
}

bool SimRig::readInstrumentList()
{
    DatabasePage &page = session.databasePage();
    const int before = page.readsCompleted();
    page.readInstrumentList();
    return runUntil([&] { return page.readsCompleted() > before; }, 120000);
}

QString testDataPath(const QString &name)
{
    return QDir(qEnvironmentVariable("KALENT_TEST_DATA")).filePath(name);
}

bool runningUnderWine()
{
#ifdef Q_OS_WIN
    // Wine's ntdll exports its version; Windows' does not.
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}

bool makeSymbolicLink(const QString &target, const QString &linkPath)
{
#ifdef Q_OS_WIN
    DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
    if (QFileInfo(target).isDir())
        flags |= SYMBOLIC_LINK_FLAG_DIRECTORY;
    const std::wstring link = QDir::toNativeSeparators(linkPath).toStdWString();
    const std::wstring to = QDir::toNativeSeparators(target).toStdWString();
    return CreateSymbolicLinkW(link.c_str(), to.c_str(), flags) != 0;
#else
    return QFile::link(target, linkPath);
#endif
}

} // namespace kalent::test
