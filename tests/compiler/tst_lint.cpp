// The check after the compile: one row per warning and per case that must
// not warn, each compiled on real files, and the compile's files byte for
// byte the same after the check.

#include "compilehelpers.h"
#include "compiler/lint.h"

#include <QtTest>

using namespace pvelm::compiler;
using namespace compilertest;

class TestLint : public QObject
{
    Q_OBJECT

private slots:
    void warnings_data()
    {
        QTest::addColumn<QByteArray>("source"); // a script, or an example's file name
        QTest::addColumn<QStringList>("expected");
        auto row = [](const char *name, const QByteArray &source, const QStringList &expected = {}) {
            QTest::newRow(name) << source << expected;
        };
        row("misspelt WAIT", "STOP\r\nwiat 100\r\n", {"2: label WIAT100 is never used: did you mean WAIT?"});
        row("GOTO with a letter too many", "GOTTO MAIN\nMAIN\nGSUB MAIN\n",
            {"1: label GOTTOMAIN is never used: did you mean GOTO?",
             "3: label GSUBMAIN is never used: did you mean GOSUB?"});
        row("used or unlike any keyword", "GOTO STEP\nSTEP\nIFINPUT 1 GOSUB LOPP\nLOPP\nMAIN\nDEPOSIT\n");

        row("cut to 16 bits", "WAIT 70000\nS3+65536\nPOSITION S2=1 S1=65537\n",
            {"1: WAIT 70000 is cut to its 16-bit field: the board gets 4464",
             "2: S3+65536 is cut to its 16-bit field: the board gets 0",
             "3: POSITION S1=65537 is cut to its 16-bit field: the board gets 1"});
        row("cut to 8 bits", "IFINPUT 300 STOP\n",
            {"1: IFINPUT input 300 is cut to its 8-bit field: the board gets 44"});
        row("clamped", "POSITION S1=1\nMOVE 0 RATE=70000\nMOVE 0 TABLE=251\nIFINPUT 1 = 99999999999 GOSUB 65536\n",
            {"2: MOVE rate 70000 is above 65535: the board gets 65535",
             "3: MOVE table 251 is above 250: the board gets 255",
             "4: IFINPUT value 99999999999 is above 65535: the board gets 65535",
             "4: IFINPUT GOSUB 65536 is above 65535: the board gets 65535"});
        // The number the statement reads, not just any number on the line.
        row("the field the compiler fills",
            "POSITION S1=1\nMOVE 0 RATE=70000 RATE=DSR1\nIFINPUT 1 GOTO 70000 GOSUB 70000\n",
            {"3: IFINPUT GOTO 70000 is cut to its 16-bit field: the board gets 4464"});
        row("numbers that fit", "POSITION S1=1\nMOVE 0 TABLE=250\nMOVE 0 RATE=65535\nOUTPUT 300 ON\n"
                                "WAIT 00000065535\nIFINPUT 255 = 65535 GOSUB 65535\n");
        row("too big: an error, no warning", "STOP\nWAIT 99999999999\n");

        row("MOVE to no POSITION", "MOVE 1\nWAIT 5\nMOVE 40000\n",
            {"1: MOVE to line 1: no POSITION writes that line", "3: MOVE to line 40000: no POSITION writes that line"});
        // Line 16 as the page merge leaves it: the later block wins.
        row("MOVE to a POSITION written over", "MOVE 16\nADDRESS 16\nPOSITION S1=1\nADDRESS 16\nWAIT 3\n",
            {"1: MOVE to line 16: no POSITION writes that line"});
        row("MOVE to a POSITION in a later block", "MOVE 32\nADDRESS 32\nPOSITION S1=1\nADDRESS 32\nOUTPUT 3\n");

        row("DO without LOOP", "DO 2\nDO 3\nWAIT 1\nLOOP\n", {"1: DO with no LOOP after it"});
        row("DO with LOOP", "DO 2\nWAIT 1\nLOOP\n");

        row("a line with an error", "MOVE 3 RATE=\nDONE\n");
        row("pick and place", "pick_and_place.txt");
        row("address blocks", "address_blocks.txt");
        row("errors", "errors.txt");
    }
    void warnings()
    {
        QFETCH(QByteArray, source);
        QFETCH(QStringList, expected);
        if (source.endsWith(".txt"))
            source = readAllBytes(QStringLiteral(PVELM_SOURCE_DIR "/examples/") + QLatin1String(source));
        TestRoot root;
        const Workspace ws(root);
        Compiler c;
        const CompileRun r = ws.compile(source, &c);
        const QStringList files{"list.txt", "premerged.tmp", "fixup.tmp", "fixup1.tmp", "flash.tmp"};
        QList<QByteArray> before;
        for (const QString &f : files)
            before << readAllBytes(ws.host(f));

        QStringList got;
        for (const Warning &w : lint(c, source))
            got << QStringLiteral("%1: %2").arg(w.sourceLine).arg(w.text);
        QCOMPARE(got, expected);
        for (qsizetype i = 0; i < files.size(); ++i)
            QCOMPARE(readAllBytes(ws.host(files.at(i))), before.at(i));
        QCOMPARE(c.counters().errorbumper, r.counters.errorbumper);
    }
};

QTEST_GUILESS_MAIN(TestLint)
#include "tst_lint.moc"
