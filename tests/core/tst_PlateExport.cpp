#include "MeasurementData.h"
#include "ReadBack.h"
#include "TestSupport.h"
#include "measurement/OpticalDensityReader.h"
#include "measurement/PlateExport.h"
#include "measurement/PlateExporter.h"
#include "measurement/PlateTable.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

using namespace kalent;

Q_DECLARE_METATYPE(kalent::PlateFormat)
using namespace kalent::test;

namespace {

// OPData of the built-in instrument's first table, with some wells replaced by
// the given six bytes (positions restated: 2 + (r-1)*109 + (c-1)*9, from 1).
QByteArray opDataWith(const QList<std::tuple<int, int, QByteArray>> &wells = {})
{
    QByteArray data = MeasurementData().tableReply();
    data[0] = ' ';
    for (const auto &[row, column, text] : wells)
        data.replace(1 + (row - 1) * 109 + (column - 1) * 9, 6, text);
    return data;
}

// The bad values a line or an instrument can produce, at their wells.
const QList<std::tuple<int, int, QByteArray>> BadWells = {
    {1, 1, "      "}, {1, 2, "------"},  {2, 3, "+     "},   {3, 4, "OVER  "},
    {4, 5, ">3.500"}, {5, 6, "1e3   "},  {6, 7, "nan   "},   {7, 8, "0,123 "},
    {8, 9, "1.2.3 "}, {8, 10, "-0.012"}, {8, 11, "\"a;b\","}};

#ifdef Q_OS_UNIX
// A file-size limit on this process while alive (the soft one: the old value
// comes back). Windows has no such limit.
class FileSizeLimitFor
{
public:
    explicit FileSizeLimitFor(rlim_t bytes) : m_bytes(bytes) {}
    ~FileSizeLimitFor()
    {
        if (m_set)
            setrlimit(RLIMIT_FSIZE, &m_old);
    }
    bool set()
    {
        if (getrlimit(RLIMIT_FSIZE, &m_old) != 0)
            return false;
        rlimit limited = m_old;
        limited.rlim_cur = m_bytes;
        m_set = setrlimit(RLIMIT_FSIZE, &limited) == 0;
        return m_set;
    }

private:
    rlim_t m_bytes;
    rlimit m_old{};
    bool m_set = false;
};
#endif

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class tst_PlateExport : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString path(const QString &name) const { return QDir(dir.path()).filePath(name); }
    const PlateTitle title{QStringLiteral("20090324_143018.xls"),
                           QDateTime(QDate(2009, 3, 24), QTime(14, 30, 18))};
    // The table with those wells replaced, under the title above.
    PlateTable plate(const QList<std::tuple<int, int, QByteArray>> &wells = {}) const
    {
        return PlateTable::fromReply(opDataWith(wells), title);
    }

private Q_SLOTS:
    void onlyPlainDecimalsAreNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isNumber");
        QTest::addColumn<double>("number");
        QTest::newRow("density") << "0.123 " << true << 0.123;
        QTest::newRow("leading blank") << " 2.5  " << true << 2.5;
        QTest::newRow("below zero") << "-0.012" << true << -0.012;
        QTest::newRow("no leading digit") << ".5    " << true << 0.5;
        QTest::newRow("blank") << "      " << false << 0.0;
        QTest::newRow("signs") << "------" << false << 0.0;
        QTest::newRow("lone sign") << "+     " << false << 0.0;
        QTest::newRow("lone point") << ".     " << false << 0.0;
        QTest::newRow("overflow word") << "OVER  " << false << 0.0;
        QTest::newRow("overflow mark") << ">3.500" << false << 0.0;
        QTest::newRow("stars") << "******" << false << 0.0;
        QTest::newRow("exponent") << "1e3   " << false << 0.0;
        QTest::newRow("not a number") << "nan   " << false << 0.0;
        QTest::newRow("infinity") << "inf   " << false << 0.0;
        QTest::newRow("decimal comma") << "0,123 " << false << 0.0;
        QTest::newRow("two points") << "1.2.3 " << false << 0.0;
        QTest::newRow("blank inside") << "1 2   " << false << 0.0;
    }
    void onlyPlainDecimalsAreNumbers()
    {
        QFETCH(QString, text);
        QFETCH(bool, isNumber);
        QFETCH(double, number);
        const PlateValue v = PlateValue::parse(text);
        QCOMPARE(v.isNumber, isNumber);
        QCOMPARE(v.text, text);
        if (isNumber)
            QCOMPARE(v.number, number);
    }

    void onlyACompleteTableIsAPlate()
    {
        QVERIFY(PlateTable::fromReply(QByteArray()).isEmpty());
        QVERIFY(PlateTable::fromReply(opDataWith().left(872)).isEmpty());
        QVERIFY(PlateTable::fromReply(opDataWith() + ' ').isEmpty());
        // The reply's code becomes the blank OPData starts with.
        const QByteArray reply = MeasurementData().tableReply();
        const PlateTable table = PlateTable::fromReply(reply);
        QCOMPARE(table.text(), " " + reply.mid(1));
        const MeasurementData data;
        QCOMPARE(table.value(1, 1).text, QString::fromLatin1(data.valueText(1, 1)));
        QCOMPARE(table.value(8, 12).text, QString::fromLatin1(data.valueText(8, 12)));
        QCOMPARE(PlateTable::wellName(8, 12), QStringLiteral("H12"));
        // Without a table nothing but the described text can be written, and
        // the file that was there stays.
        const QString file = path(QStringLiteral("kept.csv"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("old") == 3);
        f.close();
        for (PlateFormat format :
             {PlateFormat::Text, PlateFormat::Csv, PlateFormat::Xlsx, PlateFormat::Json})
            QVERIFY(!PlateExport::write(file, format, PlateTable(), {}).isEmpty());
        QCOMPARE(readAll(file), QByteArray("old"));
    }

    void eachKindOfWellInEveryFormat_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("rowA");
        // Row A: a blank well, stars, the overflow word and a number.
        QTest::newRow("instrument's text, byte for byte") << "txt"
                                                          << QByteArray("       "
                                                                        "  \t"
                                                                        "******"
                                                                        "  \t"
                                                                        "OVER  ");
        QTest::newRow("lines") << "lines" << QByteArray("A\t      \t******\tOVER  \t0.123 \t");
        QTest::newRow("CSV") << "csv" << QByteArray("\r\nA,,\"******\",\"OVER\",0.123,");
        QTest::newRow("JSON") << "json"
                              << QByteArray("\"A1\": null,\n    \"A2\": \"******\",\n    "
                                            "\"A3\": \"OVER\",\n    \"A4\": 0.123,");
    }
    void eachKindOfWellInEveryFormat()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, rowA);
        const PlateTable table =
            plate({{1, 1, "      "}, {1, 2, "******"}, {1, 3, "OVER  "}, {1, 4, "0.123 "}});
        QByteArray out;
        if (format == QLatin1String("lines")) {
            out = PlateExport::lines(table);
        } else {
            QString error;
            out = PlateExport::bytes(*PlateExport::formatFromName(format), table,
                                     PlateExport::CsvStyle{}, &error);
            QCOMPARE(error, QString());
        }
        QVERIFY2(out.contains(rowA), out.left(300).constData());
        // The instrument's own text is OPData whole, its blanks included.
        if (format == QLatin1String("txt"))
            QCOMPARE(out,
                     opDataWith(
                         {{1, 1, "      "}, {1, 2, "******"}, {1, 3, "OVER  "}, {1, 4, "0.123 "}}));
    }

    void workbookHoldsNumbersAsNumbersAndEveryOtherValueAsText()
    {
        const QString missing = ReadBack::missingPython(QStringLiteral("openpyxl"));
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        const QString file = path(QStringLiteral("plate.xlsx"));
        QCOMPARE(PlateExport::write(file, PlateFormat::Xlsx, plate(BadWells), {}), QString());
        QByteArray errors;
        const QJsonObject read = ReadBack::xlsxCells(file, &errors).object();
        QVERIFY2(!read.isEmpty(), errors.constData());
        QCOMPARE(read.value("sheets").toInt(), 1);
        const QJsonObject cells = read.value("cells").toObject();
        const QString titleText = cells.value("A1").toObject().value("v").toString();
        QVERIFY(titleText.contains(QStringLiteral("20090324_143018.xls")));
        QVERIFY(titleText.contains(QStringLiteral("24.03.2009 14:30:18")));
        // Rows A..H under the column numbers 1..12.
        QCOMPARE(cells.value("B2").toObject().value("v").toInt(), 1);
        QCOMPARE(cells.value("M2").toObject().value("v").toInt(), 12);
        QCOMPARE(cells.value("A3").toObject().value("v").toString(), QStringLiteral("A"));
        QCOMPARE(cells.value("A10").toObject().value("v").toString(), QStringLiteral("H"));
        const MeasurementData data;
        const QJsonObject good = cells.value("M10").toObject(); // H12
        QCOMPARE(good.value("t").toString(), QStringLiteral("n"));
        QCOMPARE(good.value("v").toDouble(), data.valueText(8, 12).trimmed().toDouble());
        QCOMPARE(good.value("f").toString(), QStringLiteral("0.000"));
        QCOMPARE(cells.value("K10").toObject().value("v").toDouble(), -0.012);
        // The bad values: text, as sent, never 0 and never missing.
        // A blank well is an empty cell.
        QVERIFY(!cells.contains(QStringLiteral("B3")));
        const QList<QPair<const char *, QString>> texts = {
            {"C3", QStringLiteral("------")},   {"D4", QStringLiteral("+")},
            {"E5", QStringLiteral("OVER")},     {"F6", QStringLiteral(">3.500")},
            {"G7", QStringLiteral("1e3")},      {"H8", QStringLiteral("nan")},
            {"I9", QStringLiteral("0,123")},    {"J10", QStringLiteral("1.2.3")},
            {"L10", QStringLiteral("\"a;b\",")}};
        for (const auto &[cell, text] : texts) {
            const QJsonObject c = cells.value(QLatin1String(cell)).toObject();
            QVERIFY2(!c.isEmpty(), cell);
            QCOMPARE(c.value("t").toString(), QStringLiteral("s"));
            QCOMPARE(c.value("v").toString(), text);
        }
        int numbers = 0;
        for (auto it = cells.begin(); it != cells.end(); ++it)
            if (it.key() != QLatin1String("A1") && !it.key().endsWith(QLatin1Char('2')) &&
                it.value().toObject().value("t").toString() == QLatin1String("n"))
                ++numbers;
        QCOMPARE(numbers, 96 - texts.size() - 1); // the column headers of row 2 left out
    }

    void csvFollowsTheLocaleAndKeepsTextQuoted_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("decimal");
        QTest::newRow("Russian") << QLocale(QLocale::Russian, QLocale::Russia) << ";"
                                 << ",";
        QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates) << ","
                                 << ".";
    }
    void csvFollowsTheLocaleAndKeepsTextQuoted()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, separator);
        QFETCH(QString, decimal);
        const PlateExport::CsvStyle style = PlateExport::CsvStyle::forLocale(locale);
        QCOMPARE(QString(style.separator), separator);
        QCOMPARE(QString(style.decimalMark), decimal);
        const QString file = path(QStringLiteral("plate-%1.csv").arg(separator == ";"));
        QCOMPARE(PlateExport::write(file, PlateFormat::Csv, plate(BadWells), style), QString());
        const QByteArray bytes = readAll(file);
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        QCOMPARE(bytes.count("\r\n"), 10);
        QVERIFY(bytes.endsWith("\r\n"));
        // Text always quoted, numbers never: the quotes tell a reader which is which.
        QVERIFY(bytes.contains(separator.toUtf8() + "\"OVER\"" + separator.toUtf8()));

        const QString missing = ReadBack::missingPython(QString());
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        QByteArray errors;
        const QJsonArray rows = ReadBack::csvRows(file, separator, &errors).array();
        QVERIFY2(rows.size() == 10, errors.constData());
        QVERIFY(
            rows.at(0).toArray().at(0).toString().contains(QStringLiteral("Оптические плотности")));
        QCOMPARE(rows.at(1).toArray().size(), 13);
        QCOMPARE(rows.at(1).toArray().at(12).toString(), QStringLiteral("12"));
        const MeasurementData data;
        for (int row = 1; row <= 8; ++row) {
            const QJsonArray fields = rows.at(row + 1).toArray();
            QCOMPARE(fields.size(), 13);
            QCOMPARE(fields.at(0).toString(), PlateTable::rowName(row));
        }
        QString expected = QString::fromLatin1(data.valueText(8, 12).trimmed());
        expected.replace(QLatin1Char('.'), decimal);
        QCOMPARE(rows.at(9).toArray().at(12).toString(), expected);
        QCOMPARE(rows.at(2).toArray().at(1).toString(), QString());
        // Empty, not quoted: no text at all.
        QVERIFY(bytes.contains("\r\nA" + separator.toUtf8() + separator.toUtf8() + "\"'------\""));
        // Text that a spreadsheet would take for a formula stands behind an apostrophe.
        QCOMPARE(rows.at(2).toArray().at(2).toString(), QStringLiteral("'------"));
        QCOMPARE(rows.at(3).toArray().at(3).toString(), QStringLiteral("'+"));
        QCOMPARE(rows.at(8).toArray().at(8).toString(), QStringLiteral("0,123"));
        QCOMPARE(rows.at(9).toArray().at(11).toString(), QStringLiteral("\"a;b\","));
        QCOMPARE(rows.at(9).toArray().at(10).toString(), QStringLiteral("-0") + decimal + "012");
    }

    void unusableCsvStylesAreRefused_data()
    {
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("decimal");
        QTest::addColumn<bool>("usable");
        QTest::newRow("comma, point") << ","
                                      << "." << true;
        QTest::newRow("semicolon, comma") << ";"
                                          << "," << true;
        QTest::newRow("tab, comma") << "\t"
                                    << "," << true;
        QTest::newRow("bar, point") << "|"
                                    << "." << true;
        QTest::newRow("same mark") << ","
                                   << "," << false;
        QTest::newRow("point as both") << "."
                                       << "." << false;
        QTest::newRow("exponent letter as decimal") << ";"
                                                    << "e" << false;
        QTest::newRow("blank as decimal") << ";"
                                          << " " << false;
        QTest::newRow("digit as decimal") << ";"
                                          << "1" << false;
        QTest::newRow("quote as decimal") << ";"
                                          << "\"" << false;
        QTest::newRow("row letter as separator") << "B"
                                                 << "." << false;
        QTest::newRow("Cyrillic letter as separator") << "Ж"
                                                      << "." << false;
        QTest::newRow("digit as separator") << "1"
                                            << "." << false;
        QTest::newRow("minus as separator") << "-"
                                            << "." << false;
        QTest::newRow("plus as separator") << "+"
                                           << "." << false;
        QTest::newRow("quote as separator") << "\""
                                            << "." << false;
        QTest::newRow("blank as separator") << " "
                                            << "." << false;
        QTest::newRow("line end as separator") << "\n"
                                               << "." << false;
        QTest::newRow("carriage return as separator") << "\r"
                                                      << "." << false;
        QTest::newRow("zero character as separator") << QString(QChar(0)) << "." << false;
    }
    void unusableCsvStylesAreRefused()
    {
        QFETCH(QString, separator);
        QFETCH(QString, decimal);
        QFETCH(bool, usable);
        const PlateExport::CsvStyle style{separator.at(0), decimal.at(0)};
        QCOMPARE(style.problem().isEmpty(), usable);
    }

    void csvNeutralisesFormulasAndQuotesWhatWouldSplitAField()
    {
        const QString missing = ReadBack::missingPython(QString());
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        const QList<std::tuple<int, int, QByteArray>> wells = {
            {1, 1, "=1+2  "}, {1, 2, "@SUM( "}, {1, 3, "-A1   "}, {1, 4, "+1+1  "},
            {1, 5, "-0.012"}, {1, 6, "'quote"}, {1, 7, "a=b   "}, {1, 8, "\t=1   "}};
        // A separator no user can choose any more (a row letter), straight to the
        // writer: the row letter that holds it is quoted, so row B keeps its cells.
        for (const QString &separator : {QStringLiteral(";"), QStringLiteral("B")}) {
            const QString file = path(QStringLiteral("formulas-%1.csv").arg(separator));
            const PlateExport::CsvStyle style{separator.at(0), QLatin1Char(',')};
            QCOMPARE(PlateExport::write(file, PlateFormat::Csv, plate(wells), style), QString());
            QByteArray errors;
            const QJsonArray rows = ReadBack::csvRows(file, separator, &errors).array();
            QVERIFY2(rows.size() == 10, errors.constData());
            for (int row = 1; row <= 8; ++row)
                QCOMPARE(rows.at(row + 1).toArray().size(), 13);
            QCOMPARE(rows.at(3).toArray().at(0).toString(), QStringLiteral("B"));
            const QJsonArray a = rows.at(2).toArray();
            QCOMPARE(a.at(1).toString(), QStringLiteral("'=1+2"));
            QCOMPARE(a.at(2).toString(), QStringLiteral("'@SUM("));
            QCOMPARE(a.at(3).toString(), QStringLiteral("'-A1"));
            QCOMPARE(a.at(4).toString(), QStringLiteral("'+1+1"));
            // A number stays a number, sign and all; other text stays as sent.
            QCOMPARE(a.at(5).toString(), QStringLiteral("-0,012"));
            QCOMPARE(a.at(6).toString(), QStringLiteral("'quote"));
            QCOMPARE(a.at(7).toString(), QStringLiteral("a=b"));
            // A tab before a formula counts as its start too (trimmed as a blank
            // of the instrument's field, so what is left is the formula).
            QVERIFY(a.at(8).toString().startsWith(QLatin1Char('\'')));
        }
    }

    void workbookNumbersAreRightInEveryLocale_data()
    {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<QString>("decimalPoint");
        QTest::newRow("Russian") << QByteArray("ru_RU.UTF-8") << ",";
        QTest::newRow("C") << QByteArray("C.UTF-8") << ".";
    }
    void workbookNumbersAreRightInEveryLocale()
    {
        QFETCH(QByteArray, locale);
        QFETCH(QString, decimalPoint);
        const QString missing = ReadBack::missingPython(QStringLiteral("openpyxl"));
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        // The C library's numeric locale is what the workbook library prints
        // numbers with. Missing, the test would prove nothing: it fails instead
        // (scripts/install-deps.sh generates it).
        const QByteArray before = std::setlocale(LC_ALL, nullptr);
        QVERIFY2(std::setlocale(LC_ALL, locale.constData()),
                 qPrintable(QStringLiteral("locale %1 is not installed: run "
                                           "scripts/install-deps.sh")
                                .arg(QString::fromLatin1(locale))));
        const auto restore = qScopeGuard([&] { std::setlocale(LC_ALL, before.constData()); });
        QCOMPARE(QString::fromLatin1(std::localeconv()->decimal_point), decimalPoint);

        const QString file = path(QStringLiteral("plate-%1.xlsx").arg(QString::fromLatin1(locale)));
        QCOMPARE(PlateExport::write(file, PlateFormat::Xlsx, plate(BadWells), {}), QString());
        // The program's own locale is back as it was.
        QCOMPARE(QString::fromLatin1(std::localeconv()->decimal_point), decimalPoint);
        QByteArray errors;
        const QJsonObject cells =
            ReadBack::xlsxCells(file, &errors).object().value("cells").toObject();
        QVERIFY2(!cells.isEmpty(), errors.constData());
        const MeasurementData data;
        for (int row = 1; row <= 8; ++row) {
            const QString cell = QString(QChar(u'A' + 12)) + QString::number(row + 2); // column M
            const QJsonObject c = cells.value(cell).toObject();
            QCOMPARE(c.value("t").toString(), QStringLiteral("n"));
            QCOMPARE(c.value("v").toDouble(), data.valueText(row, 12).trimmed().toDouble());
        }
        QCOMPARE(cells.value("K10").toObject().value("v").toDouble(), -0.012);
    }

