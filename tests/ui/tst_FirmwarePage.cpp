#include "DialogAnswers.h"
#include "ElidingLabel.h"
#include "FirmwarePage.h"
#include "FirmwareRig.h"
#include "WidgetFinder.h"
#include "navigation/PageNavigator.h"

#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace kalent;
using namespace kalent::test;

namespace {

// The firmware action as the window runs it: the page change's rules, the
// session's file search, then the page's layout.
void openPage(FirmwareRig &rig, FirmwarePage &frame)
{
    rig.wizard().stopFirmwareWizard();
    rig.wizard().enterFirmwarePage();
    rig.wizard().pageOpened();
    frame.pageShown();
}

QColor textColour(QWidget *widget)
{
    return widget->palette().color(QPalette::WindowText);
}

} // namespace

class tst_FirmwarePage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void framesShowsBothStepsAndTheInstrumentScreens();
    void fileLabelsAndLoadButtonMirrorTheWizard();
    void loadButtonAsksAndOnlyYesSends();
    void unreadableFileIsShownInABoxAndNothingIsSent();
    void otherFileDialogOpensAtTheDataFolderWithTheFirmwareFilter();
    void buttonsAreCentredInTheLeftPane();
    void longPathIsElidedInTheMiddleAndTheSplittersStay();
    void disabledButtonsTakeThePalettesDisabledText();
    void leavingDuringTheUploadAsksWithNoAsDefault();
};

void tst_FirmwarePage::framesShowsBothStepsAndTheInstrumentScreens()
{
    FirmwareRig rig;
    FirmwarePage frame(rig.session);

    auto *pages = child<QTabWidget>(frame, "RzPageControl2");
    QVERIFY(pages);
    QCOMPARE(pages->count(), 2);
    QCOMPARE(pages->tabText(0), QStringLiteral("Шаги 1,2"));
    QCOMPARE(pages->tabText(1), QStringLiteral("Шаг 3"));
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("TabSheet5"));

    QCOMPARE(child<QLabel>(frame, "RzLabel3")->text(), QStringLiteral("Шаг 1. Файл для загрузки:"));
    QCOMPARE(child<QLabel>(frame, "RzLabel4")->text(),
             QStringLiteral("предварительно нажав\nуказкой на экран\nи\nудерживая ее в этом "
                            "положении."));
    QCOMPARE(textColour(child<QLabel>(frame, "RzLabel4")), QColor(0xFF, 0x00, 0xFF));
    QCOMPARE(textColour(child<QLabel>(frame, "lbFileLoadPO")), QColor(0xFF, 0x00, 0xFF));
    QCOMPARE(child<QPushButton>(frame, "btnOtherFileLoadPO")->text(),
             QStringLiteral("Другой файл..."));
    // The two pictures of the instrument's screen.
    QCOMPARE(child<QLabel>(frame, "RzLabel6")->text(),
             QStringLiteral("Начальный  загрузчик  V1.1"));
    QCOMPARE(textColour(child<QLabel>(frame, "RzLabel6")), QColor(0x00, 0xFF, 0xFF));
    QCOMPARE(child<QLabel>(frame, "RzLabel8")->text(),
             QStringLiteral("Режим программирования \nвключен"));
    QCOMPARE(child<QLabel>(frame, "RzLabel16")->text(),
             QStringLiteral("Контрольная сумма файла  -  ОК"));
    QCOMPARE(textColour(child<QLabel>(frame, "RzLabel19")), QColor(0x00, 0x00, 0xFF));
    QCOMPARE(child<QLabel>(frame, "RzLabel19")->text(), QStringLiteral("Перезагрузка прибора"));

    auto *load = child<QPushButton>(frame, "btnLoadPO");
    QCOMPARE(load->text(), QStringLiteral("Загрузить программу в прибор"));
    QVERIFY(!load->isEnabled());
    auto *stop = child<QPushButton>(frame, "btnStopProgramVir");
    QCOMPARE(stop->text(), QStringLiteral("Отменить загрузку"));
    QVERIFY(!stop->isEnabled());
    QVERIFY(stop->isHidden());
}

