// Which source line wrote each program line, on the examples and on the
// cases where ADDRESS blocks meet on one line; and the report the editor
// lists after a compile.

#include "compilehelpers.h"
#include "compiler/sourcemap.h"

#include <QtTest>

using namespace pvelm::compiler;
using namespace compilertest;

namespace {

// An example's name, or a script given inline.
QByteArray script(const QByteArray &source)
{
    if (source.endsWith(".txt"))
        return readAllBytes(QStringLiteral(PVELM_SOURCE_DIR "/examples/") + QLatin1String(source));
    return source;
}

} // namespace

class TestSourceMap : public QObject
{
    Q_OBJECT

private slots:
    void programLineToSourceLine_data();
    void programLineToSourceLine();
    void reportInSourceOrder();
};

void TestSourceMap::programLineToSourceLine_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<int>("programLine");
    QTest::addColumn<int>("sourceLine"); // 0: nothing was written there

    QTest::newRow("a label takes no line") << QByteArray("address_blocks.txt") << 1 << 10;
    // WAIT 1000 (line 12) was replaced by the last block's WAIT 400.
    QTest::newRow("patched by a later block") << QByteArray("address_blocks.txt") << 3 << 47;
    QTest::newRow("ADDRESS block") << QByteArray("address_blocks.txt") << 80 << 25;
    QTest::newRow("between blocks") << QByteArray("address_blocks.txt") << 5 << 0;
    // Placeholders take their line; ignored lines do not.
    QTest::newRow("ignored placeholder") << QByteArray("errors.txt") << 0 << 4;
    QTest::newRow("placeholder") << QByteArray("errors.txt") << 1 << 5;
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

void TestSourceMap::programLineToSourceLine()
{
    QFETCH(QByteArray, source);
    QFETCH(int, programLine);
    QFETCH(int, sourceLine);
    TestRoot root;
    Compiler c;
    Workspace(root).compile(script(source), &c);
    QCOMPARE(c.sourceLines().sourceLine(programLine), sourceLine);
}

void TestSourceMap::reportInSourceOrder()
{
    TestRoot root;
    Workspace ws(root);
    {
        Compiler c;
        ws.compile(script("errors.txt"), &c);
        QList<qint64> lines;
        for (const ReportEntry &e : reportEntries(c)) {
            QVERIFY(!e.failure);
            lines << e.sourceLine;
        }
        QCOMPARE(lines, (QList<qint64>{3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
    }
    {
        // A number too big fails both passes at the same line: listed once,
        // with its line, after the statement error before it.
        Compiler c;
        ws.compile("WAIT\nS1=99999999999\nSTOP\n", &c);
        const QList<ReportEntry> entries = reportEntries(c);
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries.at(0).sourceLine, 1);
        QCOMPARE(entries.at(1).sourceLine, 2);
        QVERIFY(entries.at(1).failure);
    }
}

QTEST_GUILESS_MAIN(TestSourceMap)
#include "tst_sourcemap.moc"
