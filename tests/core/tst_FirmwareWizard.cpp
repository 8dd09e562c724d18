#include "FirmwareRig.h"
#include "navigation/PageNavigator.h"

#include <QSignalSpy>
#include <QtTest>

#include <optional>

using namespace kalent;
using namespace kalent::test;

namespace {
const QString StepOne = QStringLiteral("Определите файл для загрузки. Шаг 1.");
const QString SwitchOff = QStringLiteral("Выключите прибор. Шаг 2.");
const QString SwitchOn = QStringLiteral("Включите прибор удерживая указку на экране.Шаг 2.");
const QString StepThree = QStringLiteral("Загрузите программу в прибор. Шаг 3.");
const QString Loading = QStringLiteral("Загрузка программы в прибор");
const QString Abandoned =
    QStringLiteral("Загрузка программы прервана, в приборе неполная программа. Вернитесь на "
                   "страницу \"ПО прибора\" и повторите шаги 2 и 3.");
const QString ControlProgramRunning =
    QStringLiteral("Прибор перезапустился до конца загрузки и запустил программу управления: он "
                   "не в режиме программирования. Загрузка остановлена, повторите шаг 2.");

QByteArray patternImage(int size)
{
    QByteArray image(size, '\0');
    for (int i = 0; i < size; ++i)
        image[i] = static_cast<char>(i * 31 + 7);
    return image;
}
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
    void portThatClosesItselfDuringTheBootWaitNeverOpensStepThree();
    void powerLostDuringTheBootWaitEndsTheWait();
    void startupReportOrPowerLossInStepThreeClosesIt();
    void pageChangeDuringTransferAsksAndNoKeepsItGoing();
    void pageChangeDuringTransferAnsweredYesSaysWhatTheInstrumentHolds();
    void fileChoiceIsLockedWhileTheUploadRuns();
    void startupReportDuringTheTransferStopsIt();
    void successfulTransferReportsProgrammingRestartAndFinish();
    void pageChangeDuringTransferStopsItAndEmptiesThePane();
    void stepPromptsNeverReplaceTheTransferTexts();
    void linkLossDuringTransferCancelsTheReprogramming();
    void nothingHappensBeforeThePageIsFirstEntered();
    void lineEventsOnAnotherPageTakeNoWizardStep();
    void searchLeftRunningElsewhereDoesNotMoveTheFirmwareSpeed();
    void eventsOutsideTheirStepLeaveTheWizardWhereItIs();
    void uploadIsRefusedWhileAnotherExchangeHoldsTheLine();
    void stepTwoWaitsForTheLineAndSaysWhatFor();
};

void tst_FirmwareWizard::withoutFirmwareFolderStepOneThenChosenFileGivesStepTwo()
{
    FirmwareRig rig;
    rig.startUp();
    rig.openFirmwarePage();

    QCOMPARE(rig.wizard().state().file.source, FirmwareFile::Source::Missing);
    QCOMPARE(rig.session.pane().text(), StepOne);
    QVERIFY(!rig.wizard().state().file.found());
    QVERIFY((rig.step() != WizardStep::Ready));
    // Looking for the file does not create its folder.
    QVERIFY(!QFileInfo::exists(QDir(rig.dataDir.path()).filePath("FilesInVirant")));
    // Entering the page put the port at 115200 directly.
    QCOMPARE(rig.port.settings(), QStringLiteral("115200,n,8,1"));
    QCOMPARE(rig.link().state().reportedBaud, 115200);

    const QString path = rig.writeFile("elsewhere/new.tsk", "x");
    rig.wizard().fileChosen(path);
    QCOMPARE(rig.session.pane().text(), SwitchOff);
    QVERIFY(rig.wizard().state().file.found());
    QCOMPARE(rig.wizard().fileName(), path);
    const QString folder =
        QDir::toNativeSeparators(QFileInfo(path).absolutePath()) + QDir::separator();
    QCOMPARE(rig.wizard().state().file.source, FirmwareFile::Source::Chosen);
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
    QVERIFY(!rig.wizard().state().file.found());
    QCOMPARE(rig.session.pane().text(), StepOne);

    const QString path = rig.writeFile("a.tsk", "x");
    rig.wizard().fileChosen(path);
    rig.wizard().fileDialogCancelled();
    QVERIFY(rig.wizard().state().file.found());
    QCOMPARE(rig.wizard().fileName(), path);
    QCOMPARE(rig.session.pane().text(), SwitchOff);
}

