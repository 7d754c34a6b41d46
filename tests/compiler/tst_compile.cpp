// Whole compiles on real files: the worked example byte for byte, line
// numbering and page flushing, the two label passes, failures and hostile
// input; which source line wrote each program line, and the report the
// editor lists; the demo program a newcomer gets, which is the
// pick-and-place example. And the page merge on its own: one line per page
// in first-seen order, overlays laid over in file order, empty (FF-leading)
// slots never copied; too many lines for its tables, or a line that is no
// page line, refused.

#include "compilehelpers.h"
#include "compiler/demoprogram.h"
#include "compiler/pagemerge.h"
#include "compiler/sourcemap.h"
#include "flash/flashpages.h"
#include "settings/hostpaths.h"

#include <sys/resource.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QtTest>

using namespace pvelm::compiler;
using namespace compilertest;

namespace {

const QString kFailure = QString::fromLatin1(kFailureMessage);
const QByteArray kPlain = "S1=1500\r\nWAIT 250\r\n";

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

// An example's name, or a script given inline.
QByteArray script(const QByteArray &source)
{
    if (source.endsWith(".txt"))
        return readAllBytes(QStringLiteral(PVELM_SOURCE_DIR "/examples/") + QLatin1String(source));
    return source;
}

// The list file without its line ends and its six report lines.
QList<QByteArray> listBody(const QByteArray &list)
{
    QList<QByteArray> lines = list.split('\n');
    for (QByteArray &l : lines)
        l.chop(1); // the CR
    return lines.mid(0, qMax(0, int(lines.size()) - 7));
}

struct MergeFiles
{
    explicit MergeFiles(const TestRoot &root) : root(root) {}
    QString path(const char *name) const { return root.file(QString::fromLatin1(name)); }
    bool run(const QByteArray &premerged)
    {
        writeAllBytes(path("premerged.tmp"), premerged);
        const bool ok =
            merge.run(path("premerged.tmp"), path("fixup.tmp"), path("fixup1.tmp"), path("flash.tmp"), &why);
        fixup = readAllBytes(path("fixup.tmp"));
        fixup1 = readAllBytes(path("fixup1.tmp"));
        hex = readAllBytes(path("flash.tmp"));
        return ok;
    }
    const TestRoot &root;
    PageMerge merge;
    QString why;
    QByteArray fixup, fixup1, hex;
};

} // namespace

class TestCompile : public QObject
{
    Q_OBJECT

private slots:
    void workedExample();
    void numbering_data();
    void numbering();
    void failures_data();
    void failures();
    void badInput_data();
    void badInput();
    void refusals_data();
    void refusals();
    void programLineToSourceLine_data();
    void programLineToSourceLine();
    void reportInSourceOrder();
    void secondCompileMatchesFresh();
    void demoIsThePickAndPlaceExample();
    void mergeOverlays();
    void mergeLimits_data();
    void mergeLimits();
};

void TestCompile::workedExample()
{
    TestRoot root;
    Workspace ws(root);
    const QByteArray source =
        crlf({"/ pick up the part", "ADDRESS 16", "START", "S1 = 1500", "WAIT 250", "GOTO START"});
    const CompileRun r = ws.compile(source);
    QVERIFY(r.messages.isEmpty());
    QCOMPARE(r.list, crlf({"16 label: START 16", "16 Set Servo 1 to 01500", "17 Wait 0250",
                           "18 Goto Line number: 00016", "***************** REPORT ****************",
                           "Number of good lines  3", "Number of blank lines  1", "Number of Errors & Warnings  0",
                           "Number of Calls  0  Number of returns  0", "Number of Dos  0  Number of loops  0"}));
    const QByteArray page = crlf({pageLine(1, {{0, "500105DC"}, {1, "28FF00FA"}, {2, "0AFF0010"}})});
    QCOMPARE(r.premerged, page);
    QCOMPARE(r.hex, page);
    QCOMPARE(r.echo, source);
}

