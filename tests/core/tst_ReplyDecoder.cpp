#include "link/ReplyDecoder.h"

#include <QtTest>

using namespace kalent;

// The decoder alone: streams of replies and notices, split and merged at every
// byte boundary, each message decoded once and whole.
class tst_ReplyDecoder : public QObject
{
    Q_OBJECT

    // Filler of a reply's given length behind its code, full of bytes that
    // would be notices, replies or noise if they were read as a first byte.
    static QByteArray reply(char code, int length)
    {
        static const QByteArray inside("GgLBmR2DNdr\x00\xff 7", 15);
        QByteArray bytes(1, code);
        for (int i = 1; i < length; ++i)
            bytes.append(inside.at(i % inside.size()));
        return bytes;
    }

    // Decodes pieces as the dispatcher does: the protocol length comes from
    // the last "N" decoded.
    static QList<QByteArray> decode(const QList<QByteArray> &pieces, QByteArray *left = nullptr)
    {
        ReplyDecoder decoder;
        int protocolLength = 0;
        QList<QByteArray> out;
        for (const QByteArray &piece : pieces) {
            decoder.feed(piece);
            while (std::optional<QByteArray> message = decoder.next(protocolLength)) {
                if (message->at(0) == 'N')
                    protocolLength = message->mid(1).toInt();
                out.append(*message);
            }
        }
        if (left)
            *left = decoder.pending();
        return out;
    }

private Q_SLOTS:
    void streamSplitAndMergedAnywhereGivesEachMessageOnce_data()
    {
        QTest::addColumn<QList<QByteArray>>("messages");
        const QByteArray protocol = reply('d', 40);
        QTest::newRow("two notices") << QList<QByteArray>{"G", "g"};
        QTest::newRow("table, then results ready") << QList<QByteArray>{reply('D', 873), "g"};
        QTest::newRow("table, file name, measured")
            << QList<QByteArray>{reply('D', 873), reply('2', 19), "G"};
        QTest::newRow("protocol length and text, then measured")
            << QList<QByteArray>{"N00040", protocol, "G"};
        QTest::newRow("page count, then a page")
            << QList<QByteArray>{"R?  2", reply('r', 529), reply('r', 529)};
        QTest::newRow("contact, page wanted, restart report")
            << QList<QByteArray>{"B", "m", "L", "G", "m"};
    }

    void streamSplitAndMergedAnywhereGivesEachMessageOnce()
    {
        QFETCH(QList<QByteArray>, messages);
        QByteArray stream;
        for (const QByteArray &m : messages)
            stream += m;

        QCOMPARE(decode({stream}), messages);
        for (int cut = 1; cut < stream.size(); ++cut) {
            QByteArray left;
            const QList<QByteArray> got = decode({stream.left(cut), stream.mid(cut)}, &left);
            if (got != messages) {
                qWarning() << "cut at" << cut;
                QCOMPARE(got, messages);
            }
            QVERIFY(left.isEmpty());
        }
        // Byte by byte, as a slow line delivers.
        QList<QByteArray> bytes;
        for (char c : stream)
            bytes.append(QByteArray(1, c));
        QCOMPARE(decode(bytes), messages);
    }

    void pageCountTakesEveryDigitThatCameWithIt()
    {
        // The count has no end mark: the digits read with it belong to it (a
        // count past 999 is refused later, never cut to three digits).
        QCOMPARE(decode({"R?1000g"}), (QList<QByteArray>{"R?1000", "g"}));
        QCOMPARE(decode({"R?  7G"}), (QList<QByteArray>{"R?  7", "G"}));
    }

    void replyOfKnownLengthKeepsCollectingWhateverItHolds()
    {
        QByteArray left;
        const QByteArray part = reply('D', 500);
        QVERIFY(decode({part}, &left).isEmpty());
        QCOMPARE(left, part);
    }

    void protocolTextWithoutAnnouncedLengthNeverCompletes()
    {
        // No "N" came: the text's length is unknown, and nothing inside it may
        // pass for a notice.
        QByteArray left;
        QVERIFY(decode({"dGg"}, &left).isEmpty());
        QCOMPARE(left, QByteArray("dGg"));
    }

    void pageCountCutShortWaitsForItsRest()
    {
        ReplyDecoder decoder;
        decoder.feed("R? ");
        QVERIFY(!decoder.next(0));
        QCOMPARE(decoder.takePending(), QByteArray("R? "));
        QVERIFY(decoder.pending().isEmpty());
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
    }

    void noiseInFrontEmptiesTheRemainder()
    {
        QFETCH(QByteArray, stream);
        QByteArray left;
        const QList<QByteArray> got = decode({stream}, &left);
        QVERIFY(left.isEmpty());
        // Only a notice in front of the noise gets through.
        QCOMPARE(got, stream.startsWith('G') ? QList<QByteArray>{"G"} : QList<QByteArray>{});
    }

    void inputPastTheLongestReplyIsDroppedWithWhatWasCollected()
    {
        ReplyDecoder decoder;
        decoder.feed(QByteArray("d") + QByteArray(ReplyDecoder::LongestReply - 10, 'x'));
        QVERIFY(!decoder.next(0));
        decoder.feed(QByteArray(11, 'y'));
        QVERIFY(decoder.pending().isEmpty());
        decoder.feed("G");
        QCOMPARE(decoder.next(0), std::optional<QByteArray>("G"));
    }

    void emptyReadCountsAsByteZero()
    {
        ReplyDecoder decoder;
        decoder.feed("N000");
        decoder.feed(QByteArray());
        decoder.feed("7");
        QCOMPARE(decoder.next(0), std::optional<QByteArray>(QByteArray("N000\0"
                                                                       "7",
                                                                       6)));
    }
};

QTEST_GUILESS_MAIN(tst_ReplyDecoder)
#include "tst_ReplyDecoder.moc"