void tst_FirmwarePage::fileLabelsAndLoadButtonMirrorTheWizard()
{
    FirmwareRig rig;
    rig.startUp();
    FirmwarePage frame(rig.session);
    frame.show();
    openPage(rig, frame);

    const QString notFound = QStringLiteral("Файл Virant_(rx).tsk\nне найден.");
    QCOMPARE(child<QLabel>(frame, "lbFileLoadPO")->text(), notFound);
    QCOMPARE(child<QLabel>(frame, "lbFileLoadPO2")->text(), notFound);
    auto *load = child<QPushButton>(frame, "btnLoadPO");
    QVERIFY(!load->isEnabled());
    QCOMPARE(load->toolTip(), QStringLiteral("Прибор не готов к загрузке программы управления."));

    rig.wizard().fileChosen(rig.writeFile("fw/a.tsk", "abc"));
    QVERIFY(child<QLabel>(frame, "lbFileLoadPO2")->text().endsWith("\na.tsk"));
    rig.powerOff();
    rig.powerOn(true);
    rig.clock.advance(5500);
    QVERIFY(load->isEnabled());
    QCOMPARE(load->toolTip(), QStringLiteral("Загрузка программы управления в прибор."));

    // Switching tabs works the step out again.
    rig.session.pane().setText(QString());
    child<QTabWidget>(frame, "RzPageControl2")->setCurrentIndex(1);
    QCOMPARE(rig.session.pane().text(), QStringLiteral("Загрузите программу в прибор. Шаг 3."));
}

void tst_FirmwarePage::loadButtonAsksAndOnlyYesSends()
{
    FirmwareRig rig;
    QVERIFY(rig.reachStepThree(rig.writeFile("a.tsk", "abc")));
    FirmwarePage frame(rig.session);
    frame.show();
    auto *load = child<QPushButton>(frame, "btnLoadPO");
    QVERIFY(load->isEnabled());

    answerNext<QMessageBox>(frame, "ConfirmLoadBox", [](QMessageBox *box) {
        QCOMPARE(box->text(), QStringLiteral("Режим программирования в приборе включен?"));
        QCOMPARE(box->windowTitle(), QStringLiteral("Внимание! Проверьте."));
        QCOMPARE(box->icon(), QMessageBox::Warning);
        box->button(QMessageBox::No)->click();
    });
    load->click();
    QVERIFY(rig.port.written().isEmpty());
    QVERIFY(load->isEnabled());

    answerNext<QMessageBox>(frame, "ConfirmLoadBox",
                            [](QMessageBox *box) { box->button(QMessageBox::Yes)->click(); });
    load->click();
    QCOMPARE(rig.port.written(), QByteArray::fromHex("55AA09000000"));
    auto *stop = child<QPushButton>(frame, "btnStopProgramVir");
    QVERIFY(!stop->isHidden());
    QVERIFY(stop->isEnabled());
    QVERIFY(!load->isEnabled());

    stop->click();
    QVERIFY(stop->isHidden());
    QCOMPARE(rig.session.pane().text(), QStringLiteral("Программирование прибора приостановлено"));
}

void tst_FirmwarePage::unreadableFileIsShownInABoxAndNothingIsSent()
{
    FirmwareRig rig;
    const QString path = rig.writeFile("gone.tsk", "abc");
    QVERIFY(rig.reachStepThree(path));
    QFile::remove(path);
    FirmwarePage frame(rig.session);
    frame.show();

    answerNext<QMessageBox>(frame, "ConfirmLoadBox",
                            [](QMessageBox *box) { box->button(QMessageBox::Yes)->click(); });
    child<QPushButton>(frame, "btnLoadPO")->click();
    auto *error = frame.findChild<QMessageBox *>(objectNames::firmware::ErrorBox);
    QVERIFY(error);
    QCOMPARE(error->text(),
             QStringLiteral("Файл %1 не найден.").arg(QDir::toNativeSeparators(path)));
    QVERIFY(rig.port.written().isEmpty());
    error->close();
}

