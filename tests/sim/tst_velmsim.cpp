#include "ptyclient.h"
#include "sim/boardengine.h"
#include "support/testenv.h"

#include <memory>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

namespace {

const QString Velmsim = QStringLiteral(PVELM_BINARY_DIR "/velmsim");

// Starts velmsim and waits for the device line it prints.
std::unique_ptr<QProcess> startVelmsim(const QStringList &args, QString *device)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(Velmsim, args);
    while (process->waitForStarted(5000) && !process->canReadLine() && process->waitForReadyRead(5000)) {
    }
    *device = QString::fromLocal8Bit(process->readLine()).trimmed();
    return process;
}

bool endedCleanly(QProcess &process)
{
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

        QString device;
        auto sim = startVelmsim(args, &device);
        QVERIFY(device.startsWith(QLatin1String("/dev/")));
        QCOMPARE(QFileInfo(link).symLinkTarget(), device);
        {
            PtyClient client(link);
            QCOMPARE(client.exchange("&", 1), QByteArray(":"));
            QCOMPARE(client.exchange("$" + longPacket("R02"), 64), versionReply());
            QCOMPARE(client.exchange("#", 1), QByteArray("!"));
            QCOMPARE(client.exchange("$" + pageLine(42, "C3"), 64).left(5), QByteArray("OV0OK"));
        }
        sim->terminate(); // SIGTERM
        QVERIFY(endedCleanly(*sim));
        QVERIFY(!QFileInfo(link).isSymLink());

        // The state was saved at exit; the next run loads it and saves it again.
        const QByteArray saved = readAllBytes(args.last());
        pvelm::sim::BoardState state;
        QVERIFY(state.deserialize(saved));
        QCOMPARE(state.page(42).at(0), char(0xC3));
        sim = startVelmsim(args, &device);
        QVERIFY(!device.isEmpty());
        sim->terminate();
        QVERIFY(endedCleanly(*sim));
        QVERIFY(readAllBytes(args.last()) == saved);
    }

    void endsWhenTheBoardHangsUp()
    {
        QString device;
        auto sim = startVelmsim({"--com", "4", "--fault", "hang-up"}, &device);
        const QString link = m_root.file(QStringLiteral("dosdevices/com4"));
        QVERIFY(PtyClient(link).send("&"));
        QVERIFY(endedCleanly(*sim));
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    void badUsage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("unknown fault") << QStringList{"--fault", "sometimes"};
        QTest::newRow("port out of range") << QStringList{"--com", "10"};
        QTest::newRow("baud not a number") << QStringList{"--baud", "fast"};
        QTest::newRow("unknown option") << QStringList{"--speed"};
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
