// Parse, rebuild and the additional list on the largest database the header
// allows (999 pages), against one plain copy of the same bytes.
#include "DemoDatabase.h"
#include "database/TestSystemDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

using namespace kalent;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QByteArray instrument = DemoDatabase::withPages(999);
    // The file shares half its records with the instrument: 499 go to the additional list.
    DemoDatabase other;
    for (int i = 0; i < 998; ++i)
        other.addRecord(
            {QStringLiteral("Группа %1").arg(i % 9), QStringLiteral("Подгруппа %1").arg(i % 7),
             QStringLiteral("ТС-%1").arg(i % 2 ? i : i + 5000, 3, 10, QLatin1Char('0')), 1});
    const QByteArray file = other.image();

    constexpr int Rounds = 20;
    QElapsedTimer timer;
    timer.start();
    int listed = 0;
    int added = 0;
    for (int r = 0; r < Rounds; ++r) {
        TestSystemDatabase db;
        db.take(TestSystemDatabase::Which::Instrument, instrument);
        db.take(TestSystemDatabase::Which::File, file);
        db.buildAdditionalList();
        listed = db.instrument().tsCount();
        added = db.additional().tsCount();
    }
    const double perRound = static_cast<double>(timer.nsecsElapsed()) / Rounds / 1e6;

    timer.restart();
    qint64 sum = 0;
    constexpr int CopyRounds = 2000;
    for (int r = 0; r < CopyRounds; ++r) {
        QByteArray copy(instrument.constData(), instrument.size());
        sum += copy.at(r % copy.size());
    }
    const double perCopy = static_cast<double>(timer.nsecsElapsed()) / CopyRounds / 1e6;

    std::printf("database lists, 999 pages each (%d test systems listed, %d additional)\n", listed,
                added);
    std::printf("  two checked takes + additional list : %.2f ms\n", perRound);
    std::printf("  one copy of a 999-page image:                %.4f ms (checksum %lld)\n", perCopy,
                static_cast<long long>(sum));
    std::printf("  ratio to the copy: %.0f x\n", perRound / perCopy);
    return 0;
}
