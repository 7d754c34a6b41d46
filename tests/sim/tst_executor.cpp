// The virtual board running small programs on its own clock: what each
// opcode group leaves in the board, and the last status report it sent.

#include "run/runcontrol.h"
#include "sim/boardengine.h"

#include <QTest>

using namespace pvelm::sim;

namespace {

struct Board
{
    BoardEngine engine;
    QByteArray lastReport;
    int reports = 0;
    qint64 now = 1000;

    // "line:leading hex digits" per element, the rest of each "F".
    void load(const QString &program)
    {
        for (const QString &entry : program.split(' ', Qt::SkipEmptyParts)) {
            const int line = entry.section(':', 0, 0).toInt();
            const QByteArray bytes = QByteArray::fromHex((entry.section(':', 1).toLatin1() + QByteArray(32, 'F')));
            engine.state().flash.replace(line / 16 * BoardState::PageBytes + line % 16 * 16, 16, bytes.left(16));
        }
    }
    void send(const QString &packet) { take(engine.feed("&$" + packet.toLatin1(), now)); }
    void take(const BoardEngine::Outputs &outputs)
    {
        for (const auto &o : outputs)
            if (o.kind == BoardEngine::OutputKind::Report)
                lastReport = o.bytes, ++reports;
    }
    // Lets the board's clock run, looking every millisecond.
    void runFor(qint64 ms)
    {
        for (const qint64 end = now + ms; now < end;)
            take(engine.poll(++now));
    }
    // Servos 1-3, DSR1 and outputs 7 down to 0.
    QString summary() const
    {
        const BoardState &s = engine.state();
        const QString outputs = QString::fromStdString(s.outputs.to_string()).right(8);
        return QStringLiteral("%1,%2,%3 %4 ")
                   .arg(s.positions[0])
                   .arg(s.positions[1])
                   .arg(s.positions[2])
                   .arg(s.program.dsr[0]) +
               outputs;
    }
};

} // namespace

class TestExecutor : public QObject
{
    Q_OBJECT

private slots:
    void programs_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("setup"); // a board command, as velmsim takes it
        QTest::addColumn<int>("ms");
        QTest::addColumn<QString>("state");     // summary(); empty: untouched
        QTest::addColumn<QByteArray>("report"); // AB, position, stack, loop, bits, notification, line + 1

        auto row = [](const char *name, const char *program, const char *setup, int ms, const char *state,
                      const char *report) {
            QTest::newRow(name) << program << setup << ms << (*state ? state : "32768,32768,32768 0 00000000")
                                << QByteArray(report);
        };
        row("nop, marker, goto, stop", "0:FE 1:FE48454C4C4F 2:0AFF0010 16:80", "", 50, "", "AB0000000000000000000011");
        row("unknown opcode", "0:FE 1:99", "", 50, "", "AB0000000000000032000002");
        row("call and return", "0:14FF0010 1:80 16:14FF0020 17:16 32:16", "", 50, "", "AB0000000000000000000002");
        row("call overflows", "0:14FF0000", "", 50, "", "AB0000001000000063000001");
        row("return underflows", "0:16", "", 50, "", "AB0000000000000063000001");
        row("do loop", "0:1EFF0003 1:52200001 2:20 3:80", "", 50, "32768,32768,32768 3 00000000",
            "AB0000000000000000000004");
        row("wait holds its line", "0:28FF000A 1:80", "", 60, "", "AB0000000000001200000001");
        row("input on: goto", "0:320300010A0010 1:80 16:80", "input 3 on", 50, "", "AB0000000000000000000011");
        row("input on: call", "0:3207FFFF140010 1:80 16:80", "input 7 on", 50, "", "AB0000000100000000000011");
        row("outputs and registers",
            "0:40FF0003 1:40FF0005 2:41FF0003 3:50010064 4:52010005 5:54010003 6:54200001 7:80", "", 50,
            "102,32768,32768 65535 00100000", "AB0000000000000000000008");
        row("move on its way", "0:500103E8 1:00FF00C8000064 2:80 200:05DC", "", 32, "1300,32768,32768 0 00000000",
            "AB00C8000000001100000002");
        row("move rate from DSR1", "0:50200064 1:500103E8 2:00FF00C802 3:80 200:05DC", "", 80,
            "1500,32768,32768 100 00000000", "AB00C8000000000000000004");
        // Servos 1-3 from 1000 toward 1500, three ticks. Speed table 3 (line
        // 32003): 10, 20 and 0 (at once) counts a tick; never written: DSR1's 7.
        // Rate element at 640: 10, 20, none (DSR1's 5).
        const char *fromThousand = "0:500103E8 1:500203E8 2:500303E8 3:50200007 200:05DC05DC05DC ";
        row("move with a speed table", (QByteArray(fromThousand) + "4:00FF00C8010003 5:80 32003:0A1400").constData(),
            "", 35, "1030,1060,1500 7 00000000", "AB00C8000000001100000005");
        row("move with an erased speed table",
            (QByteArray(fromThousand) + "4:00FF00C8010004 5:80 32003:0A1400").constData(), "", 35,
            "1021,1021,1021 7 00000000", "AB00C8000000001100000005");
        row("move with a rate element",
            (QByteArray(fromThousand) + "4:50200005 5:00FF00C8050280 6:80 640:000A0014FFFF").constData(), "", 36,
            "1030,1060,1015 5 00000000", "AB00C8000000001100000006");
        row("home switch X", "0:500105DC 1:00FF00C8000064 2:80 200:03E8", "switch x home 1200", 80,
            "1200,32768,32768 0 00000000", "AB00C8000000000020000002");
        row("limit switch Y", "0:500205DC 1:00FF00C8000064 2:80 200:FFFF0BB8", "switch y limit 2000", 150,
            "32768,2000,32768 0 00000000", "AB00C8000000000029000002");
    }

    void programs()
    {
        QFETCH(QString, program);
        QFETCH(QString, setup);
        QFETCH(int, ms);
        QFETCH(QString, state);
        QFETCH(QByteArray, report);

        Board b;
        b.engine.state().params[7] = 1; // a report every 10 ms
        b.load(program);
        QVERIFY(setup.isEmpty() || applyBoardCommand(b.engine.state(), setup, nullptr));
        b.send(pvelm::runPacket(0));
        b.runFor(ms);
        QCOMPARE(b.summary(), state);
        QCOMPARE(b.lastReport, report);
    }

    void pauseKeepsTheRestOfAWait()
    {
        // WAIT 20 (200 ms), paused after 50 ms for a second: 150 ms remain.
        Board b;
        b.load("0:28FF0014 1:28FFFFFF");
        b.send(pvelm::runPacket(0));
        b.runFor(50);
        b.send(pvelm::pausePacket());
        b.runFor(1000);
        QCOMPARE(b.lastReport.mid(14, 2), QByteArray("32")); // paused, waiting
        b.send(pvelm::runPacket(0));
        b.runFor(140);
        QCOMPARE(b.engine.state().runLine, 0u);
        b.runFor(20);
        QCOMPARE(b.engine.state().runLine, 1u);
        const int before = b.reports;
        QVERIFY(before >= 13 && before <= 14); // every 100 ms, paused or not
        b.send(pvelm::stopPacket());
        b.runFor(500);
        QCOMPARE(b.reports, before + 1); // one for the stop, then none
        QCOMPARE(b.lastReport, QByteArray("AB0000000000000000000002"));
    }
};

QTEST_GUILESS_MAIN(TestExecutor)
#include "tst_executor.moc"
