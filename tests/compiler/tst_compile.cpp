// Whole compiles on real files: the worked example byte for byte, line
// numbering and page flushing, the two label passes, the report, failures and
// hostile input.

#include "compilehelpers.h"
#include "compiler/compiler.h"
#include "support/testenv.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace pvelm::compiler;
using namespace compilertest;

namespace {

const QString kFailure = QString::fromLatin1(kFailureMessage);

QByteArray script(const QList<QByteArray> &lines)
{
    return crlf(lines);
}

// "PPPPP:s,s,..." for each page line: the page field and the slots that hold
// anything but an empty element.
QStringList describePages(const QByteArray &file)
{
    QStringList out;
    for (const QByteArray &line : file.split('\n')) {
        if (line.isEmpty())
            continue;
        QString d = QString::fromLatin1(line.left(5)) + QLatin1Char(':');
        QStringList filled;
        for (int s = 0; s < 16; ++s) {
            if (line.mid(5 + 32 * s, 32) != QByteArray(32, 'F'))
                filled << QString::number(s);
        }
        out << d + filled.join(QLatin1Char(','));
    }
    return out;
}

// The list file without its six report lines.
QList<QByteArray> listBody(const QByteArray &list)
{
    QList<QByteArray> lines = list.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &l : lines)
        l.chop(1); // the CR
    return lines.mid(0, qMax(0, int(lines.size()) - 6));
}

} // namespace

class TestCompile : public QObject
{
    Q_OBJECT

private slots:
    void workedExample();
    void numbering_data();
    void numbering();
    void unresolvedLabelShiftsLaterLines();
    void reportLines();
    void failures_data();
    void failures();
    void mergeFailureShowsOnce();
    void badInput_data();
    void badInput();
    void pathsReadAtEachPass();
    void outputNeverReplacesSource();
};

void TestCompile::workedExample()
{
    TestRoot root;
    Workspace ws(root);
    const QByteArray source =
        script({"/ pick up the part", "ADDRESS 16", "START", "S1 = 1500", "WAIT 250", "GOTO START"});
    const CompileRun r = ws.compile(source);
    QVERIFY(r.ok);
    QVERIFY(r.messages.isEmpty());

    const QByteArray list =
        crlf({"16 label: START 16", "16 Set Servo 1 to 01500", "17 Wait 0250", "18 Goto Line number: 00016",
              "***************** REPORT ****************", "Number of good lines  3", "Number of blank lines  1",
              "Number of Errors & Warnings  0", "Number of Calls  0  Number of returns  0",
              "Number of Dos  0  Number of loops  0"});
    QCOMPARE(r.list, list);
    const QByteArray page = pageLine(1, {{0, "500105DC"}, {1, "28FF00FA"}, {2, "0AFF0010"}});
    QCOMPARE(page.size(), 533);
    QCOMPARE(r.premerged, page + "\r\n");
    QCOMPARE(r.fixup, page + "\r\n");
    QCOMPARE(r.fixup1, QByteArray());
    QCOMPARE(r.hex, page + "\r\n");
    QCOMPARE(r.echo, source);
    QCOMPARE(r.counters.goodlines, 3);
    QCOMPARE(r.counters.blanklines, 1);
}