#ifdef Q_OS_UNIX
    void aSizeLimitIsAWriteFailureForEveryFormat_data()
    {
        QTest::addColumn<PlateFormat>("format");
        QTest::newRow("instrument's text") << PlateFormat::Text;
        QTest::newRow("CSV") << PlateFormat::Csv;
        QTest::newRow("workbook") << PlateFormat::Xlsx;
        QTest::newRow("JSON") << PlateFormat::Json;
    }
    void aSizeLimitIsAWriteFailureForEveryFormat()
    {
        QFETCH(PlateFormat, format);
        const QString file = path(QStringLiteral("limited.") + PlateExport::suffix(format));
        QFile old(file);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        old.close();
        // Every output is far larger than the limit; the process lives on to
        // read the message, which names the file and the reason.
        QString error;
        {
            FileSizeLimitFor limit(256);
            QVERIFY(limit.set());
            error = PlateExport::write(file, format, plate(), {});
        }
        QVERIFY2(error.contains(QDir::toNativeSeparators(file)), qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("файл слишком велик")), qPrintable(error));
        QCOMPARE(readAll(file), QByteArray("old"));
        // No temporary copy stays beside it.
        QCOMPARE(QDir(dir.path())
                     .entryList({QFileInfo(file).fileName() + QLatin1Char('*')},
                                QDir::Files | QDir::Hidden | QDir::System),
                 QStringList{QFileInfo(file).fileName()});
    }
