// One source line at a time: the outcome, the element, the listing text, the
// errors and ignored pairs it costs, and which statement counter moves; and
// the editor's colouring of a line, which makes the same decisions as the
// compiler on which lines are blank or labels.

#include "compilehelpers.h"
#include "compiler/syntax.h"

#include <QtTest>

using namespace pvelm::compiler;
using compilertest::el;

Q_DECLARE_METATYPE(Outcome::Kind)

namespace {

const auto S = Outcome::Stored;
const auto P = Outcome::Placeholder;
const auto I = Outcome::Ignored;

// element: its leading digits; errors: errors counted, and by default as
// many ignored pairs; counts: calls, returns, dos, loops.
void row(const char *name, const QByteArray &raw, Outcome::Kind kind, const QByteArray &element = {},
         const QByteArray &listing = {}, int errors = 0, int pairs = -1, const QByteArray &counts = "0000")
{
    QTest::newRow(name) << raw << kind << element << listing << errors << (pairs < 0 ? errors : pairs) << counts;
}

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

class TestStatements : public QObject
{
    Q_OBJECT

private slots:
    void translate_data();
    void translate();
    void colours_data();
    void colours();
    void agreesWithTheCompiler();
};

void TestStatements::translate_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<Outcome::Kind>("kind");
    QTest::addColumn<QByteArray>("element");
    QTest::addColumn<QByteArray>("listing");
    QTest::addColumn<int>("errors");
    QTest::addColumn<int>("ignoredPairs");
    QTest::addColumn<QByteArray>("counts");

    // Registers; cleaning drops blanks, commas, tabs and the comment.
    row("set servo, spaced and commented", "s3 = 1500 , / lift", S, "500305DC", "Set Servo 3 to 01500");
    row("add DSR1", "DSR1+65536", S, "52200000", "Add  65536 to DSR1");
    row("subtract DSR3", "DSR3-300", S, "5422012C", "Subtract 00300 from DSR3");
    row("register bad operand: placeholder", "S1=X", P, {}, "ERROR S1=X", 1, 0);
    row("register alone: ignored", "S1=", I, {}, {}, 1);
    row("DSR without operator is a label", "DSR1", Outcome::LabelDefined);

    // MOVE.
    row("move, speed from DSR1", "MOVE12", S, "00FF000C02", "Move To Position: 00012");
    row("move rate clamped", "MOVE12RATE=70000", S, "00FF000C00FFFF", "Move To Position: 00012 Rate: 65535");
    row("move huge rate clamps, no failure", "MOVE1RATE=99999999999", S, "00FF000100FFFF",
        "Move To Position: 00001 Rate: 65535");
    row("move rate", "move 3 rate = 12", S, "00FF000300000C", "Move To Position: 00003 Rate: 00012");
    row("move table 250 is not clamped", "MOVE12TABLE=250", S, "00FF000C0100FA", "Move To Position: 00012 Table: 250");
    row("move table clamped", "MOVE12TABLE=251", S, "00FF000C0100FF", "Move To Position: 00012 Table: 255");
    row("DSR rate wins over a plain rate", "MOVE3RATE=5RATE=DSR3", S, "00FF000304",
        "Move To Position: 00003 Rate = DSR3");
    row("trailing Rate= still stores", "MOVE3RATE=", S, "00FF000302", "Move To Position: 00003", 1);
    row("trailing Rate= falls back to Table=", "MOVE3TABLE=7RATE=", S, "00FF0003010007",
        "Move To Position: 00003 Table: 007", 1);
    row("trailing Table=: ignored placeholder", "MOVE3TABLE=", P, {}, "ERROR MOVE3TABLE=", 1);
    row("move bad rate", "MOVE3RATE=FAST", P, {}, "ERROR MOVE3RATE=FAST", 1);
    row("move bad position", "MOVEX", P, {}, "ERROR MOVEX", 1);
    row("move alone", "MOVE", I, {}, {}, 1);

