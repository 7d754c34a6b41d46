// Whole compiles on real files: the worked example byte for byte, line
// numbering and page flushing, the two label passes, the report, failures and
// hostile input.

#include "compilehelpers.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace pvelm::compiler;
using namespace compilertest;

namespace {

const QString kFailure = QString::fromLatin1(kFailureMessage);

// "PPPPP:s,s,..." for each page line: the page field and the slots that hold
// anything but an empty element; a line of the wrong length says so.
QStringList describePages(const QByteArray &file)
{
    QStringList out;
    for (const QByteArray &line : file.split('\n')) {
        if (line.isEmpty())
            continue;
        QStringList filled;
        for (int s = 0; s < 16; ++s) {
            if (line.mid(5 + 32 * s, 32) != QByteArray(32, 'F'))
                filled << QString::number(s);
        }
        out << QString::fromLatin1(line.left(5)) + ':' + filled.join(',') + (line.size() == 534 ? "" : " bad length");
    }
    return out;
}

// The list file without its line ends and its six report lines.
QList<QByteArray> listBody(const QByteArray &list)
{
    QList<QByteArray> lines = list.split('\n');
    for (QByteArray &l : lines)
        l.chop(1); // the CR
    return lines.mid(0, qMax(0, int(lines.size()) - 7));
}

} // namespace

class TestCompile : public QObject
{
    Q_OBJECT

private slots:
    void workedExample();
    void numbering_data();
    void numbering();
    void unresolvedLabelShiftsLaterLines_data();
    void unresolvedLabelShiftsLaterLines();
    void reportLines();
    void failures_data();
    void failures();
    void badInput_data();
    void badInput();
};

void TestCompile::workedExample()
{
    TestRoot root;
    Workspace ws(root);
    const QByteArray source =
        crlf({"/ pick up the part", "ADDRESS 16", "START", "S1 = 1500", "WAIT 250", "GOTO START"});
    const CompileRun r = ws.compile(source);
    QVERIFY(r.ok);
    QVERIFY(r.messages.isEmpty());
    QCOMPARE(r.list, crlf({"16 label: START 16", "16 Set Servo 1 to 01500", "17 Wait 0250",
                           "18 Goto Line number: 00016", "***************** REPORT ****************",
                           "Number of good lines  3", "Number of blank lines  1", "Number of Errors & Warnings  0",
                           "Number of Calls  0  Number of returns  0", "Number of Dos  0  Number of loops  0"}));
    const QByteArray page = crlf({pageLine(1, {{0, "500105DC"}, {1, "28FF00FA"}, {2, "0AFF0010"}})});
    QCOMPARE(r.premerged, page);
    QCOMPARE(r.fixup, page);
    QCOMPARE(r.fixup1, QByteArray());
    QCOMPARE(r.hex, page);
    QCOMPARE(r.echo, source);
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
        << crlf(sixteen) << QStringList{"00000:0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15", "00001:"} << sixteenListing;
    QTest::newRow("two ADDRESS in a row flush an empty page")
        << crlf({"STOP", "ADDRESS 40", "ADDRESS 80", "STOP"}) << QStringList{"00000:0", "00002:", "00005:0"}
        << QList<QByteArray>{"0 Stop", "80 Stop"};
    QTest::newRow("ADDRESS back into a page")
        << crlf({"ADDRESS 50", "STOP", "ADDRESS 48", "WAIT 3"}) << QStringList{"00003:2", "00003:0"}
        << QList<QByteArray>{"50 Stop", "48 Wait 0003"};
    QTest::newRow("placeholder keeps its slot empty") << crlf({"WAIT 1", "S1=X", "STOP"}) << QStringList{"00000:0,2"}
                                                      << QList<QByteArray>{"0 Wait 0001", "1 ERROR S1=X", "2 Stop"};
    QTest::newRow("placeholder in slot 15 flushes")
        << crlf({"ADDRESS 15", "S2=Y", "STOP"}) << QStringList{"00000:", "00001:0"}
        << QList<QByteArray>{"15 ERROR S2=Y", "16 Stop"};
    QTest::newRow("page field keeps five digits")
        << crlf({"ADDRESS 1600001", "STOP"}) << QStringList{"00000:1"} << QList<QByteArray>{"1600001 Stop"};
    // Digits as written after ADDRESS, plain decimal after each increment.
    QTest::newRow("numbers carry into a new digit")
        << crlf({"ADDRESS 0099", "STOP", "STOP", "ADDRESS 999", "STOP", "STOP"})
        << QStringList{"00006:3,4", "00062:7,8"} << QList<QByteArray>{"0099 Stop", "100 Stop", "999 Stop", "1000 Stop"};
}

