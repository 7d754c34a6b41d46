// The virtual board running small programs on its own clock: what each
// opcode group leaves in the board, and the last status report it sent.

#include "run/runcontrol.h"
#include "sim/boardengine.h"

#include <QTest>

using pvelm::sim::BoardEngine;
using pvelm::sim::BoardState;
using pvelm::sim::RunMode;

namespace {

constexpr qint64 kStart = 1000;

// A program: "line:leading hex digits" per element, the rest of each "F".
void load(BoardState &s, const QStringList &program)
{
    for (const QString &entry : program) {
        const int line = entry.section(':', 0, 0).toInt();
        const QByteArray bytes = QByteArray::fromHex((entry.section(':', 1).toLatin1() + QByteArray(32, 'F')).left(32));
        s.flash.replace(line / 16 * BoardState::PageBytes + line % 16 * 16, 16, bytes);
    }
}

// Servos 1-3, DSR1, outputs 0-7 and the switch hit, as one comparable line.
QString summary(const BoardState &s)
{
    QString outputs;
    for (int i = 0; i < 8; ++i)
        outputs += s.outputs[i] ? '1' : '0';
    return QStringLiteral("s=%1,%2,%3 dsr1=%4 out=%5")
        .arg(s.positions[0])
        .arg(s.positions[1])
        .arg(s.positions[2])
        .arg(s.program.dsr[0])
        .arg(outputs);
}

struct Run
{
    BoardEngine engine;
    QByteArray lastReport;
    int reports = 0;
    qint64 now = kStart;

    void send(const QString &packet)
    {
        for (const auto &o : engine.feed("&$" + packet.toLatin1(), now))
            take(o);
    }
    void take(const BoardEngine::Output &o)
    {
        if (o.kind == BoardEngine::OutputKind::Report) {
            lastReport = o.bytes;
            ++reports;
        }
    }
    // Lets the board's clock run, looking at it every millisecond.
    void runFor(qint64 ms)
    {
        for (const qint64 end = now + ms; now < end;) {
            ++now;
            for (const auto &o : engine.poll(now))
                take(o);
        }
    }
};

} // namespace

