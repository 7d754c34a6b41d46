// velm with the board behind Debian's ser2net on 127.0.0.1: the version, a
// download, a flash save and a monitored run go through the socket byte for
// byte, and a server killed mid-download is a lost port: exit 3, at once.

#include "flash/flashpages.h"
#include "settings/hostpaths.h"
#include "sim/virtualboard.h"
#include "support/ser2net.h"
#include "support/testenv.h"

#include <QtTest>

using namespace pvelm;

class TestNetSerial : public QObject
{
    Q_OBJECT

private slots:
    void throughServer()
    {
        if (Ser2net::program().isEmpty())
            QSKIP("ser2net is not installed (scripts/install-deps.sh installs it)");
        TestRoot root;
        sim::VirtualBoard board;
        QVERIFY(board.start());
        board.setBaud(57600); // about 100 ms a flash page
        Ser2net server;
        QVERIFY(server.start(board.devicePath()));
        QElapsedTimer sinceKill;
        const auto velm = [&](const QString &args, int killAfterMs = -1) {
            return runVelm(QStringList{"--port", server.address()} + args.split(' '), killAfterMs, [&] {
                server.kill();
                sinceKill.start();
            });
        };
        QVERIFY(velm("version").out.contains(sim::VirtualBoard::versionText().toLatin1()));

        // Twenty pages downloaded and saved back: the file holds the lines
        // that were written.
        QStringList pages;
        for (int page = 0; page < 20; ++page)
            pages << flash::pageLine(page, QString(512, QLatin1Char("0123456789ABCDEF"[page % 16])) + QString(16, 'F'));
        const QByteArray hex = (pages.join("\r\n") + "\r\n").toLatin1();
        QVERIFY(writeAllBytes(hostpaths::toHost("c:\\Corvane\\flash.tmp"), hex));
        QCOMPARE(velm("download").exitCode, 0);
        QCOMPARE(velm("flash save 0 19 c:\\Corvane\\Flashda.fla").exitCode, 0);
        QCOMPARE(readAllBytes(hostpaths::toHost("c:\\Corvane\\Flashda.fla")), hex);

        // END at line 0: a report, then the board stops.
        board.updateState([](sim::BoardState &s) { s.flash.replace(0, 4, QByteArray::fromHex("0B000000")); });
        const VelmRun run = velm("run --monitor");
        QVERIFY2(run.exitCode == 0 && run.out.startsWith("mode="), run.err.constData());

        const VelmRun lost = velm("download", 600);
        QVERIFY2(lost.exitCode == 3 && lost.err.contains("\nvelm: Error writing controller: "), lost.err.constData());
        QVERIFY(sinceKill.elapsed() < 2000);
    }
};

QTEST_GUILESS_MAIN(TestNetSerial)
#include "tst_netserial.moc"