void TestCompile::numbering_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QStringList>("pages");
    QTest::addColumn<QList<QByteArray>>("listing");

    QTest::newRow("empty file") << QByteArray() << QStringList{"00000:"} << QList<QByteArray>{};
    QList<QByteArray> sixteenListing;
    for (int i = 0; i < 16; ++i)
        sixteenListing << QByteArray::number(i) + " Wait 0001";
    QTest::newRow("full page, then an empty last page")
        << crlf(QList<QByteArray>(16, "WAIT 1")) << QStringList{"00000:0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15", "00001:"}
        << sixteenListing;
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
    // The first pass numbers a jump to an unknown label; the second drops
    // it, so LATER moves one line down while the jump before it still holds
    // the first pass's number.
    for (const QByteArray jump : {"GOTO NOWHERE", "GOSUB NOWHERE", "IFINPUT1GOTONOWHERE", "IFINPUT1GOSUBNOWHERE"})
        QTest::addRow("unknown label: %s", jump.constData())
            << crlf({jump, "GOTO LATER", "LATER", "STOP", "GOTO LATER"}) << QStringList{"00000:0,1,2"}
            << QList<QByteArray>{"********** ERROR - LINE IGNORED **********",
                                 ">>>>>> " + jump + "  >> Cannot Locate Label  NOWHERE",
                                 "0 Goto Line number: 00002",
                                 "1 label: LATER 1",
                                 "1 Stop",
                                 "2 Goto Line number: 00001"};
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
    QTest::newRow("number too big: its address, and the pass stops")
        << crlf({"ADDRESS 100", "STOP", "STOP", "WAIT 9999999999", "ADDRESS NEXT"}) << list << hex
        << QStringList{kFailure + "102", kFailure + "102"} << true;
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
    // LF CR is two line ends, CR LF one.
    QTest::newRow("no line end at the end, CR and LF")
        << QByteArray("WAIT 1\rSTOP\n\rSTOP\r\nSTOP") << QList<int>{4, 0, 1};
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

void TestCompile::refusals_data()
{
    // The paths (the list "hard" or "sym": c:\Corvane\list.txt made a link
    // to the source), the source's bytes, and what the one message says;
    // empty when the file compiles as the plain script does.
    for (const char *column : {"source", "list", "hex"})
        QTest::addColumn<QString>(column);
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    const QString v = "c:\\Corvane\\velm.txt", l = "c:\\Corvane\\list.txt", h = "c:\\Corvane\\flash.tmp";
    const auto row = [&](const char *name, const QString &message, const QByteArray &bytes = kPlain,
                         const QString &source = {}, const QString &list = {}, const QString &hex = {}) {
        QTest::newRow(name) << (source.isEmpty() ? v : source) << (list.isEmpty() ? l : list)
                            << (hex.isEmpty() ? h : hex) << bytes << message;
    };
    const QString isV = " is the source file " + v;
    QByteArray utf16("\xFF\xFE");
    for (char ch : kPlain)
        utf16 += QByteArray(1, ch) + '\0';
    row("temp hex is the source", "temp hex file " + v + isV, kPlain, v, l, v);
    row("temp hex in other letters", "temp hex file C:\\CORVANE\\VELM.TXT" + isV, kPlain, v, l,
        "C:\\CORVANE\\VELM.TXT");
    row("list is a hard link", "list file " + l + isV, kPlain, v, "hard");
    row("list is a symbolic link", "list file " + l + isV, kPlain, v, "sym");
    row("source at fixup.tmp", "work file c:\\Corvane\\fixup.tmp is the source file c:\\Corvane\\fixup.tmp", kPlain,
        "c:\\Corvane\\fixup.tmp");
    row("UTF-16", "velm.txt is UTF-16 text", utf16);
    row("UTF-16 without a mark", "velm.txt is not 8-bit text", utf16.mid(2));
    row("UTF-32", "velm.txt is UTF-32 text", QByteArray("\0\0\xFE\xFFS", 5));
    row("/dev/zero", "/dev/zero is larger than any program the board can hold (16777216 bytes)", {}, "/dev/zero");
    row("UTF-8 mark dropped", {}, "\xEF\xBB\xBF" + kPlain);
}

