// velm run, pause, stop and monitor as a user runs them, and velmsim's
// input commands changing a running program.

#include "run/runcontrol.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <csignal>

#include <QProcess>
#include <QtTest>

using namespace pvelm;

namespace {

QProcessEnvironment shortSeconds()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PVELM_SECOND_MS"), QStringLiteral("40"));
    return env;
}

QString lineOut(const char *notification, const char *mode = "Stopped", int line = 0)
{
    return QStringLiteral("mode=%1 line=%2 position=0 stack=0 loop=0 notification=%3\n")
        .arg(QLatin1String(mode))
        .arg(line)
        .arg(QLatin1String(notification));
}

// Reads lines from a process until one contains `text`.
bool readUntil(QProcess &p, QByteArray &seen, const QByteArray &text)
{
    while (!seen.contains(text)) {
        if (!p.waitForReadyRead(5000))
            return false;
        seen += p.readAllStandardOutput();
    }
    return true;
}

} // namespace

class TestRunVelm : public QObject
{
    Q_OBJECT

private slots:
    void commands_data()
    {
        QTest::addColumn<QStringList>("args"); // "PORT": --port and a board of the test's own
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::addColumn<QByteArray>("wire");

        const QByteArray hs = "&$";
        QTest::newRow("run, monitored: erased flash stops it")
            << QStringList{"--simulate", "run", "--monitor"} << 0 << lineOut("50  Invalid Instruction / Code")
            << QString() << QByteArray();
        QTest::newRow("run at a line") << QStringList{"PORT", "run", "--line", "300"} << 0 << QString() << QString()
                                       << hs + runPacket(300).toLatin1();
        QTest::newRow("pause") << QStringList{"PORT", "pause"} << 0 << QString() << QString()
                               << hs + pausePacket().toLatin1();
        QTest::newRow("stop") << QStringList{"PORT", "stop"} << 0 << QString() << QString()
                              << hs + stopPacket().toLatin1();
        QTest::newRow("line out of range")
            << QStringList{"PORT", "run", "--line", "32768"} << 2 << QString()
            << "velm: run: Line number \"32768\" refused: type a whole number from 0 to 32767\n"
            << QByteArray();
        QTest::newRow("board does not answer")
            << QStringList{"--simulate", "--sim-fault", "no-answer", "stop"} << 3 << QString()
            << "velm: the board did not take the command (Z: Unable to connect)\n"
            << QByteArray();
        QTest::newRow("monitor, no reports")
            << QStringList{"PORT", "monitor"} << 1 << QString() << "velm: no status report arrived\n"
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
            args.replace(0, "--port"), args.insert(1, board.devicePath());
        QProcess velm;
        velm.setProcessEnvironment(shortSeconds());
        velm.start(QStringLiteral(PVELM_BINARY_DIR "/velm"), args);
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
                            QByteArray::fromHex("3203FFFF80FFFFFFFFFFFFFFFFFFFFFF0AFF0000FFFFFFFFFFFFFFFFFFFFFFFF"));
        QVERIFY(writeAllBytes(root.file("board.vbs"), state.serialize()));
        QProcess sim;
        sim.start(QStringLiteral(PVELM_BINARY_DIR "/velmsim"), {"--state", root.file("board.vbs")});
        QVERIFY(sim.waitForReadyRead(5000));
        const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();

        // Monitored until the input is set through velmsim's standard input.
        QProcess velm;
        velm.setProcessEnvironment(shortSeconds());
        velm.start(QStringLiteral(PVELM_BINARY_DIR "/velm"), {"--port", device, "run", "--monitor"});
        QByteArray seen;
        QVERIFY(readUntil(velm, seen, "mode=Running"));
        sim.write("input 3 on\n");
        QVERIFY(sim.waitForBytesWritten(5000));
        QVERIFY(velm.waitForFinished(5000));
        seen += velm.readAllStandardOutput();
        QVERIFY2(seen.endsWith(lineOut("0 - No errors").toLatin1()), seen);
        QCOMPARE(velm.exitCode(), 0);

        // A bad command is refused on velmsim's standard error; then the
        // input goes off again and a run is watched until Ctrl-C.
        sim.write("input 3 maybe\ninput 3 off\n");
        QVERIFY(sim.waitForBytesWritten(5000));
        QByteArray err;
        QVERIFY(QTest::qWaitFor([&] {
            err += sim.readAllStandardError();
            return err.contains("input state maybe is not on or off");
        }));
        velm.start(QStringLiteral(PVELM_BINARY_DIR "/velm"), {"--port", device, "run", "--monitor"});
        seen.clear();
        QVERIFY(readUntil(velm, seen, "mode=Running"));
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
