#include "FirmwareRig.h"

#include "journal/ServiceJournal.h"
#include "navigation/PageNavigator.h"

#include <QCryptographicHash>
#include <QtTest>

using namespace kalent;
using namespace kalent::test;

// The firmware page's upload leaves its file, size, sums and outcome in the
// service journal, as it goes.
class tst_FirmwareJournal : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void aConfirmedUploadIsJournalledFromStartToRestart()
    {
        FirmwareRig rig;
        QByteArray image(12000, '\0');
        quint32 sum = 0;
        for (int i = 0; i < image.size(); ++i) {
            image[i] = static_cast<char>(i * 13 + 5);
            sum += static_cast<unsigned char>(image[i]);
        }
        const QString path = rig.writeFile(QStringLiteral("new.tsk"), image);
        QVERIFY(rig.reachStepThree(path));
        rig.wizard().startUpload(true);
        QCOMPARE(rig.uploadJournal().size(), 1);
        QVERIFY(rig.runUntil(
            [&] {
                return rig.session.pane().text() ==
                       QStringLiteral("Перепрограммирование прибора завершено");
            },
            20000));

        const QString what =
            QStringLiteral("загрузка ПО в прибор; файл: %1; размер: 12000; сумма: %2; sha256 %3")
                .arg(QDir::toNativeSeparators(path),
                     QString::number(sum % 65536, 16).toUpper().rightJustified(4, QLatin1Char('0')),
                     QString::fromLatin1(
                         QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex()));
        QCOMPARE(
            rig.uploadJournal(),
            QStringList({what + QStringLiteral("; итог: начата"),
                         what + QStringLiteral("; итог: передана целиком, ждём перезапуска "
                                               "прибора"),
                         what + QStringLiteral(
                                    "; итог: передана целиком; перезапуск прибора подтверждён")}));
    }

    void theChosenFileOutlivesLeavingThePageAndIsTheOneSent()
    {
        FirmwareRig rig;
        rig.writeFile(QStringLiteral("FilesInVirant/Virant_(rx).tsk"), "default");
        const QString mid = rig.writeFile(QStringLiteral("elsewhere/mid.tsk"), "chosen");
        rig.startUp();
        rig.openFirmwarePageThroughNavigator();
        QCOMPARE(rig.wizard().state().file.source, FirmwareFile::Source::InDataFolder);
        rig.wizard().fileChosen(mid);
        rig.session.navigator().selectPage(Page::About);
        // Back through "Вирант": the default file is there, the choice stands.
        rig.openFirmwarePageThroughNavigator();
        QCOMPARE(rig.wizard().fileName(), mid);
        rig.powerOff();
        rig.clock.advance(5000);
        rig.powerOn(true);
        rig.clock.advance(FirmwareWizard::BootWaitMs);
        QCOMPARE(rig.wizard().startUpload(true), FirmwareWizard::Start::Started);
        QVERIFY(rig.runUntil(
            [&] { return rig.bootLoader().lastResult() != BootLoader::Result::None; }));
        QCOMPARE(rig.bootLoader().programImage(), QByteArray("chosen"));
        const QStringList uploads = rig.uploadJournal();
        QVERIFY(!uploads.isEmpty());
        for (const QString &line : uploads)
            QVERIFY2(line.contains(QStringLiteral("файл: ") + QDir::toNativeSeparators(mid)),
                     qPrintable(line));
    }

    void anUploadCutByTheLinkOrTheOperatorSaysSo()
    {
        FirmwareRig rig;
        QVERIFY(rig.reachStepThree(rig.writeFile(QStringLiteral("a.tsk"), QByteArray(25000, 'z'))));
        rig.wizard().startUpload(true);
        rig.clock.advance(300);
        rig.powerOff();
        QStringList uploads = rig.uploadJournal();
        QCOMPARE(uploads.size(), 2);
        QVERIFY(uploads.last().endsWith(QStringLiteral("итог: отменена: нет связи с прибором")));

        FirmwareRig stopped;
        QVERIFY(stopped.reachStepThree(
            stopped.writeFile(QStringLiteral("b.tsk"), QByteArray(25000, 'y'))));
        stopped.wizard().startUpload(true);
        stopped.clock.advance(300);
        stopped.wizard().cancelUpload();
        uploads = stopped.uploadJournal();
        QCOMPARE(uploads.size(), 2);
        QVERIFY(uploads.last().endsWith(QStringLiteral("итог: остановлена оператором")));

        FirmwareRig left;
        QVERIFY(
            left.reachStepThree(left.writeFile(QStringLiteral("c.tsk"), QByteArray(25000, 'x'))));
        left.wizard().startUpload(true);
        left.clock.advance(300);
        left.leaveFirmwarePage();
        uploads = left.uploadJournal();
        QCOMPARE(uploads.size(), 2);
        QVERIFY(uploads.last().endsWith(QStringLiteral("итог: прервана: выбрана другая страница")));
    }
};

QTEST_GUILESS_MAIN(tst_FirmwareJournal)
#include "tst_FirmwareJournal.moc"
