#include "link/ReplyDecoder.h"

#include <QtTest>

using namespace kalent;

namespace {

// Filler of a reply's given length behind its code, full of bytes that would
// be notices, replies or noise if they were read as a first byte.
QByteArray reply(char code, int length)
{
    static const QByteArray inside("GgLBmR2DNdr\x00\xff 7", 15);
    QByteArray bytes(1, code);
    for (int i = 1; i < length; ++i)
        bytes.append(inside.at(i % inside.size()));
    return bytes;
}

// What a decoder made of pieces fed one after the other, each decoded as it
// came: the messages' bytes, and every event as text ("D 300/873" for
// progress, "D[873]" for a message) to compare whole sequences.
struct Decoded
{
    QList<QByteArray> messages;
    QStringList events;
    std::optional<ReplyProgress> left;
};

QString codeText(ReplyCode code)
{
    return QString(QLatin1Char(char(code)));
}

Decoded decode(const QList<QByteArray> &pieces, ReplyDecoder &decoder)
{
    Decoded out;
    for (const QByteArray &piece : pieces) {
        decoder.feed(piece);
        for (const ReplyEvent &event : decoder.decode()) {
            if (const auto *progress = std::get_if<ReplyProgress>(&event)) {
                out.events.append(QStringLiteral("%1 %2/%3")
                                      .arg(codeText(progress->code))
                                      .arg(progress->have)
                                      .arg(progress->need));
                continue;
            }
            const Message &message = std::get<Message>(event);
            out.messages.append(message.bytes);
            out.events.append(
                QStringLiteral("%1[%2]").arg(codeText(message.code)).arg(message.bytes.size()));
        }
    }
    out.left = decoder.collecting();
    return out;
}

Decoded decode(const QList<QByteArray> &pieces)
{
    ReplyDecoder decoder;
    return decode(pieces, decoder);
}

QList<QByteArray> byteByByte(const QByteArray &stream)
{
    QList<QByteArray> bytes;
    for (char c : stream)
        bytes.append(QByteArray(1, c));
    return bytes;
}

} // namespace