void tst_FirmwareWizard::defaultFileInFirmwareFolderIsLocated()
{
    FirmwareRig rig;
    const QString path = rig.writeFile("FilesInVirant/Virant_(rx).tsk", "abc");
    rig.startUp();
    // The action alone, as the window runs it: the session searches, no page needed.
    rig.openFirmwarePageThroughNavigator();

    QVERIFY(rig.wizard().state().file.found());
    QCOMPARE(QFileInfo(rig.wizard().fileName()).canonicalFilePath(),
             QFileInfo(path).canonicalFilePath());
    QCOMPARE(rig.wizard().state().file.source, FirmwareFile::Source::InDataFolder);
    QCOMPARE(rig.session.pane().text(), SwitchOff);
    QVERIFY((rig.step() != WizardStep::Ready));
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
    QVERIFY((rig.step() == WizardStep::SwitchedOff || rig.step() == WizardStep::BootWait));
}

void tst_FirmwareWizard::programmingModeOpensStepThreeAfterTheBootWait()
{
    FirmwareRig rig;
    QVERIFY(rig.reachSwitchedOff(rig.writeFile("a.tsk", "x")));
    rig.clock.advance(5000);
    rig.statusLog.clear();

    rig.powerOn(true);
    QVERIFY(rig.bootLoader().inProgrammingMode());
    QVERIFY((rig.step() == WizardStep::BootWait));
    // Switching on gives no new text.
    QCOMPARE(rig.session.pane().text(), SwitchOn);
    QVERIFY(!rig.statusLog.contains(StepThree));

    rig.clock.advance(5499);
    QVERIFY((rig.step() != WizardStep::Ready));
    QCOMPARE(rig.session.pane().text(), SwitchOn);
    rig.clock.advance(1);
    QCOMPARE(rig.session.pane().text(), StepThree);
    QVERIFY((rig.step() == WizardStep::Ready));
    QVERIFY((rig.step() == WizardStep::Ready));
    QVERIFY(!(rig.step() == WizardStep::BootWait));
    // Nothing was said to the instrument on the way to step 3.
    QVERIFY(rig.port.written().isEmpty());
}

void tst_FirmwareWizard::portThatClosesItselfDuringTheBootWaitNeverOpensStepThree()
{
    FirmwareRig rig;
    QVERIFY(rig.reachSwitchedOff(rig.writeFile("a.tsk", "x")));
    rig.clock.advance(5000);
    rig.powerOn(true);
    QVERIFY((rig.step() == WizardStep::BootWait));
    rig.clock.advance(1000);

    // The adapter is pulled out: the port closes by itself, not through a
    // line that went down while the port stayed open.
    rig.port.vanish();
    rig.clock.advance(FirmwareWizard::BootWaitMs);
    QVERIFY(!rig.port.isOpen());
    QVERIFY(!(rig.step() == WizardStep::Ready));
    QVERIFY((rig.step() != WizardStep::Ready));
    QVERIFY(rig.session.pane().text() != StepThree);
    QVERIFY(rig.port.written().isEmpty());
}

void tst_FirmwareWizard::startupReportDuringTheBootWaitReturnsToStepTwo()
{
    FirmwareRig rig;
    QVERIFY(rig.reachSwitchedOff(rig.writeFile("a.tsk", "x")));
    rig.clock.advance(5000);

    rig.powerOn(false);
    QVERIFY((rig.step() == WizardStep::BootWait));
    rig.clock.advance(990);
    QCOMPARE(rig.session.pane().text(), SwitchOn);
    // "L" comes a second after switching on.
    rig.clock.advance(20);
    QCOMPARE(rig.session.pane().text(), SwitchOff);
    QVERIFY(!(rig.step() == WizardStep::BootWait));
    QVERIFY(!rig.wizard().bootWaitTimerActive());
    QVERIFY(!rig.session.dispatcher().collecting());

    rig.statusLog.clear();
    rig.clock.advance(10000);
    QVERIFY(rig.statusLog.isEmpty());
    QVERIFY(!(rig.step() == WizardStep::Ready));
    QVERIFY((rig.step() != WizardStep::Ready));
}

