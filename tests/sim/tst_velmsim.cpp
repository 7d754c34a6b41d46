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
