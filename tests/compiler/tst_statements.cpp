// One source line at a time: the outcome, the element, the listing text, the
// errors and ignored pairs it costs, and which statement counter moves.

#include "compilehelpers.h"
#include "compiler/compiler.h"
#include "support/testenv.h"

#include <QtTest>

using namespace pvelm::compiler;
using compilertest::el;

Q_DECLARE_METATYPE(Outcome::Kind)

class TestStatements : public QObject
{
    Q_OBJECT

private slots:
    void translate_data();
    void translate();
    void cleaning_data();
    void cleaning();
    void firstPassTakesUnresolvedJumps_data();
    void firstPassTakesUnresolvedJumps();
    void labelTableKeepsFirstOfDuplicates();

private:
    TestRoot m_root;
};

void TestStatements::translate_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<Outcome::Kind>("kind");
    QTest::addColumn<QByteArray>("element"); // leading digits; "" when nothing is stored
    QTest::addColumn<QByteArray>("listing");
    QTest::addColumn<int>("errors");
    QTest::addColumn<int>("ignoredPairs");
    QTest::addColumn<QByteArray>("counts"); // calls, returns, dos, loops

    const auto S = Outcome::Stored;
    const auto P = Outcome::Placeholder;
    const auto I = Outcome::Ignored;

    // Registers.
    QTest::newRow("set servo, spaced and commented")
        << QByteArray("s3 = 1500 , / lift") << S << QByteArray("500305DC") << QByteArray("Set Servo 3 to 01500") << 0
        << 0 << QByteArray("0000");
    QTest::newRow("digit groups and tab") << QByteArray("\tS2 = 1,500") << S << QByteArray("500205DC")
                                          << QByteArray("Set Servo 2 to 01500") << 0 << 0 << QByteArray("0000");
    QTest::newRow("servo value modulo 65536") << QByteArray("S1=70000") << S << QByteArray("50011170")
                                              << QByteArray("Set Servo 1 to 70000") << 0 << 0 << QByteArray("0000");
    QTest::newRow("listing keeps five digits") << QByteArray("S1=1234567") << S << QByteArray("5001D687")
                                               << QByteArray("Set Servo 1 to 34567") << 0 << 0 << QByteArray("0000");
    QTest::newRow("set DSR2") << QByteArray("dsr2=7") << S << QByteArray("50210007") << QByteArray("Set DSR2 to 00007")
                              << 0 << 0 << QByteArray("0000");
    QTest::newRow("add servo 8") << QByteArray("S8+5") << S << QByteArray("52080005")
                                 << QByteArray("Add  00005 to Servo 8") << 0 << 0 << QByteArray("0000");
    QTest::newRow("add DSR1") << QByteArray("DSR1+65536") << S << QByteArray("52200000")
                              << QByteArray("Add  65536 to DSR1") << 0 << 0 << QByteArray("0000");
    QTest::newRow("subtract DSR3") << QByteArray("DSR3-300") << S << QByteArray("5422012C")
                                   << QByteArray("Subtract 00300 from DSR3") << 0 << 0 << QByteArray("0000");
    QTest::newRow("subtract servo 4") << QByteArray("S4-1") << S << QByteArray("54040001")
                                      << QByteArray("Subtract 00001 from Servo 4") << 0 << 0 << QByteArray("0000");
    QTest::newRow("register bad operand: placeholder")
        << QByteArray("S1=X") << P << QByteArray() << QByteArray("ERROR S1=X") << 1 << 0 << QByteArray("0000");
    QTest::newRow("register alone: ignored")
        << QByteArray("S1=") << I << QByteArray() << QByteArray() << 1 << 1 << QByteArray("0000");
    QTest::newRow("DSR without operator is a label")
        << QByteArray("DSR1") << Outcome::LabelDefined << QByteArray() << QByteArray() << 0 << 0 << QByteArray("0000");

    // MOVE.
    QTest::newRow("move, speed from DSR1") << QByteArray("MOVE12") << S << QByteArray("00FF000C02")
                                           << QByteArray("Move To Position: 00012") << 0 << 0 << QByteArray("0000");
    QTest::newRow("move rate clamped") << QByteArray("MOVE12RATE=70000") << S << QByteArray("00FF000C00FFFF")
                                       << QByteArray("Move To Position: 00012 Rate: 65535") << 0 << 0
                                       << QByteArray("0000");
    QTest::newRow("move huge rate clamps, no failure")
        << QByteArray("MOVE1RATE=99999999999") << S << QByteArray("00FF000100FFFF")
        << QByteArray("Move To Position: 00001 Rate: 65535") << 0 << 0 << QByteArray("0000");
    QTest::newRow("move rate") << QByteArray("move 3 rate = 12") << S << QByteArray("00FF000300000C")
                               << QByteArray("Move To Position: 00003 Rate: 00012") << 0 << 0 << QByteArray("0000");
    QTest::newRow("move table clamped") << QByteArray("MOVE12TABLE=251") << S << QByteArray("00FF000C0100FF")
                                        << QByteArray("Move To Position: 00012 Table: 255") << 0 << 0
                                        << QByteArray("0000");
    QTest::newRow("move rate from DSR2") << QByteArray("MOVE 3 rate=dsr2") << S << QByteArray("00FF000303")
                                         << QByteArray("Move To Position: 00003 Rate = DSR2") << 0 << 0
                                         << QByteArray("0000");
    QTest::newRow("DSR rate wins over a plain rate")
        << QByteArray("MOVE3RATE=5RATE=DSR3") << S << QByteArray("00FF000304")
        << QByteArray("Move To Position: 00003 Rate = DSR3") << 0 << 0 << QByteArray("0000");
    QTest::newRow("trailing Rate= still stores")
        << QByteArray("MOVE3RATE=") << S << QByteArray("00FF000302") << QByteArray("Move To Position: 00003") << 1 << 1
        << QByteArray("0000");
    QTest::newRow("trailing Rate= falls back to Table=")
        << QByteArray("MOVE3TABLE=7RATE=") << S << QByteArray("00FF0003010007")
        << QByteArray("Move To Position: 00003 Table: 007") << 1 << 1 << QByteArray("0000");
    QTest::newRow("trailing Table=: ignored placeholder")
        << QByteArray("MOVE3TABLE=") << P << QByteArray() << QByteArray("ERROR MOVE3TABLE=") << 1 << 1
        << QByteArray("0000");
    QTest::newRow("move bad rate") << QByteArray("MOVE3RATE=FAST") << P << QByteArray()
                                   << QByteArray("ERROR MOVE3RATE=FAST") << 1 << 1 << QByteArray("0000");
    QTest::newRow("move bad position") << QByteArray("MOVEX") << P << QByteArray() << QByteArray("ERROR MOVEX") << 1
                                       << 1 << QByteArray("0000");
    QTest::newRow("move alone") << QByteArray("MOVE") << I << QByteArray() << QByteArray() << 1 << 1
                                << QByteArray("0000");

    // POSITION and RATE.
    QTest::newRow("position in servo order")
        << QByteArray("POSITIONS2=1000S1=500") << S << QByteArray("01F403E8")
        << QByteArray("Load Position  S1= 500 S2= 1000") << 0 << 0 << QByteArray("0000");
    QTest::newRow("rate for servo 8 only") << QByteArray("rate s8 = 0001") << S << QByteArray(28, 'F') + "0001"
                                           << QByteArray("Load Rate  S8= 0001") << 0 << 0 << QByteArray("0000");
    QTest::newRow("position without a servo")
        << QByteArray("POSITION12") << I << QByteArray() << QByteArray() << 1 << 1 << QByteArray("0000");
    QTest::newRow("position bad value") << QByteArray("POSITIONS1=X") << P << QByteArray()
                                        << QByteArray("ERROR POSITIONS1=X") << 1 << 1 << QByteArray("0000");

    // Simple statements.
    QTest::newRow("wait") << QByteArray("WAIT 250") << S << QByteArray("28FF00FA") << QByteArray("Wait 0250") << 0 << 0
                          << QByteArray("0000");
    QTest::newRow("wait alone") << QByteArray("WAIT") << I << QByteArray() << QByteArray() << 1 << 1
                                << QByteArray("0000");
    QTest::newRow("wait bad") << QByteArray("WAITX") << P << QByteArray() << QByteArray("ERROR WAITX") << 1 << 1
                              << QByteArray("0000");
    QTest::newRow("do") << QByteArray("do 5") << S << QByteArray("1EFF0005") << QByteArray("Do 0005 Times") << 0 << 0
                        << QByteArray("0010");
    QTest::newRow("DONE is a DO with a bad operand")
        << QByteArray("DONE") << P << QByteArray() << QByteArray("ERROR DONE") << 1 << 1 << QByteArray("0000");
    QTest::newRow("DO alone") << QByteArray("DO") << I << QByteArray() << QByteArray() << 1 << 1 << QByteArray("0000");
    QTest::newRow("call") << QByteArray("CALL 300") << S << QByteArray("14FF012C")
                          << QByteArray("Call Line number: 00300") << 0 << 0 << QByteArray("1000");
    QTest::newRow("call takes no label") << QByteArray("CALLSTART") << P << QByteArray()
                                         << QByteArray("ERROR CALLSTART") << 1 << 1 << QByteArray("0000");
    QTest::newRow("return") << QByteArray("RETURN") << S << QByteArray("16") << QByteArray("Return from Subprogram")
                            << 0 << 0 << QByteArray("0100");
    QTest::newRow("LOOPBACK is a loop") << QByteArray("LOOPBACK") << S << QByteArray("20") << QByteArray("Loop") << 0
                                        << 0 << QByteArray("0001");
    QTest::newRow("LOOPA is a loop, not a label")
        << QByteArray("LOOPA") << S << QByteArray("20") << QByteArray("Loop") << 0 << 0 << QByteArray("0001");
    QTest::newRow("STOPPED is a stop") << QByteArray("STOPPED") << S << QByteArray("80") << QByteArray("Stop") << 0 << 0
                                       << QByteArray("0000");
    QTest::newRow("nop") << QByteArray("nop") << S << QByteArray("FE") << QByteArray("No Operation") << 0 << 0
                         << QByteArray("0000");
    QTest::newRow("nooperation") << QByteArray("NO OPERATION") << S << QByteArray("FE") << QByteArray("No Operation")
                                 << 0 << 0 << QByteArray("0000");

    // Jumps; START is at 16, DUP at 0100 and again at 5.
    QTest::newRow("goto label") << QByteArray("GOTO START") << S << QByteArray("0AFF0010")
                                << QByteArray("Goto Line number: 00016") << 0 << 0 << QByteArray("0000");
    QTest::newRow("goto number") << QByteArray("GOTO 40") << S << QByteArray("0AFF0028")
                                 << QByteArray("Goto Line number: 00040") << 0 << 0 << QByteArray("0000");
    QTest::newRow("gosub finds first duplicate")
        << QByteArray("GOSUB DUP") << S << QByteArray("14FF0064") << QByteArray("GoSub Line number: 00100") << 0 << 0
        << QByteArray("1000");
    QTest::newRow("goto unknown label") << QByteArray("GOTO NOWHERE") << I << QByteArray() << QByteArray() << 1 << 1
                                        << QByteArray("0000");
    QTest::newRow("gosub unknown label is no call")
        << QByteArray("GOSUB NOWHERE") << I << QByteArray() << QByteArray() << 1 << 1 << QByteArray("0000");
    QTest::newRow("label with colon is not found")
        << QByteArray("GOTO START:") << I << QByteArray() << QByteArray() << 1 << 1 << QByteArray("0000");

    // OUTPUT.
    QTest::newRow("output without on/off") << QByteArray("OUTPUT3") << S << QByteArray("FFFF0003")
                                           << QByteArray("Output 0003") << 0 << 0 << QByteArray("0000");
    QTest::newRow("output on") << QByteArray("output 3 on") << S << QByteArray("40FF0003")
                               << QByteArray("Output 0003 On") << 0 << 0 << QByteArray("0000");
    QTest::newRow("output off") << QByteArray("OUTPUT 12 OFF") << S << QByteArray("41FF000C")
                                << QByteArray("Output 0012 Off") << 0 << 0 << QByteArray("0000");
    QTest::newRow("output bad: placeholder without pair")
        << QByteArray("OUTPUTX") << P << QByteArray() << QByteArray("ERROR OUTPUTX") << 1 << 0 << QByteArray("0000");

    // MARKER.
    QTest::newRow("marker") << QByteArray("MARKERHELLO") << S << QByteArray("FE48454C4C4F")
                            << QByteArray("Marker: HELLO") << 0 << 0 << QByteArray("0000");
    QTest::newRow("marker keeps 15 characters")
        << QByteArray("marker abcdefghijklmnopqrstuvwxyz") << S << QByteArray("FE4142434445464748494A4B4C4D4E4F")
        << QByteArray("Marker: ABCDEFGHIJKLMNOPQRSTUVWXYZ") << 0 << 0 << QByteArray("0000");
    QTest::newRow("marker control and high bytes") << QByteArray("MARKER\x01\xe9"
                                                                 "A")
                                                   << S << QByteArray("FE1E941")
                                                   << QByteArray("Marker: \x01\xe9"
                                                                 "A")
                                                   << 0 << 0 << QByteArray("0000");

    // IFINPUT.
    QTest::newRow("ifinput goto number") << QByteArray("IFINPUT3=1GOTO40") << S << QByteArray("320300010A0028")
                                         << QByteArray("If Input = Value Goto Line number: 00040") << 0 << 0
                                         << QByteArray("0000");
    QTest::newRow("ifinput stop") << QByteArray("IFINPUT3STOP") << S << QByteArray("3203FFFF80")
                                  << QByteArray("If Input number 003 Stop") << 0 << 0 << QByteArray("0000");
    QTest::newRow("ifinput value clamped, number modulo 256")
        << QByteArray("IFINPUT 300 = 70000") << S << QByteArray("322CFFFF") << QByteArray("If Input number 300 = 65535")
        << 0 << 0 << QByteArray("0000");
    QTest::newRow("ifinput gosub number clamped")
        << QByteArray("IFINPUT2=5GOSUB70000") << S
        << QByteArray("32020005"
                      "14FFFF")
        << QByteArray("If Input number 002 = 5 Gosub 65535") << 0 << 0 << QByteArray("0000");
    QTest::newRow("ifinput gosub label, no call counted")
        << QByteArray("IFINPUT2GOSUBSTART") << S << QByteArray("3202FFFF140010")
        << QByteArray("Ifinput = Value Gosub Line number: 00016") << 0 << 0 << QByteArray("0000");
    QTest::newRow("ifinput goto label") << QByteArray("IFINPUT2=9GOTOSTART") << S << QByteArray("320200090A0010")
                                        << QByteArray("If Input = Value Then Goto Line number: 00016") << 0 << 0
                                        << QByteArray("0000");
    QTest::newRow("ifinput trailing =") << QByteArray("IFINPUT2=") << S << QByteArray("3202")
                                        << QByteArray("If Input number 002") << 1 << 1 << QByteArray("0000");
    QTest::newRow("ifinput trailing goto, then stop")
        << QByteArray("IFINPUT2STOPGOTO") << S << QByteArray("3202FFFF80") << QByteArray("If Input number 002 Stop")
        << 1 << 1 << QByteArray("0000");
    QTest::newRow("ifinput trailing gosub") << QByteArray("IFINPUT2=4GOSUB") << S << QByteArray("32020004")
                                            << QByteArray("If Input number 002 = 4") << 1 << 1 << QByteArray("0000");
    QTest::newRow("ifinput trailing = and unknown label")
        << QByteArray("IFINPUT2=GOTO") << P << QByteArray() << QByteArray("ERROR IFINPUT2=GOTO") << 1 << 1
        << QByteArray("0000");
    QTest::newRow("ifinput unknown label")
        << QByteArray("IFINPUT1=1GOTOX") << I << QByteArray() << QByteArray() << 1 << 1 << QByteArray("0000");
    QTest::newRow("ifinput bad input") << QByteArray("IFINPUTX") << P << QByteArray() << QByteArray("ERROR IFINPUTX")
                                       << 1 << 1 << QByteArray("0000");
    QTest::newRow("ifinput alone") << QByteArray("IFINPUT") << I << QByteArray() << QByteArray() << 1 << 1
                                   << QByteArray("0000");

    // Blank lines, labels, too long, ADDRESS and failures.
    QTest::newRow("comment only") << QByteArray("  / just words") << Outcome::Blank << QByteArray() << QByteArray() << 0
                                  << 0 << QByteArray("0000");
    QTest::newRow("one character") << QByteArray("x") << Outcome::Blank << QByteArray() << QByteArray() << 0 << 0
                                   << QByteArray("0000");
    QTest::newRow("empty") << QByteArray() << Outcome::Blank << QByteArray() << QByteArray() << 0 << 0
                           << QByteArray("0000");
    QTest::newRow("label of 16 characters") << QByteArray("ABCDEFGHIJKLMNOP") << Outcome::LabelDefined << QByteArray()
                                            << QByteArray() << 0 << 0 << QByteArray("0000");
    QTest::newRow("17 characters without keyword")
        << QByteArray("ABCDEFGHIJKLMNOPQ") << I << QByteArray() << QByteArray() << 1 << 1 << QByteArray("0000");
    QTest::newRow("address alone") << QByteArray("ADDRESS") << I << QByteArray() << QByteArray() << 1 << 1
                                   << QByteArray("0000");
    QTest::newRow("address") << QByteArray("address 0100") << Outcome::AddressChange << QByteArray() << QByteArray()
                             << 0 << 0 << QByteArray("0000");
    QTest::newRow("address without digits fails")
        << QByteArray("ADDRESS X") << Outcome::Failed << QByteArray() << QByteArray() << 0 << 0 << QByteArray("0000");
    QTest::newRow("number above 2147483647 fails") << QByteArray("WAIT 2147483648") << Outcome::Failed << QByteArray()
                                                   << QByteArray() << 0 << 0 << QByteArray("0000");
    QTest::newRow("2147483647 is still a number") << QByteArray("WAIT 2147483647") << S << QByteArray("28FFFFFF")
                                                  << QByteArray("Wait 3647") << 0 << 0 << QByteArray("0000");
    QTest::newRow("leading zeros are not a big number")
        << QByteArray("S1=0000000000000000000042") << S << QByteArray("5001002A") << QByteArray("Set Servo 1 to 00042")
        << 0 << 0 << QByteArray("0000");
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

    Compiler c;
    c.labels().set(0, "START", "16");
    c.labels().set(1, "DUP", "0100");
    c.labels().set(2, "DUP", "5");
    c.beginPass(2);
    c.setRawLine(raw);
    const Outcome o = c.translateStatement();

    QCOMPARE(o.kind, kind);
    if (kind == Outcome::Stored) {
        QCOMPARE(o.element.size(), 32);
        QCOMPARE(o.element, el(element));
    }
    if (kind == Outcome::Stored || kind == Outcome::Placeholder)
        QCOMPARE(o.listing, listing);
    if (kind == Outcome::Failed)
        QVERIFY(!o.failure.isEmpty());
    QCOMPARE(c.counters().errorbumper, errors);
    QCOMPARE(c.diagnostics().size(), errors);
    const QByteArray list = c.listOutput();
    QCOMPARE(int(list.count("********** ERROR - LINE IGNORED **********\r\n")), ignoredPairs);
    // The pair always shows the line as read.
    if (ignoredPairs > 0)
        QVERIFY(list.contains(">>>>>> " + raw));
    const Counters &k = c.counters();
    QCOMPARE(QByteArray::number(k.callcount) + QByteArray::number(k.returncount) + QByteArray::number(k.docount) +
                 QByteArray::number(k.loopcount),
             counts);
    QCOMPARE(k.goodlines, 0); // counted when the outcome is carried out
}

