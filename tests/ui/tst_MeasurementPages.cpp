#include "MeasurementData.h"
#include "ReaderPage.h"
#include "RecordingOpener.h"
#include "ResultsPage.h"
#include "TestSupport.h"
#include "WidgetFinder.h"
#include "measurement/OpticalDensityReader.h"
#include "measurement/ResultsProtocol.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>

using namespace kalent;
using namespace kalent::test;

// The pages mirror their controllers and forward clicks; found by objectName.
class tst_MeasurementPages : public QObject
{
    Q_OBJECT

private:
    // The width of the dark pixels (text) inside the rectangle.
    static int inkWidth(const QImage &image, const QRect &rect)
    {
        int left = rect.right() + 1;
        int right = rect.left() - 1;
        for (int x = rect.left(); x <= rect.right(); ++x)
            for (int y = rect.top(); y <= rect.bottom(); ++y)
                if (qGray(image.pixel(x, y)) < 128) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
        return std::max(0, right - left + 1);
    }

private Q_SLOTS:
    void readerPageShowsTheTableAndForwardsClicks()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        rig.settle();
        RecordingOpener opener;
        ReaderPage page(rig.session, opener);
        OpticalDensityReader &reader = rig.session.reader();
        auto *grid = child<QTableView>(page, "StringGrid1");
        auto *read = child<QPushButton>(page, "btnReadOP");
        auto *save = child<QPushButton>(page, "btnSaveOP");
        auto *excel = child<QPushButton>(page, "btnCreateExcel");
        QVERIFY(grid && read && save && excel && child<QPushButton>(page, "btnFileToExcel"));
        QCOMPARE(grid->model()->rowCount(), 8);
        QCOMPARE(grid->model()->columnCount(), 12);
        QVERIFY(read->isEnabled());
        QVERIFY(!save->isEnabled());
        QVERIFY(!excel->isEnabled());
        QCOMPARE(save->text(), QStringLiteral("Данные в файл"));

        Q_EMIT rig.session.readerGridLabelled();
        QCOMPARE(grid->model()->headerData(0, Qt::Vertical).toString(), QStringLiteral("A"));
        QCOMPARE(grid->model()->headerData(11, Qt::Horizontal).toString(), QStringLiteral("12"));
        QVERIFY(!grid->verticalHeader()->isHidden() && !grid->horizontalHeader()->isHidden());
        QCOMPARE(grid->verticalHeader()->width(), 15);
        QCOMPARE(grid->columnWidth(0), 35);
        QCOMPARE(grid->columnWidth(11), 35);
        QCOMPARE(child<QWidget>(page, "RzPanel7")->width(), 447);

        QSignalSpy received(&reader, &OpticalDensityReader::tableReceived);
        QTest::mouseClick(read, Qt::LeftButton);
        QVERIFY(rig.runUntil([&] { return received.count() == 1; }));
        const MeasurementData &data = *rig.instrument->feature<MeasurementData>();
        QCOMPARE(grid->model()->index(0, 0).data().toString(),
                 QString::fromLatin1(data.valueText(1, 1)));
        QCOMPARE(grid->model()->index(7, 11).data().toString(),
                 QString::fromLatin1(data.valueText(8, 12)));
        QVERIFY(save->isEnabled());
        QVERIFY(excel->isEnabled());

        QTest::mouseClick(excel, Qt::LeftButton);
        QCOMPARE(opener.opened, QStringList{reader.excelTempFileName()});