void tst_FirmwarePage::otherFileDialogOpensAtTheDataFolderWithTheFirmwareFilter()
{
    FirmwareRig rig;
    rig.startUp();
    FirmwarePage frame(rig.session);
    frame.show();
    openPage(rig, frame);
    const QString path = rig.writeFile("chosen.tsk", "abc");

    answerNext<QFileDialog>(frame, "OpenDialog", [&](QFileDialog *dialog) {
        QCOMPARE(dialog->nameFilters(), QStringList({"Файлы загрузки (*.tsk)"}));
        QCOMPARE(QDir(dialog->directory()).canonicalPath(),
                 QDir(rig.dataDir.path()).canonicalPath());
        dialog->reject();
    });
    child<QPushButton>(frame, "btnOtherFileLoadPO")->click();
    QVERIFY(!rig.wizard().state().file.found());
    QCOMPARE(rig.session.pane().text(), QStringLiteral("Определите файл для загрузки. Шаг 1."));

    answerNext<QFileDialog>(frame, "OpenDialog", [&](QFileDialog *dialog) {
        dialog->selectFile(path);
        static_cast<QDialog *>(dialog)->accept();
    });
    child<QPushButton>(frame, "btnOtherFileLoadPO")->click();
    QCOMPARE(QFileInfo(rig.wizard().fileName()).canonicalFilePath(),
             QFileInfo(path).canonicalFilePath());
    QCOMPARE(rig.session.pane().text(), QStringLiteral("Выключите прибор. Шаг 2."));
    QVERIFY(child<QLabel>(frame, "lbFileLoadPO")->text().endsWith("\nchosen.tsk"));
}

void tst_FirmwarePage::buttonsAreCentredInTheLeftPane()
{
    FirmwareRig rig;
    rig.startUp();
    QWidget page;
    page.resize(600, 320);
    FirmwarePage frame(rig.session, &page);
    frame.setGeometry(page.rect());
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    openPage(rig, frame);

    auto *splitter1 = child<QSplitter>(frame, "RzSplitter1");
    const int w1 = splitter1->width() - 210;
    auto *load = child<QPushButton>(frame, "btnLoadPO");
    QCOMPARE(load->x(), (w1 - load->width()) / 2);
    auto *line1 = child<QWidget>(frame, "RzLine1");
    QCOMPARE(line1->x(), (w1 - line1->width()) / 2);
    QCOMPARE(child<QWidget>(frame, "RzLine2")->x(), line1->x());
    // The tab "Шаг 3" was never shown, yet its splitter is measured at the
    // size both tabs share, and "Другой файл..." is centred in its width − 210.
    auto *splitter2 = child<QSplitter>(frame, "RzSplitter2");
    QCOMPARE(splitter2->width(), splitter1->width());
    auto *other = child<QPushButton>(frame, "btnOtherFileLoadPO");
    QCOMPARE(other->x(), (splitter2->width() - 210 - other->width()) / 2);
    QVERIFY(other->x() >= 0);
    // The left pane takes (width − 210)·100 div width per cent of the splitter.
    const int percent = (splitter1->width() - 210) * 100 / splitter1->width();
    const int left = splitter1->sizes().at(0);
    const int expected = splitter1->width() * percent / 100;
    QVERIFY2(qAbs(left - expected) <= splitter1->handleWidth(),
             qPrintable(QStringLiteral("%1 vs %2").arg(left).arg(expected)));
}

void tst_FirmwarePage::longPathIsElidedInTheMiddleAndTheSplittersStay()
{
    FirmwareRig rig;
    rig.startUp();
    QWidget page;
    page.resize(480, 278);
    FirmwarePage frame(rig.session, &page);
    frame.setGeometry(page.rect());
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    openPage(rig, frame);
    auto *splitter1 = child<QSplitter>(frame, "RzSplitter1");
    auto *splitter2 = child<QSplitter>(frame, "RzSplitter2");
    const QList<int> sizes1 = splitter1->sizes();
    const QList<int> sizes2 = splitter2->sizes();

    const QString folder = QStringLiteral("Прошивки_прибора_ВИРАНТ_для_лаборатории_номер_два/"
                                          "версия_от_шестого_июня_две_тысячи_восьмого_года");
    const QString path = rig.writeFile(folder + QStringLiteral("/Virant_(rx).tsk"), "abc");
    QVERIFY(!path.isEmpty());
    rig.wizard().fileChosen(path);
    QCoreApplication::processEvents();
    frame.layOut();

    for (const char *name : {"lbFileLoadPO", "lbFileLoadPO2"}) {
        auto *label = child<ElidingLabel>(frame, name);
        QVERIFY(label);
        // The label keeps the whole text; it is drawn with the folder's middle left out.
        QVERIFY(label->text().endsWith(QStringLiteral("\nVirant_(rx).tsk")));
        QVERIFY(label->isElided());
        const QStringList lines = label->shownLines();
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.at(0).contains(QChar(0x2026)));
        QVERIFY(!lines.at(0).startsWith(QChar(0x2026)));
        // The folder as the system writes it: "года\" on Windows.
        QVERIFY(lines.at(0).endsWith(QDir::toNativeSeparators(QStringLiteral("года/"))));
        QCOMPARE(lines.at(1), QStringLiteral("Virant_(rx).tsk"));
        QVERIFY(label->fontMetrics().horizontalAdvance(lines.at(0)) <=
                label->contentsRect().width());
        QCOMPARE(label->toolTip(), QDir::toNativeSeparators(path));
    }
    QCOMPARE(splitter1->sizes(), sizes1);
    QCOMPARE(splitter2->sizes(), sizes2);

    // A short path is shown whole and needs no tooltip. Its folder is made
    // short too: Windows' temporary folder alone is longer than Linux's /tmp.
    QTemporaryDir shortFolder(QDir::tempPath() + QStringLiteral("/k-XXXXXX"));
    QFile shortFile(shortFolder.filePath(QStringLiteral("a.tsk")));
    QVERIFY(shortFile.open(QIODevice::WriteOnly) && shortFile.write("abc") == 3);
    shortFile.close();
    rig.wizard().fileChosen(shortFile.fileName());
    QVERIFY(!child<ElidingLabel>(frame, "lbFileLoadPO")->isElided());
    QCOMPARE(child<ElidingLabel>(frame, "lbFileLoadPO")->toolTip(), QString());
}