#endif

    void jsonNamesEveryWellAndKeepsTheirTypes()
    {
        const QString missing = ReadBack::missingPython(QString());
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        const QString file = path(QStringLiteral("plate.json"));
        QCOMPARE(PlateExport::write(file, PlateFormat::Json, plate(BadWells), {}), QString());
        QByteArray errors;
        const QJsonObject read = ReadBack::jsonFile(file, &errors).object();
        QVERIFY2(!read.isEmpty(), errors.constData());
        const QJsonArray order = read.value("order").toArray();
        QCOMPARE(order.size(), 96);
        QCOMPARE(order.at(0).toString(), QStringLiteral("A1"));
        QCOMPARE(order.at(11).toString(), QStringLiteral("A12"));
        QCOMPARE(order.at(95).toString(), QStringLiteral("H12"));
        const QJsonObject types = read.value("types").toObject();
        const QJsonObject doc = read.value("doc").toObject();
        const QJsonObject values = doc.value("values").toObject();
        QCOMPARE(doc.value("instrumentFileName").toString(), QStringLiteral("20090324_143018.xls"));
        QCOMPARE(doc.value("readAt").toString(), QStringLiteral("2009-03-24T14:30:18"));
        QCOMPARE(types.value("H12").toString(), QStringLiteral("float"));
        QCOMPARE(values.value("H12").toDouble(),
                 MeasurementData().valueText(8, 12).trimmed().toDouble());
        QCOMPARE(values.value("H10").toDouble(), -0.012);
        for (const char *well : {"A2", "B3", "C4", "D5", "E6", "F7", "G8", "H9", "H11"})
            QCOMPARE(types.value(QLatin1String(well)).toString(), QStringLiteral("str"));
        QCOMPARE(types.value("A1").toString(), QStringLiteral("NoneType"));
        QVERIFY(values.value("A1").isNull());
        QCOMPARE(values.value("H11").toString(), QStringLiteral("\"a;b\","));
    }

    void theCopyGoesBesideTheDescribedFileNeverOverIt()
    {
        const QString folder = QDir(dir.path()).filePath(QStringLiteral("d"));
        QCOMPARE(PlateExporter::copyPath(QDir(folder).filePath("20090324_143018.xls"),
                                         PlateFormat::Xlsx),
                 QDir(folder).filePath("20090324_143018.xlsx"));
        QCOMPARE(PlateExporter::copyPath(QDir(folder).filePath("plate"), PlateFormat::Csv),
                 QDir(folder).filePath("plate.csv"));
        QCOMPARE(PlateExporter::copyPath(QDir(folder).filePath("plate.csv"), PlateFormat::Csv),
                 QDir(folder).filePath("plate.csv.csv"));
    }

    void exportsWriteTheReadersTableWithItsTitleAndNothingDuringANewRead()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        rig.settle();
        OpticalDensityReader &reader = rig.session.reader();
        PlateExporter exporter(reader, rig.session.pane());
        exporter.setCsvStyle(PlateExport::CsvStyle{});
        QSignalSpy received(&reader, &OpticalDensityReader::tableReceived);
        reader.readTable();
        QVERIFY(rig.runUntil([&] { return received.count() == 1; }));
        const QDateTime readAt = reader.table().title().readAt;
        QVERIFY(readAt.isValid());
        QVERIFY(reader.table().title().instrumentFileName.isEmpty());

        // The file holds the reader's own value: its wells and its title.
        const QString file = path(QStringLiteral("reader.json"));
        QVERIFY(exporter.saveChosen(file, PlateFormat::Json));
        QCOMPARE(readAll(file), PlateExport::json(reader.table()));
        QVERIFY(readAll(file).contains(
            readAt.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toUtf8()));
        QVERIFY(readAll(file).contains("\"instrumentFileName\": null"));

        // A new read empties the table: nothing is written, the file stays.
        rig.instrument->setSilent(true);
        reader.readTable();
        rig.settle();
        QSignalSpy errors(&exporter, &PlateExporter::fileError);
        const QByteArray before = readAll(file);
        QVERIFY(!exporter.saveChosen(file, PlateFormat::Json));
        QCOMPARE(errors.count(), 1);
        QCOMPARE(readAll(file), before);
    }

    void automaticSaveAddsTheChosenCopy()
    {
        SimRig rig;
        QVERIFY(rig.connectFast());
        rig.settle();
        OpticalDensityReader &reader = rig.session.reader();
        PlateExporter exporter(reader, rig.session.pane());
        exporter.setCsvStyle(PlateExport::CsvStyle{});
        QSignalSpy copies(&exporter, &PlateExporter::copyWritten);
        QSignalSpy saved(&reader, &OpticalDensityReader::autoSaved);
        reader.setAutoSave(true);

        // No copy chosen: the described file only.
        reader.readTable();
        QVERIFY(rig.runUntil([&] { return saved.count() == 1; }));
        QCOMPARE(copies.count(), 0);
        const QString described = saved.at(0).at(0).toString();
        // Beside it only the service journal, which notes the automatic save.
        QCOMPARE(QDir(rig.dataDir.path()).entryList(QDir::Files),
                 QStringList({QFileInfo(described).fileName(), "ServiceJournal.txt"}));

        exporter.setCopyFormat(PlateExporter::Copy::Csv);
        reader.readTable();
        QVERIFY(rig.runUntil([&] { return saved.count() == 2; }));
        QCOMPARE(copies.count(), 1);
        const QString copy = copies.at(0).at(0).toString();
        QCOMPARE(copy, PlateExporter::copyPath(described, PlateFormat::Csv));
        // The described file keeps its 873 bytes; the copy is titled with its name.
        QCOMPARE(readAll(described), reader.opData());
        QCOMPARE(readAll(described).size(), 873);
        const QByteArray csv = readAll(copy);
        QVERIFY(csv.contains(QFileInfo(described).fileName().toUtf8()));
        QCOMPARE(reader.table().title().instrumentFileName, QFileInfo(described).fileName());
        QVERIFY(reader.table().title().readAt.isValid());
        QCOMPARE(rig.session.pane().text(),
                 QStringLiteral("Данные записаны в файл: ") + QFileInfo(described).fileName());

        // A copy that cannot be written is reported; the described file is written.
        exporter.setCopyFormat(PlateExporter::Copy::Xlsx);
        QVERIFY(
            QDir(rig.dataDir.path())
                .mkdir(
                    QFileInfo(PlateExporter::copyPath(described, PlateFormat::Xlsx)).fileName()));
        QSignalSpy errors(&exporter, &PlateExporter::fileError);
        reader.readTable();
        QVERIFY(rig.runUntil([&] { return saved.count() == 3; }));
        QCOMPARE(errors.count(), 1);
        QCOMPARE(readAll(described), reader.opData());
    }
};

QTEST_GUILESS_MAIN(tst_PlateExport)
#include "tst_PlateExport.moc"
