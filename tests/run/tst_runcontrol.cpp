// The report decoding, the monitor read kept off a running exchange's
// reply, and velm run, stop and monitor as a user runs them, with
// velmsim's input commands changing a running program.

#include "link/link.h"
#include "link/packets.h"
#include "run/runcontrol.h"
#include "sim/virtualboard.h"
#include "support/scriptedpeer.h"
#include "support/testenv.h"

#include <csignal>

#include <QProcess>
#include <QtTest>

using namespace pvelm;

namespace {

// Decoded labels in the order the window writes them.
QString shown(const StatusReport &r)
{
    return QStringList{r.position, r.stack, r.loop, r.currentLine, r.mode, r.notification}.join('|');
}

// Starts velm and waits for its first report line.
bool startMonitored(QProcess &velm, const QString &device)
{
    velm.start(QStringLiteral(PVELM_BINARY_DIR "/velm"), {"--port", device, "run", "--monitor"});
    return velm.waitForReadyRead(5000) && velm.readLine().startsWith("mode=Running");
}

} // namespace

class TestRunControl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("PVELM_SECOND_MS", "40"); }

    void decoding_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("labels"); // empty: the read is ignored
        auto row = [](const char *name, const char *raw, const char *labels) { QTest::newRow(name) << raw << labels; };
        row("running", "AB0010000200031000000005", "16|2|3|4|Running|0 - No errors");
        row("paused", "AB0010000200033000000005", "16|2|3|4|Paused|0 - No errors");
        row("bit 5 alone, unknown code", "AB0010000200032045000005", "16|2|3|4|Stopped|");
        row("high bits ignored", "ABFFFF00000000D063000000", "65535|0|0|-1|Running|99  Stack Over/Under Flow");
        row("limit switch", "AB000000000000002A00012C", "0|0|0|299|Stopped|42  Z Limit Switch hit");
        row("not AB", "XB0010000200031000000005", "");
        row("non-hex counter", "AB00G0000200031000000005", "");
    }

    void decoding()
    {
        QFETCH(QString, raw);
        QFETCH(QString, labels);
        const auto report = decodeStatusReport(raw);
        QCOMPARE(report ? shown(*report) : QString(), labels);
    }

    void notificationTexts()
    {
        QStringList texts;
        for (int code : {32, 33, 34, 40, 41, 42, 50, 99})
            texts << notificationText(code);
        QCOMPARE(texts, (QStringList{"32  X Home Switch hit", "33  Y Home Switch hit", "34  Z Home Switch hit",
                                     "40  X Limit Switch hit", "41  Y Limit Switch hit", "42  Z Limit Switch hit",
                                     "50  Invalid Instruction / Code", "99  Stack Over/Under Flow"}));
    }

    void monitorReadLeavesAnExchangeAlone()
    {
        // A monitor read started 150 ms into a rawsender's reply wait (Run
        // pressed during another window's exchange) must not take the reply.
        ScriptedPeer peer;
        QVERIFY(peer.open());
        Link link;
        link.setSecondMs(100);
        link.setPortOverride(peer.devicePath());
        link.opencomport();
        const QByteArray reply = "OV0R15" + QByteArray(55, 'A') + "0H~";
        peer.answer('&', ":");
        peer.answer('$', reply, kLongPacketLength, 300);
        link.linkPacket = QString::fromLatin1(kLongTemplate);
        QString monitorRead = QStringLiteral("unset");
        QTimer::singleShot(150, &link, [&] {
            link.monitoring = true;
            link.readMonitorReply();
            monitorRead = link.linkRawInput;
        });
        QVERIFY(link.rawsender());
        QCOMPARE(monitorRead, QString());
        QCOMPARE(link.linkPacket.toLatin1(), reply);
    }

    void velmCommands()
    {
        TestRoot root;
        sim::VirtualBoard board;
        QVERIFY(board.start());
        // A line past the last program line is refused before anything is
        // sent; the last one itself is taken.
        VelmRun r = runVelm({"--port", board.devicePath(), "run", "--line", "32768"});
        QCOMPARE(r.err, "velm: run: Line number \"32768\" refused: type a whole number from 0 to 32767\n");
        QCOMPARE(r.exitCode, 2);
        r = runVelm({"--port", board.devicePath(), "run", "--line", "32767"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(board.received(), "&$" + runPacket(32767).toLatin1());
        r = runVelm({"--simulate", "--sim-fault", "no-answer", "stop"});
        QCOMPARE(r.err, "velm: the board did not take the command (Z: Unable to connect)\n");
        QCOMPARE(r.exitCode, 3);
    }

    void velmsimInputsAndInterrupt()
    {
        // A program that loops until input 3 is on: IFINPUT 3 STOP, GOTO 0.
        TestRoot root;
        sim::BoardState state;
        state.flash.replace(0, 32,
                            QByteArray::fromHex("3203FFFF80" + QByteArray(22, 'F') + "0AFF0000" + QByteArray(24, 'F')));
        QVERIFY(writeAllBytes(root.file("board.vbs"), state.serialize()));
        QProcess sim;
        sim.start(QStringLiteral(PVELM_BINARY_DIR "/velmsim"), {"--state", root.file("board.vbs")});
        QVERIFY(sim.waitForReadyRead(5000));
        const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();

        // The input set on velmsim's standard input stops the program; the
        // last report line is the stopped program's.
        QProcess velm;
        QVERIFY(startMonitored(velm, device));
        sim.write("input 3 on\n");
        QVERIFY(sim.waitForBytesWritten(5000) && velm.waitForFinished(5000));
        QVERIFY(velm.readAllStandardOutput().endsWith(
            "mode=Stopped line=0 position=0 stack=0 loop=0 notification=0 - No errors\n"));
        QCOMPARE(velm.exitCode(), 0);

        // Input off again: the program runs until Ctrl-C ends the monitor.
        sim.write("input 3 off\n");
        QVERIFY(sim.waitForBytesWritten(5000));
        QTest::qWait(50);
        QVERIFY(startMonitored(velm, device));
        ::kill(pid_t(velm.processId()), SIGINT);
        QVERIFY(velm.waitForFinished(2000));
        QCOMPARE(velm.exitStatus(), QProcess::NormalExit);
        QCOMPARE(velm.exitCode(), 0);
        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));
    }
};

QTEST_GUILESS_MAIN(TestRunControl)
#include "tst_runcontrol.moc"