void TestCompile::numbering_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QStringList>("pages");
    QTest::addColumn<QList<QByteArray>>("listing");

    QTest::newRow("empty file") << QByteArray() << QStringList{"00000:"} << QList<QByteArray>{};

    QList<QByteArray> sixteen, sixteenListing;
    for (int i = 0; i < 16; ++i) {
        sixteen << "WAIT 1";
        sixteenListing << QByteArray::number(i) + " Wait 0001";
    }
    QTest::newRow("full page, then an empty last page")
        << script(sixteen) << QStringList{"00000:0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15", "00001:"} << sixteenListing;

    QTest::newRow("first ADDRESS does not flush")
        << script({"ADDRESS 100", "STOP"}) << QStringList{"00006:4"} << QList<QByteArray>{"100 Stop"};
    QTest::newRow("ADDRESS digits as written, then plain")
        << script({"ADDRESS 0100", "WAIT 1", "WAIT 2"}) << QStringList{"00006:4,5"}
        << QList<QByteArray>{"0100 Wait 0001", "101 Wait 0002"};
    QTest::newRow("two ADDRESS in a row")
        << script({"STOP", "ADDRESS 40", "ADDRESS 80", "STOP"}) << QStringList{"00000:0", "00002:", "00005:0"}
        << QList<QByteArray>{"0 Stop", "80 Stop"};
    QTest::newRow("ADDRESS back into a page")
        << script({"ADDRESS 50", "STOP", "ADDRESS 48", "WAIT 3"}) << QStringList{"00003:2", "00003:0"}
        << QList<QByteArray>{"50 Stop", "48 Wait 0003"};
    QTest::newRow("placeholder keeps its slot empty")
        << script({"WAIT 1", "WAIT 1", "WAIT 1", "WAIT 1", "WAIT 1", "S1=X", "STOP"})
        << QStringList{"00000:0,1,2,3,4,6"}
        << QList<QByteArray>{"0 Wait 0001", "1 Wait 0001",  "2 Wait 0001", "3 Wait 0001",
                             "4 Wait 0001", "5 ERROR S1=X", "6 Stop"};
    QTest::newRow("ignored line keeps the number")
        << script({"WAIT", "STOP"}) << QStringList{"00000:0"}
        << QList<QByteArray>{"********** ERROR - LINE IGNORED **********", ">>>>>> WAIT", "0 Stop"};
    QTest::newRow("label records the address")
        << script({"ADDRESS 200", "HERE", "GOTO HERE"}) << QStringList{"00012:8"}
        << QList<QByteArray>{"200 label: HERE 200", "200 Goto Line number: 00200"};
    QTest::newRow("page field keeps five digits")
        << script({"ADDRESS 1600001", "STOP"}) << QStringList{"00000:1"} << QList<QByteArray>{"1600001 Stop"};
    QTest::newRow("numbers carry into a new digit")
        << script({"ADDRESS 0099", "STOP", "STOP", "ADDRESS 999", "STOP", "STOP"})
        << QStringList{"00006:3,4", "00062:7,8"} << QList<QByteArray>{"0099 Stop", "100 Stop", "999 Stop", "1000 Stop"};
    QTest::newRow("placeholder in slot 15 flushes")
        << script({"ADDRESS 15", "S2=Y", "STOP"}) << QStringList{"00000:", "00001:0"}
        << QList<QByteArray>{"15 ERROR S2=Y", "16 Stop"};
}

void TestCompile::numbering()
{
    QFETCH(QByteArray, source);
    QFETCH(QStringList, pages);
    QFETCH(QList<QByteArray>, listing);
    TestRoot root;
    Workspace ws(root);
    const CompileRun r = ws.compile(source);
    QVERIFY(r.messages.isEmpty());
    QCOMPARE(describePages(r.premerged), pages);
    QCOMPARE(listBody(r.list), listing);
    for (const QByteArray &line : r.premerged.split('\n')) {
        if (!line.isEmpty())
            QCOMPARE(line.size(), 534); // 533 and the CR
    }
}

void TestCompile::unresolvedLabelShiftsLaterLines()
{
    // The first pass numbers GOTO NOWHERE; the second drops it, so LATER
    // moves one line down while the jump before it still holds the first
    // pass's number.
    TestRoot root;
    Workspace ws(root);
    const CompileRun r = ws.compile(script({"GOTO NOWHERE", "GOTO LATER", "LATER", "STOP", "GOTO LATER"}));
    QVERIFY(r.ok);
    QCOMPARE(listBody(r.list),
             (QList<QByteArray>{"********** ERROR - LINE IGNORED **********",
                                ">>>>>> GOTO NOWHERE  >> Cannot Locate Label  NOWHERE", "0 Goto Line number: 00002",
                                "1 label: LATER 1", "1 Stop", "2 Goto Line number: 00001"}));
    QCOMPARE(r.counters.errorbumper, 1);
    QCOMPARE(r.diagnostics.size(), 1);
    QCOMPARE(r.diagnostics.first().sourceLine, 1);
    QVERIFY(r.diagnostics.first().text.contains(QLatin1String("NOWHERE")));
}

