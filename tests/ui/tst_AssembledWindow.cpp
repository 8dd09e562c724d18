#include "DemoDatabase.h"
#include "DialogAnswers.h"
#include "FeaturePages.h"
#include "FileContents.h"
#include "LinkLabel.h"
#include "MainWindow.h"
#include "TestSupport.h"
#include "WidgetFinder.h"
#include "common/AtomicFile.h"
#include "database/DatabasePage.h"
#include "journal/ServiceJournal.h"
#include "measurement/DesktopOpener.h"
#include "measurement/OpticalDensityReader.h"
#include "measurement/ResultsProtocol.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>

using namespace kalent;
using kalent::test::SimRig;

namespace {

class RecordingOpener : public DesktopOpener
{
public:
    bool openWithDesktop(const QString &path) override
    {
        opened.append(path);
        return true;
    }
    QStringList opened;
};

// The whole window as the program assembles it, on the built-in instrument and a
// manual clock: the operator's routine from end to end.
struct Assembled
{
    SimRig rig;
    RecordingOpener opener;
    MainWindow window{rig.session, rig.instrument.get()};

    Assembled()
    {
        installFeaturePages(window, rig.session, opener, rig.instrument.get());
        rig.startUp();
        window.show();
    }
    template <typename T> T *find(const QString &name) const
    {
        return kalent::test::child<T>(window, name);
    }
    void trigger(const QString &action) const { find<QAction>(action)->trigger(); }
    QString status() { return rig.session.pane().text(); }
    bool linkAt115200()
    {
        return rig.runUntil([this] { return rig.link().atFastestSpeed(); });
    }
};

} // namespace

