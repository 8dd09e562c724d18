#include "FirmwareRig.h"

#include <QSignalSpy>
#include <QtTest>

using namespace kalent;
using namespace kalent::test;

namespace {
const QString StepOne = QStringLiteral("Определите файл для загрузки. Шаг 1.");
const QString SwitchOff = QStringLiteral("Выключите прибор. Шаг 2.");
const QString SwitchOn = QStringLiteral("Включите прибор удерживая указку на экране.Шаг 2.");
const QString StepThree = QStringLiteral("Загрузите программу в прибор. Шаг 3.");
} // namespace

class tst_FirmwareWizard : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void withoutFirmwareFolderStepOneThenChosenFileGivesStepTwo();
    void cancellingTheDialogKeepsWhatWasLocated();
    void defaultFileInFirmwareFolderIsLocated();
    void switchingOffInStepTwoAsksToSwitchOnHoldingTheStylus();
    void programmingModeOpensStepThreeAfterTheBootWait();
    void startupReportDuringTheBootWaitReturnsToStepTwo();
    void linkDropDuringTheBootWaitDoesNotRestartTheTimer();
    void successfulTransferReportsProgrammingRestartAndFinish();
    void pageChangeDuringTransferStopsItAndEmptiesThePane();
    void stepPromptsNeverReplaceTheTransferTexts();
    void linkLossDuringTransferCancelsTheReprogramming();
    void nothingHappensBeforeTheFrameExists();
    void lineEventsOnAnotherPageTakeNoWizardStep();
    void searchLeftRunningElsewhereDoesNotMoveTheFirmwareSpeed();
};

void tst_FirmwareWizard::withoutFirmwareFolderStepOneThenChosenFileGivesStepTwo()
{
    FirmwareRig rig;
    rig.startUp();
    rig.openFirmwarePage();

    QCOMPARE(rig.wizard().frameState().fileLabel,
             QStringLiteral("Файл Virant_(rx).tsk\r\nне найден."));
    QCOMPARE(rig.session.pane().text(), StepOne);
    QVERIFY(!rig.wizard().softFileFound());
    QVERIFY(!rig.wizard().frameState().loadEnabled);
    QCOMPARE(rig.wizard().frameState().loadHint,
             QStringLiteral("Прибор не готов к загрузке программы управления."));
    // Looking for the file does not create its folder.
    QVERIFY(!QFileInfo::exists(QDir(rig.dataDir.path()).filePath("FilesInVirant")));
    // Entering the page put the port at 115200 directly.
    QCOMPARE(rig.port.settings(), QStringLiteral("115200,n,8,1"));
    QCOMPARE(rig.link().panel().commParamText, QStringLiteral("Параметры: 115200,n,8,1"));

    const QString path = rig.writeFile("elsewhere/new.tsk", "x");
    rig.wizard().fileChosen(path);
    QCOMPARE(rig.session.pane().text(), SwitchOff);
    QVERIFY(rig.wizard().softFileFound());
    QCOMPARE(rig.wizard().softFileName(), path);
    const QString folder =
        QDir::toNativeSeparators(QFileInfo(path).absolutePath()) + QDir::separator();
    QCOMPARE(rig.wizard().frameState().fileLabel, folder + "\r\nnew.tsk");
    // The choice is shared with the database page, and the dialog opens there next.
    QCOMPARE(rig.session.lastFile().dir(), folder);
    QCOMPARE(rig.session.lastFile().name(), QStringLiteral("new.tsk"));
    QCOMPARE(rig.wizard().dialogFolder(), folder);
    QCOMPARE(rig.wizard().dialogFileName(), QStringLiteral("new.tsk"));
}

void tst_FirmwareWizard::cancellingTheDialogKeepsWhatWasLocated()
{
    FirmwareRig rig;
    rig.startUp();
    rig.openFirmwarePage();
    rig.wizard().fileDialogCancelled();
    QVERIFY(!rig.wizard().softFileFound());
    QCOMPARE(rig.session.pane().text(), StepOne);

    const QString path = rig.writeFile("a.tsk", "x");
    rig.wizard().fileChosen(path);
    rig.wizard().fileDialogCancelled();
    QVERIFY(rig.wizard().softFileFound());
    QCOMPARE(rig.wizard().softFileName(), path);
    QCOMPARE(rig.session.pane().text(), SwitchOff);
}

