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
    if (!process->waitForStarted(5000))
        return process;
    while (!process->canReadLine() && process->waitForReadyRead(5000)) {
    }
    *device = QString::fromLocal8Bit(process->readLine()).trimmed();
    return process;
}

} // namespace

class TestVelmsim : public QObject
{
    Q_OBJECT

private slots:
    void comLinkLifecycle();
    void stateSurvivesRestart();
    void endsWhenTheBoardHangsUp();
    void badUsage_data();
    void badUsage();

private:
    TestRoot m_root;
};

void TestVelmsim::comLinkLifecycle()
{
    // A stale link from an earlier run is replaced.
    const QString link = m_root.file(QStringLiteral("dosdevices/com3"));
    QVERIFY(QDir().mkpath(m_root.file(QStringLiteral("dosdevices"))));
    QVERIFY(QFile::link(QStringLiteral("/dev/nowhere"), link));

    QString device;
    auto sim = startVelmsim({QStringLiteral("--com"), QStringLiteral("3")}, &device);
    QVERIFY(device.startsWith(QLatin1String("/dev/")));
    QCOMPARE(QFileInfo(link).symLinkTarget(), device);

    {
        PtyClient client(link);
        QVERIFY(client.isOpen());
        QCOMPARE(client.exchange("&", 1), QByteArray(":"));
        QCOMPARE(client.exchange("$" + docomaxPacket("R02"), 64), versionReply());
    }

    sim->terminate(); // SIGTERM
    QVERIFY(sim->waitForFinished(5000));
    QCOMPARE(sim->exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim->exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestVelmsim::stateSurvivesRestart()
{
    const QString state = m_root.file(QStringLiteral("board.vbs"));
    QString device;
    auto sim = startVelmsim({QStringLiteral("--state"), state}, &device);
    {
        PtyClient client(device);
        QCOMPARE(client.exchange("#", 1), QByteArray("!"));
        QCOMPARE(client.exchange("$" + pageLine(42, "C3"), 64).left(5), QByteArray("OV0OK"));
    }
    sim->terminate();
    QVERIFY(sim->waitForFinished(5000));
    QCOMPARE(sim->exitCode(), 0);

    pvelm::sim::BoardState saved;
    QVERIFY(saved.deserialize(readAllBytes(state)));
    QCOMPARE(saved.page(42).at(0), char(0xC3));

    // The next run starts from the saved state and saves it again.
    sim = startVelmsim({QStringLiteral("--state"), state}, &device);
    QVERIFY(!device.isEmpty());
    sim->terminate();
    QVERIFY(sim->waitForFinished(5000));
    pvelm::sim::BoardState again;
    QVERIFY(again.deserialize(readAllBytes(state)));
    QVERIFY(again == saved);
}

void TestVelmsim::endsWhenTheBoardHangsUp()
{
    QString device;
    auto sim = startVelmsim(
        {QStringLiteral("--com"), QStringLiteral("4"), QStringLiteral("--fault"), QStringLiteral("hang-up")}, &device);
    const QString link = m_root.file(QStringLiteral("dosdevices/com4"));
    QVERIFY(QFileInfo(link).isSymLink());
    PtyClient client(link);
    QVERIFY(client.send("&"));
    QVERIFY(sim->waitForFinished(5000));
    QCOMPARE(sim->exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestVelmsim::badUsage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("unknown fault") << QStringList{QStringLiteral("--fault"), QStringLiteral("sometimes")};
    QTest::newRow("port out of range") << QStringList{QStringLiteral("--com"), QStringLiteral("10")};
    QTest::newRow("baud not a number") << QStringList{QStringLiteral("--baud"), QStringLiteral("fast")};
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--speed")};
}

void TestVelmsim::badUsage()
{
    QFETCH(QStringList, args);
    QProcess sim;
    sim.start(Velmsim, args);
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 2);
    QVERIFY(sim.readAllStandardOutput().isEmpty()); // no device announced
    QVERIFY(!sim.readAllStandardError().isEmpty());
}

QTEST_GUILESS_MAIN(TestVelmsim)
#include "tst_velmsim.moc"
