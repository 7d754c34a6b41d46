#include "ptyclient.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <QDir>
#include <QTest>

using pvelm::sim::BoardSnapshot;
using pvelm::sim::BoardState;
using pvelm::sim::Fault;
using pvelm::sim::RunMode;
using pvelm::sim::SwitchKind;
using pvelm::sim::VirtualBoard;

namespace {

// "line:leading hex digits" per element, the rest of each "F".
void loadProgram(VirtualBoard &board, const QString &program)
{
    board.updateState([&](BoardState &s) {
        for (const QString &entry : program.split(' ', Qt::SkipEmptyParts)) {
            const int line = entry.section(':', 0, 0).toInt();
            const QByteArray bytes = QByteArray::fromHex(entry.section(':', 1).toLatin1() + QByteArray(32, 'F'));
            s.flash.replace(line / 16 * BoardState::PageBytes + line % 16 * 16, 16, bytes.left(16));
        }
    });
}

} // namespace

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

    void snapshotUnderARunningProgram()
    {
        VirtualBoard board;
        // OUTPUT ON 7; MOVE servo 1 up 100 at 2 a tick; wait for input 3
        // (lines 2-3); then OUTPUT OFF 7, STOP.
        loadProgram(board, "0:40FF0007 1:00FF0010000002 2:3203FFFF0A0005 3:0AFF0002 5:41FF0007 6:80 16:8064");
        QVERIFY(board.start());
        PtyClient client(board.devicePath());
        QVERIFY(client.send("&$" + longPacket("R05")));

        auto snap = [&board] { return board.snapshot(); };
        QTRY_VERIFY(snap().positions[0] > 0x8000 && snap().positions[0] < 0x8064); // moving, seen mid-way
        QVERIFY(snap().outputs[7]);
        QTRY_COMPARE(snap().positions[0], quint16(0x8064));
        QTRY_VERIFY(snap().runLine == 2 || snap().runLine == 3);
        QTest::qWait(50);
        QCOMPARE(snap().runMode, RunMode::Running); // still waiting for the input

        board.setInput(3, true);
        board.setSwitch(1, SwitchKind::Limit, 40000);
        QTRY_COMPARE(snap().runMode, RunMode::Stopped);
        BoardSnapshot s = snap();
        QVERIFY(s.inputs[3] && !s.outputs[7]); // the IFINPUT took the other path
        QCOMPARE(s.limit, (std::array<qint32, 3>{-1, 40000, -1}));
        QVERIFY(s.running && s.reportsOn);
        QCOMPARE(s.reportTicks, 10);

        // A reset keeps the outside world and starts the rest afresh.
        board.resetBoard();
        QTRY_COMPARE(snap().positions[0], quint16(0x8000));
        QVERIFY(snap().inputs[3]);
        QCOMPARE(snap().limit[1], 40000);
    }

    void recording()
    {
        const QString path = m_root.file(QStringLiteral("motion.csv"));
        VirtualBoard board;
        // MOVE servo 1 up 50 at 10 a tick, then STOP.
        loadProgram(board, "0:00FF001000000A 1:80 16:8032");
        QString error;
        QVERIFY2(board.startRecording(path, &error), qPrintable(error));
        QVERIFY(board.start());
        QTest::qWait(50);
        QVERIFY(PtyClient(board.devicePath()).send("&$" + longPacket("R05")));
        QTRY_COMPARE(board.snapshot().positions[0], quint16(0x8032));
        QTRY_COMPARE(board.snapshot().runMode, RunMode::Stopped);
        QTest::qWait(50);
        QVERIFY2(board.stopRecording(&error), qPrintable(error));

        const QList<QByteArray> rows = readAllBytes(path).split('\n');
        QCOMPARE(rows.first(), QByteArray("time_ms,S1,S2,S3,S4,S5,S6,S7,S8,line"));
        QVERIFY(rows.last().isEmpty()); // the last row ends its line
        QList<int> servo1;
        QByteArray lines;
        for (qsizetype i = 1; i < rows.size() - 1; ++i) {
            const QList<QByteArray> cells = rows[i].split(',');
            QCOMPARE(cells.size(), 10);
            QCOMPARE(cells[0].toInt(), 10 * (i - 1)); // a row for every tick, none missed
            QCOMPARE(cells.mid(2, 7), QList<QByteArray>(7, "32768"));
            if (servo1.isEmpty() || servo1.last() != cells[1].toInt())
                servo1 += cells[1].toInt();
            if (!lines.endsWith(cells[9].isEmpty() ? '-' : cells[9].at(0)))
                lines += cells[9].isEmpty() ? '-' : cells[9].at(0);
        }
        // Every step of the move, tick by tick; no line while stopped.
        QCOMPARE(servo1, (QList<int>{32768, 32778, 32788, 32798, 32808, 32818}));
        QCOMPARE(lines, QByteArray("-0-"));
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