void TestCompile::numbering()
{
    QFETCH(QByteArray, source);
    QFETCH(QStringList, pages);
    QFETCH(QList<QByteArray>, listing);
    TestRoot root;
    const CompileRun r = Workspace(root).compile(source);
    QVERIFY(r.messages.isEmpty());
    QCOMPARE(describePages(r.premerged), pages);
    QCOMPARE(listBody(r.list), listing);
}

void TestCompile::unresolvedLabelShiftsLaterLines_data()
{
    QTest::addColumn<QByteArray>("jump");
    QTest::newRow("goto") << QByteArray("GOTO NOWHERE");
    QTest::newRow("gosub") << QByteArray("GOSUB NOWHERE");
    QTest::newRow("ifinput goto") << QByteArray("IFINPUT1GOTONOWHERE");
    QTest::newRow("ifinput gosub") << QByteArray("IFINPUT1GOSUBNOWHERE");
}

void TestCompile::unresolvedLabelShiftsLaterLines()
{
    // The first pass numbers the jump; the second drops it, so LATER moves
    // one line down while the jump before it still holds the first pass's
    // number.
    QFETCH(QByteArray, jump);
    TestRoot root;
    const CompileRun r = Workspace(root).compile(crlf({jump, "GOTO LATER", "LATER", "STOP", "GOTO LATER"}));
    QVERIFY(r.ok);
    QCOMPARE(listBody(r.list),
             (QList<QByteArray>{"********** ERROR - LINE IGNORED **********",
                                ">>>>>> " + jump + "  >> Cannot Locate Label  NOWHERE", "0 Goto Line number: 00002",
                                "1 label: LATER 1", "1 Stop", "2 Goto Line number: 00001"}));
    QCOMPARE(r.counters.errorbumper, 1);
    QCOMPARE(r.counters.callcount, 0);
    QCOMPARE(r.diagnostics.size(), 1);
    QCOMPARE(r.diagnostics.first().sourceLine, 1);
}

void TestCompile::reportLines()
{
    TestRoot root;
    QList<QByteArray> lines{"CALL 5", "GOSUB 7", "GOSUB 8", "RETURN", "DO 3", "LOOP", "LOOP", "S1=X", "WAIT", "", "x"};
    for (int i = 0; i < 9; ++i)
        lines << "NOP";
    const CompileRun r = Workspace(root).compile(crlf(lines));
    QVERIFY(
        r.list.endsWith(crlf({"***************** REPORT ****************", "Number of good lines  17",
                              "Number of blank lines  2", "Number of Errors & Warnings  2",
                              "Number of Calls  3  Number of returns  1", "Number of Dos  1  Number of loops  2"})));
}

void TestCompile::failures_data()
{
    QTest::addColumn<QByteArray>("source"); // "<none>": no source file
    QTest::addColumn<QString>("listPath");
    QTest::addColumn<QString>("hexPath");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("hexKept");

    const QString list = QStringLiteral("c:\\Corvane\\list.txt");
    const QString hex = QStringLiteral("c:\\Corvane\\flash.tmp");
    const QStringList atZero{kFailure + "0", kFailure + "0"};
    QTest::newRow("missing source: once per pass, no merge") << QByteArray("<none>") << list << hex << atZero << false;
    QTest::newRow("list path is a folder") << crlf({"STOP"}) << QStringLiteral("c:\\Corvane") << hex << atZero << true;
    QTest::newRow("list would replace the source")
        << crlf({"STOP"}) << QStringLiteral("c:\\Corvane\\velm.txt") << hex << atZero << false;
    QTest::newRow("number too big: element address") << crlf({"ADDRESS 100", "STOP", "STOP", "WAIT 9999999999"}) << list
                                                     << hex << QStringList{kFailure + "102", kFailure + "102"} << true;
    QTest::newRow("ADDRESS without digits")
        << crlf({"STOP", "ADDRESS NEXT"}) << list << hex << QStringList{kFailure + "1", kFailure + "1"} << true;
    QTest::newRow("merge cannot write: once")
        << crlf({"STOP", "WAIT 5"}) << list << QStringLiteral("c:\\Corvane") << QStringList{kFailure + "2"} << true;
    QByteArray labels;
    for (int i = 0; i < 1002; ++i)
        labels += "L" + QByteArray::number(i) + "\r\n";
    QTest::newRow("1002 labels") << labels << list << hex << atZero << true;
    QTest::newRow("1001 labels are fine")
        << labels.left(labels.lastIndexOf("L1001")) << list << hex << QStringList{} << true;
}