class TestExecutor : public QObject
{
    Q_OBJECT

private slots:
    void programs_data()
    {
        QTest::addColumn<QStringList>("program");
        QTest::addColumn<QString>("setup"); // board commands, ';' between them
        QTest::addColumn<int>("ms");
        QTest::addColumn<QString>("state");     // summary() afterwards
        QTest::addColumn<QByteArray>("report"); // the last one sent

        const QString idle = QStringLiteral("s=32768,32768,32768 dsr1=0 out=00000000");
        auto row = [&](const char *name, const QStringList &program, const QString &setup, int ms, const QString &state,
                       const QByteArray &report) {
            QTest::newRow(name) << program << setup << ms << (state.isEmpty() ? idle : state) << report;
        };
        // report: AB, position line, stack, loop, status bits, notification, line + 1
        row("stop", {"0:80"}, "", 50, "",
            "AB000000000000"
            "00"
            "00"
            "000001");
        row("nop, marker, goto", {"0:FE", "1:FE48454C4C4F", "2:0AFF0010", "16:80"}, "", 50, "",
            "AB000000000000"
            "00"
            "00"
            "000011");
        row("erased flash", {}, "", 50, "",
            "AB000000000000"
            "00"
            "32"
            "000001");
        row("unknown opcode", {"0:FE", "1:99"}, "", 50, "",
            "AB000000000000"
            "00"
            "32"
            "000002");
        row("call and return", {"0:14FF0010", "1:80", "16:14FF0020", "17:16", "32:16"}, "", 50, "",
            "AB000000000000"
            "00"
            "00"
            "000002");
        row("call into itself overflows", {"0:14FF0000"}, "", 50, "",
            "AB000000100000"
            "00"
            "63"
            "000001");
        row("return without call", {"0:16"}, "", 50, "",
            "AB000000000000"
            "00"
            "63"
            "000001");
        row("do loop counts", {"0:1EFF0003", "1:52200001", "2:20", "3:80"}, "", 50,
            "s=32768,32768,32768 dsr1=3 out=00000000",
            "AB000000000000"
            "00"
            "00"
            "000004");
        row("loop without do", {"0:20"}, "", 50, "",
            "AB000000000000"
            "00"
            "63"
            "000001");
        row("wait holds its line", {"0:28FF000A", "1:80"}, "", 60, "",
            "AB000000000000"
            "12"
            "00"
            "000001");
        row("wait then goes on", {"0:28FF000A", "1:80"}, "", 150, "",
            "AB000000000000"
            "00"
            "00"
            "000002");
        row("input on: goto", {"0:320300010A0010", "1:80", "16:80"}, "input 3 on", 50, "",
            "AB000000000000"
            "00"
            "00"
            "000011");
        row("input off: next line", {"0:320300010A0010", "1:80", "16:80"}, "", 50, "",
            "AB000000000000"
            "00"
            "00"
            "000002");
        row("input on: call", {"0:3207FFFF140010", "1:80", "16:80"}, "input 7 on", 50, "",
            "AB000000010000"
            "00"
            "00"
            "000011");
        row("input on: stop", {"0:3205FFFF80", "1:40"}, "input 5 on", 50, "",
            "AB000000000000"
            "00"
            "00"
            "000001");
        row("outputs", {"0:40FF0003", "1:40FF0005", "2:41FF0003", "3:80"}, "", 50,
            "s=32768,32768,32768 dsr1=0 out=00000100",
            "AB000000000000"
            "00"
            "00"
            "000004");
        row("registers", {"0:50010064", "1:52010005", "2:54010003", "3:54200001", "4:80"}, "", 50,
            "s=102,32768,32768 dsr1=65535 out=00000000",
            "AB000000000000"
            "00"
            "00"
            "000005");
        row("move on its way", {"0:500103E8", "1:00FF00C8000064", "2:80", "200:05DC"}, "", 32,
            "s=1300,32768,32768 dsr1=0 out=00000000",
            "AB00C800000000"
            "11"
            "00"
            "000002");
        row("move arrives", {"0:500103E8", "1:00FF00C8000064", "2:80", "200:05DC"}, "", 80,
            "s=1500,32768,32768 dsr1=0 out=00000000",
            "AB00C800000000"
            "00"
            "00"
            "000003");
        row("rate from a register", {"0:50200064", "1:500103E8", "2:00FF00C802", "3:80", "200:05DC"}, "", 80,
            "s=1500,32768,32768 dsr1=100 out=00000000",
            "AB00C800000000"
            "00"
            "00"
            "000004");
        row("home switch X", {"0:500105DC", "1:00FF00C8000064", "2:80", "200:03E8"}, "switch x home 1200", 80,
            "s=1200,32768,32768 dsr1=0 out=00000000",
            "AB00C800000000"
            "00"
            "20"
            "000002");
        row("limit switch Y", {"0:500205DC", "1:00FF00C8000064", "2:80", "200:FFFF0BB8"}, "switch y limit 2000", 150,
            "s=32768,2000,32768 dsr1=0 out=00000000",
            "AB00C800000000"
            "00"
            "29"
            "000002");
    }

    void programs()
    {
        QFETCH(QStringList, program);
        QFETCH(QString, setup);
        QFETCH(int, ms);
        QFETCH(QString, state);
        QFETCH(QByteArray, report);

        Run run;
        BoardState &s = run.engine.state();
        s.params[7] = 1; // a report every 10 ms
        load(s, program);
        for (const QString &command : setup.split(';', Qt::SkipEmptyParts)) {
            QString error;
            QVERIFY2(pvelm::sim::applyBoardCommand(s, command, &error), qPrintable(error));
        }
        run.send(pvelm::runPacket(0));
        run.runFor(ms);
        QCOMPARE(summary(s), state);
        QCOMPARE(run.lastReport, report);
    }

    void pauseResumeStopAndReportRate()
    {
        // WAIT 20 (200 ms): paused after 50 ms for a second, the wait has
        // 150 ms left when it resumes. Reports come every 100 ms (the
        // default rate), one more tells of the stop, then none.
        Run run;
        load(run.engine.state(), {"0:28FF0014", "1:28FFFFFF"});
        run.send(pvelm::runPacket(0));
        run.runFor(50);
        run.send(pvelm::pausePacket());
        run.runFor(1000);
        QCOMPARE(run.lastReport.mid(14, 2), QByteArray("32")); // paused and waiting
        run.send(pvelm::runPacket(0));
        run.runFor(140);
        QCOMPARE(run.engine.state().runLine, 0u);
        run.runFor(20);
        QCOMPARE(run.engine.state().runLine, 1u);
        QCOMPARE(run.reports, 1 + 11 + 2);
        run.send(pvelm::stopPacket());
        run.runFor(500);
        QCOMPARE(run.reports, 15);
        QCOMPARE(run.lastReport, QByteArray("AB000000000000"
                                            "00"
                                            "00"
                                            "000002"));
    }
};

QTEST_GUILESS_MAIN(TestExecutor)
#include "tst_executor.moc"
