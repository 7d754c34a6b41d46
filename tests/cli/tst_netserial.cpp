// velm with the board behind Debian's ser2net on 127.0.0.1, as a board on a
// network serial server is reached: the version, a download, a flash save
// and a monitored run go through the socket byte for byte as through the
// serial port, and a server that goes away mid-download is a lost port:
// exit 3, at once.

#include "flash/flashpages.h"
#include "settings/hostpaths.h"
#include "sim/virtualboard.h"
#include "support/ser2net.h"
#include "support/testenv.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QtTest>

using namespace pvelm;

class TestNetSerial : public QObject
{
    Q_OBJECT

private slots:
    void throughServer_data()
    {
        // velm's arguments after --port; its exit status and a pattern for
        // its standard error. killAfterMs: ser2net is killed that long into
        // the run.
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("err");
        QTest::addColumn<int>("killAfterMs");
        QTest::newRow("version") << QStringList{"version"} << 0 << "" << -1;
        QTest::newRow("download") << QStringList{"download"} << 0 << "" << -1;
        QTest::newRow("flash save") << QStringList{"flash", "save", "0", "19", "c:\\Corvane\\Flashda.fla"} << 0 << ""
                                    << -1;
        QTest::newRow("run --monitor") << QStringList{"run", "--monitor"} << 0 << "" << -1;
        QTest::newRow("server killed mid-download")
            << QStringList{"download"} << 3 << "velm: Error writing controller: [^\n]*\n"
            << 600;
    }
    void throughServer()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, err);
        QFETCH(int, killAfterMs);
        QString why;
        if (!Ser2net::installed(&why))
            QSKIP(qPrintable(why));
        TestRoot root;
        sim::VirtualBoard board;
        QVERIFY(board.start());
        board.setBaud(57600); // about 100 ms a flash page
        Ser2net server;
        QVERIFY2(server.start(board.devicePath(), &why), qPrintable(why));

        // Twenty pages of a compiled program, each page its own letter.
        QStringList pages;
        for (int page = 0; page < 20; ++page)
            pages << flash::pageLine(page, QString(512, QLatin1Char('A' + page % 6)) + QString(16, 'F'));
        QVERIFY(writeAllBytes(hostpaths::toHost("c:\\Corvane\\flash.tmp"), pages.join("\r\n").toLatin1()));
        if (args.first() == "flash")
            board.updateState([&](sim::BoardState &s) {
                for (int page = 0; page < 20; ++page)
                    s.flash.replace(page * 264, 264, QByteArray(264, char(page)));
            });
        if (args.first() == "run") // END at line 0: one report, then stopped
            board.updateState([](sim::BoardState &s) { s.flash.replace(0, 4, QByteArray::fromHex("0B000000")); });

        QElapsedTimer sinceKill;
        const VelmRun r = runVelm(QStringList{"--port", server.address()} + args, killAfterMs, [&] {
            server.kill();
            sinceKill.start();
        });
        QVERIFY2(r.exitCode == exitCode, r.err.constData());
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(err)).match(r.err).hasMatch(),
                 r.err.constData());
        if (killAfterMs >= 0) {
            QVERIFY2(sinceKill.elapsed() < 2000, qPrintable(QString::number(sinceKill.elapsed())));
            return;
        }
        if (args.first() == "version")
            QVERIFY2(r.out.contains(sim::VirtualBoard::versionText().toLatin1()), r.out.constData());
        if (args.first() == "download") {
            const QByteArray flash = board.state().flash;
            for (int page = 0; page < 20; ++page)
                QCOMPARE(flash.mid(page * 264, 264), QByteArray(256, char(0x11 * (10 + page % 6))) + QByteArray(8, '\xFF'));
        }
        if (args.first() == "flash") {
            // The file holds every page as the board holds it.
            QStringList expected;
            for (int page = 0; page < 20; ++page)
                expected << flash::pageLine(page, QByteArray(264, char(page)).toHex().toUpper());
            QCOMPARE(readAllBytes(hostpaths::toHost("c:\\Corvane\\Flashda.fla")),
                     (expected.join("\r\n") + "\r\n").toLatin1());
        }
        if (args.first() == "run")
            QVERIFY2(r.out.startsWith("mode="), r.out.constData());
    }
};

QTEST_GUILESS_MAIN(TestNetSerial)
#include "tst_netserial.moc"
