// The compiler's fast paths must not change a byte of what it writes. Each
// generated program is compiled on real files and every output (list file,
// premerged, fixup, fixup1, temp hex, echo, counters, diagnostics, messages,
// label table) is hashed; the hashes were taken from the straightforward
// compiler before any of it was made faster. The indexed label lookup is
// also checked against a plain scan of the table.

#include "compilehelpers.h"
#include "compiler/compiler.h"
#include "compiler/labeltable.h"
#include "compiler/textfiles.h"
#include "generatedscripts.h"
#include "support/testenv.h"

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
    part(r.ok ? "ok" : "failed");
    part(r.list);
    part(r.premerged);
    part(r.fixup);
    part(r.fixup1);
    part(r.hex);
    part(r.echo);
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

// The first entry with an equal name, found the slow way.
std::optional<QByteArray> scan(const QList<QPair<QByteArray, QByteArray>> &entries, const QByteArray &name)
{
    for (const auto &[n, line] : entries) {
        if (n == name)
            return line;
    }
    return std::nullopt;
}

// Lines split the obvious way, one byte at a time.
QList<QByteArray> referenceLines(const QByteArray &text)
{
    QList<QByteArray> lines;
    QByteArray current;
    bool open = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '\r' || c == '\n') {
            lines.append(current);
            current.clear();
            open = false;
            if (c == '\r' && i + 1 < text.size() && text.at(i + 1) == '\n')
                ++i;
        } else {
            current.append(c);
            open = true;
        }
    }
    if (open)
        lines.append(current);
    return lines;
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
    // cases; the later ones may fail a pass with a number too big.
    const QList<QByteArray> random{
        "04a5f7114fe849c864234d50fac24d065fb6c0d7a6261d65e88d4d2ce0435809",
        "574a952c6e3358c38440950bd65febb9693edd4738ff931a091df9ae361e6cb8",
        "b22c18c9d524a547251cfcd3e3bacba3ad3abf7fe22c28c64c1fafc6566fa7ef",
        "30f2ee3d7c4e816e294cc71c20e4e44f03d4dcec393a6b173471ba036d4cc988",
        "4b8698d3b8f869333b9744b7d562b2faf999f7950cc73d059521647059d3954b",
        "394ed822240f60cb0393aa930b9511806df53d2fa43d0cbe46644abd387da9b8",
        "be21056ae4ca14fc9751585222584c44dbebe4cbe7fb00286e2c8752b1b1a2e5",
        "d0f9b8889789a15e6144d5761a0488e998d5927dfaa304d55549854883408fec",
        "9b047bf9672c03b60de50c86bf9bda4d20a1a8eebd06d8c38c6799644f0b205f",
        "9ecbebfc14932ca61e2f3e7e2ae376396ed655fa8c76d25b696a55aa85cd9edc",
        "160db27cb8029e90c026649c2a1c18ad4132677beb806603083f19529cadad04",
        "bc3b8a8a1be743a33467661c334c195a4ddb487e1805f4a99092675e3bbc50bb",
        "5e28b2a2069122cc92aaad57152f39f73525e1591add7fe33c2b443883aa3cfa",
        "cf18f2eed07a5b2ba9db00346772aac7054e77b7a78e6580e401e04a06a2b3e2",
        "2766a6a5090ea106fe133cc141d771ebef2131ff18322b0df3c6b34f538e71ed",
        "5ce335cf6ae400c700d0bcde480e12936ac9571108dfaa5a725c6786502a4f29",
        "71ae0af0b7312ee2c87ce9eb8f7d6ab0c6755009e5bd905b676d30e09e9e00b4",
        "818ffa40612c9308ef10755b4ff22c043d1f25932a6c51928b56e23066175cf3",
        "0e744acd789c19f61ff6197a38dd442919a356513b5e72865812ea89d9372893",
        "a20eee86d341dff59e100ecf0e981faf9c97c2afd099935ad0888bba4fa980ab",
        "cb7e1dccc54a4284cf9e0c69e37a00e678ec67440531b367ccfbc854ce76ae5c",
        "01a8be4adc3139e8298d0aebcef5096f4f772b0efc1f108060edf4ec16978d7b",
        "964f7d10cb4a33633cbd2d4da51ea648122197681878dd5450065ec66cc2a5b4",
        "414f517809c10669fdf4397aaed466b3bff336dad5fe11fa471370a9dfbb423b",
        "77b098852762b46ff3d01ade7464c66e4ae3954fa134c12af6a45ea8e033a08e",
        "f177b4a20c2e844dacc7e88ab5e52e682bb907eb7a664ebb69e618ab4e159c32",
        "f1f278b6aca35ffc3634803903820f8cd800887d02d71ca6009ea74a62eef4c8",
        "26e45e5850be767209b0764f3736ec6e81760e8ec0f6e0cca8b67d5468628e3d",
        "c3b311e70eb36ee8bec3bf7431245f4b8cef009eeb238999f2f5461476b67f0a",
        "e52f144d504ca689b63cc63da4030195818aa83996cb2e62823d4c6184363e15",
        "e5a2249a0d0b775fdeef75e6a238ab09beef9737fd991f44e6b32eb90d6e18b2",
        "a666239a28e3a26341546c19d77ccdd419be59abf218f07f39b2849e611056d7",
        "b9bd818c882cb8fe188ad23dc09b0afb6be6905cc20eab96a819b39c29ed8056",
        "3542c4110f908a1edc00af3637e641f18b3582f384e34c6d2d2646360c873d56",
        "39982b7d704e4b4e50aba3a2fd8eabe2f749dfb00f1c1ddb662c1c1d18309f05",
        "f338095d92115ebfc103e123a63bce8eac03906cbe0ea0495d8a165766542030",
        "7029c57ccbe2d037ac8b68cd4e9ff3efeb7727dfd84797401624542ecb7ac2d1",
        "85aa34a40b73e6a36c1979bb8b5e6640bb7642df15cac2928f145ca74c11d8e9",
        "ec843afaea38de72e95f3d6e4b875dba22961f75bb14d03558a58323cc726f99",
        "cc22ef16afaad3b25384275528ab8392160faf4a25cec684315ab024d23690e2",
        "a796fb15dbd3aa6775daf909a65fd18b04d849b7f1ee2113a82396df1639c9ad",
        "f1953cb918485795b4d345c427f5c304872cb09b7f8760c9b0d55d0c47081690",
        "bf1157fef628bbec8019c1dba4c4b975e8c003d84e0716fbd4c5ef7a730c5bab",
        "310027f6006e10372921e654baba37fc65e657f04356d9e8def46b984d512d0f",
        "72de597871bbbdb0d88f42c5243f3dd54f4bfd7428f426dae37b5723ee8b39ca",
        "688466e2e2fda35741639965e952f00881a8a4946ae15f6198ec4b6c831ba5e5",
        "393594948bf386aad98acd5347fd3e483115aaf24ad90d1aa15806e9c2f0842a",
        "78740f515aa722f2a2b1f09092bf4fb013b906b0c5557748ddaef11fc3236bdc",
        "1623f5e8294d33615c519fd44875d047d92d97ee860e5056a35e09b7b3ca04c9",
        "869551ccf18ccf21e7224305d2e325ac7cb4ad6b4ab04d227c5c303c147a7e4d",
        "62d1c38702405d5bd82fbf6f664e436092451cd0654623a45f60c3dc77cad2c5",
        "8d185a98777d631e54044bdf7189b068aaa9f4d4bfc4fc142ee49db2a90638d1",
        "4173abbe41a4cfc364538dd65e79bbd7c5445f73ce2816ea3ba0390651198d12",
        "ced76330c57ebc5d16afdd1f337798376330b57ea329aedac14093551cf230ca",
        "20515296b13c99577077fd8ad32ae818575439d618e2288bcf59561fdf64908c",
        "c526669981b04d52ce5cb23f0dbec4b266a3427eec29889d1086e898d9a87383",
        "fe401b12a05f49e9c5cd3fd51b8204798fbb105a71e48824545891d920bcbf40",
        "8f56653399bf9aa812aa1472cc6eaa6c1ee0cead43a608ba3d5f0691ccd3f29f",
        "3052fcd7fdbcc8fc2990315653ac6101b77ec021c796a86fa0fdc137f530d909",
        "2f4c151287be93906eec925a3f99275dcb257d73e16ead06ceb42c20c4054670",
    };
    for (int i = 0; i < random.size(); ++i) {
        const QByteArray source = randomScript(quint64(i), 40 + (i * 37) % 500, i % 4 == 3);
        QTest::addRow("random %d", i) << source << random.at(i);
    }
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
    // until the second reaches them.
    ScriptRandom r(7);
    const QList<QByteArray> names{"A", "B", "C", "LOOPX", "L1", "L10", "Z"};
    LabelTable table;
    table.clear();
    QList<QPair<QByteArray, QByteArray>> entries(LabelTable::kEntries);
    for (int step = 0; step < 5000; ++step) {
        const int k = r.below(step % 3 == 0 ? LabelTable::kEntries : 12);
        const QByteArray name = r.below(10) == 0 ? QByteArray() : r.pick(names);
        const QByteArray line = QByteArray::number(step);
        table.set(k, name, line);
        entries[k] = {name, line};
        for (const QByteArray &n : names)
            QCOMPARE(table.lookup(n), scan(entries, n));
    }
}

void TestEquivalence::linesSplitAsByteByByte()
{
    // Short random texts over letters, blanks and both line-end bytes cover
    // every order of CR, LF, CR LF and LF CR, with and without a last end.
    ScriptRandom r(11);
    static const char alphabet[] = {'A', 'b', ' ', '\r', '\n', '\0'};
    for (int round = 0; round < 3000; ++round) {
        QByteArray text;
        const int size = r.below(24);
        for (int i = 0; i < size; ++i)
            text.append(alphabet[r.below(int(sizeof alphabet))]);
        const QList<QByteArray> expected = referenceLines(text);
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