void TestCompile::reportLines()
{
    TestRoot root;
    Workspace ws(root);
    QList<QByteArray> lines{"CALL 5", "GOSUB 7", "GOSUB 8", "RETURN", "DO 3", "LOOP", "LOOP", "S1=X", "WAIT", "", "x"};
    for (int i = 0; i < 9; ++i)
        lines << "NOP";
    const CompileRun r = ws.compile(script(lines));
    const QList<QByteArray> all = r.list.split('\n');
    QCOMPARE(all.last(), QByteArray());
    const QByteArray report = r.list.right(r.list.size() - r.list.indexOf("*****************"));
    QCOMPARE(report, crlf({"***************** REPORT ****************", "Number of good lines  17",
                           "Number of blank lines  2", "Number of Errors & Warnings  2",
                           "Number of Calls  3  Number of returns  1", "Number of Dos  1  Number of loops  2"}));
}

void TestCompile::failures_data()
{
    QTest::addColumn<QByteArray>("source"); // "<none>": no source file
    QTest::addColumn<QString>("listPath");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("hexKept");

    const QString list = QStringLiteral("c:\\Corvane\\list.txt");
    QTest::newRow("missing source: once per pass, no merge")
        << QByteArray("<none>") << list << QStringList{kFailure + "0", kFailure + "0"} << false;
    QTest::newRow("list path is a folder")
        << script({"STOP"}) << QStringLiteral("c:\\Corvane") << QStringList{kFailure + "0", kFailure + "0"} << true;
    QTest::newRow("list in a missing folder") << script({"STOP"}) << QStringLiteral("q:\\nowhere\\list.txt")
                                              << QStringList{kFailure + "0", kFailure + "0"} << true;
    QTest::newRow("number too big: element address") << script({"ADDRESS 100", "STOP", "STOP", "WAIT 9999999999"})
                                                     << list << QStringList{kFailure + "102", kFailure + "102"} << true;
    QTest::newRow("ADDRESS without digits")
        << script({"STOP", "ADDRESS NEXT"}) << list << QStringList{kFailure + "1", kFailure + "1"} << true;
    QByteArray labels;
    for (int i = 0; i < 1002; ++i)
        labels += "L" + QByteArray::number(i) + "\r\n";
    QTest::newRow("1002 labels") << labels << list << QStringList{kFailure + "0", kFailure + "0"} << true;
    QTest::newRow("1001 labels are fine") << labels.left(labels.lastIndexOf("L1001")) << list << QStringList{} << true;
}

void TestCompile::failures()
{
    QFETCH(QByteArray, source);
    QFETCH(QString, listPath);
    QFETCH(QStringList, messages);
    QFETCH(bool, hexKept);
    TestRoot root;
    Workspace ws(root);
    ws.paths.list = listPath;
    // Stale work files of an earlier compile.
    writeAllBytes(ws.host("premerged.tmp"), pageLine(7, {{0, "80"}}) + "\r\n");
    writeAllBytes(ws.host("flash.tmp"), pageLine(7, {{0, "80"}}) + "\r\n");
    if (source != "<none>")
        writeAllBytes(ws.host("velm.txt"), source);
    const CompileRun r = ws.run();
    QCOMPARE(r.ok, messages.isEmpty());
    QCOMPARE(r.messages, messages);
    // Whatever the temp hex file holds came from this compile.
    QCOMPARE(QFile::exists(ws.host("flash.tmp")), hexKept);
    QVERIFY(!r.hex.contains("00007"));
}

void TestCompile::mergeFailureShowsOnce()
{
    TestRoot root;
    Workspace ws(root);
    writeAllBytes(ws.host("velm.txt"), script({"STOP", "WAIT 5"}));
    QDir().mkpath(ws.host("hexdir"));
    Compiler c;
    c.setTempHexPath(QStringLiteral("c:\\Corvane\\hexdir"));
    const CompileRun r = ws.run(&c);
    QVERIFY(!r.ok);
    QCOMPARE(r.messages, QStringList{kFailure + "2"});
    QVERIFY(r.list.contains("Number of good lines  2"));
    QCOMPARE(c.failureReasons().size(), 1);
    QVERIFY(c.failureReasons().first().contains(QLatin1String("merge")));
}