void TestCompile::refusals()
{
    QFETCH(QString, source);
    QFETCH(QString, list);
    QFETCH(QString, hex);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    TestRoot root;
    Workspace ws(root);
    const QString sourceHost = pvelm::hostpaths::toHost(source);
    QVERIFY(source.startsWith("/dev") || writeAllBytes(sourceHost, bytes));
    if (list == "hard")
        QCOMPARE(::link(QFile::encodeName(sourceHost), QFile::encodeName(ws.host("list.txt"))), 0);
    else if (list == "sym")
        QVERIFY(QFile::link(sourceHost, ws.host("list.txt")));
    else
        ws.paths.list = list;
    ws.paths.source = source;
    Compiler c;
    c.setTempHexPath(hex);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const long peak = usage.ru_maxrss;
    QElapsedTimer timer;
    timer.start();
    const CompileRun r = ws.run(&c);
    QVERIFY2(timer.elapsed() < 1000, "within a second");
    getrusage(RUSAGE_SELF, &usage);
    QVERIFY2(usage.ru_maxrss - peak < 100 * 1024, "under 100 MB");
    if (message.isEmpty()) {
        QCOMPARE(r.hex, Workspace(root).compile(kPlain).hex);
        return;
    }
    QCOMPARE(r.messages.size(), 1);
    QVERIFY2(r.messages.first().startsWith("Not compiled: ") && r.messages.first().contains(message),
             qPrintable(r.messages.first()));
    QVERIFY(!QFile::exists(ws.host("premerged.tmp")));
    QVERIFY(source.startsWith("/dev") || readAllBytes(sourceHost) == bytes);
    QStringList lines;
    QString why; // the download's and the flash utility's reader is bounded too
    QVERIFY(!pvelm::flash::readPageLines("/dev/zero", &lines, &why) && why.contains("(2097152 bytes)"));
}

void TestCompile::programLineToSourceLine_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<int>("programLine");
    QTest::addColumn<int>("sourceLine"); // 0: nothing was written there

    QTest::newRow("a label takes no line") << QByteArray("address_blocks.txt") << 1 << 10;
    QTest::newRow("between blocks") << QByteArray("address_blocks.txt") << 5 << 0;
    // Placeholders take their line; ignored lines do not.
    QTest::newRow("ignored placeholder") << QByteArray("errors.txt") << 0 << 4;
    QTest::newRow("after ignored lines") << QByteArray("errors.txt") << 8 << 15;
    // An empty element (opcode FF) or a placeholder from a later block does
    // not replace what an earlier block wrote, as in the page merge...
    QTest::newRow("later empty element") << QByteArray("ADDRESS 0\nS1=5\nADDRESS 0\nOUTPUT 3\n") << 0 << 2;
    QTest::newRow("later placeholder") << QByteArray("ADDRESS 0\nS1=5\nADDRESS 0\nS2=X\n") << 0 << 2;
    // ...but stands when nothing else wrote the line.
    QTest::newRow("earlier empty element") << QByteArray("OUTPUT 3\nADDRESS 0\nS1=5\n") << 0 << 3;
    QTest::newRow("only empty elements") << QByteArray("OUTPUT 3\nADDRESS 0\nOUTPUT 4\n") << 0 << 1;
    QTest::newRow("beyond the board's lines") << QByteArray("ADDRESS 32768\nSTOP\n") << 32768 << 0;
}

void TestCompile::programLineToSourceLine()
{
    QFETCH(QByteArray, source);
    QFETCH(int, programLine);
    QFETCH(int, sourceLine);
    TestRoot root;
    Compiler c;
    Workspace(root).compile(script(source), &c);
    QCOMPARE(c.sourceLines().sourceLine(programLine), sourceLine);
}

void TestCompile::reportInSourceOrder()
{
    // A number too big fails both passes at the same line: listed once,
    // with its line, after the statement error before it.
    TestRoot root;
    Compiler c;
    Workspace(root).compile("WAIT\nS1=99999999999\nSTOP\n", &c);
    QStringList entries;
    for (const ReportEntry &e : reportEntries(c))
        entries << QString::number(e.sourceLine) + (e.failure ? " failure" : " error");
    QCOMPARE(entries, (QStringList{"1 error", "2 failure"}));
}

void TestCompile::secondCompileMatchesFresh()
{
    // The workbench compiles again and again with one compiler: a compile
    // must not see anything of the one before, labels least of all.
    TestRoot root;
    Workspace w(root);
    const auto five = [&](const CompileRun &r) {
        return QList<QByteArray>{r.list, r.premerged, r.hex, readAllBytes(w.host(QStringLiteral("fixup.tmp"))),
                                 readAllBytes(w.host(QStringLiteral("fixup1.tmp")))};
    };
    const QByteArray before = "GOTO LATER\nEARLY\nS1=5\nLATER\nGOSUB EARLY\nSTOP\n";
    // PLACE is a label of the demo only: here it is not found.
    const QByteArray after = "GOSUB LATER\nLATER\nS2=7\nGOTO EARLY\nEARLY\nRETURN\nADDRESS 40\nGOTO PLACE\n";
    Compiler reused;
    w.compile(demoProgram(), &reused);
    w.compile(before, &reused);
    const QList<QByteArray> again = five(w.compile(after, &reused));
    const QList<QByteArray> fresh = five(w.compile(after));
    for (int k = 0; k < 5; ++k)
        QCOMPARE(again.at(k), fresh.at(k));
}

