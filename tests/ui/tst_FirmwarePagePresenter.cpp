#include "FirmwarePagePresenter.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

using namespace kalent;

Q_DECLARE_METATYPE(kalent::FirmwareState)

namespace {

const QString Sep = QDir::separator();
const QString Ready = QStringLiteral("Загрузка программы управления в прибор.");
const QString NotReady = QStringLiteral("Прибор не готов к загрузке программы управления.");

FirmwareState state(WizardStep step, bool linkUp, FirmwareFile::Source source)
{
    FirmwareState s;
    s.step = step;
    s.linkUp = linkUp;
    s.file.source = source;
    s.file.dataFolder = QDir::fromNativeSeparators(Sep + "data");
    if (source == FirmwareFile::Source::Chosen)
        s.file.path = QDir::fromNativeSeparators(Sep + "fw" + Sep + "mid.tsk");
    else if (source == FirmwareFile::Source::InDataFolder)
        s.file.path = s.file.dataFolder + "/FilesInVirant/Virant_(rx).tsk";
    return s;
}

} // namespace

// The firmware page's captions and enabled buttons as a function of the
// wizard's state, without widgets.
class tst_FirmwarePagePresenter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void thePageFollowsTheWizardsState_data();
    void thePageFollowsTheWizardsState();
    void fileLabelsSayWhereTheFileWasFound_data();
    void fileLabelsSayWhereTheFileWasFound();
};

void tst_FirmwarePagePresenter::thePageFollowsTheWizardsState_data()
{
    QTest::addColumn<FirmwareState>("state");
    QTest::addColumn<bool>("load");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<bool>("stop");
    QTest::addColumn<bool>("fileChoice");
    using S = WizardStep;
    using F = FirmwareFile::Source;
    QTest::newRow("never entered")
        << state(S::Unopened, true, F::NotSearched) << false << QString() << false << true;
    QTest::newRow("step 3, line up, file")
        << state(S::Ready, true, F::Chosen) << true << Ready << false << true;
    QTest::newRow("step 3, line down")
        << state(S::Ready, false, F::Chosen) << false << NotReady << false << true;
    QTest::newRow("step 3 without a file")
        << state(S::Ready, true, F::Missing) << false << NotReady << false << true;
    QTest::newRow("step 2") << state(S::SwitchOff, true, F::InDataFolder) << false << NotReady
                            << false << true;
    QTest::newRow("step 2 waiting for the line")
        << state(S::WaitingForLine, true, F::Chosen) << false << NotReady << false << true;
    QTest::newRow("boot wait") << state(S::BootWait, true, F::Chosen) << false << NotReady << false
                               << true;
    QTest::newRow("sending") << state(S::Sending, true, F::Chosen) << false << NotReady << true
                             << false;
    QTest::newRow("all with the port")
        << state(S::HandedOver, true, F::Chosen) << false << NotReady << false << false;
    QTest::newRow("awaiting the restart")
        << state(S::AwaitingRestart, true, F::Chosen) << false << NotReady << false << false;
    QTest::newRow("restarting") << state(S::Restarting, false, F::Chosen) << false << NotReady
                                << false << false;
    QTest::newRow("restarted, report awaited")
        << state(S::RestartedUp, true, F::Chosen) << false << NotReady << false << false;
    QTest::newRow("upload closed")
        << state(S::UploadClosed, true, F::Chosen) << false << NotReady << false << true;
    QTest::newRow("page left mid-upload")
        << state(S::LeftMidUpload, true, F::Chosen) << false << NotReady << false << true;
}

void tst_FirmwarePagePresenter::thePageFollowsTheWizardsState()
{
    QFETCH(FirmwareState, state);
    const FirmwarePageView view = FirmwarePagePresenter::present(state);
    QTEST(view.loadEnabled, "load");
    QTEST(view.loadHint, "hint");
    QTEST(view.stopShown, "stop");
    QTEST(view.fileChoiceEnabled, "fileChoice");
    QCOMPARE(view.fileTip, QDir::toNativeSeparators(state.file.path));
}

void tst_FirmwarePagePresenter::fileLabelsSayWhereTheFileWasFound_data()
{
    QTest::addColumn<FirmwareState>("state");
    QTest::addColumn<QString>("label");
    using S = WizardStep;
    using F = FirmwareFile::Source;
    QTest::newRow("before the first search")
        << state(S::Unopened, true, F::NotSearched) << QStringLiteral("Файл не найден");
    QTest::newRow("default file missing") << state(S::SwitchOff, true, F::Missing)
                                          << QStringLiteral("Файл Virant_(rx).tsk\nне найден.");
    QTest::newRow("default file in the data folder")
        << state(S::SwitchOff, true, F::InDataFolder)
        << Sep + "data" + Sep + "\nFilesInVirant" + Sep + "\nVirant_(rx).tsk";
    QTest::newRow("the operator's choice")
        << state(S::SwitchOff, true, F::Chosen) << Sep + "fw" + Sep + "\nmid.tsk";
    FirmwareState beside = state(S::SwitchOff, true, F::BesideProgram);
    // The program's folder as the system names it (with its drive on Windows).
    const QString run = QFileInfo(QStringLiteral("/run")).absoluteFilePath();
    beside.file.path = run + QStringLiteral("/Virant_(rx).tsk");
    QTest::newRow("default file beside the program")
        << beside << QDir::toNativeSeparators(run) + Sep + "\nVirant_(rx).tsk";
}

void tst_FirmwarePagePresenter::fileLabelsSayWhereTheFileWasFound()
{
    QFETCH(FirmwareState, state);
    QTEST(FirmwarePagePresenter::present(state).fileLabel, "label");
}

QTEST_GUILESS_MAIN(tst_FirmwarePagePresenter)
#include "tst_FirmwarePagePresenter.moc"
