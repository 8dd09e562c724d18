#include "DialogAnswers.h"
#include "FirmwareRig.h"
#include "MainWindow.h"
#include "WidgetFinder.h"
#include "navigation/PageNavigator.h"

#include <QAction>
#include <QSignalSpy>
#include <QtTest>

using namespace kalent;
using namespace kalent::test;

namespace {

// The window over a firmware upload under way on the manual clock: 45,000
// bytes, five blocks, cut off after the second.
struct UploadUnderWay
{
    FirmwareRig rig;
    MainWindow window{rig.session, rig.instrument.get()};

    bool start()
    {
        if (!rig.reachStepThree(rig.writeFile(QStringLiteral("big.tsk"), QByteArray(45000, 'z')),
                                true))
            return false;
        window.show();
        if (rig.wizard().startUpload(true) != FirmwareWizard::Start::Started)
            return false;
        return rig.runUntil([this] { return rig.session.pane().progress() == 22; });
    }
    void exitAction() { child<QAction>(window, objectNames::mainWindow::ActionExit)->trigger(); }
};

const QString Closing =
    QStringLiteral("Загрузка программы в прибор прервана: программа закрывается.");

} // namespace

// Every way out of a firmware upload ends it once, through its cancel, with
// the pane and the journal saying the same, and the bar back at 0.
class tst_FirmwareWaysOut : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyWayOutEndsTheUploadAndSaysWhy();
    void leavingTheWindowAsksAndNoKeepsTheUploadGoing();
    void everyJobButTheSearchIsAskedAbout();
};

void tst_FirmwareWaysOut::everyWayOutEndsTheUploadAndSaysWhy()
{
    struct Row
    {
        const char *name;
        std::function<void(UploadUnderWay &)> wayOut;
        QString pane;
        QString journal; // after "итог: "
        JobOutcome outcome;
        bool windowStays;
    };
    const QList<Row> rows = {
        {"Выход, answered yes",
         [](UploadUnderWay &u) {
             ModalAnswer answer;
             answer.answerNext(QMessageBox::Yes);
             u.exitAction();
         },
         Closing, QStringLiteral("прервана: программа закрывается"), JobOutcome::Cancelled, false},
        {"the window's close button, answered yes",
         [](UploadUnderWay &u) {
             ModalAnswer answer;
             answer.answerNext(QMessageBox::Yes);
             u.window.close();
         },
         Closing, QStringLiteral("прервана: программа закрывается"), JobOutcome::Cancelled, false},
        {"another page, answered yes",
         [](UploadUnderWay &u) {
             u.rig.session.navigator().selectPage(Page::About);
             u.rig.session.navigator().answerLeaveUpload(true);
         },
         QStringLiteral("Загрузка программы прервана, в приборе неполная программа. Вернитесь на "
                        "страницу \"ПО прибора\" и повторите шаги 2 и 3."),
         QStringLiteral("прервана: выбрана другая страница"), JobOutcome::Cancelled, true},
        {"another port typed into the port box",
         [](UploadUnderWay &u) { u.rig.link().choosePort(QStringLiteral("/dev/pts/77")); },
         QStringLiteral("Загрузка программы в прибор прервана: выбран другой порт."),
         QStringLiteral("прервана: выбран другой порт"), JobOutcome::Cancelled, true},
        {"Контакт", [](UploadUnderWay &u) { u.rig.link().contactOrStop(); },
         QStringLiteral("Загрузка программы в прибор прервана: нажата кнопка «Контакт»."),
         QStringLiteral("прервана: нажата кнопка «Контакт»"), JobOutcome::Cancelled, true},
        {"the device gone", [](UploadUnderWay &u) { u.rig.port.vanish(); },
         QStringLiteral("Перепрограммирование прибора отменено."),
         QStringLiteral("отменена: нет связи с прибором"), JobOutcome::Failed, true},
        {"a stop signal", [](UploadUnderWay &u) { QVERIFY(u.rig.wizard().stopForShutdown()); },
         QStringLiteral("Загрузка программы в прибор прервана: программа завершается по сигналу."),
         QStringLiteral("прервана: программа завершается по сигналу"), JobOutcome::Cancelled, true},
    };
    for (const Row &row : rows) {
        UploadUnderWay u;
        QVERIFY2(u.start(), row.name);
        QSignalSpy ended(&u.rig.wizard(), &FirmwareWizard::uploadEnded);
        row.wayOut(u);
        QCoreApplication::processEvents();
        u.rig.settle(100);

        QCOMPARE(ended.size(), 1);
        QVERIFY2(ended.at(0).at(0).value<JobOutcome>() == row.outcome, row.name);
        QCOMPARE(u.rig.session.pane().text(), row.pane);
        QCOMPARE(u.rig.session.pane().progress(), 0);
        const QStringList journal = u.rig.uploadJournal();
        QCOMPARE(journal.size(), 2);
        QVERIFY2(journal.first().endsWith(QStringLiteral("итог: начата")), row.name);
        QVERIFY2(journal.last().endsWith(QStringLiteral("итог: ") + row.journal),
                 qPrintable(journal.last()));
        QVERIFY2(!u.rig.session.line().busy(), row.name);
        QVERIFY2(!u.rig.upload().running(), row.name);
        QVERIFY2(u.window.isVisible() == row.windowStays, row.name);

        // Nothing more goes out, and the instrument holds no program from it:
        // whatever it took ends on a block's boundary or earlier.
        const qsizetype written = u.rig.port.written().size();
        u.rig.clock.advance(5000);
        QCOMPARE(u.rig.port.written().size(), written);
        QVERIFY2(written < 6 + 45000, row.name);
        QVERIFY2(u.rig.bootLoader().lastResult() != BootLoader::Result::Accepted, row.name);
        QVERIFY2(u.rig.bootLoader().received() <= written - 6, row.name);
    }
}