void tst_FirmwareWizard::defaultFileInFirmwareFolderIsLocated()
{
    FirmwareRig rig;
    const QString path = rig.writeFile("FilesInVirant/Virant_(rx).tsk", "abc");
    rig.startUp();
    rig.openFirmwarePage();

    QVERIFY(rig.wizard().softFileFound());
    QCOMPARE(QFileInfo(rig.wizard().softFileName()).canonicalFilePath(),
             QFileInfo(path).canonicalFilePath());
    const QString sep = QDir::separator();
    QCOMPARE(rig.wizard().frameState().fileLabel,
             QDir::toNativeSeparators(QDir(rig.dataDir.path()).absolutePath()) + sep +
                 "\r\nFilesInVirant" + sep + "\r\nVirant_(rx).tsk");
    QCOMPARE(rig.session.pane().text(), SwitchOff);
    QVERIFY(!rig.wizard().frameState().loadEnabled);
}

void tst_FirmwareWizard::switchingOffInStepTwoAsksToSwitchOnHoldingTheStylus()
{
    FirmwareRig rig;
    rig.startUp();
    rig.openFirmwarePage();
    rig.wizard().fileChosen(rig.writeFile("a.tsk", "x"));
    rig.statusLog.clear();

    rig.powerOff();
    // The link check's shorter text is overwritten by the update in the same call.
    QCOMPARE(rig.statusLog, QStringList({"Нет связи с прибором",
                                         "Включите прибор удерживая указку на экране.", SwitchOn}));
    QVERIFY(rig.wizard().softDeviceOffSeen());
}

void tst_FirmwareWizard::programmingModeOpensStepThreeAfterTheBootWait()
{
    FirmwareRig rig;
    rig.startUp();
    rig.openFirmwarePage();
    rig.wizard().fileChosen(rig.writeFile("a.tsk", "x"));
    rig.powerOff();
    rig.clock.advance(5000);
    rig.statusLog.clear();

    rig.powerOn(true);
    QVERIFY(rig.bootLoader().inProgrammingMode());
    QVERIFY(rig.wizard().softBootWait());
    // Switching on gives no new text.
    QCOMPARE(rig.session.pane().text(), SwitchOn);
    QVERIFY(!rig.statusLog.contains(StepThree));

    rig.clock.advance(5499);
    QVERIFY(!rig.wizard().frameState().loadEnabled);
    QCOMPARE(rig.session.pane().text(), SwitchOn);
    rig.clock.advance(1);
    QCOMPARE(rig.session.pane().text(), StepThree);
    QVERIFY(rig.wizard().frameState().loadEnabled);
    QCOMPARE(rig.wizard().frameState().loadHint,
             QStringLiteral("Загрузка программы управления в прибор."));
    QVERIFY(rig.wizard().softDeviceReady());
    QVERIFY(!rig.wizard().softBootWait());
    // Nothing was said to the instrument on the way to step 3.
    QVERIFY(rig.port.written().isEmpty());
}

void tst_FirmwareWizard::startupReportDuringTheBootWaitReturnsToStepTwo()
{
    FirmwareRig rig;
    rig.startUp();
    rig.openFirmwarePage();
    rig.wizard().fileChosen(rig.writeFile("a.tsk", "x"));
    rig.powerOff();
    rig.clock.advance(5000);

    rig.powerOn(false);
    QVERIFY(rig.wizard().softBootWait());
    rig.clock.advance(990);
    QCOMPARE(rig.session.pane().text(), SwitchOn);
    // "L" comes a second after switching on.
    rig.clock.advance(20);
    QCOMPARE(rig.session.pane().text(), SwitchOff);
    QVERIFY(!rig.wizard().softBootWait());
    QVERIFY(!rig.wizard().bootWaitTimerActive());
    QVERIFY(rig.session.dispatcher().inBuffer().isEmpty());

    rig.statusLog.clear();
    rig.clock.advance(10000);
    QVERIFY(rig.statusLog.isEmpty());
    QVERIFY(!rig.wizard().softDeviceReady());
    QVERIFY(!rig.wizard().frameState().loadEnabled);
}

void tst_FirmwareWizard::linkDropDuringTheBootWaitDoesNotRestartTheTimer()
{
    FirmwareRig rig;
    rig.startUp();
    rig.openFirmwarePage();
    rig.wizard().fileChosen(rig.writeFile("a.tsk", "x"));
    rig.powerOff();
    rig.clock.advance(5000);

    rig.powerOn(true); // the boot wait starts here
    rig.clock.advance(2000);
    rig.powerOff();
    QCOMPARE(rig.session.pane().text(), SwitchOn);
    rig.clock.advance(1000);
    rig.powerOn(true);
    QVERIFY(rig.wizard().softBootWait());

    rig.clock.advance(2499); // 5,499 ms after the first return
    QVERIFY(!rig.wizard().softDeviceReady());
    rig.clock.advance(1);
    QVERIFY(rig.wizard().softDeviceReady());
    QCOMPARE(rig.session.pane().text(), StepThree);
    QVERIFY(rig.wizard().frameState().loadEnabled);
}