void TestStatements::cleaning_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QByteArray>("cleaned");
    QTest::newRow("spaces commas tabs case") << QByteArray(" s1 =\t1,500 ") << QByteArray("S1=1500");
    QTest::newRow("comment cut after cleaning") << QByteArray("Wait 5 / a, b") << QByteArray("WAIT5");
    QTest::newRow("high bytes and NUL kept") << QByteArray("a\xe9\0b", 4) << QByteArray("A\xe9\0B", 4);
    QTest::newRow("only a comment") << QByteArray("/ x") << QByteArray();
}

void TestStatements::cleaning()
{
    QFETCH(QByteArray, raw);
    QFETCH(QByteArray, cleaned);
    QCOMPARE(cleanLine(raw), cleaned);
}

void TestStatements::firstPassTakesUnresolvedJumps_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::newRow("goto") << QByteArray("GOTO LATER");
    QTest::newRow("gosub") << QByteArray("GOSUB LATER");
    QTest::newRow("ifinput goto") << QByteArray("IFINPUT1GOTOLATER");
    QTest::newRow("ifinput gosub") << QByteArray("IFINPUT1GOSUBLATER");
}

void TestStatements::firstPassTakesUnresolvedJumps()
{
    QFETCH(QByteArray, raw);
    Compiler c;
    c.beginPass(1);
    QVERIFY(c.processLine(raw));
    QCOMPARE(c.lineNumber(), 1);
    QCOMPARE(c.counters().errorbumper, 0);
    QVERIFY(!c.listOutput().contains("Cannot Locate Label"));

    c.beginPass(2);
    QVERIFY(c.processLine(raw));
    QCOMPARE(c.lineNumber(), 0);
    QCOMPARE(c.counters().errorbumper, 1);
    QVERIFY(c.listOutput().contains(">>>>>> " + raw + "  >> Cannot Locate Label  LATER\r\n"));
}

void TestStatements::labelTableKeepsFirstOfDuplicates()
{
    // Overwriting entries as the second pass does must keep "first equal
    // entry wins", also when a name moves away from its first entry.
    LabelTable t;
    t.clear();
    t.set(0, "A", "1");
    t.set(1, "B", "2");
    t.set(2, "A", "3");
    QCOMPARE(t.lookup("A").value(), QByteArray("1"));
    t.set(0, "C", "4");
    QCOMPARE(t.lookup("A").value(), QByteArray("3"));
    QCOMPARE(t.lookup("C").value(), QByteArray("4"));
    t.set(2, "B", "5");
    QVERIFY(!t.lookup("A"));
    QCOMPARE(t.lookup("B").value(), QByteArray("2"));
    t.set(1, "X", "6");
    QCOMPARE(t.lookup("B").value(), QByteArray("5"));
    QVERIFY(!t.lookup(""));
    t.clear();
    QVERIFY(!t.lookup("B"));
}

QTEST_GUILESS_MAIN(TestStatements)
#include "tst_statements.moc"
