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

        // A handshake asked for while a reply is late still goes out at once.
        board.setFault(Fault::LateReply);
        QCOMPARE(client.exchange("&$" + longPacket("R02") + "&", 2, 250), QByteArray("::"));
        QCOMPARE(client.read(64, 2500), versionReply());
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

        // No file leaves the board as it was (bad files: tst_engine).
        QVERIFY(!other.loadState(m_root.file(QStringLiteral("missing.vbs")), &error));
        QVERIFY(other.state() == board.state());
    }

private:
    TestRoot m_root;
};

QTEST_GUILESS_MAIN(TestVirtualBoard)
#include "tst_virtualboard.moc"