    // POSITION and RATE.
    row("position in servo order", "POSITIONS2=1000S1=500", S, "01F403E8", "Load Position  S1= 500 S2= 1000");
    row("rate for servo 8 only", "rate s8 = 0001", S, QByteArray(28, 'F') + "0001", "Load Rate  S8= 0001");
    row("position without a servo", "POSITION12", I, {}, {}, 1);
    row("position bad value", "POSITIONS1=X", P, {}, "ERROR POSITIONS1=X", 1);
    // Every servo's number is read before any is converted; MOVE and IFINPUT
    // convert their first number before they read the next.
    row("bad later servo wins over a big one", "POSITION S2=4294967296 S8=#", P, {}, "ERROR POSITIONS2=4294967296S8=#",
        1);
    row("big servo value fails once all are read", "RATES8=1S3=2147483648", Outcome::Failed);
    row("big move position fails before the rate", "MOVE4294967296RATE=X", Outcome::Failed);
    row("big input number fails before the value", "IFINPUT4294967296=X", Outcome::Failed);

    // Simple statements, and keywords that begin longer words.
    row("wait alone", "WAIT", I, {}, {}, 1);
    row("do", "do 5", S, "1EFF0005", "Do 0005 Times", 0, 0, "0010");
    row("call", "CALL 300", S, "14FF012C", "Call Line number: 00300", 0, 0, "1000");
    row("call takes no label", "CALLSTART", P, {}, "ERROR CALLSTART", 1);
    row("return", "RETURN", S, "16", "Return from Subprogram", 0, 0, "0100");
    row("LOOPA is a loop, not a label", "LOOPA", S, "20", "Loop", 0, 0, "0001");
    row("STOPPED is a stop", "STOPPED", S, "80", "Stop");
    row("nop", "nop", S, "FE", "No Operation");
    row("no operation", "NO OPERATION", S, "FE", "No Operation");

    // Jumps; START is at 16, DUP at 0100 and again at 5.
    row("goto number", "GOTO 40", S, "0AFF0028", "Goto Line number: 00040");
    row("gosub finds first duplicate", "GOSUB DUP", S, "14FF0064", "GoSub Line number: 00100", 0, 0, "1000");
    row("goto unknown label", "GOTO NOWHERE", I, {}, {}, 1);
    row("gosub unknown label is no call", "GOSUB NOWHERE", I, {}, {}, 1);
    row("label with colon is not found", "GOTO START:", I, {}, {}, 1);

