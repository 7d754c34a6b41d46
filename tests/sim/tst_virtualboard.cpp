#include "ptyclient.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

using pvelm::sim::BoardState;
using pvelm::sim::Fault;
using pvelm::sim::VirtualBoard;

class TestVirtualBoard : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip();
    void consoleMayCloseAndReopen();
    void faults_data();
    void faults();
    void lateReply();
    void hangUp();
    void pacing_data();
    void pacing();
    void saveAndLoad();

private:
    TestRoot m_root;
};

void TestVirtualBoard::roundTrip()
{
    VirtualBoard board;
    QString error;
    QVERIFY2(board.start(&error), qPrintable(error));
    QVERIFY(board.isRunning());
    QVERIFY(board.devicePath().startsWith(QLatin1String("/dev/")));

    PtyClient client(board.devicePath());
    QVERIFY(client.isOpen());
    QCOMPARE(client.exchange("&", 1), QByteArray(":"));
    QCOMPARE(client.exchange("$" + docomaxPacket("R02"), 64), versionReply());
    QCOMPARE(client.exchange("#", 1), QByteArray("!"));
    const QByteArray line = pageLine(9, "A5");
    QCOMPARE(client.exchange("$" + line, 64).left(5), QByteArray("OV0OK"));

    QCOMPARE(board.received(), "&$" + docomaxPacket("R02") + "#$" + line);
    QCOMPARE(board.state().page(9).left(3), QByteArray("\xA5\xA5\xA5"));
    board.clearReceived();
    QVERIFY(board.received().isEmpty());

    board.stop();
    QVERIFY(!board.isRunning());
}

void TestVirtualBoard::consoleMayCloseAndReopen()
{
    // The console closes and reopens its port (setup's "Re-Connect"); the
    // board must still be there, also for replies sent while nobody listened.
    VirtualBoard board;
    QVERIFY(board.start());
    {
        PtyClient first(board.devicePath());
        QVERIFY(first.send("&$" + docomaxPacket("R02")));
    }
    QTest::qWait(100);
    QVERIFY(board.isRunning());
    PtyClient second(board.devicePath());
    QVERIFY(second.isOpen());
    second.read(1000, 100); // whatever was left on the line
    QCOMPARE(second.exchange("&", 1), QByteArray(":"));
    QCOMPARE(second.exchange("$" + docomaxPacket("R02"), 64), versionReply());
}

void TestVirtualBoard::faults_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QByteArray>("attention");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("answer"); // expected, or "" for none
    QTest::addColumn<QByteArray>("reply");  // expected, or "" for none
    QTest::addColumn<bool>("noise");        // answer and reply are noise of the right length

    const QByteArray r02 = "$" + docomaxPacket("R02");
    QTest::newRow("none") << int(Fault::None) << QByteArray("&") << r02 << QByteArray(":") << versionReply() << false;
    QTest::newRow("no answer") << int(Fault::NoAnswer) << QByteArray("&") << r02 << QByteArray() << QByteArray()
                               << false;
    QTest::newRow("wrong answer to &") << int(Fault::WrongAnswer) << QByteArray("&") << QByteArray() << QByteArray("?")
                                       << QByteArray() << false;
    QTest::newRow("wrong answer to #") << int(Fault::WrongAnswer) << QByteArray("#") << QByteArray() << QByteArray("?")
                                       << QByteArray() << false;
    QTest::newRow("short reply") << int(Fault::ShortReply) << QByteArray("&") << r02 << QByteArray(":")
                                 << versionReply().left(32) << false;
    QTest::newRow("garbage") << int(Fault::Garbage) << QByteArray("&") << r02 << QByteArray(1, '.')
                             << QByteArray(64, '.') << true;
}

void TestVirtualBoard::faults()
{
    QFETCH(int, fault);
    QFETCH(QByteArray, attention);
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, reply);
    QFETCH(bool, noise);

    VirtualBoard board;
    board.setFault(Fault(fault));
    QCOMPARE(int(board.fault()), fault);
    QVERIFY(board.start());
    PtyClient client(board.devicePath());

    const QByteArray gotAnswer = client.exchange(attention, answer.isEmpty() ? 1 : answer.size(), 300);
    QByteArray gotReply;
    if (!frame.isEmpty())
        gotReply = client.exchange(frame, 64, 300); // waits the full time when the reply is short or missing
    if (noise) {
        QCOMPARE(gotAnswer.size(), answer.size());
        QCOMPARE(gotReply.size(), reply.size());
        QVERIFY(gotAnswer != ":");
        QVERIFY(gotReply != versionReply());
        QVERIFY(!gotReply.contains(':') && !gotReply.contains('!'));
    } else {
        QCOMPARE(gotAnswer, answer);
        QCOMPARE(gotReply, reply);
    }
    // Whatever it shows, the board heard everything.
    QCOMPARE(board.received(), attention + frame);

    // Switching the fault off brings the plain board back at once.
    board.setFault(Fault::None);
    client.read(1000, 50);
    QCOMPARE(client.exchange("&", 1), QByteArray(":"));
}