void tst_FirmwareWizard::successfulTransferReportsProgrammingRestartAndFinish()
{
    FirmwareRig rig;
    QByteArray image(25000, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(i * 31 + 7);
    QVERIFY(rig.reachStepThree(rig.writeFile("big.tsk", image)));
    rig.statusLog.clear();

    rig.wizard().btnLoadPOClick(true);
    QVERIFY(rig.wizard().softLoadStarted());
    QVERIFY(rig.wizard().frameState().stopVisible);
    QVERIFY(!rig.wizard().frameState().loadEnabled);
    QVERIFY(rig.runUntil(
        [&] { return rig.session.pane().text() == "Перепрограммирование прибора завершено"; },
        20000));

    // The click's own update shows step 2 for a moment (the instrument is no
    // longer taken as ready), replaced at once in the same click.
    QCOMPARE(rig.statusLog,
             QStringList({SwitchOff, "Загрузка программы в прибор", "Программирование прибора",
                          "Нет связи с прибором", "Перезагрузка прибора",
                          "Перепрограммирование прибора завершено"}));
    QCOMPARE(rig.bootLoader().lastResult(), BootLoader::Result::Accepted);
    QCOMPARE(rig.bootLoader().programImage(), image);
    QVERIFY(!rig.wizard().frameState().loadEnabled);
    QVERIFY(!rig.wizard().frameState().stopVisible);
    QVERIFY(!rig.wizard().softDone());
    QVERIFY(!rig.wizard().softLoadStarted());

    rig.wizard().updateSoftWizard();
    QCOMPARE(rig.session.pane().text(), SwitchOff);
}

void tst_FirmwareWizard::pageChangeDuringTransferStopsItAndEmptiesThePane()
{
    FirmwareRig rig;
    QVERIFY(rig.reachStepThree(rig.writeFile("big.tsk", QByteArray(25000, 'z'))));
    rig.wizard().btnLoadPOClick(true);
    QVERIFY(rig.runUntil([&] { return rig.session.pane().progress() == 40; }));

    rig.leaveFirmwarePage();
    QCOMPARE(rig.session.pane().text(), QString());
    QCOMPARE(rig.session.pane().progress(), 0);
    QVERIFY(!rig.upload().running());
    QVERIFY(!rig.wizard().softWizardOn());
    QVERIFY(!rig.wizard().frameState().loadEnabled);
    QVERIFY(!rig.wizard().frameState().stopVisible);
    const qsizetype written = rig.port.written().size();
    QCOMPARE(written, 6 + 10000);
    rig.clock.advance(5000);
    QCOMPARE(rig.port.written().size(), written);

    // Back on the page the wizard starts again; the dialog's choice is gone.
    rig.openFirmwarePage();
    QCOMPARE(rig.session.pane().text(), StepOne);
}

void tst_FirmwareWizard::stepPromptsNeverReplaceTheTransferTexts()
{
    FirmwareRig rig;
    QVERIFY(rig.reachStepThree(rig.writeFile("big.tsk", QByteArray(25000, 'z'))));
    rig.wizard().btnLoadPOClick(true);
    QVERIFY(rig.runUntil([&] { return rig.session.pane().progress() == 40; }));

    // Looking at the other tab, or choosing another file, while the image goes
    // out must not tell the operator to switch the instrument off.
    rig.wizard().tabChanging();
    QCOMPARE(rig.session.pane().text(), QStringLiteral("Загрузка программы в прибор"));
    rig.wizard().fileChosen(rig.writeFile("other.tsk", "x"));
    QCOMPARE(rig.session.pane().text(), QStringLiteral("Загрузка программы в прибор"));
    QVERIFY(!rig.wizard().frameState().loadEnabled);
    QVERIFY(rig.wizard().frameState().stopVisible);

    // Nor while the instrument programs itself.
    QVERIFY(rig.runUntil([&] { return rig.wizard().softSent(); }));
    rig.wizard().tabChanging();
    QCOMPARE(rig.session.pane().text(), QStringLiteral("Программирование прибора"));
    QVERIFY(!rig.wizard().frameState().loadEnabled);

    // The restart and the start-up report still end it as before.
    QVERIFY(rig.runUntil(
        [&] { return rig.session.pane().text() == "Перепрограммирование прибора завершено"; },
        20000));
    QCOMPARE(rig.bootLoader().programImage(), QByteArray(25000, 'z'));
    rig.wizard().tabChanging();
    QCOMPARE(rig.session.pane().text(), SwitchOff);
}

void tst_FirmwareWizard::linkLossDuringTransferCancelsTheReprogramming()
{
    FirmwareRig rig;
    QVERIFY(rig.reachStepThree(rig.writeFile("big.tsk", QByteArray(25000, 'z'))));
    rig.wizard().btnLoadPOClick(true);
    rig.clock.advance(500);
    rig.statusLog.clear();

    rig.powerOff();
    QVERIFY(rig.statusLog.contains("Перепрограммирование прибора отменено."));
    QCOMPARE(rig.session.pane().text(), QStringLiteral("Перепрограммирование прибора отменено."));
    QVERIFY(!rig.upload().running());
    QVERIFY(!rig.wizard().softLoadStarted());
    QVERIFY(!rig.wizard().frameState().stopVisible);
    QCOMPARE(rig.session.pane().progress(), 0);
    const qsizetype written = rig.port.written().size();
    rig.clock.advance(5000);
    QCOMPARE(rig.port.written().size(), written);

    // Once the instrument is back, step 2 starts over.
    rig.powerOn(false);
    QCOMPARE(rig.session.pane().text(), SwitchOff);
}

void tst_FirmwareWizard::nothingHappensBeforeTheFrameExists()
{
    FirmwareRig rig;
    rig.startUp();
    rig.session.pane().setText("kept");
    rig.session.pane().setProgress(30);
    rig.wizard().stopSoftWizard();
    rig.wizard().resetSoftWizard();
    rig.wizard().updateSoftWizard();
    QCOMPARE(rig.session.pane().text(), QStringLiteral("kept"));
    QCOMPARE(rig.session.pane().progress(), 30);
    QVERIFY(!rig.wizard().softWizardOn());

    // A start-up report is taken off the buffer and changes nothing else.
    rig.instrument->sendRaw("L");
    rig.settle();
    QVERIFY(rig.session.dispatcher().inBuffer().isEmpty());
    QCOMPARE(rig.session.pane().text(), QStringLiteral("kept"));
}

void tst_FirmwareWizard::lineEventsOnAnotherPageTakeNoWizardStep()
{
    FirmwareRig rig;
    rig.startUp();
    rig.openFirmwarePage();
    rig.wizard().fileChosen(rig.writeFile("a.tsk", "x"));
    rig.leaveFirmwarePage();
    rig.statusLog.clear();

    rig.powerOff();
    rig.powerOn(true);
    rig.clock.advance(6000);
    QCOMPARE(rig.statusLog, QStringList({"Нет связи с прибором", "Связь с прибором есть"}));
    QVERIFY(!rig.wizard().softDeviceOffSeen());
    QVERIFY(!rig.wizard().softBootWait());
    QVERIFY(!rig.wizard().frameState().loadEnabled);
}

void tst_FirmwareWizard::searchLeftRunningElsewhereDoesNotMoveTheFirmwareSpeed()
{
    FirmwareRig rig;
    const QByteArray image(300, 'q');
    const QString path = rig.writeFile("a.tsk", image);
    rig.startUp();
    // The instrument still waits in programming mode after an earlier upload
    // went wrong, so it answers no probe: the database page's search goes on.
    rig.bootLoader().enterProgrammingMode();
    rig.link().searchWithFastestSpeed();
    rig.clock.advance(1000);
    QVERIFY(rig.link().searching());

    rig.openFirmwarePage();
    QVERIFY(!rig.link().searching());
    QCOMPARE(rig.link().panel().connectCaption, QStringLiteral("Контакт"));
    rig.clock.advance(3000);
    QCOMPARE(rig.port.settings(), QStringLiteral("115200,n,8,1"));

    rig.wizard().fileChosen(path);
    rig.powerOff();
    rig.clock.advance(5000);
    rig.powerOn(true);
    rig.clock.advance(FirmwareWizard::BootWaitMs);
    QVERIFY(rig.wizard().frameState().loadEnabled);
    rig.port.clearWritten();
    rig.wizard().btnLoadPOClick(true);
    QVERIFY(
        rig.runUntil([&] { return rig.bootLoader().lastResult() != BootLoader::Result::None; }));
    QCOMPARE(rig.bootLoader().lastResult(), BootLoader::Result::Accepted);
    QCOMPARE(rig.bootLoader().programImage(), image);
}

QTEST_GUILESS_MAIN(tst_FirmwareWizard)
#include "tst_FirmwareWizard.moc"
