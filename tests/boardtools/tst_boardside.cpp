// The virtual board's side of the board tools, on the protocol engine alone:
// what active servos and pulse-width limits do to nudges, moves and a
// program's MOVE. The parameter block's store and reload and single bytes
// are checked through the windows.

#include "link/packets.h"
#include "sim/boardengine.h"

#include <functional>

#include <QtTest>

using namespace pvelm;
using sim::BoardEngine;
using sim::BoardState;

namespace {

struct Step
{
    qint64 ms;
    QByteArray frame;    // "$" long or "-" short; empty: only let time pass
    QByteArray expected; // the reply ("" for none)
};

struct Case
{
    std::function<void(BoardState &)> prepare; // after the limits and servo 2 are set
    QList<Step> steps;
};

QByteArray replyTo(BoardEngine &engine, const Step &step)
{
    const BoardEngine::Outputs outs =
        step.frame.isEmpty() ? engine.poll(step.ms) : engine.feed("&" + step.frame, step.ms);
    QByteArray reply;
    for (const BoardEngine::Output &out : outs) {
        if (out.kind == BoardEngine::OutputKind::Reply)
            reply += out.bytes;
    }
    return reply;
}

QByteArray longReply(const QByteArray &codeAndData, char result)
{
    return codeAndData.leftJustified(61, 'x') + result + "H~";
}

QByteArray r01()
{
    QString packet = QString::fromLatin1(kLongTemplate);
    fillField(packet, 4, 3, "R01");
    return "$" + packet.toLatin1();
}

const QByteArray kAtLowerLimit = longReply("OV0R0120008000" + QByteArray("2000").repeated(6), '0');

} // namespace

Q_DECLARE_METATYPE(Case)

class TestBoardSide : public QObject
{
    Q_OBJECT

private slots:
    void commands_data()
    {
        QTest::addColumn<Case>("c");
        QTest::newRow("nudges: an inactive servo stays, an active one keeps inside the limits")
            << Case{[](BoardState &s) { s.positions[0] = 0xEFFA; },
                    {{0, "-OU001002H", "OU800002H"}, {10, "-OU001001H", "OUF00001H"}, {20, "-OD001001H", "ODEFF601H"}}};
        QTest::newRow("move to a stored set: servo 2 stays, the rest stop at the lower limit")
            << Case{[](BoardState &s) {
                        s.flash.replace(16, 16, QByteArray(16, char(0x10))); // line 1: every servo 1010
                    },
                    {{0, "-OT000001H", "OT000001H"}, {9000, r01(), kAtLowerLimit}}};
        QTest::newRow("a program's MOVE: servo 2 stays, the rest stop at the lower limit")
            << Case{[](BoardState &s) {
                        s.flash.replace(0, 16, QByteArray::fromHex("00000001000000FFFFFFFFFFFFFFFFFF")); // MOVE to 1
                        s.flash.replace(16, 16, QByteArray(16, char(0x10)));
                        s.flash.replace(32, 16, QByteArray::fromHex("80") + QByteArray(15, char(0xFF))); // STOP
                    },
                    {{0, "$OV0R05000000" + QByteArray("xxx") + QByteArray(32, 'D') + QByteArray(14, 'x') + "0H~", ""},
                     {500, "", ""},
                     {510, r01(), kAtLowerLimit}}};
    }
    void commands()
    {
        QFETCH(Case, c);
        BoardEngine engine;
        // Limits 2000-F000 in use; servo 2 inactive.
        engine.state().params = QByteArray::fromHex("0C000000000000012000F000FD000000");
        c.prepare(engine.state());
        for (const Step &step : c.steps)
            QCOMPARE(replyTo(engine, step), step.expected);
    }
};

QTEST_GUILESS_MAIN(TestBoardSide)
#include "tst_boardside.moc"