void TestCompile::badInput_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<int>("good");
    QTest::addColumn<int>("errors");
    QTest::addColumn<int>("blanks");
    QTest::addColumn<int>("failures");

    const QByteArray million(1000000, 'A');
    QTest::newRow("million-character line") << "STOP\r\n" + million + "\r\nWAIT 1" << 2 << 1 << 0 << 0;
    QTest::newRow("million-character marker") << "MARKER" + QByteArray(1000000, 'b') << 1 << 0 << 0 << 0;
    QTest::newRow("million-character comment") << "STOP /" + million << 1 << 0 << 0 << 0;
    QTest::newRow("million digits") << "S1=" + QByteArray(1000000, '7') << 0 << 0 << 0 << 2;
    QTest::newRow("million zeros are a small number") << "S1=" + QByteArray(1000000, '0') + "5" << 1 << 0 << 0 << 0;
    QTest::newRow("bytes above 127") << QByteArray("\xe9\xe8\xff\r\nGOTO \xe9\xe8\xff\r\nMARKER\xfe\xfd") << 2 << 0 << 0
                                     << 0;
    QTest::newRow("NUL bytes") << QByteArray("\0\0\0\nS1=\0\nWAIT\0 5", 16) << 2 << 2 << 0 << 0;
    QTest::newRow("no line end at the end") << QByteArray("WAIT 1\r\nSTOP") << 2 << 0 << 0 << 0;
    QTest::newRow("CR only") << QByteArray("WAIT 1\rSTOP\r\r") << 2 << 0 << 1 << 0;
    QTest::newRow("LF only") << QByteArray("WAIT 1\nSTOP\n\n") << 2 << 0 << 1 << 0;
    QTest::newRow("empty") << QByteArray() << 0 << 0 << 0 << 0;
    QTest::newRow("only line ends") << QByteArray("\r\n\r\n\n\r") << 0 << 0 << 4 << 0;
}

void TestCompile::badInput()
{
    QFETCH(QByteArray, source);
    QFETCH(int, good);
    QFETCH(int, errors);
    QFETCH(int, blanks);
    QFETCH(int, failures);
    TestRoot root;
    Workspace ws(root);
    QElapsedTimer timer;
    timer.start();
    const CompileRun r = ws.compile(source);
    QVERIFY2(timer.elapsed() < 5000, "a bad line must not slow the compile down");
    QCOMPARE(int(r.messages.size()), failures);
    if (failures)
        return;
    QCOMPARE(r.counters.goodlines, good);
    QCOMPARE(r.counters.errorbumper, errors);
    QCOMPARE(r.counters.blanklines, blanks);
    // Every output line ends in CR LF, and the hex file holds page lines only.
    QVERIFY(!r.hex.isEmpty());
    for (const QByteArray &line : r.hex.split('\n')) {
        if (!line.isEmpty())
            QCOMPARE(line.size(), 534);
    }
    QCOMPARE(r.list.count('\n'), r.list.count("\r\n"));
}

void TestCompile::pathsReadAtEachPass()
{
    TestRoot root;
    Workspace ws(root);
    writeAllBytes(ws.host("velm.txt"), script({"STOP"}));
    Compiler c;
    int calls = 0;
    c.setPathProvider([&] {
        ++calls;
        PassPaths p = ws.paths;
        p.list = QStringLiteral("c:\\Corvane\\list%1.txt").arg(calls);
        return p;
    });
    QVERIFY(c.compile());
    QCOMPARE(calls, 2);
    // The first pass's list file is left as it was; the second holds the listing.
    QVERIFY(readAllBytes(ws.host("list2.txt")).startsWith("0 Stop\r\n"));
    QVERIFY(readAllBytes(ws.host("list1.txt")).startsWith("0 Stop\r\n"));
    QVERIFY(c.compile());
    QCOMPARE(calls, 4);
    QVERIFY(QFile::exists(ws.host("list4.txt")));
}

void TestCompile::outputNeverReplacesSource()
{
    TestRoot root;
    Workspace ws(root);
    const QByteArray source = script({"STOP"});
    writeAllBytes(ws.host("velm.txt"), source);
    ws.paths.list = ws.paths.source;
    const CompileRun r = ws.run();
    QCOMPARE(r.messages, (QStringList{kFailure + "0", kFailure + "0"}));
    QCOMPARE(readAllBytes(ws.host("velm.txt")), source);
}

QTEST_GUILESS_MAIN(TestCompile)
#include "tst_compile.moc"
