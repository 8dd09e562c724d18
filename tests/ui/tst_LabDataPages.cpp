#include "HeatMapLegend.h"
#include "HeatMapScale.h"
#include "MeasurementData.h"
#include "ObjectNames.h"
#include "ProtocolPrint.h"
#include "ReadBack.h"
#include "ReaderPage.h"
#include "RecordingOpener.h"
#include "ResultsPage.h"
#include "TestSupport.h"
#include "measurement/OpticalDensityReader.h"
#include "measurement/PlateExporter.h"
#include "measurement/ResultsProtocol.h"

#include <QAction>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>

using namespace kalent;
using namespace kalent::test;

namespace {

const QColor Uncoloured(0xFF, 0xFF, 0xF0);

// A table reply of the built-in instrument with some wells replaced (positions
// from 1: 2 + (r-1)*109 + (c-1)*9).
QByteArray tableWith(const QList<std::tuple<int, int, QByteArray>> &wells)
{
    QByteArray reply = MeasurementData().tableReply();
    for (const auto &[row, column, text] : wells)
        reply.replace(1 + (row - 1) * 109 + (column - 1) * 9, 6, text);
    return reply;
}

double lightness(const QColor &c)
{
    return HeatMapScale::contrast(c, Qt::black);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

// The heat map, the added save formats and the protocol's pages, on the pages
// themselves; settings go to a private folder.
class tst_LabDataPages : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir settingsDir;

    static QSettings settings()
    {
        return QSettings(QString::fromLatin1(ReaderPage::SettingsOrganization),
                         QString::fromLatin1(ReaderPage::SettingsApplication));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(settingsDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
        settings().clear();
    }

    void everyColourOfTheScaleKeepsItsTextReadable()
    {
        for (int i = 0; i <= 200; ++i) {
            const QColor background = HeatMapScale::colourAt(i / 200.0);
            QVERIFY2(HeatMapScale::contrast(background, HeatMapScale::textOn(background)) >= 4.5,
                     qPrintable(background.name()));
            if (i > 0) // lighter all the way up: the order reads without a legend
                QVERIFY(lightness(background) > lightness(HeatMapScale::colourAt((i - 1) / 200.0)));
        }
        QCOMPARE(HeatMapScale::colourAt(-1), HeatMapScale::colourAt(0));
        QCOMPARE(HeatMapScale::colourAt(qQNaN()), HeatMapScale::colourAt(0));
        QCOMPARE(HeatMapScale::colourAt(7), HeatMapScale::colourAt(1));
    }

    void heatMapColoursNumbersLowToHighAndLeavesTheRestAlone()
    {
        SimRig rig;
        RecordingOpener opener;
        ReaderPage page(rig.session, opener);
        auto *grid = page.findChild<QTableView *>(objectNames::reader::Grid);
        auto *action = page.findChild<QAction *>(objectNames::reader::HeatMapAction);
        auto *legend = page.findChild<HeatMapLegend *>(objectNames::reader::HeatMapLegend);
        QVERIFY(grid && action && legend);
        QVERIFY(grid->actions().contains(action)); // in the grid's context menu
        QVERIFY(!page.heatMapOn());

        QByteArray reply = tableWith({{1, 1, "0.010 "},
                                      {8, 12, "3.990 "},
                                      {2, 2, "OVER  "},
                                      {3, 3, "      "},
                                      {4, 4, "------"}});
        rig.session.reader().handleTable(message(reply));
        for (int row = 0; row < 8; ++row)
            for (int column = 0; column < 12; ++column)
                QCOMPARE(grid->model()
                             ->index(row, column)
                             .data(Qt::BackgroundRole)
                             .value<QBrush>()
                             .color(),
                         Uncoloured);

        action->trigger();
        QVERIFY(page.heatMapOn());
        const QColor low =
            grid->model()->index(0, 0).data(Qt::BackgroundRole).value<QBrush>().color();
        const QColor high =
            grid->model()->index(7, 11).data(Qt::BackgroundRole).value<QBrush>().color();
        const QColor middle =
            grid->model()->index(4, 5).data(Qt::BackgroundRole).value<QBrush>().color();
        QCOMPARE(low, HeatMapScale::colourAt(0));
        QCOMPARE(high, HeatMapScale::colourAt(1));
        QVERIFY(lightness(low) < lightness(middle) && lightness(middle) < lightness(high));
        QCOMPARE(grid->model()->index(0, 0).data(Qt::ForegroundRole).value<QBrush>().color(),
                 HeatMapScale::textOn(low));
        for (const auto &[row, column] : {std::pair{1, 1}, {2, 2}, {3, 3}}) {
            QCOMPARE(
                grid->model()->index(row, column).data(Qt::BackgroundRole).value<QBrush>().color(),
                Uncoloured);
            QVERIFY(!grid->model()->index(row, column).data(Qt::ForegroundRole).isValid());
        }
        // Headers are never part of the map.
        QVERIFY(!grid->model()->headerData(0, Qt::Horizontal, Qt::BackgroundRole).isValid());
        QVERIFY(legend->isVisibleTo(&page));
        QCOMPARE(legend->lowText(), QStringLiteral("0.010"));
        QCOMPARE(legend->highText(), QStringLiteral("3.990"));
        QCOMPARE(settings().value(QString::fromLatin1(ReaderPage::HeatMapKey)).toBool(), true);

        // Showing the page again empties the grid: nothing left to colour.
        Q_EMIT rig.session.readerGridLabelled();
        QCOMPARE(grid->model()->index(0, 0).data(Qt::BackgroundRole).value<QBrush>().color(),
                 Uncoloured);
        QVERIFY(!legend->isVisibleTo(&page));

        // Remembered by the next run's page, and switched off again.
        {
            ReaderPage next(rig.session, opener);
            QVERIFY(next.heatMapOn());
            next.findChild<QAction *>(objectNames::reader::HeatMapAction)->trigger();
            QVERIFY(!next.heatMapOn());
        }
        QCOMPARE(settings().value(QString::fromLatin1(ReaderPage::HeatMapKey)).toBool(), false);
        ReaderPage third(rig.session, opener);
        QVERIFY(!third.heatMapOn());
    }

    void saveDialogWritesTheAddedFormatsAndKeepsTheDescribedBytes()
    {
        SimRig rig;
        RecordingOpener opener;
        ReaderPage page(rig.session, opener);
        auto *dialog = page.findChild<QFileDialog *>(objectNames::reader::SaveDialog);
        QVERIFY(dialog);
        QCOMPARE(dialog->nameFilters(), (QStringList{QStringLiteral("Таблица Excel (*.xls)"),
                                                     QStringLiteral("Текстовый файл (*.txt)"),
                                                     QStringLiteral("Книга Excel (*.xlsx)"),
                                                     QStringLiteral("CSV (*.csv)")}));
        QByteArray reply = tableWith({{2, 2, "OVER  "}});
        rig.session.reader().handleTable(message(reply));
        const QByteArray opData = rig.session.reader().opData();
        const QDir folder(rig.dataDir.path());

        const QList<QPair<int, QString>> saves = {{0, QStringLiteral("a.xls")},
                                                  {1, QStringLiteral("a.txt")},
                                                  {2, QStringLiteral("a.xlsx")},
                                                  {3, QStringLiteral("a.csv")}};
        for (const auto &[filter, name] : saves) {
            dialog->selectNameFilter(dialog->nameFilters().at(filter));
            rig.session.pane().setText(QString());
            Q_EMIT dialog->fileSelected(folder.filePath(name));
            QCOMPARE(rig.session.pane().text(), QStringLiteral("Данные записаны в файл."));
        }
        QCOMPARE(readAll(folder.filePath("a.xls")), opData);
        QCOMPARE(readAll(folder.filePath("a.txt")), opData);
        QVERIFY(readAll(folder.filePath("a.xlsx")).startsWith("PK\x03\x04"));
        QVERIFY(readAll(folder.filePath("a.csv")).startsWith("\xEF\xBB\xBF"));
        QVERIFY(readAll(folder.filePath("a.csv")).contains("\"OVER\""));
    }

    void theCopyChosenInTheMenuIsRemembered()
    {
        settings().clear();
        SimRig rig;
        RecordingOpener opener;
        {
            ReaderPage page(rig.session, opener);
            auto *exporter = page.findChild<PlateExporter *>(objectNames::reader::Exporter);
            QVERIFY(exporter);
            QCOMPARE(exporter->copyFormat(), PlateExporter::Copy::None);
            page.findChild<QAction *>(objectNames::reader::CopyXlsx)->trigger();
            QCOMPARE(exporter->copyFormat(), PlateExporter::Copy::Xlsx);
        }
        ReaderPage next(rig.session, opener);
        auto *exporter = next.findChild<PlateExporter *>(objectNames::reader::Exporter);
        QCOMPARE(exporter->copyFormat(), PlateExporter::Copy::Xlsx);
        QVERIFY(next.findChild<QAction *>(objectNames::reader::CopyXlsx)->isChecked());
        next.findChild<QAction *>(objectNames::reader::CopyNone)->trigger();
        QCOMPARE(settings().value(QString::fromLatin1(ReaderPage::AutoSaveCopyKey)).toString(),
                 QStringLiteral("none"));
    }

    void protocolPdfHasTheMemosTextUnderItsNumberAndDate()
    {
        for (const QString &tool : {QStringLiteral("pdftotext"), QStringLiteral("pdffonts")}) {
            const QString missing = ReadBack::missingTool(tool);
            if (!missing.isEmpty())
                QSKIP(qPrintable(missing));
        }
        SimRig rig;
        QVERIFY(rig.connectFast());
        rig.settle();
        ResultsPage page(rig.session);
        auto *pdf = page.findChild<QAction *>(objectNames::results::PdfAction);
        auto *print = page.findChild<QAction *>(objectNames::results::PrintAction);
        QVERIFY(pdf && print);
        QCOMPARE(print->shortcut(), QKeySequence(QKeySequence::Print));

        // Nothing on the screen: said so, and no dialog opens.
        pdf->trigger();
        QVERIFY(page.findChild<QMessageBox *>(objectNames::measurement::FileErrorBox));
        QVERIFY(!page.findChild<QFileDialog *>(objectNames::results::PdfDialog)->isVisible());

        ResultsProtocol &results = rig.session.results();
        QSignalSpy received(&results, &ResultsProtocol::protocolReceived);
        results.readProtocol();
        QVERIFY(rig.runUntil([&] { return received.count() == 1; }));
        QCOMPARE(page.pageHeader(), QStringLiteral("Протокол результатов №12 от 24.03.09"));

        const QString file = QDir(rig.dataDir.path()).filePath(QStringLiteral("protocol.pdf"));
        page.savePdf(file);
        QVERIFY(readAll(file).startsWith("%PDF"));
        const QString text = ReadBack::pdfText(file);
        QVERIFY2(text.contains(QStringLiteral("Протокол результатов №12 от 24.03.09")),
                 qPrintable(text.left(400)));
        QVERIFY(text.contains(QStringLiteral("Тест-система: HBsAg-ИФА")));
        QVERIFY(text.contains(QStringLiteral("Оператор:")));
        // 105 lines of protocol take two pages, each with its number.
        QVERIFY(text.contains(QStringLiteral("стр. 1 из 2")));
        QVERIFY(text.contains(QStringLiteral("стр. 2 из 2")));
        // Every memo line arrives whole (pdftotext may set runs of blanks its own way).
        const QString simplified = text.simplified();
        for (const QString &line : results.screenText().split(QLatin1Char('\n')))
            QVERIFY2(simplified.contains(line.simplified()), qPrintable(line));
        const QString fonts = ReadBack::toolOutput(QStringLiteral("pdffonts"), {file});
        QVERIFY2(fonts.contains(QStringLiteral("Mono")) ||
                     fonts.contains(QStringLiteral("Courier")),
                 qPrintable(fonts));
        for (const QString &line : fonts.split(QLatin1Char('\n')).mid(2))
            if (!line.trimmed().isEmpty()) // the "emb" column: every font embedded
                QVERIFY2(line.contains(QStringLiteral(" yes ")), qPrintable(line));
    }

    void linesAreBrokenAtBlanksAndIndented_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("columns");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("fits") << "abc def" << 9 << QStringList{"abc def"};
        QTest::newRow("at the last blank in reach")
            << "aaa bbb ccc" << 9 << QStringList{"aaa bbb", "    ccc"};
        // The line's last column is its own: a word ending there stays.
        QTest::newRow("a word ending at the edge")
            << "aaaa bbbb cc" << 9 << QStringList{"aaaa bbbb", "    cc"};
        QTest::newRow("a number kept whole")
            << "Протокол 345 от 01.02.26" << 14
            << QStringList{"Протокол 345", "    от", "    01.02.26"};
        QTest::newRow("under its own indent")
            << "  aa bb cc dd" << 12 << QStringList{"  aa bb cc", "      dd"};
        QTest::newRow("a word longer than a line is cut")
            << "abcdefghijklmn" << 10 << QStringList{"abcdefghij", "    klmn"};
        QTest::newRow("tabs expanded, line ends of every kind")
            << "a\tb\r\nc\rd\n"
            << 20 << QStringList{"a       b", "c", "d"};
    }
    void linesAreBrokenAtBlanksAndIndented()
    {
        QFETCH(QString, text);
        QFETCH(int, columns);
        QFETCH(QStringList, lines);
        QCOMPARE(ProtocolPrint::pageLines(text, columns), lines);
    }

    void longProtocolLinesAreFittedBeforeTheyAreBroken()
    {
        const QString missing = ReadBack::missingTool(QStringLiteral("pdftotext"));
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        // 118 characters: more than 9 points hold on A4, so the text is set
        // smaller and the line stays whole.
        const QString fits = QStringLiteral("Итоги: протокол результатов диагностики. 345 от "
                                            "01.02.26, тест-система HBsAg-ИФА, оператор Иванова "
                                            "ОК, лаборант Петров");
        QCOMPARE(fits.size(), 118);
        // Far longer than any size holds: broken at blanks, no word or number cut.
        QStringList words;
        for (int i = 0; i < 40; ++i)
            words << QStringLiteral("слово%1").arg(1000 + i * 37);
        const QString broken = words.join(QLatin1Char(' '));
        QTemporaryDir dir;
        const QString file = QDir(dir.path()).filePath(QStringLiteral("long.pdf"));
        QCOMPARE(ProtocolPrint::writePdf(file, fits + QLatin1Char('\n') + broken,
                                         QStringLiteral("Протокол")),
                 QString());
        const QString text = ReadBack::pdfText(file);
        QStringList lines = text.split(QLatin1Char('\n'));
        for (QString &line : lines)
            line = line.simplified();
        QVERIFY2(lines.contains(fits.simplified()), qPrintable(text));
        const QStringList tokens = text.simplified().split(QLatin1Char(' '));
        for (const QString &word : words)
            QVERIFY2(tokens.contains(word), qPrintable(word));
        // The broken line's later parts are indented under its start.
        int continued = 0;
        for (const QString &line : text.split(QLatin1Char('\n')))
            if (line.contains(QStringLiteral("слово")) && !line.contains(words.first()))
                ++continued;
        QVERIFY(continued >= 1);
    }

    void printDialogProposesTheDataFolderAndTheDatedName()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        rig.settle();
        ResultsPage page(rig.session);
        ResultsProtocol &results = rig.session.results();
        QSignalSpy received(&results, &ResultsProtocol::protocolReceived);
        results.readProtocol();
        QVERIFY(rig.runUntil([&] { return received.count() == 1; }));
#ifdef Q_OS_WIN
        // Windows' own print dialog: the printer's driver, not the program, asks
        // for a file's name. Without a printer the operator is told, not left
        // with a dialog that never shows.
        if (QPrinterInfo::availablePrinters().isEmpty()) {
            page.findChild<QAction *>(objectNames::results::PrintAction)->trigger();
            QVERIFY(!page.findChild<QPrintDialog *>(objectNames::results::PrintDialog));
            auto *box = page.findChild<QMessageBox *>(objectNames::measurement::FileErrorBox);
            QVERIFY(box);
            QCOMPARE(box->text(), ResultsPage::NoPrinterText);
            return;
        }
        QSKIP("Windows' own print dialog has no file name of the program's to check");
#endif
        page.findChild<QAction *>(objectNames::results::PrintAction)->trigger();
        auto *dialog = page.findChild<QPrintDialog *>(objectNames::results::PrintDialog);
        QVERIFY(dialog);
        auto *fileName = dialog->findChild<QLineEdit *>(objectNames::qtDialogs::PrintFileName);
        QVERIFY(fileName);
        // The same full dated name as "Протокол в PDF...", in the data folder
        // (not the home folder, not cut at the date's last dot).
        QCOMPARE(
            fileName->text(),
            QDir::toNativeSeparators(
                QDir(rig.dataDir.path()).filePath(QStringLiteral("2009_03_24 Pr №   12.pdf"))));
        dialog->reject();
    }
};

QTEST_MAIN(tst_LabDataPages)
#include "tst_LabDataPages.moc"