void tst_FirmwareWaysOut::leavingTheWindowAsksAndNoKeepsTheUploadGoing()
{
    UploadUnderWay u;
    QVERIFY(u.start());
    ModalAnswer answer;
    answer.answerNext(QMessageBox::No);
    u.exitAction();
    QCOMPARE(answer.objectName, QStringLiteral("LeaveWriteBox"));
    QCOMPARE(answer.text, QStringLiteral("Идёт загрузка программы в прибор. Прервать и закрыть "
                                         "программу?\nВ приборе останется неполная программа."));
    QCOMPARE(answer.defaultButton, QMessageBox::No);
    QVERIFY(u.window.isVisible());
    QVERIFY(u.rig.upload().running());
    QCOMPARE(u.rig.uploadJournal().size(), 1);

    // It goes on to its end, and the window then closes without a question.
    QVERIFY(u.rig.runUntil(
        [&] { return u.rig.session.pane().text() == "Перепрограммирование прибора завершено"; },
        30000));
    QCOMPARE(u.rig.bootLoader().programImage(), QByteArray(45000, 'z'));
    answer = ModalAnswer();
    answer.answerNext(QMessageBox::No);
    u.window.close();
    QCoreApplication::processEvents();
    QVERIFY(answer.text.isEmpty());
    QVERIFY(!u.window.isVisible());
}

void tst_FirmwareWaysOut::everyJobButTheSearchIsAskedAbout()
{
    FirmwareRig rig;
    MainWindow window(rig.session, rig.instrument.get());
    rig.startUp();
    window.show();
    // The contact search loses nothing: closing during it asks nothing (a read
    // is asked about as a write is).
    QVERIFY(rig.session.line().begin(LineJob::ContactSearch));
    ModalAnswer answer;
    answer.answerNext(QMessageBox::No);
    window.close();
    QCoreApplication::processEvents();
    QVERIFY(answer.text.isEmpty());
    QVERIFY(!window.isVisible());
}

QTEST_MAIN(tst_FirmwareWaysOut)
#include "tst_FirmwareWaysOut.moc"
