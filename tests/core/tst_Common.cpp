#include "ManualClock.h"
#include "TestSupport.h"
#include "common/AtomicFile.h"
#include "common/Cp1251.h"
#include "common/DataFolder.h"
#include "common/LastFileChoice.h"
#include "common/ResolvedPath.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtTest>

using namespace kalent;
using kalent::test::makeSymbolicLink;

class tst_Common : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void windows1251IsTheSameOnEverySystem_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ASCII and controls")
            << QStringLiteral("A z\r\n\t~") << QByteArray("A z\r\n\t~");
        QTest::newRow("А to я") << QStringLiteral("АБЯабя")
                                << QByteArray("\xc0\xc1\xdf\xe0\xe1\xff");
        QTest::newRow("Ё, ё, №") << QStringLiteral("Ёё№") << QByteArray("\xa8\xb8\xb9");
        QTest::newRow("upper half's signs") << QStringLiteral("Ђ‚€…«»\u00a0–—")
                                            << QByteArray("\x80\x82\x88\x85\xab\xbb\xa0\x96\x97");
        QTest::newRow("the unassigned byte") << QStringLiteral("\u0098") << QByteArray("\x98");
    }
    void windows1251IsTheSameOnEverySystem()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(Cp1251::encode(text), bytes);
        QCOMPARE(Cp1251::decode(bytes), text);
    }

    void everyByteComesBackAndWhatHasNoByteIsSubstitutedOnce()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        const QString decoded = Cp1251::decode(all);
        QCOMPARE(decoded.size(), 256);
        QCOMPARE(Cp1251::encode(decoded), all);
        // Where the system has a windows-1251 codec (ICU on Linux), it agrees.
        QStringDecoder system("windows-1251");
        if (system.isValid())
            QCOMPARE(decoded, QString(system.decode(all)));
        // No byte for ä, 中 or an emoji (two UTF-16 units), nor a lone surrogate.
        QCOMPARE(Cp1251::encode(QStringLiteral("aä中😀") + QChar(0xD800) + QStringLiteral("б")),
                 QByteArray("a\x1a\x1a\x1a\x1a\xe1"));
    }

    void namesOfOneFileResolveAlike_data()
    {
        // Paths inside a folder holding "x" (a file), "d" (a folder), "link"
        // (to x), "dangling" (to "new", not there yet) and "dlink" (to d/sub: its
        // ".." is d, where the system goes, not the folder the text suggests).
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("same");
        QTest::newRow("itself") << "x"
                                << "x" << true;
        QTest::newRow("through ./") << "x"
                                    << "./x" << true;
        QTest::newRow("through a/..") << "x"
                                      << "d/../x" << true;
        QTest::newRow("doubled slash") << "x"
                                       << "d//../x" << true;
        QTest::newRow("symbolic link") << "x"
                                       << "link" << true;
        QTest::newRow("dangling link and its target") << "dangling"
                                                      << "new" << true;
        QTest::newRow("new file through ..") << "new"
                                             << "d/../new" << true;
        // Linux follows the link, then goes up from where it led; Windows takes
        // ".." off the text first. Either way the name means what the system opens.
#ifdef Q_OS_WIN
        const bool upFromWhereTheLinkLed = false;
#else
        const bool upFromWhereTheLinkLed = true;
#endif
        QTest::newRow("folder link then ..") << "d/y"
                                             << "dlink/../y" << upFromWhereTheLinkLed;
        QTest::newRow("not as the text reads") << "y"
                                               << "dlink/../y" << !upFromWhereTheLinkLed;
        QTest::newRow("file inside a linked folder") << "d/sub/f"
                                                     << "dlink/f" << true;
        QTest::newRow("two files") << "x"
                                   << "y" << false;
        QTest::newRow("same name, other folder") << "x"
                                                 << "d/x" << false;
        QTest::newRow("nothing named") << ""
                                       << "" << false;
    }
    void namesOfOneFileResolveAlike()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, same);
        QTemporaryDir dir;
        const QDir root(dir.path());
        QFile x(root.filePath("x"));
        QVERIFY(x.open(QIODevice::WriteOnly));
        x.close();
        QVERIFY(root.mkpath("d/sub"));
        if (!makeSymbolicLink(root.filePath("x"), root.filePath("link")))
            QSKIP("the system refuses symbolic links here (Windows: Developer Mode or "
                  "administrator rights)");
        if (test::runningUnderWine() &&
            (first + second).contains(QRegularExpression(QStringLiteral("link|dangling"))))
            QSKIP("Wine makes the link but does not resolve names through it as Windows does");
        QVERIFY(makeSymbolicLink(root.filePath("new"), root.filePath("dangling")));
        QVERIFY(makeSymbolicLink(root.filePath("d/sub"), root.filePath("dlink")));
        // Relative names resolve against the working folder, as the command line's do.
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        const bool result = ResolvedPath::sameFile(first, second);
        const bool absolute = first.isEmpty() ||
                              ResolvedPath::sameFile(first, root.filePath(first)) ||
                              QFileInfo(first).isSymLink();
        QDir::setCurrent(before);
        QCOMPARE(result, same);
        QVERIFY(absolute);
    }

    void manualTimersFireInDueOrderAndRepeat()
    {
        ManualClock clock;
        auto every200 = clock.createTimer();
        auto once100 = clock.createTimer();
        once100->setSingleShot(true);
        QStringList fired;
        connect(every200.get(), &Timer::timeout,
                [&] { fired << QString("200@%1").arg(clock.nowMs()); });
        connect(once100.get(), &Timer::timeout,
                [&] { fired << QString("100@%1").arg(clock.nowMs()); });
        every200->start(200);
        once100->start(100);
        clock.advance(450);
        QCOMPARE(fired, QStringList({"100@100", "200@200", "200@400"}));
        QVERIFY(!once100->isActive());
        QCOMPARE(clock.nowMs(), 450);
    }

    void timerStoppedInsideAnotherTimersTickDoesNotFire()
    {
        ManualClock clock;
        auto first = clock.createTimer();
        auto second = clock.createTimer();
        int secondFired = 0;
        connect(first.get(), &Timer::timeout, [&] { second->stop(); });
        connect(second.get(), &Timer::timeout, [&] { ++secondFired; });
        first->start(10);
        second->start(10);
        clock.advance(100);
        QCOMPARE(secondFired, 0);
    }

    void windows1251RoundTripsEveryByte()
    {
        QByteArray all;
        for (int b = 0x20; b < 256; ++b)
            if (b != 0x98) // the one unassigned position
                all.append(static_cast<char>(b));
        QCOMPARE(Cp1251::encode(Cp1251::decode(all)), all);
        QCOMPARE(Cp1251::decode(QByteArray("\xb9\xc0\xff")),
                 QString("№Aя").replace('A', QChar(0x0410)));
    }

    void atomicWriteReplacesTheFileWhole()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("a.txt");
        QCOMPARE(AtomicFile::write(path, "old"), QString());
        QCOMPARE(AtomicFile::write(path, QByteArray("new\0bytes", 9)), QString());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("new\0bytes", 9));
    }

    void failedWriteReportsAndKeepsTheOldFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("keep.txt");
        QVERIFY(AtomicFile::write(path, "precious").isEmpty());
        // The folder refuses new files, so the temporary copy cannot be made.
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        const QString error = AtomicFile::write(path, "replacement");
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (error.isEmpty())
            QSKIP("running as a user that ignores folder permissions");
        QVERIFY(error.contains("keep.txt"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("precious"));
    }

    void writingOntoAFolderFails()
    {
        QTemporaryDir dir;
        QVERIFY(!AtomicFile::write(dir.path(), "x").isEmpty());
    }

    void lastFileChoiceSplitsAtTheLastSeparator()
    {
        LastFileChoice choice;
        choice.remember("/home/lab/FilesInVirant/base.bdt");
        QCOMPARE(choice.dir(), QString("/home/lab/FilesInVirant/"));
        QCOMPARE(choice.name(), QString("base.bdt"));
        choice.remember("C:\\data\\v.tsk");
        QCOMPARE(choice.dir(), QString("C:\\data\\"));
        QCOMPARE(choice.name(), QString("v.tsk"));
        choice.remember("/root.bdt");
        QCOMPARE(choice.dir(), QString());
        QCOMPARE(choice.name(), QString("/root.bdt"));
    }

    void filesAreKeptBesideTheProgramOnlyWhereTheBuildPutIt_data()
    {
        QTest::addColumn<QString>("exeDir");
        QTest::addColumn<QString>("builtDir");
        QTest::addColumn<bool>("beside");
        QTemporaryDir tree;
        QDir(tree.path()).mkpath("build/src/app");
        QDir(tree.path()).mkpath("prefix/bin");
        makeSymbolicLink(tree.filePath("build"), tree.filePath("link-to-build"));
        tree.setAutoRemove(false);
        m_cleanup.append(tree.path());
        const QString built = tree.filePath("build/src/app");
        QTest::newRow("the build tree") << built << built << true;
        QTest::newRow("the build tree through a link")
            << tree.filePath("link-to-build/src/app") << built << true;
        QTest::newRow("a trailing separator") << built + "/" << built << true;
        // An install under any prefix, writable or not, is not the build tree.
        QTest::newRow("installed under a writable prefix")
            << tree.filePath("prefix/bin") << built << false;
        QTest::newRow("the build folder above the program")
            << tree.filePath("build") << built << false;
        QTest::newRow("no build compiled in") << built << QString() << false;
        QTest::newRow("a build folder since removed")
            << tree.filePath("prefix/bin") << tree.filePath("gone") << false;
        QTest::newRow("no executable folder") << QString() << built << false;
#ifdef Q_OS_LINUX
        QTest::newRow("the system's program folder") << "/usr/bin" << built << false;
#endif
    }

    void filesAreKeptBesideTheProgramOnlyWhereTheBuildPutIt()
    {
        QFETCH(QString, exeDir);
        QFETCH(QString, builtDir);
        QFETCH(bool, beside);
        if (exeDir.contains(QLatin1String("link-to-build")) &&
            !QFileInfo(exeDir.left(exeDir.indexOf(QLatin1String("/src")))).isSymLink())
            QSKIP(test::runningUnderWine()
                      ? "Wine does not make a symbolic link to a folder as Windows does"
                      : "the system refuses symbolic links here (Windows: Developer Mode or "
                        "administrator rights)");
        QCOMPARE(DataFolder::keepsFilesBesideProgram(exeDir, builtDir), beside);
    }

    void cleanupTestCase()
    {
        for (const QString &path : m_cleanup)
            QDir(path).removeRecursively();
    }

private:
    QStringList m_cleanup;
};

QTEST_GUILESS_MAIN(tst_Common)
#include "tst_Common.moc"