void tst_FirmwareWizard::powerLostDuringTheBootWaitEndsTheWait()
{
    FirmwareRig rig;
    QVERIFY(rig.reachSwitchedOff(rig.writeFile("a.tsk", "x")));
    rig.clock.advance(5000);

    rig.powerOn(true); // the boot wait starts here
    rig.clock.advance(2000);
    rig.powerOff();
    QCOMPARE(rig.session.pane().text(), SwitchOn);
    QVERIFY(!(rig.step() == WizardStep::BootWait));
    QVERIFY(!rig.wizard().bootWaitTimerActive());

    // Long past the end of the first wait, with the instrument still off:
    // nothing opens step 3.
    rig.clock.advance(6000);
    QVERIFY(!(rig.step() == WizardStep::Ready));
    QCOMPARE(rig.session.pane().text(), SwitchOn);

    // Switched on normally: a wait of its own, ended by the control program's "L".
    rig.port.clearWritten();
    rig.powerOn(false);
    QVERIFY((rig.step() == WizardStep::BootWait));
    rig.clock.advance(900);
    QVERIFY((rig.step() != WizardStep::Ready));
    rig.clock.advance(200);
    QCOMPARE(rig.session.pane().text(), SwitchOff);
    rig.clock.advance(10000);
    QVERIFY(!(rig.step() == WizardStep::Ready));
    QVERIFY((rig.step() != WizardStep::Ready));
    rig.wizard().startUpload(true);
    QCOMPARE(rig.port.written(), QByteArray());

    // With the stylus held the next return gets the whole 5.5 s.
    rig.powerOff();
    rig.clock.advance(3000);
    rig.powerOn(true);
    rig.clock.advance(FirmwareWizard::BootWaitMs - 1);
    QVERIFY(!(rig.step() == WizardStep::Ready));
    rig.clock.advance(1);
    QCOMPARE(rig.session.pane().text(), StepThree);
    QVERIFY((rig.step() == WizardStep::Ready));
}

void tst_FirmwareWizard::startupReportOrPowerLossInStepThreeClosesIt()
{
    {
        // A control program that starts late still says "L": not programming mode.
        FirmwareRig rig;
        QVERIFY(rig.reachStepThree(rig.writeFile("a.tsk", "abc")));
        rig.instrument->sendRaw("L");
        rig.settle();
        QCOMPARE(rig.session.pane().text(), SwitchOff);
        QVERIFY(!(rig.step() == WizardStep::Ready));
        QVERIFY((rig.step() != WizardStep::Ready));
        rig.wizard().startUpload(true);
        QCOMPARE(rig.port.written(), QByteArray());
    }
    {
        // Switched off in step 3 and on again normally: step 3 stays shut.
        FirmwareRig rig;
        QVERIFY(rig.reachStepThree(rig.writeFile("a.tsk", "abc")));
        rig.powerOff();
        QCOMPARE(rig.session.pane().text(), SwitchOn);
        QVERIFY(!(rig.step() == WizardStep::Ready));
        rig.clock.advance(500);
        rig.powerOn(false);
        QVERIFY((rig.step() != WizardStep::Ready));
        rig.clock.advance(1100);
        QCOMPARE(rig.session.pane().text(), SwitchOff);
        QVERIFY((rig.step() != WizardStep::Ready));
        QCOMPARE(rig.port.written(), QByteArray());
    }
}

void tst_FirmwareWizard::pageChangeDuringTransferAsksAndNoKeepsItGoing()
{
    FirmwareRig rig;
    const QByteArray image = patternImage(25000);
    QVERIFY(rig.reachStepThree(rig.writeFile("big.tsk", image), true));
    PageNavigator &nav = rig.session.navigator();
    QSignalSpy asked(&nav, &PageNavigator::leaveUploadAsked);
    rig.wizard().startUpload(true);
    QVERIFY(rig.runUntil([&] { return rig.session.pane().progress() == 40; }));

    // An action and a tab click: each held back until the operator answers.
    nav.openPage(Page::Database);
    QCOMPARE(asked.count(), 1);
    QCOMPARE(nav.activePage(), Page::Firmware);
    QVERIFY(!nav.tabVisible(Page::Database));
    QVERIFY(nav.leaveUploadQuestionOpen());
    const qsizetype before = rig.port.written().size();
    rig.clock.advance(1500); // the upload goes on while the question is open
    QVERIFY(rig.port.written().size() > before);
    nav.answerLeaveUpload(false);
    QCOMPARE(nav.activePage(), Page::Firmware);
    QVERIFY(!nav.tabVisible(Page::Database));

    nav.selectPage(Page::About);
    QCOMPARE(asked.count(), 2);
    nav.answerLeaveUpload(false);
    QCOMPARE(nav.activePage(), Page::Firmware);
    QVERIFY(!nav.leaveUploadQuestionOpen());

    QVERIFY(rig.runUntil(
        [&] { return rig.session.pane().text() == "Перепрограммирование прибора завершено"; },
        20000));
    QCOMPARE(rig.bootLoader().programImage(), image);

    // With nothing running, the page changes without a question.
    nav.selectPage(Page::About);
    QCOMPARE(asked.count(), 2);
    QCOMPARE(nav.activePage(), Page::About);
}

