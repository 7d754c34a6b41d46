// The virtual board's side of the editors, on the protocol engine alone: what
// each command answers, what it leaves in flash and the positions, and how
// servos travel after a move and take nudges. The reload is the board tools' test.

#include "editors/codecs.h"
#include "sim/boardengine.h"

#include <functional>

#include <QtTest>

using namespace pvelm;
using namespace pvelm::editors;
using sim::BoardEngine;
using sim::BoardState;

namespace {

struct Step
{
    qint64 ms;        // when the frame arrives
    QString frame;    // "$" long, "-" short or "+" block (the "~" is added)
    QString expected; // the reply, or empty for none
};

struct Case
{
    QList<Step> steps;
    std::function<QString(const BoardState &)> check; // a complaint, or empty
    std::array<quint16, 8> start{0x8000, 0x8000, 0x8000, 0x8000, 0x8000, 0x8000, 0x8000, 0x8000};
};

QString replyTo(BoardEngine &engine, const Step &step)
{
    const bool block = step.frame.startsWith('+');
    QByteArray wire = QByteArray(1, block ? '#' : '&') + step.frame.toLatin1() + (block ? "~" : "");
    QByteArray reply;
    for (const BoardEngine::Output &out : engine.feed(wire, step.ms)) {
        if (out.kind == BoardEngine::OutputKind::Reply)
            reply += out.bytes;
    }
    return QString::fromLatin1(reply);
}

QString longReply(const QString &codeAndData, char result)
{
    return (codeAndData.leftJustified(61, 'x') + result) + "H~";
}

QString elementAt(const BoardState &s, int line)
{
    return QString::fromLatin1(
        s.flash.mid((line / 16) * BoardState::PageBytes + (line % 16) * 16, 16).toHex().toUpper());
}

QString expectEqual(const QString &what, const QString &actual, const QString &expected)
{
    return actual == expected ? QString() : QStringLiteral("%1: %2, expected %3").arg(what, actual, expected);
}

const QString kSet = "01500" + QString("65535").repeated(6) + "00000";
const QString kSetHex = "05DC" + QString("FFFF").repeated(6) + "0000";

} // namespace

Q_DECLARE_METATYPE(Case)

class TestEditorBoard : public QObject
{
    Q_OBJECT

private slots:
    void commands_data()
    {
        QTest::addColumn<Case>("c");
        const QString element = "0A000064" + QString(24, 'F');
        // Line 17 is slot 1 of page 1: the flash the download writes and the program runs.
        QTest::newRow("element write then read")
            << Case{{{0, "$" + elementPutRequest(17, element), longReply("OV0R16000011" + element, '0')},
                     {10, "$" + lineRequest("R15", 17), longReply("OV0R15000011" + element, '0')}},
                    [=](const BoardState &s) { return expectEqual("line 17", elementAt(s, 17), element); }};
        QTest::newRow("element beyond the flash")
            << Case{{{0, "$" + lineRequest("R15", 32768), longReply("OV0R15008000", '1')},
                     {10, "$" + elementPutRequest(32768, element), longReply("OV0R16008000", '1')}}};
        QTest::newRow("position set write then read") << Case{
            {{0, "$" + positionPutRequest(5, {"1500", "65535", "65535", "65535", "65535", "65535", "65535", "0"}),
              longReply("OV0R19000005" + kSet, '0')},
             {10, "$" + lineRequest("R18", 5), longReply("OV0R18000005" + kSet, '0')}},
            [](const BoardState &s) { return expectEqual("line 5", elementAt(s, 5), kSetHex); }};
        QTest::newRow("position above 65535 refused, nothing written")
            << Case{{{0, "$" + positionPutRequest(5, {"70000"}), longReply("OV0R19000005", '1')}},
                    [](const BoardState &s) { return expectEqual("line 5", elementAt(s, 5), QString(32, 'F')); }};
        const QString speeds = "010020030040050060070080" + QString("001").repeated(8);
        QTest::newRow("speed element write then read") << Case{
            {{0, "$" + speedPutRequest(32001, {"10", "20", "30", "40", "50", "60", "70", "80"}, QStringList(8, "1")),
              longReply("OV0R1B007D01" + speeds, '0')},
             {10, "$" + lineRequest("R1A", 32001), longReply("OV0R1A007D01" + speeds, '0')}},
            [](const BoardState &s) {
                return expectEqual("line 32001", elementAt(s, 32001), "0A141E28323C46500101010101010101");
            }};
        const QString image = "0123456789ABCDEF" + QString(16, 'E') + "05DC" + QString(28, 'F');
        QTest::newRow("packed block then packed read: lines n and n+1")
            << Case{{{0, "+" + packedPutBlock(3, image), ""}, {10, "$" + lineRequest("R1C", 3), image}},
                    [=](const BoardState &s) {
                        return expectEqual("lines 3 and 4", elementAt(s, 3) + elementAt(s, 4), image);
                    }};
        // Servo 1 travels from 32768 to 0 at 10000 a second; the others have no move.
        const QStringList toZero = QStringList{"0"} + QStringList(7, "65535");
        QTest::newRow("move takes time") << Case{
            {{0, "$" + positionPutRequest(2, toZero), ""},
             {1000, "-" + movePacket(2), "OT000002H"},
             {2000, "$" + lineRequest("R01", 0), longReply("OV0R0158F0" + QString("8000").repeated(7), '0')},
             {5000, "$" + lineRequest("R01", 0), longReply("OV0R010000" + QString("8000").repeated(7), '0')}}};
        QTest::newRow("nudge stops a moving servo where it is")
            << Case{{{0, "$" + positionPutRequest(2, toZero), ""},
                     {1000, "-" + movePacket(2), "OT000002H"},
                     {1100, "-" + nudgePacket(NudgeFamily::PosUp, 0), "OU7C1901H"},
                     {9000, "$" + lineRequest("R01", 0), longReply("OV0R017C19" + QString("8000").repeated(7), '0')}}};
        QTest::newRow("nudges stop at 0 and 65534")
            << Case{{{0, "-" + nudgePacket(NudgeFamily::BigUp, 0), "OUFFFE01H"},
                     {10, "-" + nudgePacket(NudgeFamily::PosUp, 1), "OUFFFF02H"},
                     {20, "-" + nudgePacket(NudgeFamily::BigDown, 2), "OD000003H"},
                     {30, "-" + nudgePacket(NudgeFamily::BigDown, 1), "ODFFF502H"}},
                    {},
                    {65530, 65535, 3, 0x8000, 0x8000, 0x8000, 0x8000, 0x8000}};
    }
    void commands()
    {
        QFETCH(Case, c);
        BoardEngine engine;
        engine.state().positions = c.start;
        for (const Step &step : c.steps) {
            const QString reply = replyTo(engine, step);
            if (!step.expected.isEmpty() || step.frame.startsWith('+'))
                QCOMPARE(reply, step.expected);
        }
        if (c.check) {
            const QString complaint = c.check(engine.state());
            QVERIFY2(complaint.isEmpty(), qPrintable(complaint));
        }
    }
};

QTEST_GUILESS_MAIN(TestEditorBoard)
#include "tst_editorboard.moc"
