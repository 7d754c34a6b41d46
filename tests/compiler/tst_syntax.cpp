// The editor's colouring: each kind of stretch on lines as written, and the
// same decision as the compiler on which lines are blank or labels.

#include "compilehelpers.h"
#include "compiler/syntax.h"

#include <QtTest>

using namespace pvelm::compiler;

namespace {

// One character per column: K keyword, N number, L label, C comment,
// X ignored line, "." not coloured.
QString mask(const QString &line)
{
    std::vector<SyntaxSpan> spans;
    classifyLine(line, spans);
    QString out(line.size(), QLatin1Char('.'));
    int end = 0;
    for (const SyntaxSpan &s : spans) {
        if (s.start < end) // spans come in order and never overlap
            return QStringLiteral("overlap");
        out.replace(s.start, s.length, QString(s.length, QLatin1Char("KNLCX"[int(s.kind)])));
        end = s.start + s.length;
    }
    return out;
}

} // namespace

class TestSyntax : public QObject
{
    Q_OBJECT

private slots:
    void colours_data();
    void colours();
    void agreesWithTheCompiler();
};

void TestSyntax::colours_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");
    // Blanks and commas the compiler drops belong to the stretch around them.
    QTest::newRow("register, number, comment") << "s1 = 1,500 / lift"
                                               << "KKKK.NNNNN.CCCCCC";
    QTest::newRow("jump to a label") << "GOTO start"
                                     << "KKKK.LLLLL";
    QTest::newRow("label definition") << "  Settle"
                                      << "..LLLLLL";
    QTest::newRow("IFINPUT GOTO line") << "IFINPUT 3 = 1 GOTO 40"
                                       << "KKKKKKK.N...N.KKKK.NN";
    QTest::newRow("IFINPUT GOSUB label") << "IFINPUT 2 = 1 GOSUB settle"
                                         << "KKKKKKK.N...N.KKKKK.LLLLLL";
    QTest::newRow("MOVE rate from a register") << "move 12 rate=dsr2"
                                               << "KKKK.NN.KKKKKKKKK";
    QTest::newRow("MOVE table") << "MOVE 3 TABLE=7"
                                << "KKKK.N.KKKKKKN";
    QTest::newRow("POSITION servos") << "POSITION S2=1000 S1=500"
                                     << "KKKKKKKKKKKKNNNN.KKKNNN";
    QTest::newRow("MARKER text is not read") << "MARKER hello12"
                                             << "KKKKKK........";
    // A keyword prefix makes a statement, never a label.
    QTest::newRow("LOOPBACK is LOOP") << "LOOPBACK"
                                      << "KKKK....";
    QTest::newRow("too long for a label") << "ThisLineIsNoStatement"
                                          << "XXXXXXXXXXXXXXXXXXXXX";
}

void TestSyntax::colours()
{
    QFETCH(QString, line);
    QFETCH(QString, expected);
    QCOMPARE(mask(line), expected);
}

void TestSyntax::agreesWithTheCompiler()
{
    // Every line of the examples: blank, label and ignored-as-too-long as
    // the compiler decides them.
    std::vector<SyntaxSpan> spans;
    for (const char *name : {"address_blocks.txt", "pick_and_place.txt", "errors.txt"}) {
        const QByteArray text = readAllBytes(QStringLiteral(PVELM_SOURCE_DIR "/examples/") + QLatin1String(name));
        QVERIFY(!text.isEmpty());
        for (const QByteArray &raw : splitLines(text)) {
            Compiler c;
            c.setRawLine(raw);
            const Outcome::Kind outcome = c.translateStatement().kind;
            const LineKind kind = classifyLine(QString::fromLatin1(raw), spans);
            QVERIFY2((kind == LineKind::Blank) == (outcome == Outcome::Blank), raw.constData());
            QVERIFY2((kind == LineKind::Label) == (outcome == Outcome::LabelDefined), raw.constData());
            if (kind == LineKind::Invalid)
                QVERIFY2(outcome == Outcome::Ignored, raw.constData());
        }
    }
}

QTEST_GUILESS_MAIN(TestSyntax)
#include "tst_syntax.moc"