        auto *autoSave = child<QCheckBox>(page, "chckAutoSaveOP");
        auto *autoRead = child<QCheckBox>(page, "chckAutoReadOP");
        QVERIFY(autoSave && autoRead && !autoSave->isChecked());
        autoSave->click();
        QVERIFY(reader.state().autoSave);
        autoRead->click();
        QVERIFY(reader.state().autoRead);
    }

    void everySixCharacterValueIsReadableWholeInItsColumn()
    {
        SimRig rig;
        RecordingOpener opener;
        ReaderPage page(rig.session, opener);
        Q_EMIT rig.session.readerGridLabelled();
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        auto *grid = child<QTableView>(page, "StringGrid1");
        QCOMPARE(grid->columnWidth(0), 35);
        QCOMPARE(child<QWidget>(page, "RzPanel7")->width(), 447);

        // The text starts after the style's margin and may run up to the grid line.
        const int margin =
            grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1;
        const int room = grid->columnWidth(0) - 1 - 2 * margin;
        const QFontMetrics metrics(grid->font());
        for (const QString value : {"A01.00", "-0.123", "10.000", "-10.00", "0.123 "}) {
            QVERIFY2(metrics.horizontalAdvance(value) <= room,
                     qPrintable(QStringLiteral("%1: %2 px in %3")
                                    .arg(value)
                                    .arg(metrics.horizontalAdvance(value))
                                    .arg(room)));
            // And on the screen: the ink in the cell is as wide as the value's own.
            QByteArray reply = MeasurementData().tableReply();
            reply.replace(1 + 3 * 109 + 11 * 9, 6, value.toLatin1());
            rig.session.reader().handleTable(message(reply));
            QCOMPARE(grid->model()->index(3, 11).data().toString(), value);
            const QImage shot = grid->viewport()->grab().toImage();
            const QRect cell = grid->visualRect(grid->model()->index(3, 11));
            QImage alone(cell.width() * 3, cell.height(), QImage::Format_RGB32);
            alone.fill(Qt::white);
            {
                QPainter painter(&alone);
                painter.setFont(grid->font());
                painter.setPen(Qt::black);
                painter.drawText(alone.rect().adjusted(2, 0, 0, 0),
                                 Qt::AlignLeft | Qt::AlignVCenter, value);
            }
            QVERIFY2(inkWidth(shot, cell.adjusted(0, 0, -1, -1)) == inkWidth(alone, alone.rect()),
                     qPrintable(QStringLiteral("%1: %2 vs %3, %4 px stretch %5")
                                    .arg(value)
                                    .arg(inkWidth(shot, cell.adjusted(0, 0, -1, -1)))
                                    .arg(inkWidth(alone, alone.rect()))
                                    .arg(grid->font().pixelSize())
                                    .arg(grid->font().stretch())));
        }
    }

    void readerSaveDialogHandsTheChosenPathToTheController()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        RecordingOpener opener;
        ReaderPage page(rig.session, opener);
        QSignalSpy received(&rig.session.reader(), &OpticalDensityReader::tableReceived);
        rig.session.reader().readTable();
        QVERIFY(rig.runUntil([&] { return received.count() == 1; }));

        child<QPushButton>(page, "btnSaveOP")->click();
        auto *dialog = child<QFileDialog>(page, "sdlgSaveVirDat");
        QVERIFY(dialog && dialog->isVisible());
        // The described two filters, then the workbook and CSV added after them.
        QCOMPARE(dialog->nameFilters(), (QStringList{QStringLiteral("Таблица Excel (*.xls)"),
                                                     QStringLiteral("Текстовый файл (*.txt)"),
                                                     QStringLiteral("Книга Excel (*.xlsx)"),
                                                     QStringLiteral("CSV (*.csv)")}));
        QCOMPARE(dialog->defaultSuffix(), QStringLiteral("xls"));
        QCOMPARE(QDir(dialog->directory()).absolutePath(), QDir(rig.dataDir.path()).absolutePath());
        const QString path = QDir(rig.dataDir.path()).filePath(QStringLiteral("chosen.txt"));
        dialog->selectFile(path);
        static_cast<QDialog *>(dialog)->accept();
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), rig.session.reader().opData());

        auto *open = child<QFileDialog>(page, "odlgOpenFileToExcel");
        QVERIFY(open);
        QCOMPARE(open->nameFilters(), QStringList{QStringLiteral("Таблица Excel (*.xls)")});
        child<QPushButton>(page, "btnFileToExcel")->click();
        QVERIFY(open->isVisible());
        open->selectFile(path);
        static_cast<QDialog *>(open)->accept();
        QCOMPARE(opener.opened, QStringList{path});
    }

    void saveDialogOffersVirDatInTheDataFolderAndTheTextFilterGivesTxt()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        RecordingOpener opener;
        ReaderPage reader(rig.session, opener);
        ResultsPage results(rig.session);
        QSignalSpy received(&rig.session.reader(), &OpticalDensityReader::tableReceived);
        rig.session.reader().readTable();
        QVERIFY(rig.runUntil([&] { return received.count() == 1; }));

        const QString folder = QDir(rig.dataDir.path()).absolutePath();
        for (QWidget *page : {static_cast<QWidget *>(&reader), static_cast<QWidget *>(&results)}) {
            auto *dialog = child<QFileDialog>(*page, "sdlgSaveVirDat");
            QVERIFY(dialog);
            // The reader page adds two filters after these (tst_LabDataPages).
            QCOMPARE(dialog->nameFilters().mid(0, 2),
                     (QStringList{QStringLiteral("Таблица Excel (*.xls)"),
                                  QStringLiteral("Текстовый файл (*.txt)")}));
            QCOMPARE(dialog->defaultSuffix(), QStringLiteral("xls"));
            QCOMPARE(QDir(dialog->directory()).absolutePath(), folder);
            // The name "VirDat_", completed with the default extension.
            QCOMPARE(QFileInfo(dialog->selectedFiles().value(0)).fileName(),
                     QStringLiteral("VirDat_.xls"));
        }
        auto *open = child<QFileDialog>(reader, "odlgOpenFileToExcel");
        QCOMPARE(open->defaultSuffix(), QStringLiteral("xls"));
        QCOMPARE(QDir(open->directory()).absolutePath(), folder);

        // The operator picks the text filter and types a name without extension:
        // the file gets .txt, with the same bytes the spreadsheet filter writes.
        child<QPushButton>(reader, "btnSaveOP")->click();
        auto *dialog = child<QFileDialog>(reader, "sdlgSaveVirDat");
        QVERIFY(dialog->isVisible());
        auto *types = dialog->findChild<QComboBox *>(objectNames::qtDialogs::FileType);
        QVERIFY(types);
        types->setFocus();
        QTest::keyClick(types, Qt::Key_Down);
        QCOMPARE(dialog->selectedNameFilter(), QStringLiteral("Текстовый файл (*.txt)"));
        dialog->selectFile(QStringLiteral("typed"));
        static_cast<QDialog *>(dialog)->accept();
        QFile txt(QDir(folder).filePath(QStringLiteral("typed.txt")));
        QVERIFY(txt.open(QIODevice::ReadOnly));
        QCOMPARE(txt.readAll(), rig.session.reader().opData());

        // Back to the spreadsheet filter: .xls again.
        child<QPushButton>(reader, "btnSaveOP")->click();
        types->setFocus();
        QTest::keyClick(types, Qt::Key_Up);
        dialog->selectFile(QStringLiteral("typed"));
        static_cast<QDialog *>(dialog)->accept();
        QVERIFY(QFileInfo::exists(QDir(folder).filePath(QStringLiteral("typed.xls"))));
    }

    void everyShowingOfTheReaderPageEmptiesTheGridButKeepsTheTable()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        rig.settle();
        RecordingOpener opener;
        ReaderPage page(rig.session, opener);
        auto *grid = child<QTableView>(page, "StringGrid1");
        QVERIFY(grid);
        for (int showing = 0; showing < 2; ++showing) {
            QSignalSpy received(&rig.session.reader(), &OpticalDensityReader::tableReceived);
            rig.session.reader().readTable();
            QVERIFY(rig.runUntil([&] { return received.count() == 1; }));
            QVERIFY(!grid->model()->index(0, 0).data().toString().isEmpty());
            const QByteArray table = rig.session.reader().opData();
            // The reader page's action, the second time with the page already shown.
            rig.session.navigator().openPage(Page::Reader);
            for (int row = 0; row < 8; ++row)
                for (int column = 0; column < 12; ++column)
                    QCOMPARE(grid->model()->index(row, column).data().toString(), QString());
            QCOMPARE(grid->model()->headerData(7, Qt::Vertical).toString(), QStringLiteral("H"));
            QCOMPARE(rig.session.reader().opData(), table);
            QVERIFY(child<QPushButton>(page, "btnSaveOP")->isEnabled());
            // The page's contact search ends before the next read.
            QVERIFY(rig.runUntil([&] { return !rig.session.line().busy(); }));
        }
    }

    void fileErrorIsShownInAMessageBox()
    {
        SimRig rig;
        RecordingOpener opener;
        ReaderPage page(rig.session, opener);
        rig.session.reader().saveChosen(rig.dataDir.path()); // a folder
        auto *box = page.findChild<QMessageBox *>(objectNames::measurement::FileErrorBox);
        QVERIFY(box && box->isVisible());
        QVERIFY(!box->text().isEmpty());
    }

    void resultsPageShowsTheProtocolAndClearsIt()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        ResultsPage page(rig.session);
        auto *memo = child<QPlainTextEdit>(page, "Memo1");
        auto *read = child<QPushButton>(page, "btnReadProtokol");
        auto *save = child<QPushButton>(page, "btnSaveProtokol");
        auto *clear = child<QPushButton>(page, "btnClrMemo1");
        QVERIFY(memo && read && save && clear);
        QVERIFY(memo->isReadOnly());
        QCOMPARE(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
        QCOMPARE(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QVERIFY(memo->font().fixedPitch());
        QVERIFY(!save->isEnabled());

        QSignalSpy received(&rig.session.results(), &ResultsProtocol::protocolReceived);
        QTest::mouseClick(read, Qt::LeftButton);
        QVERIFY(rig.runUntil([&] { return received.count() == 1; }));
        QVERIFY(memo->toPlainText().contains(
            QStringLiteral("Протокол результатов №   12 от 24.03.09")));
        QCOMPARE(memo->toPlainText(), rig.session.results().screenText());
        QVERIFY(save->isEnabled());

        QTest::mouseClick(clear, Qt::LeftButton);
        QCOMPARE(memo->toPlainText(), QString());
        QVERIFY(save->isEnabled());

        child<QCheckBox>(page, "chckAutoSaveRes")->click();
        QVERIFY(rig.session.results().state().autoSave);
        child<QCheckBox>(page, "chckAutoReadRes")->click();
        QVERIFY(rig.session.results().state().autoRead);

        save->click();
        auto *dialog = child<QFileDialog>(page, "sdlgSaveVirDat");
        QVERIFY(dialog && dialog->isVisible());
        const QString path = QDir(rig.dataDir.path()).filePath(QStringLiteral("copy.xls"));
        dialog->selectFile(path);
        static_cast<QDialog *>(dialog)->accept();
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), rig.instrument->feature<MeasurementData>()->protocolText());
    }
};

QTEST_MAIN(tst_MeasurementPages)
#include "tst_MeasurementPages.moc"