class tst_AssembledWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readerPageReadsTheTableAndHandsItToTheSpreadsheet()
    {
        Assembled w;
        w.trigger("ActionVir2006");
        QVERIFY(w.linkAt115200());
        QCOMPARE(w.status(), QString("Есть контакт с прибором"));

        w.find<QPushButton>("btnReadOP")->click();
        QVERIFY(w.rig.runUntil([&] { return w.status() == "Оптические плотности приняты"; }));
        auto *grid = w.find<QTableView>("StringGrid1");
        QVERIFY(grid);
        QCOMPARE(grid->model()->headerData(0, Qt::Vertical).toString(), QString("A"));
        QVERIFY(!grid->model()->index(0, 0).data().toString().trimmed().isEmpty());
        QVERIFY(!grid->model()->index(7, 11).data().toString().trimmed().isEmpty());

        w.find<QPushButton>("btnCreateExcel")->click();
        QCOMPARE(w.opener.opened.size(), 1);
        QVERIFY(w.opener.opened.first().endsWith("TempBDTS.xls"));
    }

    void resultsPageReadsTheProtocolWithTheLinkDown()
    {
        Assembled w;
        w.trigger("ActionFile");
        QVERIFY(w.linkAt115200());
        w.find<QPushButton>("btnReadProtokol")->click();
        auto *memo = w.find<QPlainTextEdit>("Memo1");
        QVERIFY(memo);
        QVERIFY(w.rig.runUntil([&] { return memo->toPlainText().contains(" от "); }));

        w.rig.instrument->setPowered(false);
        QCOMPARE(w.status(), QString("Нет связи с прибором"));
        QVERIFY(!w.find<QAction>("ActionVir2006")->isEnabled());
        QVERIFY(w.find<QAction>("ActionFile")->isEnabled());
    }

    // A read that gets no answer, half an answer, a vanished line or babble says
    // so in the pane, the bar goes back to 0, the last whole one stays shown and saved.
    void aFailedReadSaysSoAndKeepsTheLastWholeOne_data()
    {
        QTest::addColumn<bool>("table");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("pane");
        const QString table = "Прибор не прислал таблицу оптических плотностей";
        const QString protocol = "Прибор не прислал протокол результатов";
        QTest::newRow("table, silent") << true << "silent" << table + ".";
        QTest::newRow("table, half")
            << true << "half" << table + " целиком: принято символов 436 из 873.";
        QTest::newRow("table, line gone")
            << true << "gone"
            << "Таблица оптических плотностей не принята: порт закрылся.";
        QTest::newRow("table, noise") << true << "noise" << table + ": на линии помехи.";
        QTest::newRow("protocol, silent") << false << "silent" << protocol + ".";
        QTest::newRow("protocol, half") << false << "half" << protocol + " целиком.";
        QTest::newRow("protocol, noise") << false << "noise" << protocol + ": на линии помехи.";
    }

    void aFailedReadSaysSoAndKeepsTheLastWholeOne()
    {
        QFETCH(bool, table);
        QFETCH(QString, fault);
        QFETCH(QString, pane);
        using Fault = VirtualInstrument::DataReplyFault;
        Assembled w;
        w.trigger(table ? "ActionVir2006" : "ActionFile");
        QVERIFY(w.linkAt115200());
        auto *read = w.find<QPushButton>(table ? "btnReadOP" : "btnReadProtokol");
        Session &s = w.rig.session;
        const auto whole = [&] {
            return table ? s.reader().table().text() : s.results().protocol();
        };
        const auto shown = [&] {
            return table ? w.find<QTableView>("StringGrid1")->model()->index(0, 0).data().toString()
                         : w.find<QPlainTextEdit>("Memo1")->toPlainText();
        };
        read->click();
        QVERIFY(w.rig.runUntil([&] { return !whole().isEmpty(); }));
        const QByteArray first = whole();
        const QString firstShown = shown();

        w.rig.instrument->setDataReplyFault(fault == "half"   ? Fault::HalfThenSilence
                                            : fault == "gone" ? Fault::HalfThenLineDrops
                                                              : Fault::Withheld);
        read->click();
        for (int i = 0; fault == "noise" && i < 40; ++i) {
            w.rig.instrument->sendRaw("\x7f\x7f");
            w.rig.clock.advance(500);
        }
        QVERIFY2(w.rig.runUntil([&] { return w.status() == pane; }, 60000), qPrintable(w.status()));
        QCOMPARE(w.find<QProgressBar>("RzProgressBar1")->value(), 0);
        QCOMPARE(whole(), first);
        QCOMPARE(shown(), firstShown);
    }

    // A page change never cuts a job short: the database read goes on to its
    // end, and the new page's contact search follows it.
    void aPageChangeLetsTheRunningReadFinish()
    {
        Assembled w;
        w.trigger("ActionBDTS");
        QVERIFY(w.linkAt115200());
        w.find<QPushButton>("btnReadBDTSFromVir")->click();
        w.rig.clock.advance(300);
        w.trigger("ActionVir2006");
        QVERIFY(w.rig.runUntil([&] { return w.status() == "Принято из прибора страниц: 18"; }));
        QVERIFY(w.rig.runUntil([&] { return w.rig.link().searching(); }));
    }

    // "Выход" during the read that backs the instrument up before a write asks,
    // in the words of the job that runs when the question is answered; yes
    // ends that job through its cancel, in the journal too.
    void exitDuringTheBackupReadAsksAboutTheJobAsItIsWhenAnswered_data()
    {
        QTest::addColumn<bool>("answeredDuringTheWrite");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("journal");
        QTest::newRow("answered at once")
            << false
            << "Идёт чтение БД ТС из прибора для резервной копии перед записью. Прервать и "
               "закрыть программу?\nЗапись БД ТС в прибор не будет начата."
            << "итог: не начата: резервная копия не сохранена: БД ТС из прибора не считана";
        QTest::newRow("answered once the write ran")
            << true
            << "Идёт запись БД ТС в прибор. Прервать и закрыть программу?\nБД ТС в приборе "
               "будет записана не полностью."
            << "итог: прервана: программа закрывается";
    }

    void exitDuringTheBackupReadAsksAboutTheJobAsItIsWhenAnswered()
    {
        QFETCH(bool, answeredDuringTheWrite);
        QFETCH(QString, question);
        QFETCH(QString, journal);
        Assembled w;
        w.trigger("ActionBDTS");
        QVERIFY(w.linkAt115200());
        DatabasePage &page = w.rig.session.databasePage();
        const QString path = QDir(w.rig.dataDir.path()).filePath("new.bdt");
        QVERIFY(AtomicFile::write(path, DemoDatabase::withPages(30)).isEmpty());
        QVERIFY(page.openFileList(path) && page.writeFileList());
        QString answered;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (answeredDuringTheWrite)
                w.rig.runUntil([&] { return w.rig.session.line().writing(); });
            answered = box->text();
            box->button(QMessageBox::Yes)->click();
        });
        w.trigger("ActionExit");
        QCOMPARE(answered, question);
        QVERIFY(!w.window.isVisible() && !w.rig.session.line().busy());
        const QByteArray journalled = kalent::test::readFile(w.rig.session.journal().path());
        QVERIFY2(journalled.trimmed().split('\n').constLast().contains(journal.toUtf8()),
                 journalled.constData());
    }

    void databasePageIsCreatedOnFirstUseAndReadsTheInstrument()
    {
        Assembled w;
        QVERIFY(!w.find<QWidget>("FrameBDTS"));
        w.trigger("ActionBDTS");
        QVERIFY(w.find<QWidget>("FrameBDTS"));
        QVERIFY(w.linkAt115200());
        auto *read = w.find<QPushButton>("btnReadBDTSFromVir");
        QVERIFY(read->isEnabled());
        read->click();
        QVERIFY(w.rig.runUntil([&] { return w.status() == "Принято из прибора страниц: 18"; }));

        // The link check now reaches the frame's read button too.
        w.rig.instrument->setPowered(false);
        QVERIFY(!read->isEnabled());
    }

    void firmwareIsReprogrammedThroughTheThreeSteps()
    {
        Assembled w;
        const QString folder = QDir(w.rig.dataDir.path()).filePath("FilesInVirant");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(
            AtomicFile::write(QDir(folder).filePath("Virant_(rx).tsk"), QByteArray(25000, '\x5a'))
                .isEmpty());

        w.trigger("ActionSoftVirant");
        QVERIFY(w.find<QWidget>("FrameSoftVir"));
        QCOMPARE(w.status(), QString("Выключите прибор. Шаг 2."));
        // "Другой файл..." lies on its label at the first showing already,
        // centred in the width the tab "Шаг 3" leaves beside its picture.
        auto *other = w.find<QPushButton>("btnOtherFileLoadPO");
        const int w2 = w.find<QWidget>("RzSplitter2")->width() - 210;
        QCOMPARE(w.find<QWidget>("RzSplitter2")->width(), w.find<QWidget>("RzSplitter1")->width());
        QCOMPARE(other->x(), (w2 - other->width()) / 2);
        QVERIFY(other->x() >= 0);
        QVERIFY(other->geometry().right() < w.find<QWidget>("lbFileLoadPO")->width());
        QCOMPARE(w.rig.port.settings(), QString("115200,n,8,1"));

        w.rig.instrument->setPowered(false);
        QCOMPARE(w.status(), QString("Включите прибор удерживая указку на экране.Шаг 2."));
        w.rig.instrument->setStylusHeld(true);
        w.rig.instrument->setPowered(true);
        w.rig.clock.advance(5500);
        QCOMPARE(w.status(), QString("Загрузите программу в прибор. Шаг 3."));

        auto *load = w.find<QPushButton>("btnLoadPO");
        QVERIFY(load->isEnabled());
        kalent::test::answerNextBox(w.window, "ConfirmLoadBox", QMessageBox::Yes);
        load->click();
        QVERIFY(w.rig.runUntil(
            [&] { return w.status() == "Перепрограммирование прибора завершено"; }, 20000));
        QCOMPARE(w.rig.port.written().left(6), QByteArray::fromHex("55AAAE610000"));
        QCOMPARE(w.rig.port.written().size(), 6 + 25000 + 2);
    }

    void everyControlLooksDisabledWhenItIsDisabled()
    {
        Assembled w;
        for (const char *action : {"ActionSoftVirant", "ActionBDTS", "ActionVir2006", "ActionFile"})
            w.trigger(action);
        QVERIFY(w.find<QWidget>("FrameSoftVir") && w.find<QWidget>("StringGrid1"));
        QList<QWidget *> controls;
        for (QWidget *widget : w.window.findChildren<QWidget *>())
            if (qobject_cast<QAbstractButton *>(widget) || qobject_cast<QComboBox *>(widget) ||
                qobject_cast<LinkLabel *>(widget))
                controls.append(widget);
        QVERIFY(controls.size() > 30);
        for (QWidget *control : controls) {
            const QString name = control->objectName() + QLatin1Char(' ') +
                                 QString::fromLatin1(control->metaObject()->className());
            if (!control->styleSheet().isEmpty()) {
                // A style sheet of its own must give the disabled state a look too.
                QVERIFY2(control->styleSheet().contains(QStringLiteral(":disabled")),
                         qPrintable(name));
                continue;
            }
            const QPalette palette = control->palette();
            const QPalette::ColorRole role = control->foregroundRole();
            QVERIFY2(palette.color(QPalette::Disabled, role) !=
                         palette.color(QPalette::Active, role),
                     qPrintable(name));
        }
    }
};

QTEST_MAIN(tst_AssembledWindow)
#include "tst_AssembledWindow.moc"
