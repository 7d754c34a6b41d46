// velm run, pause, stop and monitor as a user runs them, and velmsim's input
// commands changing a running program.

#include "run/runcontrol.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <csignal>

#include <QProcess>
#include <QtTest>

using namespace pvelm;

namespace {

const QString kVelm = QStringLiteral(PVELM_BINARY_DIR "/velm");

// The line velm prints for the last report of a program stopped at line 0.
QString stopped(const char *notification)
{
    return QStringLiteral("mode=Stopped line=0 position=0 stack=0 loop=0 notification=%1\n").arg(notification);
}

// Starts velm and waits for its first report line.
bool startMonitored(QProcess &velm, const QString &device)
{
    velm.start(kVelm, {"--port", device, "run", "--monitor"});
    return velm.waitForReadyRead(5000) && velm.readLine().startsWith("mode=Running");
}

} // namespace

class TestRunVelm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("PVELM_SECOND_MS", "40"); }

    void commands_data()
    {
        QTest::addColumn<QStringList>("args"); // "PORT": --port and a board of the test's own
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::addColumn<QByteArray>("wire");

        QTest::newRow("run at a line") << QStringList{"PORT", "run", "--line", "300"} << 0 << QString() << QString()
                                       << "&$" + runPacket(300).toLatin1();
        QTest::newRow("line out of range")
            << QStringList{"PORT", "run", "--line", "32768"} << 2 << QString()
            << "velm: run: Line number \"32768\" refused: type a whole number from 0 to 32767\n"
            << QByteArray();
        QTest::newRow("no answer") << QStringList{"--simulate", "--sim-fault", "no-answer", "stop"} << 3 << QString()
                                   << "velm: the board did not take the command (Z: Unable to connect)\n"
                                   << QByteArray();
    }

    void commands()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(QByteArray, wire);

        TestRoot root;
        sim::VirtualBoard board;
        QVERIFY(board.start());
        if (args.first() == "PORT")
            args = QStringList{"--port", board.devicePath()} + args.mid(1);
        QProcess velm;
        velm.start(kVelm, args);
        QVERIFY(velm.waitForFinished(20000));
        QCOMPARE(QString::fromLatin1(velm.readAllStandardError()), err);
        QCOMPARE(QString::fromLatin1(velm.readAllStandardOutput()), out);
        QCOMPARE(velm.exitCode(), exitCode);
        QCOMPARE(board.received(), wire);
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

        // The input set on velmsim's standard input stops the program.
        QProcess velm;
        QVERIFY(startMonitored(velm, device));
        sim.write("input 3 on\n");
        QVERIFY(sim.waitForBytesWritten(5000) && velm.waitForFinished(5000));
        QVERIFY(velm.readAllStandardOutput().endsWith(stopped("0 - No errors").toLatin1()));
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

QTEST_GUILESS_MAIN(TestRunVelm)
#include "tst_runvelm.moc"