// The decoder alone: streams of replies and notices, split and merged at every
// byte boundary, each message decoded once and whole, its progress rising to it.
class tst_ReplyDecoder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void streamSplitAndMergedAnywhereGivesTheSameMessages_data()
    {
        QTest::addColumn<QList<QByteArray>>("messages");
        const QByteArray protocol = reply('d', 40);
        QTest::newRow("two notices") << QList<QByteArray>{"G", "g"};
        QTest::newRow("table, then results ready") << QList<QByteArray>{reply('D', 873), "g"};
        QTest::newRow("table, file name, measured")
            << QList<QByteArray>{reply('D', 873), reply('2', 19), "G"};
        QTest::newRow("protocol length and text, then measured")
            << QList<QByteArray>{"N00040", protocol, "G"};
        QTest::newRow("two protocols of different lengths")
            << QList<QByteArray>{"N00040", protocol, "N00007", reply('d', 7), "g"};
        QTest::newRow("page count, then a page")
            << QList<QByteArray>{"R?  2", reply('r', 529), reply('r', 529)};
        QTest::newRow("contact, page wanted, restart report")
            << QList<QByteArray>{"B", "m", "L", "G", "m"};
    }

    void streamSplitAndMergedAnywhereGivesTheSameMessages()
    {
        QFETCH(QList<QByteArray>, messages);
        QByteArray stream;
        for (const QByteArray &m : messages)
            stream += m;

        const Decoded whole = decode({stream});
        QCOMPARE(whole.messages, messages);
        QVERIFY(!whole.left);
        for (int cut = 1; cut < stream.size(); ++cut) {
            const Decoded split = decode({stream.left(cut), stream.mid(cut)});
            if (split.messages != messages || split.left)
                QFAIL(qPrintable(
                    QStringLiteral("cut at %1: %2").arg(cut).arg(split.events.join(' '))));
        }
        // Byte by byte, as a slow line delivers: every reply longer than a byte
        // rises one byte at a time to its length, and is whole right after.
        const Decoded slow = decode(byteByByte(stream));
        QCOMPARE(slow.messages, messages);
        QStringList expected;
        for (const QByteArray &m : messages) {
            const QString code = QString(QLatin1Char(m.at(0)));
            const int need = m.at(0) == 'R' ? 5 : int(m.size());
            for (int have = 1; have < m.size(); ++have)
                expected.append(QStringLiteral("%1 %2/%3").arg(code).arg(have).arg(need));
            if (m.size() > 1)
                expected.append(QStringLiteral("%1 %2/%2").arg(code).arg(m.size()));
            expected.append(QStringLiteral("%1[%2]").arg(code).arg(m.size()));
        }
        QCOMPARE(slow.events, expected);
    }

    void progressSaysHaveAndNeed_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<QStringList>("events");
        const QByteArray table = reply('D', 873);
        QTest::newRow("a table in three pieces")
            << QList<QByteArray>{table.left(1), table.mid(1, 299), table.mid(300)}
            << QStringList{"D 1/873", "D 300/873", "D 873/873", "D[873]"};
        QTest::newRow("a notice behind a table, and a page begun")
            << QList<QByteArray>{table + "G" + reply('r', 10)}
            << QStringList{"D 873/873", "D[873]", "G[1]", "r 10/529"};
        QTest::newRow("a text nobody announced has no known need")
            << QList<QByteArray>{"dabc"} << QStringList{"d 4/-1"};
        QTest::newRow("the text's need comes from the length before it")
            << QList<QByteArray>{"N00009dab", "cdefg"}
            << QStringList{"N 6/6", "N[6]", "d 3/9", "d 8/9"};
        QTest::newRow("a page count waits for three count characters")
            << QList<QByteArray>{"R", "? 1"} << QStringList{"R 1/5", "R 4/5"};
        QTest::newRow("one-byte messages have no progress")
            << QList<QByteArray>{"BmL"} << QStringList{"B[1]", "m[1]", "L[1]"};
    }

    void progressSaysHaveAndNeed()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(QStringList, events);
        QCOMPARE(decode(pieces).events, events);
    }

    void protocolLengthIsReadFromTheStream_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<int>("length");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("announced") << QByteArray("N00005dabcdG") << 5
                                   << QStringList{"N 6/6", "N[6]", "d 5/5", "d[5]", "G[1]"};
        // A length that is no number announces nothing: the last one stands.
        QTest::newRow("not a number keeps the last")
            << QByteArray("N00004dabcN12a45dxyz") << 4
            << QStringList{"N 6/6", "N[6]", "d 4/4", "d[4]", "N 6/6", "N[6]", "d 4/4", "d[4]"};
        // An empty protocol: no text follows, and a "d" then never completes.
        QTest::newRow("zero") << QByteArray("N00000dGg") << 0
                              << QStringList{"N 6/6", "N[6]", "d 3/-1"};
    }

    void protocolLengthIsReadFromTheStream()
    {
        QFETCH(QByteArray, stream);
        QFETCH(int, length);
        QFETCH(QStringList, events);
        ReplyDecoder decoder;
        QCOMPARE(decode({stream}, decoder).events, events);
        QCOMPARE(decoder.protocolLength(), length);
        QCOMPARE(ReplyDecoder::announcedLength("N00040").value_or(-1), 40);
        QVERIFY(!ReplyDecoder::announcedLength("N0004"));
        QVERIFY(!ReplyDecoder::announcedLength("N0x040"));
    }

    void pageCountTakesEveryDigitThatCameWithIt()
    {
        // The count has no end mark: the digits read with it belong to it (a
        // count past 999 is refused later, never cut to three digits).
        QCOMPARE(decode({"R?1000g"}).messages, (QList<QByteArray>{"R?1000", "g"}));
        QCOMPARE(decode({"R?  7G"}).messages, (QList<QByteArray>{"R?  7", "G"}));
    }

    void pageCountCutShortIsTakenAsItStandsOnlyWhenFlushed()
    {
        ReplyDecoder decoder;
        QCOMPARE(decode({"R? "}, decoder).events, QStringList{"R 3/5"});
        QVERIFY(decoder.pageCountCutShort());
        const std::optional<Message> count = decoder.flush();
        QVERIFY(count && *count == (Message{ReplyCode::PageCount, "R? "}));
        QVERIFY(!decoder.collecting());
        QVERIFY(!decoder.pageCountCutShort());
        // Nothing else is ever flushed: a table on its way keeps collecting.
        decoder.feed(reply('D', 20));
        QVERIFY(!decoder.pageCountCutShort());
        QVERIFY(!decoder.flush());
        QCOMPARE(decoder.collecting()->have, 20);
    }

    void anUnfinishedReplyDroppedLeavesTheNextWhole()
    {
        ReplyDecoder decoder;
        decode({reply('r', 300)}, decoder);
        decoder.dropUnfinished();
        QCOMPARE(decode({"R?  3"}, decoder).messages, QList<QByteArray>{"R?  3"});
    }

    void noiseInFrontEmptiesTheRemainder_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::newRow("unknown code") << QByteArray("ZGg");
        QTest::newRow("byte zero") << QByteArray("\0B", 2);
        QTest::newRow("noise behind a notice") << QByteArray("G\xffg");
        QTest::newRow("babble that reaches a table's length")
            << QByteArray("D") + QByteArray(872, '7') + QByteArray("\xff");
        QTest::newRow("a table and noise behind it") << reply('D', 873) + QByteArray("\x01G");
        // ("x" is a message of its own: the refusal of a database page.)
        QTest::newRow("a file name one byte too long") << QByteArray("2009_03_24_1430.xls?");
    }

    void noiseInFrontEmptiesTheRemainder()
    {
        QFETCH(QByteArray, stream);
        const Decoded got = decode({stream});
        QVERIFY(!got.left);
        // Only a notice in front of the noise gets through.
        QCOMPARE(got.messages,
                 stream.startsWith('G') ? QList<QByteArray>{"G"} : QList<QByteArray>{});
    }

    void inputPastTheLongestReplyIsDroppedWithWhatWasCollected()
    {
        ReplyDecoder decoder;
        decoder.feed(QByteArray("d") + QByteArray(ReplyLength::Longest - 10, 'x'));
        QVERIFY(decoder.decode().size() == 1); // its progress only
        decoder.feed(QByteArray(11, 'y'));
        QVERIFY(!decoder.collecting());
        QCOMPARE(decode({"G"}, decoder).messages, QList<QByteArray>{"G"});
    }

    void emptyReadCountsAsByteZero()
    {
        QCOMPARE(decode({"N000", QByteArray(), "7"}).messages, QList<QByteArray>{QByteArray("N000\0"
                                                                                            "7",
                                                                                            6)});
    }
};

QTEST_GUILESS_MAIN(tst_ReplyDecoder)
#include "tst_ReplyDecoder.moc"
