#include "MeasurementData.h"
#include "MeasurementRig.h"
#include "TestSupport.h"
#include "common/Cp1251.h"
#include "measurement/ResultsProtocol.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>

using namespace kalent;
using namespace kalent::test;

namespace {

// A protocol whose 20 characters at offset 92 are `window`.
QByteArray protocolWithWindow(const QByteArray &window)
{
    return QByteArray(92, '=') + window + Cp1251::encode(QStringLiteral("\r\nЛунка  ОП\r\n"));
}

} // namespace

class tst_ResultsProtocol : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SimRig> rig;
    ResultsProtocol &results() { return rig->session.results(); }
    MeasurementData &data() { return *rig->instrument->feature<MeasurementData>(); }
    QString dataPath(const QString &name) { return QDir(rig->dataDir.path()).filePath(name); }
    bool readProtocol() { return kalent::test::readProtocol(*rig); }

private Q_SLOTS:
    void init()
    {
        rig = connectedRig();
        QVERIFY(rig);
    }
    void cleanup() { rig.reset(); }

    void announcedLengthNKeepsNMinusTwoBytesEverywhere()
    {
        QVERIFY(!results().saveEnabled());
        rig->session.pane().setText(QStringLiteral("before"));
        QVERIFY(readProtocol());
        QCOMPARE(rig->port.written(), QByteArrayLiteral("gd"));
        const QByteArray reply = data().protocolReply();
        const int n = reply.size();
        QCOMPARE(rig->session.dispatcher().protocolLength(), n);
        QCOMPARE(data().lengthReply(), "N" + QByteArray::number(n).rightJustified(5, '0'));

        const QByteArray text = reply.mid(1, n - 2);
        QCOMPARE(results().protokolStream(), text);
        QCOMPARE(readFile(dataPath(QStringLiteral("MSTempProtokol.txt"))), text);
        QString shown = Cp1251::decode(text);
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QCOMPARE(results().memoText(), shown);
        QVERIFY(results().memoText().contains(QStringLiteral("Протокол результатов №")));
        QVERIFY(results().saveEnabled());
        QVERIFY(!rig->session.dispatcher().collecting());
        // Without automatic save nothing is said and nothing else is written.
        QCOMPARE(rig->session.pane().text(), QStringLiteral("before"));
        QCOMPARE(QDir(rig->dataDir.path()).entryList(QDir::Files),
                 QStringList{QStringLiteral("MSTempProtokol.txt")});

        const QString chosen = dataPath(QStringLiteral("VirDat_.txt"));
        results().saveChosen(chosen);
        QCOMPARE(readFile(chosen), text);
        QCOMPARE(rig->session.pane().text(), QStringLiteral("Данные записаны в файл."));
    }

    void protocolTextIsTakenOnlyAtTheAnnouncedLength()
    {
        rig->instrument->setSilent(true); // the test answers for it
        results().readProtocol();
        rig->settle();
        rig->instrument->sendRaw("N00010");
        rig->settle();
        rig->instrument->sendRaw("d01234567");
        rig->settle();
        QCOMPARE(rig->session.dispatcher().collecting()->have, 9);
        QVERIFY(!results().saveEnabled());
        QVERIFY(!QFileInfo::exists(dataPath(QStringLiteral("MSTempProtokol.txt"))));
        rig->instrument->sendRaw("X");
        rig->settle();
        QCOMPARE(results().protokolStream(), QByteArrayLiteral("01234567"));
        QVERIFY(!rig->session.line().busy());
    }

    void automaticChainSavesUnderTheDatedNameAndOverwritesTheSameName()
    {
        results().setAutoRead(true);
        results().setAutoSave(true);
        QSignalSpy saved(&results(), &ResultsProtocol::autoSaved);
        data().announceResults(*rig->instrument);
        QVERIFY(rig->runUntil([&] { return saved.count() == 1; }));
        QCOMPARE(rig->port.written(), QByteArrayLiteral("gd"));
        QVERIFY(rig->statusLog.contains(QStringLiteral("Результаты измерений готовы")));

        // The instrument's protocol 12 of 24.03.09, number right-aligned in five places.
        const QString name = QStringLiteral("2009_03_24 Pr №   12");
        QCOMPARE(results().protokolFileName(), name);
        QCOMPARE(saved.at(0).at(0).toString(), dataPath(name));
        QCOMPARE(readFile(dataPath(name)), data().protocolText());
        QCOMPARE(rig->session.pane().text(), QStringLiteral("Протокол записан в файл: ") + name);

        // The same number and date again: the file is replaced.
        QByteArray changed = data().protocolText();
        changed.append(Cp1251::encode(QStringLiteral("Повторная печать\r\n")));
        data().setProtocolTextOverride(changed);
        data().announceResults(*rig->instrument);
        QVERIFY(rig->runUntil([&] { return saved.count() == 2; }));
        QCOMPARE(readFile(dataPath(name)), changed);
        // The protocol, MSTempProtokol.txt and the service journal noting the saves.
        QCOMPARE(QDir(rig->dataDir.path()).entryList(QDir::Files).size(), 3);
    }

    void datedNamesFollowTheWindowAtOffset92_data()
    {
        QTest::addColumn<QByteArray>("window");
        QTest::addColumn<QString>("name");
        // 20 characters each: the number, " от", DD.MM.YY, two blanks, a time.
        QTest::newRow("number") << Cp1251::encode(QStringLiteral("12 от 24.03.09  14:3"))
                                << QStringLiteral("2009_03_24 Pr №12");
        QTest::newRow("leading blanks") << Cp1251::encode(QStringLiteral("   12 от 24.03.09  1"))
                                        << QStringLiteral("2009_03_24 Pr №   12");
        QTest::newRow("no date") << Cp1251::encode(QStringLiteral("   12 от ---------- "))
                                 << QStringLiteral("Pr №   12");
        QTest::newRow("no ' от'") << QByteArray("12 of 24.03.09  14:3")
                                  << QStringLiteral("2009_03_24 Pr №");
        QTest::newRow("letters around the dot")
            << Cp1251::encode(QStringLiteral("12 от ab.cd.ef  14:3")) << QStringLiteral("Pr №12");
        QTest::newRow("number with separators")
            << Cp1251::encode(QStringLiteral("a/b\\c от 24.03.09  1"))
            << QStringLiteral("2009_03_24 Pr №a_b_c");
    }
    void datedNamesFollowTheWindowAtOffset92()
    {
        QFETCH(QByteArray, window);
        QFETCH(QString, name);
        QCOMPARE(window.size(), 20);
        results().setAutoSave(true);
        data().setProtocolTextOverride(protocolWithWindow(window));
        QSignalSpy saved(&results(), &ResultsProtocol::autoSaved);
        QVERIFY(readProtocol());
        QCOMPARE(results().protokolFileName(), name);
        QCOMPARE(saved.count(), 1);
        QCOMPARE(QFileInfo(saved.at(0).at(0).toString()).absolutePath(),
                 QDir(rig->dataDir.path()).absolutePath());
        QCOMPARE(readFile(dataPath(name)), protocolWithWindow(window));
    }

    void shortProtocolGetsTheUndatedName()
    {
        results().setAutoSave(true);
        // The window runs past the end after "7 от 01.0".
        data().setProtocolTextOverride(QByteArray(92, ' ') +
                                       Cp1251::encode(QStringLiteral("7 от 01.0")));
        QVERIFY(readProtocol());
        QCOMPARE(results().protokolFileName(), QStringLiteral("Pr №7"));
        QVERIFY(QFileInfo::exists(dataPath(QStringLiteral("Pr №7"))));

        data().setProtocolTextOverride(QByteArrayLiteral("short"));
        QVERIFY(readProtocol());
        QCOMPARE(results().protokolFileName(), QStringLiteral("Pr №"));
    }

    void clearedScreenStillSavesTheLastProtocol()
    {
        QVERIFY(readProtocol());
        results().clearProtocol();
        QCOMPARE(results().memoText(), QString());
        QVERIFY(results().saveEnabled());
        const QString chosen = dataPath(QStringLiteral("cleared.xls"));
        results().saveChosen(chosen);
        QCOMPARE(readFile(chosen), data().protocolText());
    }

    void saveOnRequestCopiesTheTemporaryFileAndReportsItsLoss()
    {
        QVERIFY(readProtocol());
        const QString temp = dataPath(QStringLiteral("MSTempProtokol.txt"));
        QFile::remove(temp);
        QSignalSpy errors(&results(), &ResultsProtocol::fileError);
        rig->session.pane().setText(QStringLiteral("before"));
        const QString chosen = dataPath(QStringLiteral("copy.txt"));
        results().saveChosen(chosen);
        QCOMPARE(errors.count(), 1);
        // The message names the file the user chose, then why (the lost copy).
        const QString message = errors.at(0).at(0).toString();
        QVERIFY2(message.startsWith(QStringLiteral("Протокол не записан в файл ") +
                                    QDir::toNativeSeparators(chosen)),
                 qPrintable(message));
        QVERIFY2(message.contains(QStringLiteral("MSTempProtokol.txt")), qPrintable(message));
        QCOMPARE(rig->session.pane().text(), QStringLiteral("before"));
        QVERIFY(!QFileInfo::exists(chosen));
    }

    void failedAutomaticSaveKeepsThePaneAndTheFolderThatHeldTheName()
    {
        results().setAutoSave(true);
        const QString name = QStringLiteral("2009_03_24 Pr №   12");
        QVERIFY(QDir().mkpath(dataPath(name)));
        QSignalSpy errors(&results(), &ResultsProtocol::fileError);
        rig->session.pane().setText(QStringLiteral("before"));
        QVERIFY(readProtocol());
        QCOMPARE(errors.count(), 1);
        QCOMPARE(rig->session.pane().text(), QStringLiteral("before"));
        QVERIFY(QFileInfo(dataPath(name)).isDir());
        QVERIFY(!rig->session.dispatcher().collecting());
    }

    void failedTemporaryWriteKeepsTheMemo()
    {
        QVERIFY(readProtocol());
        const QString memo = results().memoText();
        const QString temp = dataPath(QStringLiteral("MSTempProtokol.txt"));
        QFile::remove(temp);
        QVERIFY(QDir().mkpath(temp));
        QSignalSpy errors(&results(), &ResultsProtocol::fileError);
        data().setProtocolTextOverride(QByteArrayLiteral("another protocol"));
        results().readProtocol();
        QVERIFY(rig->runUntil([&] { return errors.count() == 1; }));
        QCOMPARE(results().memoText(), memo);
        QVERIFY(!rig->session.dispatcher().collecting());
    }

    void zeroLengthEndsTheExchangeSilently()
    {
        QSignalSpy nothing(&results(), &ResultsProtocol::nothingToFetch);
        rig->session.pane().setText(QStringLiteral("before"));
        results().handleLength(message("N00000"));
        QCOMPARE(nothing.count(), 1);
        QCOMPARE(rig->session.pane().text(), QStringLiteral("before"));
        rig->settle();
        QCOMPARE(rig->port.written(), QByteArray());
    }

    void lengthThatIsNoNumberEmptiesTheBufferAndSaysSo()
    {
        QSignalSpy invalid(&results(), &ResultsProtocol::lengthNotANumber);
        rig->instrument->setSilent(true); // its own answer is replaced by a bad one
        results().readProtocol();
        rig->settle();
        rig->port.clearWritten();
        rig->instrument->sendRaw(QByteArrayLiteral("N12a45"));
        rig->settle();
        QCOMPARE(invalid.count(), 1);
        QCOMPARE(rig->session.pane().text(),
                 QStringLiteral("Прибор сообщил неверную длину протокола."));
        QVERIFY(!rig->session.dispatcher().collecting());
        // Nothing requested, and the next notice is understood.
        rig->instrument->sendRaw(QByteArrayLiteral("g"));
        rig->settle();
        QCOMPARE(rig->session.pane().text(), QStringLiteral("Результаты измерений готовы"));
        QCOMPARE(rig->port.written(), QByteArray());
    }

    void readWithThePortClosedSendsNothing()
    {
        rig->port.close();
        results().readProtocol();
        QCOMPARE(rig->session.pane().text(), QStringLiteral("Порт отключен."));
        QCOMPARE(rig->port.written(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(tst_ResultsProtocol)
#include "tst_ResultsProtocol.moc"