void TestVirtualBoard::lateReply()
{
    VirtualBoard board;
    board.setFault(Fault::LateReply);
    board.setLateReplyMs(400);
    QVERIFY(board.start());
    PtyClient client(board.devicePath());
    QCOMPARE(client.exchange("&", 1, 300), QByteArray(":"));
    QVERIFY2(client.lastByteMs < 200, "the handshake is not delayed");
    QCOMPARE(client.exchange("$" + docomaxPacket("R02"), 64, 2000), versionReply());
    QVERIFY2(client.firstByteMs >= 380, qPrintable(QString::number(client.firstByteMs)));
    // A console that retried meanwhile gets its handshake at once, ahead of
    // the late reply.
    client.send("&$" + docomaxPacket("R02"));
    QCOMPARE(client.exchange("&", 2, 300), QByteArray("::"));
    QCOMPARE(client.read(64, 2000), versionReply());
}

void TestVirtualBoard::hangUp()
{
    VirtualBoard board;
    QVERIFY(board.start());
    const QString device = board.devicePath();
    PtyClient client(device);
    QCOMPARE(client.exchange("&", 1), QByteArray(":"));

    board.setFault(Fault::HangUp);
    QVERIFY(board.isRunning()); // hangs up on the next character, not before
    QVERIFY(client.send("&"));
    QVERIFY(client.read(1, 1000).isEmpty());
    QVERIFY(client.failed());
    QTRY_VERIFY(!board.isRunning());
    QVERIFY(!PtyClient(device).isOpen() || !PtyClient(device).send("&"));
    QCOMPARE(board.received(), QByteArray("&&"));

    // Starting again gives a fresh line.
    board.setFault(Fault::None);
    QVERIFY(board.start());
    PtyClient again(board.devicePath());
    QCOMPARE(again.exchange("&", 1), QByteArray(":"));
}

void TestVirtualBoard::pacing_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("minReplyMs"); // first to last reply character
    QTest::addColumn<int>("minTotalMs"); // request written to reply complete
    QTest::addColumn<int>("maxTotalMs");
    // 9600 baud: 65 characters in take 68 ms, 64 out take 67 ms.
    QTest::newRow("9600") << 9600 << 55 << 125 << 600;
    QTest::newRow("unpaced") << 0 << 0 << 0 << 100;
}

void TestVirtualBoard::pacing()
{
    QFETCH(int, baud);
    QFETCH(int, minReplyMs);
    QFETCH(int, minTotalMs);
    QFETCH(int, maxTotalMs);
    VirtualBoard board;
    board.setBaud(baud);
    QCOMPARE(board.baud(), baud);
    QVERIFY(board.start());
    PtyClient client(board.devicePath());
    QCOMPARE(client.exchange("&", 1), QByteArray(":"));
    QCOMPARE(client.exchange("$" + docomaxPacket("R02"), 64), versionReply());
    const qint64 spread = client.lastByteMs - client.firstByteMs;
    QVERIFY2(spread >= minReplyMs, qPrintable(QString::number(spread)));
    QVERIFY2(client.lastByteMs >= minTotalMs && client.lastByteMs <= maxTotalMs,
             qPrintable(QString::number(client.lastByteMs)));
}

void TestVirtualBoard::saveAndLoad()
{
    const QString path = m_root.file(QStringLiteral("state/board.vbs"));
    QDir().mkpath(QFileInfo(path).absolutePath());
    QVERIFY(writeAllBytes(path, "an older file"));

    VirtualBoard board;
    QVERIFY(board.start());
    {
        PtyClient client(board.devicePath());
        QCOMPARE(client.exchange("#", 1), QByteArray("!"));
        QCOMPARE(client.exchange("$" + pageLine(100, "5A"), 64).left(5), QByteArray("OV0OK"));
        QCOMPARE(client.exchange("&", 1), QByteArray(":"));
        client.send("$OV0R0500012Cxxx" + QByteArray(32, 'D') + QByteArray(14, 'x') + "0H~");
        QTRY_COMPARE(board.state().runLine, quint32(300));
    }
    board.updateState([](BoardState &s) {
        s.eeprom[0xFFFF] = 0x42;
        s.ram[0x1234] = 0x17;
        s.params[15] = char(0x99);
        s.positions[7] = 65535;
        s.inputs[3] = true;
        s.outputs[200] = true;
    });
    QString error;
    QVERIFY2(board.saveState(path, &error), qPrintable(error));
    // Replaced whole, with no temporary file left beside it.
    QCOMPARE(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files), QStringList{QStringLiteral("board.vbs")});
    QVERIFY(readAllBytes(path).startsWith("PVELMSIM"));

    VirtualBoard other;
    QVERIFY2(other.loadState(path, &error), qPrintable(error));
    QVERIFY(other.state() == board.state());
    QCOMPARE(other.state().page(100).at(0), char(0x5A));

    // A file that is not a state leaves the board as it was.
    const QString bad = m_root.file(QStringLiteral("state/bad.vbs"));
    QVERIFY(writeAllBytes(bad, readAllBytes(path).left(1000)));
    QVERIFY(!other.loadState(bad, &error));
    QVERIFY(!other.loadState(m_root.file(QStringLiteral("missing.vbs")), &error));
    QVERIFY(other.state() == board.state());
}

QTEST_GUILESS_MAIN(TestVirtualBoard)
#include "tst_virtualboard.moc"
