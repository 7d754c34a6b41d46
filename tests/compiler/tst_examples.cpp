// The programs in examples/ compile as they promise, and the demo program a
// newcomer gets is the pick-and-place example.

#include "compilehelpers.h"
#include "compiler/demoprogram.h"

#include <QtTest>

using namespace pvelm::compiler;
using namespace compilertest;

namespace {

QByteArray example(const QByteArray &name)
{
    return readAllBytes(QStringLiteral(PVELM_SOURCE_DIR "/examples/") + QLatin1String(name));
}

} // namespace

class TestExamples : public QObject
{
    Q_OBJECT

private slots:
    void compile_data();
    void compile();
    void blocksMergeIntoTheirPages();
    void demoIsThePickAndPlaceExample();
};

void TestExamples::compile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("errors");
    QTest::addColumn<QByteArray>("counts"); // calls, returns, dos, loops
    QTest::addColumn<int>("pages");
    QTest::newRow("pick and place") << QByteArray("pick_and_place.txt") << 0 << QByteArray("2211") << 3;
    QTest::newRow("address blocks") << QByteArray("address_blocks.txt") << 0 << QByteArray("2311") << 5;
    // One of each mistake; statement errors never stop a compile.
    QTest::newRow("every kind of error") << QByteArray("errors.txt") << 12 << QByteArray("0000") << 1;
}

void TestExamples::compile()
{
    QFETCH(QByteArray, file);
    QFETCH(int, errors);
    QFETCH(QByteArray, counts);
    QFETCH(int, pages);
    TestRoot root;
    const QByteArray source = example(file);
    QVERIFY(!source.isEmpty());
    const CompileRun r = Workspace(root).compile(source);
    QVERIFY(r.ok);
    QCOMPARE(r.counters.errorbumper, errors);
    const Counters &k = r.counters;
    QCOMPARE(QByteArray::number(k.callcount) + QByteArray::number(k.returncount) + QByteArray::number(k.docount) +
                 QByteArray::number(k.loopcount),
             counts);
    QCOMPARE(int(r.hex.count("\r\n")), pages);
    if (errors)
        QVERIFY(r.list.contains("8 Stop\r\n")); // placeholders take numbers, ignored lines do not
    else
        QVERIFY2(!r.list.contains("ERROR"), r.list.constData());
}

void TestExamples::blocksMergeIntoTheirPages()
{
    TestRoot root;
    const CompileRun r = Workspace(root).compile(example("address_blocks.txt"));
    QVERIFY(r.ok);
    // Page 0 was written twice; the patch block's WAIT 400 replaced WAIT 1000
    // at line 3, and the jumps found their labels.
    QVERIFY(r.premerged.startsWith("00000"));
    QCOMPARE(r.premerged.count("\n00000"), 1);
    QVERIFY(r.hex.startsWith("00000"));
    const QByteArray page0 = r.hex.left(533);
    QCOMPARE(page0.mid(5 + 32 * 3, 32), el("28FF0190"));
    QCOMPARE(page0.mid(5 + 32 * 4, 32), el("0AFF0001")); // GOTO MAIN
}

void TestExamples::demoIsThePickAndPlaceExample()
{
    QCOMPARE(splitLines(demoProgram()), splitLines(example("pick_and_place.txt")));
    // Installed with CR LF line ends, and never over the operator's file.
    TestRoot root;
    const QString source = QStringLiteral("c:\\Velm\\Demo\\velm.txt"); // a folder not there yet
    QString why;
    QVERIFY(installDemoProgram(source, &why));
    QCOMPARE(readAllBytes(root.file("drive_c/Velm/Demo/velm.txt")), demoProgram().replace("\n", "\r\n"));
    writeAllBytes(root.file("drive_c/Velm/Demo/velm.txt"), "STOP\r\n");
    QVERIFY(!installDemoProgram(source, &why));
    QCOMPARE(readAllBytes(root.file("drive_c/Velm/Demo/velm.txt")), QByteArray("STOP\r\n"));
}

QTEST_GUILESS_MAIN(TestExamples)
#include "tst_examples.moc"
