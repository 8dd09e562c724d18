#include "ManualClock.h"
#include "MeasurementData.h"
#include "common/Cp1251.h"
#include "common/SafeFileName.h"

#include <QtTest>

using namespace kalent;

// The built-in instrument's measurement replies keep the analyzer's layout, and
// names from the instrument are made safe.
class tst_MeasurementData : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tableReplyHasTheAnalyzersLayout()
    {
        MeasurementData data;
        const QByteArray table = data.tableReply();
        QCOMPARE(table.size(), 873);
        QCOMPARE(table.at(0), 'D');
        for (int r = 1; r <= 8; ++r) {
            for (int c = 1; c <= 12; ++c) {
                const QByteArray value = table.mid(1 + (r - 1) * 109 + (c - 1) * 9, 6);
                QCOMPARE(value, data.valueText(r, c));
                // "0.123 ": a density with three decimals and a blank.
                QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\.\\d{3} $"))
                             .match(QString::fromLatin1(value))
                             .hasMatch(),
                         value.constData());
            }
            QCOMPARE(table.at(r * 109), '\n'); // the row end, position 110, 219, ...
        }
        MeasurementData next;
        next.newMeasurement();
        QVERIFY(next.tableReply() != table);
    }

    void fileNameIsNineteenCharactersBeginningWithTwo()
    {
        MeasurementData data;
        QCOMPARE(data.fileNameReply(), QByteArrayLiteral("20090324_143018.xls"));
        data.newMeasurement();
        QCOMPARE(data.fileNameReply().size(), 19);
        QCOMPARE(data.fileNameReply().at(0), '2');
        QVERIFY(data.fileNameReply() != QByteArrayLiteral("20090324_143018.xls"));
    }

    void protocolCarriesNumberAndDateAtOffset92AndItsLength()
    {
        MeasurementData data;
        const QByteArray text = data.protocolText();
        QCOMPARE(text.mid(92, 20), Cp1251::encode(QStringLiteral("   12 от 24.03.09  1")));
        const QByteArray reply = data.protocolReply();
        QCOMPARE(reply.at(0), 'd');
        QCOMPARE(reply.mid(1, reply.size() - 2), text);
        const QByteArray length = data.lengthReply();
        QCOMPARE(length.size(), 6);
        QCOMPARE(length.at(0), 'N');
        QCOMPARE(length.mid(1).toInt(), reply.size());
    }

    void safeNamesStayInsideTheirFolder_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("safe");
        QTest::newRow("plain") << QStringLiteral("20090324_143018.xls")
                               << QStringLiteral("20090324_143018.xls");
        QTest::newRow("blanks and №")
            << QStringLiteral("2009_03_24 Pr №   12") << QStringLiteral("2009_03_24 Pr №   12");
        QTest::newRow("climbing out")
            << QStringLiteral("../../etc/passwd") << QStringLiteral("_.__._etc_passwd");
        QTest::newRow("three dots") << QStringLiteral("a...b") << QStringLiteral("a__.b");
        QTest::newRow("backslash") << QStringLiteral("..\\x") << QStringLiteral("_._x");
        QTest::newRow("control and zero")
            << QString::fromLatin1("a\x01\tb\0c", 6) << QStringLiteral("a__b_c");
        QTest::newRow("only a dot") << QStringLiteral(".") << QStringLiteral("_");
        QTest::newRow("empty") << QString() << QStringLiteral("_");
    }
    void safeNamesStayInsideTheirFolder()
    {
        QFETCH(QString, given);
        QFETCH(QString, safe);
        QCOMPARE(SafeFileName::make(given), safe);
    }
};

QTEST_GUILESS_MAIN(tst_MeasurementData)
#include "tst_MeasurementData.moc"