void tst_FirmwarePage::disabledButtonsTakeThePalettesDisabledText()
{
    FirmwareRig rig;
    FirmwarePage frame(rig.session);
    frame.show();
    const QColor greyed = QApplication::palette().color(QPalette::Disabled, QPalette::ButtonText);
    const struct
    {
        const char *name;
        QColor colour;
    } buttons[] = {{"btnLoadPO", QColor(0x80, 0x00, 0x80)},
                   {"btnOtherFileLoadPO", QColor(0x80, 0x00, 0x80)},
                   {"btnStopProgramVir", QColor(0xFF, 0x00, 0x00)}};
    for (const auto &b : buttons) {
        const QPalette palette = child<QPushButton>(frame, b.name)->palette();
        QCOMPARE(palette.color(QPalette::Active, QPalette::ButtonText), b.colour);
        QCOMPARE(palette.color(QPalette::Inactive, QPalette::ButtonText), b.colour);
        QCOMPARE(palette.color(QPalette::Disabled, QPalette::ButtonText), greyed);
        QVERIFY(greyed != b.colour);
    }
    // The load button starts disabled and is drawn in that grey.
    auto *load = child<QPushButton>(frame, "btnLoadPO");
    QVERIFY(!load->isEnabled());
    QCOMPARE(load->palette().color(load->foregroundRole()), greyed);
}

void tst_FirmwarePage::leavingDuringTheUploadAsksWithNoAsDefault()
{
    FirmwareRig rig;
    QVERIFY(rig.reachStepThree(rig.writeFile("big.tsk", QByteArray(25000, 'z')), true));
    FirmwarePage frame(rig.session);
    frame.show();
    auto *otherFile = child<QPushButton>(frame, "btnOtherFileLoadPO");
    QVERIFY(otherFile->isEnabled());
    rig.wizard().startUpload(true);
    QVERIFY(!otherFile->isEnabled());

    PageNavigator &nav = rig.session.navigator();
    nav.selectPage(Page::About);
    auto *box = child<QMessageBox>(frame, "LeaveUploadBox");
    QVERIFY(box);
    QVERIFY(box->isVisible());
    QVERIFY(box->text().contains(QStringLiteral("неполная программа")));
    QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(nav.activePage(), Page::Firmware);
    QVERIFY(rig.upload().running());

    nav.selectPage(Page::About);
    box = child<QMessageBox>(frame, "LeaveUploadBox");
    QVERIFY(box);
    box->button(QMessageBox::Yes)->click();
    QCOMPARE(nav.activePage(), Page::About);
    QVERIFY(!rig.upload().running());
    QVERIFY(rig.session.pane().text().contains(QStringLiteral("неполная программа")));
    QVERIFY(otherFile->isEnabled());
}

QTEST_MAIN(tst_FirmwarePage)
#include "tst_FirmwarePage.moc"
