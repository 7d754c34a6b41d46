#include "ptyclient.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <QDir>
#include <QTest>

using pvelm::sim::BoardState;
using pvelm::sim::Fault;
using pvelm::sim::RunMode;
using pvelm::sim::VirtualBoard;

class TestVirtualBoard : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("minMs"); // request written to reply complete
        QTest::addColumn<int>("maxMs");
        // 9600 baud: 65 characters in take 68 ms, 64 out take 67 ms.
        QTest::newRow("9600") << 9600 << 125 << 600;
        QTest::newRow("unpaced") << 0 << 0 << 100;
    }

    void roundTrip()
    {
        QFETCH(int, baud);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        VirtualBoard board;
        board.setBaud(baud);
        QVERIFY(board.start());

        // The console closes and reopens its port (setup's "Re-Connect"); the
        // board must still be there, also after replying while nobody listened.
        PtyClient(board.devicePath()).send("&$" + longPacket("R02"));
        QTest::qWait(50);
        PtyClient client(board.devicePath());
        client.read(1000, 200); // whatever was left on the line

        QCOMPARE(client.exchange("&", 1), QByteArray(":"));
        QCOMPARE(client.exchange("$" + longPacket("R02"), 64), versionReply());
        QVERIFY2(client.lastByteMs >= minMs && client.lastByteMs <= maxMs,
                 qPrintable(QString::number(client.lastByteMs)));
        QCOMPARE(client.exchange("#", 1), QByteArray("!"));
        QCOMPARE(client.exchange("$" + pageLine(9, "A5"), 64), pageReply("00009", true));
    }

    void faults_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QByteArray>("frame");    // sent after "&"
        QTest::addColumn<QByteArray>("expected"); // the answer to "&", then to the frame
        QTest::addColumn<int>("minReplyMs");
        auto row = [](const char *name, Fault fault, const QByteArray &frame, const QByteArray &expected,
                      int minMs = -1) { QTest::newRow(name) << int(fault) << frame << expected << minMs; };
        const QByteArray r02 = "$" + longPacket("R02");
        row("none", Fault::None, r02, ":" + versionReply());
        row("no answer", Fault::NoAnswer, r02, "");
        row("wrong answer", Fault::WrongAnswer, "#", "??");
        row("short reply", Fault::ShortReply, r02, ":" + versionReply().left(32));
        // A handshake asked for while a reply is late still goes out at once.
        row("late reply", Fault::LateReply, r02 + "&", "::" + versionReply(), 280);
        // Noise of the right length, never mistaken for a handshake answer.
        row("garbage", Fault::Garbage, r02, QByteArray(65, '?'));
    }

    void faults()
    {
        QFETCH(int, fault);
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, expected);
        QFETCH(int, minReplyMs);
        VirtualBoard board;
        board.setFault(Fault(fault));
        board.setLateReplyMs(300);
        QVERIFY(board.start());
        PtyClient client(board.devicePath());

        QByteArray got = client.exchange("&", 1, 300);
        QVERIFY2(client.lastByteMs < 200, "handshakes are never delayed");
        // At least a whole reply's worth, so a reply longer than expected shows.
        got += client.exchange(frame, std::max<int>(64, expected.size() - got.size()), 500);
        QVERIFY2(client.lastByteMs >= minReplyMs, qPrintable(QString::number(client.lastByteMs)));
        if (Fault(fault) == Fault::Garbage) {
            QCOMPARE(got.size(), expected.size());
            QVERIFY2(!got.contains(':') && !got.contains('!') && !got.contains("Version"), got.constData());
        } else {
            QCOMPARE(got, expected);
        }
        QCOMPARE(board.received(), "&" + frame); // whatever it shows, the board heard everything

        // Switching the fault off brings the plain board back at once.
        board.setFault(Fault::None);
        client.read(1000, 50);
        QCOMPARE(client.exchange("&", 1), QByteArray(":"));
    }

    void hangUp()
    {
        VirtualBoard board;
        QVERIFY(board.start());
        const QString device = board.devicePath();
        PtyClient client(device);
        QCOMPARE(client.exchange("&", 1), QByteArray(":"));

        board.setFault(Fault::HangUp);
        QVERIFY(board.isRunning()); // hangs up on the next character, not before
        QVERIFY(client.exchange("&", 1, 1000).isEmpty());
        QVERIFY(client.failed);
        QTRY_VERIFY(!board.isRunning());
        QVERIFY(!PtyClient(device).send("&"));

        // Starting again gives a fresh line.
        board.setFault(Fault::None);
        QVERIFY(board.start());
        QCOMPARE(PtyClient(board.devicePath()).exchange("&", 1), QByteArray(":"));
    }

    void saveAndLoad()
    {
        const QString path = m_root.file(QStringLiteral("state/board.vbs"));
        QVERIFY(writeAllBytes(path, "an older file"));

        VirtualBoard board;
        board.updateState([](BoardState &s) {
            s.flash[100 * BoardState::PageBytes] = 0x5A;
            s.eeprom[0xFFFF] = 0x42;
            s.ram[0x1234] = 0x17;
            s.params[15] = char(0x99);
            s.positions[7] = 65535;
            s.inputs[3] = true;
            s.outputs[200] = true;
            s.runMode = RunMode::Paused;
            s.runLine = 300;
        });
        QString error;
        QVERIFY2(board.saveState(path, &error), qPrintable(error));
        // Replaced whole, with no temporary file left beside it.
        QCOMPARE(QDir(m_root.file(QStringLiteral("state"))).entryList(QDir::Files),
                 QStringList{QStringLiteral("board.vbs")});
        QVERIFY(readAllBytes(path).startsWith("PVELMSIM"));

        VirtualBoard other;
        QVERIFY2(other.loadState(path, &error), qPrintable(error));
        QVERIFY(other.state() == board.state());

        // A file that is not a state, or no file, leaves the board as it was.
        QVERIFY(writeAllBytes(path, readAllBytes(path).left(1000)));
        QVERIFY(!other.loadState(path, &error));
        QVERIFY(!other.loadState(m_root.file(QStringLiteral("missing.vbs")), &error));
        QVERIFY(other.state() == board.state());
    }

private:
    TestRoot m_root;
};

QTEST_GUILESS_MAIN(TestVirtualBoard)
#include "tst_virtualboard.moc"