void TestCompile::failures()
{
    QFETCH(QByteArray, source);
    QFETCH(QString, listPath);
    QFETCH(QString, hexPath);
    QFETCH(QStringList, messages);
    QFETCH(bool, hexKept);
    TestRoot root;
    Workspace ws(root);
    ws.paths.list = listPath;
    // Stale work files of an earlier compile.
    writeAllBytes(ws.host("premerged.tmp"), crlf({pageLine(7, {{0, "80"}})}));
    writeAllBytes(ws.host("flash.tmp"), crlf({pageLine(7, {{0, "80"}})}));
    if (source != "<none>")
        writeAllBytes(ws.host("velm.txt"), source);
    Compiler c;
    c.setTempHexPath(hexPath);
    const CompileRun r = ws.run(&c);
    QCOMPARE(r.ok, messages.isEmpty());
    QCOMPARE(r.messages, messages);
    // Whatever the temp hex file holds came from this compile.
    QCOMPARE(QFile::exists(ws.host("flash.tmp")), hexKept);
    if (hexPath.endsWith("flash.tmp"))
        QVERIFY(!r.hex.contains("00007"));
    if (source != "<none>")
        QCOMPARE(readAllBytes(ws.host("velm.txt")), source);
}

void TestCompile::badInput_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QList<int>>("counts"); // good, errors, blank; empty when both passes fail

    const QByteArray million(1000000, 'A');
    QTest::newRow("million-character line") << "STOP\r\n" + million + "\r\nWAIT 1" << QList<int>{2, 1, 0};
    QTest::newRow("million-character marker") << "MARKER" + QByteArray(1000000, 'b') << QList<int>{1, 0, 0};
    QTest::newRow("million digits fail the passes") << "S1=" + QByteArray(1000000, '7') << QList<int>{};
    QTest::newRow("bytes above 127") << QByteArray("\xe9\xe8\xff\r\nGOTO \xe9\xe8\xff\r\nMARKER\xfe\xfd")
                                     << QList<int>{2, 0, 0};
    QTest::newRow("NUL bytes") << QByteArray("\0\0\0\nS1=\0\nWAIT\0 5", 16) << QList<int>{2, 2, 0};
    QTest::newRow("no line end at the end, CR and LF") << QByteArray("WAIT 1\rSTOP\n\r\nSTOP") << QList<int>{3, 0, 1};
}

void TestCompile::badInput()
{
    QFETCH(QByteArray, source);
    QFETCH(QList<int>, counts);
    TestRoot root;
    QElapsedTimer timer;
    timer.start();
    const CompileRun r = Workspace(root).compile(source);
    QVERIFY2(timer.elapsed() < 5000, "a bad line must not slow the compile down");
    QCOMPARE(r.messages.size(), counts.isEmpty() ? 2 : 0);
    if (counts.isEmpty())
        return;
    QCOMPARE((QList<int>{r.counters.goodlines, r.counters.errorbumper, r.counters.blanklines}), counts);
    // Whole page lines only, and every list line ends in CR LF.
    QVERIFY(!describePages(r.hex).join(' ').contains("bad length"));
    QCOMPARE(r.list.count('\n'), r.list.count("\r\n"));
}

QTEST_GUILESS_MAIN(TestCompile)
#include "tst_compile.moc"