void TestCompile::demoIsThePickAndPlaceExample()
{
    QCOMPARE(splitLines(demoProgram()), splitLines(script("pick_and_place.txt")));
    TestRoot root;
    const CompileRun r = Workspace(root).compile(demoProgram());
    QVERIFY(r.ok);
    QVERIFY2(!r.list.contains("ERROR"), r.list.constData());
    // Installed with CR LF line ends, and never over the operator's file.
    const QString source = QStringLiteral("c:\\Velm\\Demo\\velm.txt"); // a folder not there yet
    QVERIFY(installDemoProgram(source, nullptr));
    QCOMPARE(readAllBytes(root.file("drive_c/Velm/Demo/velm.txt")), demoProgram().replace("\n", "\r\n"));
    writeAllBytes(root.file("drive_c/Velm/Demo/velm.txt"), "STOP\r\n");
    QVERIFY(!installDemoProgram(source, nullptr));
    QCOMPARE(readAllBytes(root.file("drive_c/Velm/Demo/velm.txt")), QByteArray("STOP\r\n"));
}

void TestCompile::mergeOverlays()
{
    TestRoot root;
    MergeFiles m(root);
    const QByteArray first = pageLine(3, {{0, "11"}, {1, "22"}, {2, "FF0003"}});
    const QByteArray other = pageLine(9, {{5, "55"}});
    const QByteArray second = pageLine(3, {{1, "33"}, {4, "44"}, {0, "FF0007"}}); // FF-leading slot 0 is empty
    const QByteArray blank = pageLine(3);                                         // from ADDRESS after ADDRESS
    const QByteArray third = pageLine(3, {{4, "66"}, {5, "FE41"}});               // a marker is not empty
    QVERIFY(m.run(crlf({first, other, second, blank, third})));
    QCOMPARE(m.fixup, crlf({first, other}));
    QCOMPARE(m.fixup1, crlf({second, blank, third}));
    // Later blocks win slot by slot; an FF-leading element in the first line stays.
    QCOMPARE(m.hex, crlf({pageLine(3, {{0, "11"}, {1, "33"}, {2, "FF0003"}, {4, "66"}, {5, "FE41"}}), other}));
}

void TestCompile::mergeLimits_data()
{
    QTest::addColumn<QByteArray>("premerged");
    QTest::addColumn<int>("hexLines"); // 0: the merge refuses, saying why
    QTest::addColumn<QString>("why");
    auto lines = [](int count, bool samePage) {
        QByteArray premerged;
        for (int i = 0; i < count; ++i)
            premerged += pageLine(samePage ? 7 : i % 2048, {{i % 16, "80"}}) + "\r\n";
        return premerged;
    };
    QTest::newRow("4097 page lines") << lines(4097, false) << 2048 << QString();
    QTest::newRow("4098 page lines") << lines(4098, false) << 0 << QStringLiteral("4097");
    QTest::newRow("4096 overlays") << lines(4097, true) << 1 << QString();
    QTest::newRow("4097 overlays") << lines(4098, true) << 0 << QStringLiteral("4097");
    QTest::newRow("short") << crlf({pageLine(1), "00001FFFF", pageLine(2)}) << 0 << QStringLiteral("line 2");
    QTest::newRow("letters in the page field")
        << crlf({pageLine(1), "0000A" + QByteArray(528, 'F'), pageLine(2)}) << 0 << QStringLiteral("line 2");
    QTest::newRow("empty line") << crlf({pageLine(1), {}, pageLine(2)}) << 0 << QStringLiteral("line 2");
}

void TestCompile::mergeLimits()
{
    QFETCH(QByteArray, premerged);
    QFETCH(int, hexLines);
    QFETCH(QString, why);
    TestRoot root;
    MergeFiles m(root);
    writeAllBytes(m.path("flash.tmp"), "old");
    QCOMPARE(m.run(premerged), hexLines > 0);
    if (hexLines > 0) {
        QCOMPARE(m.hex.count('\n'), hexLines);
    } else {
        QVERIFY2(m.why.contains(why), qPrintable(m.why));
        QCOMPARE(m.hex, QByteArray("old")); // the merge never started writing it
    }
}

QTEST_GUILESS_MAIN(TestCompile)
#include "tst_compile.moc"
