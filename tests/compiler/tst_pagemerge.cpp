// The page merge: one line per page in first-seen order, overlays laid over
// in file order, empty (FF-leading) slots never copied, the table limits and
// lines that are no page line.

#include "compilehelpers.h"
#include "compiler/pagemerge.h"

#include <QtTest>

using namespace pvelm::compiler;
using namespace compilertest;

namespace {

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

class TestPageMerge : public QObject
{
    Q_OBJECT

private slots:
    void overlays();
    void limits_data();
    void limits();
    void notAPageLine_data();
    void notAPageLine();
};

void TestPageMerge::overlays()
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

void TestPageMerge::limits_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<bool>("samePage");
    QTest::addColumn<bool>("ok");
    QTest::newRow("4097 page lines") << 4097 << false << true;
    QTest::newRow("4098 page lines") << 4098 << false << false;
    QTest::newRow("4096 overlays") << 4097 << true << true;
    QTest::newRow("4097 overlays") << 4098 << true << false;
}

void TestPageMerge::limits()
{
    QFETCH(int, lines);
    QFETCH(bool, samePage);
    QFETCH(bool, ok);
    TestRoot root;
    MergeFiles m(root);
    writeAllBytes(m.path("flash.tmp"), "old");
    QByteArray premerged;
    for (int i = 0; i < lines; ++i)
        premerged += pageLine(samePage ? 7 : i % 2048, {{i % 16, "80"}}) + "\r\n";
    QCOMPARE(m.run(premerged), ok);
    if (ok) {
        QCOMPARE(m.hex.count('\n'), samePage ? 1 : 2048);
    } else {
        QVERIFY(m.why.contains(QLatin1String("4097")));
        QCOMPARE(m.hex, QByteArray("old")); // the merge never started writing it
    }
}

void TestPageMerge::notAPageLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("short") << QByteArray("00001FFFF");
    QTest::newRow("letters in the page field") << "0000A" + QByteArray(528, 'F');
    QTest::newRow("empty line") << QByteArray();
}

void TestPageMerge::notAPageLine()
{
    QFETCH(QByteArray, line);
    TestRoot root;
    MergeFiles m(root);
    QVERIFY(!m.run(crlf({pageLine(1), line, pageLine(2)})));
    QVERIFY(m.why.contains(QLatin1String("line 2")));
}

QTEST_GUILESS_MAIN(TestPageMerge)
#include "tst_pagemerge.moc"