    // OUTPUT and MARKER.
    row("output without on/off", "OUTPUT3", S, "FFFF0003", "Output 0003");
    row("output on", "output 3 on", S, "40FF0003", "Output 0003 On");
    row("output off", "OUTPUT 12 OFF", S, "41FF000C", "Output 0012 Off");
    row("output bad: placeholder without pair", "OUTPUTX", P, {}, "ERROR OUTPUTX", 1, 0);
    row("marker keeps 15 characters", "marker abcdefghijklmnopqrstuvwxyz", S, "FE4142434445464748494A4B4C4D4E4F",
        "Marker: ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    // A code below 16 takes one digit; 19 characters at most.
    row("marker control and high bytes", "MARKER\xe9" + QByteArray(19, '\x01'), S, "FEE9" + QByteArray(18, '1'),
        "Marker: \xe9" + QByteArray(19, '\x01'));

    // IFINPUT.
    row("ifinput goto number", "IFINPUT3=1GOTO40", S, "320300010A0028", "If Input = Value Goto Line number: 00040");
    row("ifinput value clamped, number modulo 256", "IFINPUT 300 = 70000", S, "322CFFFF",
        "If Input number 300 = 65535");
    row("ifinput gosub number clamped", "IFINPUT2=5GOSUB70000", S, "3202000514FFFF",
        "If Input number 002 = 5 Gosub 65535");
    row("ifinput gosub label, no call counted", "IFINPUT2GOSUBSTART", S, "3202FFFF140010",
        "Ifinput = Value Gosub Line number: 00016");
    row("ifinput goto label", "IFINPUT2=9GOTOSTART", S, "320200090A0010",
        "If Input = Value Then Goto Line number: 00016");
    row("ifinput trailing =", "IFINPUT2=", S, "3202", "If Input number 002", 1);
    row("ifinput trailing goto, then stop", "IFINPUT2STOPGOTO", S, "3202FFFF80", "If Input number 002 Stop", 1);
    row("ifinput trailing gosub", "IFINPUT2=4GOSUB", S, "32020004", "If Input number 002 = 4", 1);
    row("ifinput trailing = and unknown label", "IFINPUT2=GOTO", P, {}, "ERROR IFINPUT2=GOTO", 1);
    row("ifinput unknown label", "IFINPUT1=1GOTOX", I, {}, {}, 1);
    row("ifinput bad input", "IFINPUTX", P, {}, "ERROR IFINPUTX", 1);
    row("ifinput alone", "IFINPUT", I, {}, {}, 1);

    // Blank lines, labels, too long, ADDRESS alone and the biggest number.
    row("one character", "x", Outcome::Blank);
    row("label of 16 characters", "ABCDEFGHIJKLMNOP", Outcome::LabelDefined);
    row("17 characters without keyword", "ABCDEFGHIJKLMNOPQ", I, {}, {}, 1);
    row("address alone", "ADDRESS", I, {}, {}, 1);
    row("number above 2147483647 fails", "WAIT 2147483648", Outcome::Failed);
    row("2147483647 is still a number", "WAIT 2147483647", S, "28FFFFFF", "Wait 3647");
    row("leading zeros are not a big number", "S1=0000000000000000000042", S, "5001002A", "Set Servo 1 to 00042");
}

void TestStatements::translate()
{
    QFETCH(QByteArray, raw);
    QFETCH(Outcome::Kind, kind);
    QFETCH(QByteArray, element);
    QFETCH(QByteArray, listing);
    QFETCH(int, errors);
    QFETCH(int, ignoredPairs);
    QFETCH(QByteArray, counts);

    TestRoot root;
    Compiler c;
    c.labels().set(0, "START", "16");
    c.labels().set(1, "DUP", "0100");
    c.labels().set(2, "DUP", "5");
    c.beginPass(2);
    c.setRawLine(raw);
    const Outcome o = c.translateStatement();

    QCOMPARE(o.kind, kind);
    QCOMPARE(o.element, kind == S ? el(element) : QByteArray());
    QCOMPARE(o.listing, listing);
    QCOMPARE(o.failure.isEmpty(), kind != Outcome::Failed);
    QCOMPARE(c.counters().errorbumper, errors);
    QCOMPARE(c.diagnostics().size(), errors);
    // The ignored pair always shows the line as read.
    const QByteArray list = c.listOutput();
    QCOMPARE(int(list.count("********** ERROR - LINE IGNORED **********\r\n>>>>>> " + raw)), ignoredPairs);
    const Counters &k = c.counters();
    QCOMPARE(QByteArray::number(k.callcount) + QByteArray::number(k.returncount) + QByteArray::number(k.docount) +
                 QByteArray::number(k.loopcount),
             counts);
}

void TestStatements::colours_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");
    auto colours = [](const char *name, const char *line, const char *expected) {
        QTest::newRow(name) << QString::fromLatin1(line) << QString::fromLatin1(expected);
    };
    // Blanks and commas the compiler drops belong to the stretch around them.
    colours("register, number, comment", "s1 = 1,500 / lift", "KKKK.NNNNN.CCCCCC");
    colours("jump to a label", "GOTO start", "KKKK.LLLLL");
    colours("label definition", "  Settle", "..LLLLLL");
    colours("IFINPUT GOTO line", "IFINPUT 3 = 1 GOTO 40", "KKKKKKK.N...N.KKKK.NN");
    colours("IFINPUT GOSUB label", "IFINPUT 2 = 1 GOSUB settle", "KKKKKKK.N...N.KKKKK.LLLLLL");
    colours("MOVE rate from a register", "move 12 rate=dsr2", "KKKK.NN.KKKKKKKKK");
    colours("MOVE table", "MOVE 3 TABLE=7", "KKKK.N.KKKKKKN");
    colours("POSITION servos", "POSITION S2=1000 S1=500", "KKKKKKKKKKKKNNNN.KKKNNN");
    colours("MARKER text is not read", "MARKER hello12", "KKKKKK........");
    // A keyword prefix makes a statement, never a label.
    colours("LOOPBACK is LOOP", "LOOPBACK", "KKKK....");
    colours("too long for a label", "ThisLineIsNoStatement", "XXXXXXXXXXXXXXXXXXXXX");
}

void TestStatements::colours()
{
    QFETCH(QString, line);
    QFETCH(QString, expected);
    QCOMPARE(mask(line), expected);
}

void TestStatements::agreesWithTheCompiler()
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

QTEST_GUILESS_MAIN(TestStatements)
#include "tst_statements.moc"
