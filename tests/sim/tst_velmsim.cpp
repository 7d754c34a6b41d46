#include "ptyclient.h"
#include "sim/boardengine.h"
#include "support/testenv.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

namespace {

const QString Velmsim = QStringLiteral(PVELM_BINARY_DIR "/velmsim");

// Starts velmsim and returns the device line it prints.
QString startVelmsim(QProcess &process, const QStringList &args)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(Velmsim, args);
    while (process.waitForStarted(5000) && !process.canReadLine() && process.waitForReadyRead(5000)) {
    }
    return QString::fromLocal8Bit(process.readLine()).trimmed();
}

// SIGTERM, or the end of a board that hung up, is a normal end.
bool endedCleanly(QProcess &process, bool terminate = true)
{
    if (terminate)
        process.terminate();
    return process.waitForFinished(5000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

class TestVelmsim : public QObject
{
    Q_OBJECT

private slots:
    void comLinkAndState()
    {
        // A stale link from an earlier run is replaced.
        const QString link = m_root.file(QStringLiteral("dosdevices/com3"));
        QVERIFY(QDir().mkpath(m_root.file(QStringLiteral("dosdevices"))));
        QVERIFY(QFile::link(QStringLiteral("/dev/nowhere"), link));
        const QStringList args{"--com", "3", "--state", m_root.file(QStringLiteral("board.vbs"))};

        QProcess sim;
        const QString device = startVelmsim(sim, args);
        QVERIFY(device.startsWith(QLatin1String("/dev/")));
        QCOMPARE(QFileInfo(link).symLinkTarget(), device);
        {
            PtyClient client(link);
            QCOMPARE(client.exchange("&", 1), QByteArray(":"));
            QCOMPARE(client.exchange("$" + longPacket("R02"), 64), versionReply());
            QCOMPARE(client.exchange("#", 1), QByteArray("!"));
            QCOMPARE(client.exchange("$" + pageLine(42, "C3"), 64), pageReply("00042", true));
        }
        QVERIFY(endedCleanly(sim));
        QVERIFY(!QFileInfo(link).isSymLink());

        // The state was saved at exit; the next run loads it and saves it again.
        const QByteArray saved = readAllBytes(args.last());
        pvelm::sim::BoardState state;
        QVERIFY(state.deserialize(saved));
        QCOMPARE(state.page(42).at(0), char(0xC3));
        QProcess again;
        QVERIFY(!startVelmsim(again, args).isEmpty());
        QVERIFY(endedCleanly(again));
        QVERIFY(readAllBytes(args.last()) == saved);
    }

    // The start options land in the board (seen in the state saved at
    // exit) and the recording is written.
    void startOptions_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("board"); // inputs on; home X-Z; limit X-Z
        QTest::newRow("input") << QStringList{"--input", "3=on", "--input", "200=ON"} << "3 200; -1 -1 -1; -1 -1 -1";
        QTest::newRow("switch") << QStringList{"--switch", "x:home=1200", "--switch", "Z:limit=65535"}
                                << "; 1200 -1 -1; -1 -1 65535";
        QTest::newRow("switch off, input off")
            << QStringList{"--switch", "y:home=5", "--switch", "y:home=off", "--input", "7=on", "--input", "7=off"}
            << "; -1 -1 -1; -1 -1 -1";
    }

    void startOptions()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, board);
        const QString state = m_root.file(QStringLiteral("options.vbs"));
        const QString csv = m_root.file(QStringLiteral("motion.csv"));
        QFile::remove(state);
        QProcess sim;
        QVERIFY(!startVelmsim(sim, args + QStringList{"--state", state, "--record", csv}).isEmpty());
        QTest::qWait(100);
        QVERIFY(endedCleanly(sim));

        pvelm::sim::BoardState s;
        QVERIFY(s.deserialize(readAllBytes(state)));
        QStringList on;
        for (int n = 0; n < pvelm::sim::BoardState::IoCount; ++n) {
            if (s.inputs[n])
                on += QString::number(n);
        }
        auto axes = [](const std::array<qint32, 3> &v) {
            return QStringLiteral("%1 %2 %3").arg(v[0]).arg(v[1]).arg(v[2]);
        };
        QCOMPARE(QStringLiteral("%1; %2; %3").arg(on.join(' '), axes(s.program.home), axes(s.program.limit)), board);

        const QList<QByteArray> rows = readAllBytes(csv).split('\n');
        QCOMPARE(rows.first(), QByteArray("time_ms,S1,S2,S3,S4,S5,S6,S7,S8,line"));
        QVERIFY(rows.size() > 3);
        QCOMPARE(rows.at(1), QByteArray("0,32768,32768,32768,32768,32768,32768,32768,32768,"));
    }

    void endsWhenTheBoardHangsUp()
    {
        QProcess sim;
        startVelmsim(sim, {"--com", "4", "--fault", "hang-up"});
        const QString link = m_root.file(QStringLiteral("dosdevices/com4"));
        QVERIFY(PtyClient(link).send("&"));
        QVERIFY(endedCleanly(sim, false));
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    void badUsage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("unknown fault") << QStringList{"--fault", "sometimes"};
        QTest::newRow("port out of range") << QStringList{"--com", "10"};
        QTest::newRow("baud not a number") << QStringList{"--baud", "fast"};
        QTest::newRow("input state") << QStringList{"--input", "3=maybe"};
        QTest::newRow("input number") << QStringList{"--input", "256=on"};
        QTest::newRow("switch without position") << QStringList{"--switch", "x:home"};
        QTest::newRow("switch axis") << QStringList{"--switch", "w:limit=10"};
    }

    void badUsage()
    {
        QFETCH(QStringList, args);
        QProcess sim;
        sim.start(Velmsim, args);
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 2);
        QVERIFY(sim.readAllStandardOutput().isEmpty()); // no device announced
        QVERIFY(!sim.readAllStandardError().isEmpty());
    }

private:
    TestRoot m_root;
};

QTEST_GUILESS_MAIN(TestVelmsim)
#include "tst_velmsim.moc"
