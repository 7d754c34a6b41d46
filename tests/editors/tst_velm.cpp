// The velm editor commands as a script runs them, against a virtual board in
// this process: stdout, stderr, the exit status and the bytes on the wire.

#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <QtTest>

using pvelm::sim::BoardState;
using pvelm::sim::VirtualBoard;

namespace {

struct Case
{
    QStringList args; // after --port and the board's device
    QByteArray wire;  // after the handshakes; empty: nothing sent
    int exitCode;
    QByteArray out;
    QByteArray err;
};

const QByteArray kLongTail = "xxx" + QByteArray(32, 'D') + QByteArray(14, 'x') + "0H~";

} // namespace

Q_DECLARE_METATYPE(Case)

class TestVelm : public QObject
{
    Q_OBJECT

private slots:
    void commands_data()
    {
        QTest::addColumn<Case>("c");
        const QByteArray rest = QByteArray(24, 'F');
        QTest::newRow("element get prints the element and its fields")
            << Case{{"element", "get", "17"},
                    "$OV0R15000011" + kLongTail,
                    0,
                    "element 0A000064" + rest +
                        "\ninstruction 10\nSpeedref 0\nToposition 100\nspecify(0) 255\ndatax(0) 65535\nspecify(1) "
                        "255\ndatax(1) 65535\nspecify(2) 255\ndatax(2) 65535\ndata5(0) 255\ndata5(1) 255\ndata5(2) "
                        "255\n",
                    ""};
        QTest::newRow("position move shows the set, then moves")
            << Case{{"position", "move", "10000"},
                    "$OV0R18002710" + kLongTail + "-OT002710H",
                    0,
                    "position" + QByteArray(" 65535").repeated(8) + "\nreply OT002710H\n",
                    ""};
        // A negative number is an argument, not an unknown option.
        QTest::newRow("nudge repeated, negative step") << Case{
            {"nudge", "--repeat", "2", "3", "-10"}, "-OD001003H-OD001003H", 0, "nudge 3 32758\nnudge 3 32748\n", ""};
        QTest::newRow("current positions as a script statement")
            << Case{{"position", "current", "--script"},
                    "$OV0R01002710" + kLongTail,
                    0,
                    "POSITION S1=32768, S2=32768, S3=32768, S4=32768, S5=32768, S6=32768, S7=32768, S8=32768\n",
                    ""};
        QTest::newRow("step refused") << Case{
            {"nudge", "3", "5"}, "", 2, "", "velm: STEP: \"5\" refused; enter 1, 10, -1 or -10\n"};
        QTest::newRow("silent board: no link")
            << Case{{"position", "get", "1"}, "", 3, "", "velm: no position set read (Z: Unable to connect)\n"};
    }
    void commands()
    {
        QFETCH(Case, c);
        TestRoot root;
        VirtualBoard board;
        QVERIFY(board.start());
        board.updateState([](BoardState &s) {
            const QByteArray element = QByteArray::fromHex("0A000064") + QByteArray(12, char(0xFF));
            s.flash.replace(BoardState::PageBytes + 16, 16, element); // line 17
        });
        if (c.exitCode == 3)
            board.setFault(pvelm::sim::Fault::NoAnswer);
        const VelmRun r = runVelm(QStringList{"--port", board.devicePath()} + c.args);
        QCOMPARE(r.err, c.err);
        QCOMPARE(r.out, c.out);
        QCOMPARE(r.exitCode, c.exitCode);
        // A block gets no reply: velm may be gone before the board has it all.
        const auto afterHandshakes = [&] { return board.received().replace("&", "").replace("#", ""); };
        QTRY_COMPARE(afterHandshakes(), c.wire);
    }
};

QTEST_GUILESS_MAIN(TestVelm)
#include "tst_velm.moc"