void tst_FirmwareWizard::pageChangeDuringTransferAnsweredYesSaysWhatTheInstrumentHolds()
{
    FirmwareRig rig;
    QVERIFY(rig.reachStepThree(rig.writeFile("big.tsk", patternImage(25000)), true));
    PageNavigator &nav = rig.session.navigator();
    QSignalSpy ended(&rig.wizard(), &FirmwareWizard::uploadEnded);
    rig.wizard().startUpload(true);
    QVERIFY(rig.runUntil([&] { return rig.session.pane().progress() == 40; }));

    nav.selectPage(Page::About);
    QCOMPARE(nav.activePage(), Page::Firmware);
    nav.answerLeaveUpload(true);
    QCOMPARE(nav.activePage(), Page::About);
    QCOMPARE(rig.session.pane().text(), Abandoned);
    QCOMPARE(rig.statusLog.constLast(), Abandoned);
    QCOMPARE(ended.count(), 1);
    QCOMPARE(ended.at(0).at(0).value<JobOutcome>(), JobOutcome::Cancelled);
    QCOMPARE(ended.at(0).at(1).toString(), QStringLiteral("выбрана другая страница"));
    QVERIFY(!rig.upload().running());
    const qsizetype written = rig.port.written().size();
    QVERIFY(written < 6 + 25000 + 2);
    rig.clock.advance(5000);
    QCOMPARE(rig.port.written().size(), written);
    QCOMPARE(rig.session.pane().text(), Abandoned);
    QVERIFY(rig.bootLoader().lastResult() != BootLoader::Result::Accepted);

    // A later answer to a question that is no longer open changes nothing.
    nav.answerLeaveUpload(true);
    QCOMPARE(nav.activePage(), Page::About);
    // Back on the page, the wizard starts over with the file the operator chose,
    // without repeating the message.
    rig.openFirmwarePageThroughNavigator();
    QCOMPARE(rig.session.pane().text(), SwitchOff);
    QVERIFY(rig.wizard().fileName().endsWith(QStringLiteral("big.tsk")));
}

void tst_FirmwareWizard::fileChoiceIsLockedWhileTheUploadRuns()
{
    FirmwareRig rig;
    const QString chosen = rig.writeFile("elsewhere/chosen.tsk", patternImage(25000));
    rig.writeFile("FilesInVirant/Virant_(rx).tsk", "default");
    QVERIFY(rig.reachStepThree(chosen));
    QVERIFY(!rig.wizard().state().uploadUnderWay());
    rig.wizard().startUpload(true);
    QVERIFY(rig.wizard().state().uploadUnderWay());

    // "Вирант" again and a dialog's answer: neither moves the labels off the
    // file that is going out.
    rig.openFirmwarePage();
    rig.wizard().fileChosen(rig.writeFile("other.tsk", "x"));
    rig.wizard().fileDialogCancelled();
    QCOMPARE(rig.wizard().fileName(), chosen);
    QVERIFY(rig.wizard().state().uploadUnderWay());

    // Unlocked again once the upload is over; the operator's choice outlives
    // the default file found at the page's next entry.
    QVERIFY(rig.runUntil(
        [&] { return rig.session.pane().text() == "Перепрограммирование прибора завершено"; },
        20000));
    QVERIFY(!rig.wizard().state().uploadUnderWay());
    rig.leaveFirmwarePage();
    rig.openFirmwarePage();
    QCOMPARE(rig.wizard().fileName(), chosen);
    const QString other = rig.writeFile("other.tsk", "x");
    rig.wizard().fileChosen(other);
    QCOMPARE(rig.wizard().fileName(), other);
}

