// The compiler's fast paths must not change a byte of what it writes. A few
// generated programs are compiled on real files and every output is hashed;
// the hashes were taken from the straightforward compiler before any of it
// was made faster. The indexed label lookup and the line splitter are also
// checked against the plain way of doing the same.

#include "compilehelpers.h"
#include "generatedscripts.h"

#include <algorithm>

#include <QCryptographicHash>
#include <QtTest>

using namespace pvelm::compiler;
using namespace compilertest;

namespace {

// Everything one compile produced, in a fixed order, as one digest.
QByteArray compileDigest(const QByteArray &source, const TestRoot &root)
{
    Workspace ws(root);
    Compiler c;
    const CompileRun r = ws.compile(source, &c);
    QCryptographicHash h(QCryptographicHash::Sha256);
    auto part = [&h](const QByteArray &bytes) {
        h.addData(QByteArray::number(bytes.size()) + ':');
        h.addData(bytes);
    };
    for (const QByteArray &bytes :
         {QByteArray(r.ok ? "ok" : "failed"), r.list, r.premerged, r.fixup, r.fixup1, r.hex, r.echo})
        part(bytes);
    const Counters &k = r.counters;
    for (int v : {k.goodlines, k.errorbumper, k.blanklines, k.callcount, k.returncount, k.docount, k.loopcount})
        part(QByteArray::number(v));
    for (const Diagnostic &d : r.diagnostics)
        part(QByteArray::number(d.sourceLine) + ' ' + d.text.toUtf8());
    for (const QString &m : r.messages)
        part(m.toUtf8());
    for (int i = 0; i < LabelTable::kEntries; ++i)
        part(c.labels().name(i) + '=' + c.labels().lineText(i));
    part(c.lineNumberText());
    return h.result().toHex();
}

} // namespace

class TestEquivalence : public QObject
{
    Q_OBJECT

private slots:
    void sameBytesAsBefore_data();
    void sameBytesAsBefore();
    void labelLookupIsAScan();
    void linesSplitAsByteByByte();
};

void TestEquivalence::sameBytesAsBefore_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("digest");

    QTest::newRow("script at the board's limits")
        << limitScript() << QByteArray("a82ddb4c7d43621f2b4823b43d6b2f3fb830c265ae2eec13c6347199aa648c05");
    // Random programs over every statement, its errors and the trailing
    // cases; the ones allowed to fail stop a pass on a number too big.
    const QList<QPair<int, QByteArray>> random{
        {13, "cf18f2eed07a5b2ba9db00346772aac7054e77b7a78e6580e401e04a06a2b3e2"},
        {26, "f1f278b6aca35ffc3634803903820f8cd800887d02d71ca6009ea74a62eef4c8"},
        {27, "26e45e5850be767209b0764f3736ec6e81760e8ec0f6e0cca8b67d5468628e3d"},
        {39, "cc22ef16afaad3b25384275528ab8392160faf4a25cec684315ab024d23690e2"},
        {40, "a796fb15dbd3aa6775daf909a65fd18b04d849b7f1ee2113a82396df1639c9ad"},
        {54, "20515296b13c99577077fd8ad32ae818575439d618e2288bcf59561fdf64908c"},
    };
    for (const auto &[i, digest] : random)
        QTest::addRow("random %d", i) << randomScript(quint64(i), 40 + (i * 37) % 500, i % 4 == 3) << digest;
}

void TestEquivalence::sameBytesAsBefore()
{
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, digest);
    TestRoot root;
    QCOMPARE(compileDigest(source, root), digest);
}

void TestEquivalence::labelLookupIsAScan()
{
    // Random overwrites as two passes make them: names move between
    // entries, duplicates come and go, and entries of the first pass stay
    // until the second reaches them. The first equal entry must win.
    ScriptRandom r(7);
    const QList<QByteArray> names{"A", "B", "C", "LOOPX", "L1", "L10", "Z"};
    LabelTable table;
    table.clear();
    QList<QPair<QByteArray, QByteArray>> entries(LabelTable::kEntries);
    for (int step = 0; step < 5000; ++step) {
        const int k = r.below(step % 3 == 0 ? LabelTable::kEntries : 12);
        const QByteArray name = r.below(10) == 0 ? QByteArray() : r.pick(names);
        table.set(k, name, QByteArray::number(step));
        entries[k] = {name, QByteArray::number(step)};
        for (const QByteArray &n : names) {
            auto first = std::find_if(entries.cbegin(), entries.cend(), [&n](const auto &e) { return e.first == n; });
            QCOMPARE(table.lookup(n), first == entries.cend() ? std::nullopt : std::optional(first->second));
        }
    }
}

void TestEquivalence::linesSplitAsByteByByte()
{
    // Short random texts cover every order of CR, LF, CR LF and LF CR, with
    // and without a last line end.
    ScriptRandom r(11);
    static const char alphabet[] = {'A', 'b', ' ', '\r', '\n', '\0'};
    for (int round = 0; round < 3000; ++round) {
        QByteArray text;
        for (int i = r.below(24); i > 0; --i)
            text.append(alphabet[r.below(int(sizeof alphabet))]);
        QList<QByteArray> expected{{}};
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] != '\r' && text[i] != '\n') {
                expected.last().append(text[i]);
                continue;
            }
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            expected.append(QByteArray());
        }
        if (expected.last().isEmpty())
            expected.removeLast(); // a text ending in a line end has no open line
        QCOMPARE(splitLines(text), expected);
        QList<QByteArray> seen;
        const bool all = forEachLine(text, [&seen](const QByteArray &line) {
            seen.append(QByteArray(line.constData(), line.size()));
            return seen.size() < 3; // stopping early is honoured
        });
        QCOMPARE(seen, expected.mid(0, 3));
        QCOMPARE(all, expected.size() < 3);
    }
}

QTEST_GUILESS_MAIN(TestEquivalence)
#include "tst_equivalence.moc"
