// The programs in examples/ compile as they promise, and the demo program a
// newcomer gets is the pick-and-place example.

#include "compilehelpers.h"
#include "compiler/compiler.h"
#include "compiler/demoprogram.h"
#include "compiler/textfiles.h"
#include "support/testenv.h"

#include <QtTest>

using namespace pvelm::compiler;
using namespace compilertest;

namespace {

QByteArray example(const char *name)
{
    return readAllBytes(QStringLiteral(PVELM_SOURCE_DIR "/examples/") + QLatin1String(name));
}

// The element stored at a line number, from the temp hex file.
QByteArray elementAt(const QByteArray &hex, int line)
{
    for (const QByteArray &pageLine : splitLines(hex)) {
        if (pageLine.left(5).toInt() == line / 16)
            return pageLine.mid(5 + 32 * (line % 16), 32);
    }
    return {};
}

} // namespace

class TestExamples : public QObject
{
    Q_OBJECT

private slots:
    void cleanPrograms_data();
    void cleanPrograms();
    void blocksMergeIntoTheirPages();
    void everyKindOfError();
    void demoIsThePickAndPlaceExample();
};

void TestExamples::cleanPrograms_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("counts"); // calls, returns, dos, loops
    QTest::addColumn<int>("pages");
    QTest::newRow("pick and place") << QByteArray("pick_and_place.txt") << QByteArray("2211") << 3;
    QTest::newRow("address blocks") << QByteArray("address_blocks.txt") << QByteArray("2311") << 5;
}

void TestExamples::cleanPrograms()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, counts);
    QFETCH(int, pages);
    TestRoot root;
    Workspace ws(root);
    const QByteArray source = example(file.constData());
    QVERIFY(!source.isEmpty());
    const CompileRun r = ws.compile(source);
    QVERIFY(r.ok);
    QCOMPARE(r.counters.errorbumper, 0);
    QVERIFY2(!r.list.contains("ERROR"), r.list.constData());
    const Counters &k = r.counters;
    QCOMPARE(QByteArray::number(k.callcount) + QByteArray::number(k.returncount) + QByteArray::number(k.docount) +
                 QByteArray::number(k.loopcount),
             counts);
    QCOMPARE(int(splitLines(r.hex).size()), pages);
}

void TestExamples::blocksMergeIntoTheirPages()
{
    TestRoot root;
    Workspace ws(root);
    const CompileRun r = ws.compile(example("address_blocks.txt"));
    QVERIFY(r.ok);
    // Page 0 was written twice; the patch block's WAIT 400 replaced WAIT 1000.
    int pageZero = 0;
    for (const QByteArray &line : splitLines(r.premerged))
        pageZero += line.startsWith("00000") ? 1 : 0;
    QCOMPARE(pageZero, 2);
    QCOMPARE(elementAt(r.hex, 3), el("28FF0190"));
    QCOMPARE(elementAt(r.hex, 4), el("0AFF0001"));           // GOTO MAIN
    QCOMPARE(elementAt(r.hex, 81), el("32040001140054"));    // IFINPUT ... GOSUB SETTLE (84)
    QCOMPARE(elementAt(r.hex, 514), el("0BB803E8FFFF0834")); // third position
    QCOMPARE(elementAt(r.hex, 641), el("0028002800140014")); // second rate element
}

void TestExamples::everyKindOfError()
{
    TestRoot root;
    Workspace ws(root);
    const CompileRun r = ws.compile(example("errors.txt"));
    QVERIFY(r.ok); // statement errors never stop a compile
    QCOMPARE(r.counters.errorbumper, 12);
    QList<qint64> lines;
    for (const Diagnostic &d : r.diagnostics)
        lines << d.sourceLine;
    QCOMPARE(lines, (QList<qint64>{3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
    QVERIFY(r.list.contains("  >> Cannot Locate Label  NOWHERE\r\n"));
    // Placeholders and stored lines take numbers; ignored ones do not.
    QVERIFY(r.list.contains("8 Stop\r\n"));
}

void TestExamples::demoIsThePickAndPlaceExample()
{
    QCOMPARE(splitLines(demoProgram()), splitLines(example("pick_and_place.txt")));

    TestRoot root;
    Workspace ws(root);
    QString why;
    QVERIFY(installDemoProgram(QStringLiteral("c:\\Corvane\\velm.txt"), &why));
    const QByteArray written = readAllBytes(ws.host("velm.txt"));
    QVERIFY(written.endsWith("\r\n"));
    QCOMPARE(written.count('\n'), written.count("\r\n"));
    // An existing source file is never replaced.
    writeAllBytes(ws.host("velm.txt"), "STOP\r\n");
    QVERIFY(!installDemoProgram(QStringLiteral("c:\\Corvane\\velm.txt"), &why));
    QCOMPARE(readAllBytes(ws.host("velm.txt")), QByteArray("STOP\r\n"));
}

QTEST_GUILESS_MAIN(TestExamples)
#include "tst_examples.moc"
