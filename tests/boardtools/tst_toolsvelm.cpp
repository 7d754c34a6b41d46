// velm params and velm mem as a script runs them, against a virtual board:
// stdout, stderr, the exit status and the bytes on the wire.

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

const QByteArray kBlock = "FBFDA5A5FE5A5A2C1170FFFF81C3C3C3";
const QByteArray kDocomaxTail = "0xxx" + QByteArray(32, 'D') + "xxx000x000000x0H~";

// `params get` of a block whose fields are, in print order, `values`.
QByteArray fields(const QList<int> &values, const QByteArray &block)
{
    const char *names[] = {"uselimits", "reporton", "mode",       "runonhw",  "runonpb",
                           "runonpu",   "iocon1",   "reportrate", "minpulse", "maxpulse"};
    QByteArray out;
    for (int k = 0; k < values.size(); ++k)
        out += (k < 10 ? QByteArray(names[k]) : "servo" + QByteArray::number(k - 9)) + '=' +
               QByteArray::number(values[k]) + '\n';
    return out + "block=" + block + '\n';
}

} // namespace

Q_DECLARE_METATYPE(Case)

class TestToolsVelm : public QObject
{
    Q_OBJECT

private slots:
    void commands_data()
    {
        QTest::addColumn<Case>("c");
        const QByteArray r1r = "$OV0R1R00000" + kDocomaxTail;
        QTest::newRow("params get: every field and the block")
            << Case{{"params", "get"},
                    r1r,
                    0,
                    fields({1, 0, 3, 1, 0, 1, 0, 44, 4464, 65535, 1, 0, 0, 0, 0, 0, 0, 1}, kBlock),
                    ""};
        // Unnamed bits, mode 3 included, go back as read.
        const QByteArray set = "F3FDA5A5FE5A5A0A1170FFFF01C3C3C3";
        QTest::newRow("params set: read, change, write back")
            << Case{{"params", "set", "uselimits=0", "SERVO8=0", "reportrate=10"},
                    r1r + "$OV0R1W00000" + set + "DDDDxxxxxxxxxxxxxx0H~",
                    0,
                    fields({0, 0, 3, 1, 0, 1, 0, 10, 4464, 65535, 1, 0, 0, 0, 0, 0, 0, 0}, set),
                    ""};
        QTest::newRow("params set: value out of range, nothing sent")
            << Case{{"params", "set", "minpulse=70000"},
                    "",
                    2,
                    "",
                    "velm: params set: minpulse: \"70000\" refused; enter a whole number from 0 to 65535\n"};
        QTest::newRow("mem read a RAM range") << Case{
            {"mem", "read", "--ram", "--count", "2", "65534"}, "-ORFFFEDDH-ORFFFFDDH", 0, "65534 0\n65535 171\n", ""};
        QTest::newRow("mem write EEPROM") << Case{{"mem", "write", "16", "165"}, "-OF0010A5H", 0, "16 165\n", ""};
        QTest::newRow("mem read: range past the top, nothing sent")
            << Case{{"mem", "read", "--count", "3", "65534"},
                    "",
                    2,
                    "",
                    "velm: mem read: --count \"3\" refused; enter a whole number from 1 to 2\n"};
        QTest::newRow("silent board: no link")
            << Case{{"mem", "read", "7"}, "", 3, "", "velm: address 7: no byte came back (Z Unable to connect)\n"};
    }
    void commands()
    {
        QFETCH(Case, c);
        TestRoot root;
        VirtualBoard board;
        QVERIFY(board.start());
        board.updateState([](BoardState &s) {
            s.eeprom.replace(0, 16, QByteArray::fromHex(kBlock));
            s.ram[65535] = char(171);
        });
        if (c.exitCode == 3)
            board.setFault(pvelm::sim::Fault::NoAnswer);
        const VelmRun r = runVelm(QStringList{"--port", board.devicePath()} + c.args);
        QCOMPARE(r.err, c.err);
        QCOMPARE(r.out, c.out);
        QCOMPARE(r.exitCode, c.exitCode);
        QCOMPARE(board.received().replace("&", ""), c.wire);
    }
};

QTEST_GUILESS_MAIN(TestToolsVelm)
#include "tst_toolsvelm.moc"