void tst_FirmwareWizard::startupReportDuringTheTransferStopsIt()
{
    FirmwareRig rig;
    // Letters no command uses: what reaches the control program stays unanswered.
    QVERIFY(rig.reachStepThree(rig.writeFile("big.tsk", QByteArray(25000, 'z'))));
    rig.bootLoader().setFault(BootLoader::Fault::StartsDuringUpload);
    QSignalSpy ended(&rig.wizard(), &FirmwareWizard::uploadEnded);
    rig.wizard().startUpload(true);
    QVERIFY(rig.runUntil([&] { return !ended.isEmpty(); }));

    QCOMPARE(ended.at(0).at(0).value<JobOutcome>(), JobOutcome::Failed);
    QCOMPARE(ended.at(0).at(1).toString(), QStringLiteral("прибор запустил программу управления"));
    QCOMPARE(rig.session.pane().text(), ControlProgramRunning);
    QVERIFY(!rig.upload().running());
    QVERIFY(!rig.wizard().state().uploadUnderWay());
    // The first block was on its way; nothing after it.
    const qsizetype written = rig.port.written().size();
    QCOMPARE(written, 6 + 10000);
    rig.clock.advance(5000);
    QCOMPARE(rig.port.written().size(), written);
    QCOMPARE(rig.session.pane().text(), ControlProgramRunning);
    rig.wizard().updateFirmwareWizard();
    QCOMPARE(rig.session.pane().text(), SwitchOff);
}

