// The virtual board's side of the board tools, on the protocol engine alone:
// the parameter block in EEPROM and its reload, single EEPROM and RAM bytes
// with the write counter, and what active servos and pulse-width limits do
// to moves and nudges.

#include "boardtools/paramblock.h"
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
    std::function<void(BoardState &)> prepare;
    QList<Step> steps;
    std::function<QString(const BoardState &)> check; // a complaint, or empty
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

// A request as docomax sends it (R1R, R1C), and the R1W the window builds.
QByteArray docomax(const char *code)
{
    QString packet = QString::fromLatin1(kDocomaxTemplate);
    fillField(packet, 4, 3, QString::fromLatin1(code));
    fillField(packet, 51, 9, "000x000000");
    return "$" + packet.toLatin1();
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

const QByteArray kBlock = "0D07A5A5015A5A2C1170FFFF80C3C3C3";

QString hexOf(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

QString positions(const BoardState &s)
{
    QStringList p;
    for (quint16 v : s.positions)
        p << QString::number(v, 16).toUpper();
    return p.join(' ');
}

// Limits 2000-F000 in use; servo 2 inactive.
void limitsAndServo2Off(BoardState &s)
{
    s.params = QByteArray::fromHex("0C00000000000001"
                                   "2000F000FD000000");
}

} // namespace

Q_DECLARE_METATYPE(Case)

class TestBoardSide : public QObject
{
    Q_OBJECT

private slots:
    void commands_data()
    {
        QTest::addColumn<Case>("c");
        const QByteArray fresh = "040000000000000A0000FFFFFF000000";
        QTest::newRow("R1W writes the EEPROM only; the working copy waits for a reload") << Case{
            {},
            {{0, "$" + boardtools::writeRequest(boardtools::ParamBlock(kBlock)).toLatin1(),
              longReply("OV0R1W00000" + kBlock, '0')},
             {10, docomax("R1R"), longReply("OV0R1R00000" + kBlock, '0')}},
            [fresh](const BoardState &s) {
                if (hexOf(s.params) != fresh || s.eepromWrites != 16)
                    return QStringLiteral("working copy %1, writes %2").arg(hexOf(s.params)).arg(s.eepromWrites);
                BoardState loaded;
                return loaded.deserialize(s.serialize()) && loaded == s ? QString()
                                                                        : QStringLiteral("state file lost it");
            }};
        QTest::newRow("EEPROM and RAM bytes; only EEPROM writes counted")
            << Case{{},
                    {{0, "-OF0010A5H", "OF0010A5H"},
                     {10, "-OSffff7eH", "OSFFFF7EH"},
                     {20, "-OE0010DDH", "OE0010A5H"},
                     {30, "-OR0010DDH", "OR001000H"},
                     {40, "-ORFFFFDDH", "ORFFFF7EH"}},
                    [](const BoardState &s) { return s.eepromWrites == 1 ? QString() : QStringLiteral("count"); }};
        QTest::newRow("nudges: an inactive servo stays, an active one keeps inside the limits")
            << Case{[](BoardState &s) {
                        limitsAndServo2Off(s);
                        s.positions[0] = 0xEFFA;
                    },
                    {{0, "-OU001002H", "OU800002H"}, {10, "-OU001001H", "OUF00001H"}, {20, "-OD001001H", "ODEFF601H"}},
                    {}};
        QTest::newRow("move to a stored set: servo 2 stays, the rest stop at the lower limit")
            << Case{[](BoardState &s) {
                        limitsAndServo2Off(s);
                        s.flash.replace(16, 16, QByteArray(16, char(0x10))); // line 1: every servo 1010
                    },
                    {{0, "-OT000001H", "OT000001H"},
                     {9000, r01(), longReply("OV0R0120008000" + QByteArray("2000").repeated(6), '0')}},
                    {}};
        QTest::newRow("a program's MOVE: servo 2 stays, the rest stop at the lower limit")
            << Case{[](BoardState &s) {
                        limitsAndServo2Off(s);
                        s.flash.replace(0, 16, QByteArray::fromHex("00000001000000FFFFFFFFFFFFFFFFFF")); // MOVE to 1
                        s.flash.replace(16, 16, QByteArray(16, char(0x10)));
                        s.flash.replace(32, 16, QByteArray::fromHex("80") + QByteArray(15, char(0xFF))); // STOP
                    },
                    {{0, "$OV0R05000000" + QByteArray("xxx") + QByteArray(32, 'D') + QByteArray(14, 'x') + "0H~", ""},
                     {500, "", ""}},
                    [](const BoardState &s) {
                        const QString want = "2000 8000 2000 2000 2000 2000 2000 2000";
                        return positions(s) == want ? QString() : positions(s);
                    }};
    }
    void commands()
    {
        QFETCH(Case, c);
        BoardEngine engine;
        if (c.prepare)
            c.prepare(engine.state());
        for (const Step &step : c.steps)
            QCOMPARE(replyTo(engine, step), step.expected);
        if (c.check) {
            const QString complaint = c.check(engine.state());
            QVERIFY2(complaint.isEmpty(), qPrintable(complaint));
        }
    }
};

QTEST_GUILESS_MAIN(TestBoardSide)
#include "tst_boardside.moc"