void tst_FirmwareWizard::successfulTransferReportsProgrammingRestartAndFinish()
{
    FirmwareRig rig;
    QByteArray image(25000, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(i * 31 + 7);
    QVERIFY(rig.reachStepThree(rig.writeFile("big.tsk", image)));
    rig.statusLog.clear();

    rig.wizard().startUpload(true);
    QVERIFY(rig.wizard().state().uploadUnderWay());
    QVERIFY((rig.step() == WizardStep::Sending));
    QVERIFY((rig.step() != WizardStep::Ready));
    QVERIFY(rig.runUntil(
        [&] { return rig.session.pane().text() == "Перепрограммирование прибора завершено"; },
        20000));

    // No step-2 prompt between the click and the transfer's own texts.
    QCOMPARE(rig.statusLog, QStringList({"Загрузка программы в прибор", "Программирование прибора",
                                         "Нет связи с прибором", "Перезагрузка прибора",
                                         "Перепрограммирование прибора завершено"}));
    QCOMPARE(rig.bootLoader().lastResult(), BootLoader::Result::Accepted);
    QCOMPARE(rig.bootLoader().programImage(), image);
    QVERIFY((rig.step() != WizardStep::Ready));
    QVERIFY((rig.step() != WizardStep::Sending));
    QVERIFY(!(rig.step() == WizardStep::RestartedUp));
    QVERIFY(!rig.wizard().state().uploadUnderWay());

    rig.wizard().updateFirmwareWizard();
    QCOMPARE(rig.session.pane().text(), SwitchOff);
}

void tst_FirmwareWizard::pageChangeDuringTransferStopsItAndEmptiesThePane()
{
    FirmwareRig rig;
    QVERIFY(rig.reachStepThree(rig.writeFile("big.tsk", QByteArray(25000, 'z'))));
    rig.wizard().startUpload(true);
    QVERIFY(rig.runUntil([&] { return rig.session.pane().progress() == 40; }));

    rig.leaveFirmwarePage();
    QCOMPARE(rig.session.pane().text(), QString());
    QCOMPARE(rig.session.pane().progress(), 0);
    QVERIFY(!rig.upload().running());
    QVERIFY(!rig.wizard().firmwarePageActive());
    QVERIFY((rig.step() != WizardStep::Ready));
    QVERIFY((rig.step() != WizardStep::Sending));
    const qsizetype written = rig.port.written().size();
    QCOMPARE(written, 6 + 10000);
    rig.clock.advance(5000);
    QCOMPARE(rig.port.written().size(), written);

    // Back on the page the wizard starts again, with the file the operator chose.
    rig.openFirmwarePage();
    QCOMPARE(rig.session.pane().text(), SwitchOff);
}

void tst_FirmwareWizard::stepPromptsNeverReplaceTheTransferTexts()
{
    FirmwareRig rig;
    QVERIFY(rig.reachStepThree(rig.writeFile("big.tsk", QByteArray(25000, 'z'))));
    rig.wizard().startUpload(true);
    QVERIFY(rig.runUntil([&] { return rig.session.pane().progress() == 40; }));

    // Looking at the other tab, or choosing another file, while the image goes
    // out must not tell the operator to switch the instrument off.
    rig.wizard().tabChanging();
    QCOMPARE(rig.session.pane().text(), QStringLiteral("Загрузка программы в прибор"));
    rig.wizard().fileChosen(rig.writeFile("other.tsk", "x"));
    QCOMPARE(rig.session.pane().text(), QStringLiteral("Загрузка программы в прибор"));
    QVERIFY((rig.step() != WizardStep::Ready));
    QVERIFY((rig.step() == WizardStep::Sending));

    // Nor while the instrument programs itself.
    QVERIFY(rig.runUntil([&] { return (rig.step() == WizardStep::AwaitingRestart); }));
    rig.wizard().tabChanging();
    QCOMPARE(rig.session.pane().text(), QStringLiteral("Программирование прибора"));
    QVERIFY((rig.step() != WizardStep::Ready));

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
    rig.wizard().startUpload(true);
    rig.clock.advance(500);
    rig.statusLog.clear();

    rig.powerOff();
    QVERIFY(rig.statusLog.contains("Перепрограммирование прибора отменено."));
    QCOMPARE(rig.session.pane().text(), QStringLiteral("Перепрограммирование прибора отменено."));
    QVERIFY(!rig.upload().running());
    QVERIFY(!rig.wizard().state().uploadUnderWay());
    QVERIFY((rig.step() != WizardStep::Sending));
    QCOMPARE(rig.session.pane().progress(), 0);
    const qsizetype written = rig.port.written().size();
    rig.clock.advance(5000);
    QCOMPARE(rig.port.written().size(), written);

    // Once the instrument is back, step 2 starts over.
    rig.powerOn(false);
    QCOMPARE(rig.session.pane().text(), SwitchOff);
}

void tst_FirmwareWizard::nothingHappensBeforeThePageIsFirstEntered()
{
    FirmwareRig rig;
    rig.startUp();
    rig.session.pane().setText("kept");
    rig.session.pane().setProgress(30);
    rig.wizard().stopFirmwareWizard();
    rig.wizard().resetFirmwareWizard();
    rig.wizard().updateFirmwareWizard();
    QCOMPARE(rig.session.pane().text(), QStringLiteral("kept"));
    QCOMPARE(rig.session.pane().progress(), 30);
    QVERIFY(!rig.wizard().firmwarePageActive());
    QCOMPARE(rig.step(), WizardStep::Unopened);

    // A start-up report is taken off the buffer and changes nothing else.
    rig.instrument->sendRaw("L");
    rig.settle();
    QVERIFY(!rig.session.dispatcher().collecting());
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
    QVERIFY(!(rig.step() == WizardStep::SwitchedOff || rig.step() == WizardStep::BootWait));
    QVERIFY(!(rig.step() == WizardStep::BootWait));
    QVERIFY((rig.step() != WizardStep::Ready));
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
    QVERIFY(!rig.link().state().searchAskedFor);
    rig.clock.advance(3000);
    QCOMPARE(rig.port.settings(), QStringLiteral("115200,n,8,1"));

    rig.wizard().fileChosen(path);
    rig.powerOff();
    rig.clock.advance(5000);
    rig.powerOn(true);
    rig.clock.advance(FirmwareWizard::BootWaitMs);
    QVERIFY((rig.step() == WizardStep::Ready));
    rig.port.clearWritten();
    rig.wizard().startUpload(true);
    QVERIFY(
        rig.runUntil([&] { return rig.bootLoader().lastResult() != BootLoader::Result::None; }));
    QCOMPARE(rig.bootLoader().lastResult(), BootLoader::Result::Accepted);
    QCOMPARE(rig.bootLoader().programImage(), image);
}

QTEST_GUILESS_MAIN(tst_FirmwareWizard)
#include "tst_FirmwareWizard.moc"

void tst_FirmwareWizard::eventsOutsideTheirStepLeaveTheWizardWhereItIs()
{
    // Each row brings step 3 about, then sends an event that belongs to
    // another step: no upload starts or moves on, and the journal hears of none.
    struct Row
    {
        const char *name;
        std::function<void(FirmwareRig &)> event;
        // None: the built-in instrument takes the image and restarts, moving
        // the wizard through step 2 on its own.
        std::optional<WizardStep> expected;
        bool lineQuiet; // the engine driven by hand writes its own bytes
    };
    const QList<Row> rows = {
        {"load clicked after the stop button closed step 3 (the button lags)",
         [](FirmwareRig &rig) {
             rig.wizard().cancelUpload();
             rig.wizard().startUpload(true);
         },
         WizardStep::SwitchOff, true},
        {"the transfer engine finishing an image the wizard never started",
         [](FirmwareRig &rig) {
             rig.upload().start(QByteArray(100, 'z'));
             rig.clock.advance(2000);
         },
         std::nullopt, false},
    };
    for (const Row &row : rows) {
        FirmwareRig rig;
        QVERIFY2(rig.reachStepThree(rig.writeFile("a.tsk", "abc")), row.name);
        QSignalSpy journal(&rig.wizard(), &FirmwareWizard::journalEvent);
        row.event(rig);
        rig.settle();
        if (row.expected)
            QVERIFY2(rig.wizard().step() == *row.expected, row.name);
        QVERIFY2(!rig.wizard().state().uploadUnderWay(), row.name);
        QVERIFY2(rig.session.line().job() != LineJob::FirmwareUpload, row.name);
        QVERIFY2(journal.isEmpty(), row.name);
        if (row.lineQuiet)
            QVERIFY2(rig.port.written().isEmpty(), row.name);
    }
}

void tst_FirmwareWizard::uploadIsRefusedWhileAnotherExchangeHoldsTheLine()
{
    FirmwareRig rig;
    QVERIFY(rig.reachStepThree(rig.writeFile("a.tsk", "abc")));
    // A read runs (started from elsewhere, a notice's, say) when load is confirmed.
    QVERIFY(rig.session.line().begin(LineJob::DatabaseRead));
    QCOMPARE(rig.wizard().startUpload(true), FirmwareWizard::Start::Refused);
    rig.settle();
    QCOMPARE(rig.port.written(), QByteArray());
    QCOMPARE(rig.session.pane().text(),
             QStringLiteral("Дождитесь конца обмена с прибором: идёт чтение БД ТС из прибора."));
    QCOMPARE(rig.session.line().job(), LineJob::DatabaseRead);
    QCOMPARE(rig.step(), WizardStep::Ready);
    QVERIFY(rig.uploadJournal().isEmpty());

    // Once the read is over the same click sends.
    rig.session.line().end(LineJob::DatabaseRead, JobOutcome::Done);
    QCOMPARE(rig.wizard().startUpload(true), FirmwareWizard::Start::Started);
    QCOMPARE(rig.port.written(), QByteArray::fromHex("55AA09000000"));
}

void tst_FirmwareWizard::stepTwoWaitsForTheLineAndSaysWhatFor()
{
    FirmwareRig rig;
    rig.startUp();
    // A database write holds the line when "Вирант" is chosen.
    QVERIFY(rig.session.line().begin(LineJob::DatabaseWrite));
    rig.openFirmwarePage();
    rig.wizard().fileChosen(rig.writeFile("mid.tsk", "x"));
    const QString waiting = QStringLiteral(
        "Дождитесь конца обмена с прибором: идёт запись БД ТС в прибор. Затем шаг 2.");
    QCOMPARE(rig.session.pane().text(), waiting);
    QCOMPARE(rig.step(), WizardStep::WaitingForLine);
    rig.wizard().tabChanging();
    rig.clock.advance(3000);
    QVERIFY(!rig.statusLog.contains(SwitchOff));
    QCOMPARE(rig.step(), WizardStep::WaitingForLine);

    // The write ends and says its last word; step 2 follows from the event loop.
    rig.session.line().end(LineJob::DatabaseWrite, JobOutcome::Done);
    rig.session.pane().setText(QStringLiteral("the write's own last word"));
    rig.settle();
    QCOMPARE(rig.session.pane().text(), SwitchOff);
    QCOMPARE(rig.step(), WizardStep::SwitchOff);

    // Left and entered again during another write: the wait starts over, and a
    // wait left behind moves nothing once the page is gone.
    QVERIFY(rig.session.line().begin(LineJob::DatabaseWrite));
    rig.leaveFirmwarePage();
    rig.openFirmwarePage();
    QCOMPARE(rig.session.pane().text(), waiting);
    rig.leaveFirmwarePage();
    rig.session.line().end(LineJob::DatabaseWrite, JobOutcome::Done);
    rig.settle();
    QCOMPARE(rig.step(), WizardStep::Off);
    QCOMPARE(rig.session.pane().text(), QString());
}
