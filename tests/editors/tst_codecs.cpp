// The editors' core without a window: the conversions (field widths and
// their boundaries, typed text and its refusals, the replies the windows
// must turn away) and the virtual board's side on its protocol engine: how
// servos travel after a move and take nudges. The packets, and what Put and
// Get leave in flash, are checked through the window and velm tests.

#include "compiler/compilehelpers.h"
#include "editors/codecs.h"
#include "editors/pose.h"
#include "sim/boardengine.h"

#include <algorithm>
#include <array>

#include <QtTest>

using namespace pvelm;
using namespace pvelm::editors;
using sim::BoardEngine;

namespace {

// Field index -> typed value, over the opening values of every other field.
using Typed = QList<std::pair<int, QString>>;

struct Step
{
    qint64 ms;        // when the frame arrives
    QString frame;    // "$" long or "-" short
    QString expected; // the reply, or empty for none
};

struct BoardCase
{
    QList<Step> steps;
    std::array<quint16, 8> start{0x8000, 0x8000, 0x8000, 0x8000, 0x8000, 0x8000, 0x8000, 0x8000};
};

QString replyTo(BoardEngine &engine, const Step &step)
{
    QByteArray reply;
    for (const BoardEngine::Output &out : engine.feed("&" + step.frame.toLatin1(), step.ms)) {
        if (out.kind == BoardEngine::OutputKind::Reply)
            reply += out.bytes;
    }
    return QString::fromLatin1(reply);
}

QString longReply(const QString &codeAndData, char result)
{
    return (codeAndData.leftJustified(61, 'x') + result) + "H~";
}

} // namespace

Q_DECLARE_METATYPE(BoardCase)

class TestCodecs : public QObject
{
    Q_OBJECT

private slots:
    // The statement "Insert Pose" and `velm position current --script` write,
    // and the position element the compiler makes of it.
    void pose_data()
    {
        QTest::addColumn<QList<int>>("positions");
        QTest::addColumn<int>("used");
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QByteArray>("element");
        QTest::newRow("all eight, the ends of the range")
            << QList<int>{0, 1, 500, 32768, 65535, 1000, 2000, 12345} << 0xFF
            << "POSITION S1=0, S2=1, S3=500, S4=32768, S5=65535, S6=1000, S7=2000, S8=12345"
            << QByteArray("0000000101F48000FFFF03E807D03039");
        QTest::newRow("servos 2 and 5 ticked") << QList<int>{10, 20, 30, 40, 50, 60, 70, 80} << 0x12
                                               << "POSITION S2=20, S5=50" << QByteArray("FFFF0014FFFFFFFF0032FFFF");
        QTest::newRow("none ticked") << QList<int>{1, 2} << 0 << QString() << QByteArray();
    }
    void pose()
    {
        QFETCH(QList<int>, positions);
        QFETCH(int, used);
        QFETCH(QString, statement);
        QFETCH(QByteArray, element);
        std::array<int, 8> at;
        at.fill(65535);
        std::copy_n(positions.cbegin(), std::min<qsizetype>(positions.size(), 8), at.begin());
        QCOMPARE(poseStatement(at, std::bitset<8>(quint64(used))), statement);
        if (statement.isEmpty())
            return;
        TestRoot root;
        const compilertest::CompileRun run = compilertest::Workspace(root).compile(statement.toLatin1() + "\r\n");
        QCOMPARE(run.counters.errorbumper, 0);
        QCOMPARE(run.hex, compilertest::crlf({compilertest::pageLine(0, {{0, element}})}));
    }

    void image_data()
    {
        QTest::addColumn<bool>("packed");
        QTest::addColumn<Typed>("typed");
        QTest::addColumn<QString>("image");
        QTest::addColumn<QList<qint64>>("shown"); // what a Get of that image shows, field by field
        const QString f32(32, 'F');
        const QString f64(64, 'F');
        QTest::newRow("negative values keep their low bits")
            << false << Typed{{0, "-1"}, {4, "-2"}} << "FFFFFFFFFFFFFE" + f32.mid(14) << QList<qint64>{255, 255, 65535};
        QTest::newRow("fractions round halves to even")
            << false << Typed{{0, "2.5"}, {1, "3.5"}, {3, "0.51"}} << "0204FFFF01" + f32.mid(10) << QList<qint64>{2, 4};
        QTest::newRow("nibble and 12-bit cut")
            << true << Typed{{3, "16"}, {4, "4096"}, {12, "65536"}}
            << "FFFFFFFF0000" + f64.mid(12, 16) + "0000" + f64.mid(32) << QList<qint64>{255, 255, 65535, 0, 0};
    }
    void image()
    {
        QFETCH(bool, packed);
        QFETCH(Typed, typed);
        QFETCH(QString, image);
        QFETCH(QList<qint64>, shown);
        const auto fields = packed ? packedFields() : elementFields();
        const int digits = packed ? kPackedDigits : kElementDigits;
        QList<qint64> values;
        for (const ImageField &f : fields)
            values << f.maximum();
        for (const auto &[index, text] : typed) {
            const Checked c = checkElementValue(fields[size_t(index)], text);
            QVERIFY2(c.ok(), qPrintable(c.refusal));
            values[index] = c.value;
        }
        QCOMPARE(encodeImage(fields, values, digits), image);
        const auto decoded = decodeImage(fields, image, digits);
        QVERIFY(decoded);
        QCOMPARE(decoded->mid(0, shown.size()), shown);
        QVERIFY(!decodeImage(fields, image.left(digits - 1) + 'G', digits));
    }

    void typedText()
    {
        // A line fits six hex digits; a typed value's refusal names the bits written.
        QCOMPARE(checkLine("Line", "16777215", false).value, 0xFFFFFF);
        QCOMPARE(checkLine("Line", "16777216", false).refusal,
                 "Line: \"16777216\" refused; enter a whole number from 0 to 16777215");
        QCOMPARE(checkLine("Line", " ", false).refusal, "Line: nothing typed; enter a whole number from 0 to 16777215");
        QCOMPARE(checkElementValue(elementFields()[4], "2147483648").refusal,
                 "Data 1: \"2147483648\" refused; enter a whole number from -2147483648 to 2147483647 (its low 16 "
                 "bits are written)");
        // Positions are sent as typed: digits only. Speeds: printable only.
        QCOMPARE(refusePositionText("Servo 1", "1 500"),
                 "Servo 1: \"1 500\" refused; enter a position of decimal digits only (the last five are sent)");
        QCOMPARE(refuseSpeedText("Speed", "1\t2"),
                 "Speed: \"1\t2\" refused; enter printable characters only (three are sent)");
    }

    void replies()
    {
        // Nudge replies: exactly nine characters; the servo named in the
        // reply is the one updated; a servo number out of range changes none.
        QVERIFY(!nudgeFromReply("OU80000101H"));
        QVERIFY(!nudgeFromReply("OUxyz103H"));
        QCOMPARE(nudgeFromReply("OD000009H")->servoIndex, -1);
        // Positions and elements that are not hex are no reply.
        QVERIFY(!currentFromReply("OV0R01xxxx"));
        QVERIFY(!elementFromReply("OV0R15000001xxxxx"));
    }

    void boardSide_data()
    {
        QTest::addColumn<BoardCase>("c");
        // Servo 1 travels from 32768 to 0 at 10000 a second; the others have no move.
        const QStringList toZero = QStringList{"0"} + QStringList(7, "65535");
        QTest::newRow("move takes time; a nudge stops the servo where it is") << BoardCase{
            {{0, "$" + positionPutRequest(2, toZero), ""},
             {1000, "-" + movePacket(2), "OT000002H"},
             {2000, "$" + lineRequest("R01", 0), longReply("OV0R0158F0" + QString("8000").repeated(7), '0')},
             {2100, "-" + nudgePacket(NudgeFamily::PosUp, 0), "OU550901H"},
             {9000, "$" + lineRequest("R01", 0), longReply("OV0R015509" + QString("8000").repeated(7), '0')}}};
        QTest::newRow("nudges stop at 0 and 65534")
            << BoardCase{{{0, "-" + nudgePacket(NudgeFamily::BigUp, 0), "OUFFFE01H"},
                          {10, "-" + nudgePacket(NudgeFamily::PosUp, 1), "OUFFFF02H"},
                          {20, "-" + nudgePacket(NudgeFamily::BigDown, 2), "OD000003H"},
                          {30, "-" + nudgePacket(NudgeFamily::BigDown, 1), "ODFFF502H"}},
                         {65530, 65535, 3, 0x8000, 0x8000, 0x8000, 0x8000, 0x8000}};
    }
    void boardSide()
    {
        QFETCH(BoardCase, c);
        BoardEngine engine;
        engine.state().positions = c.start;
        for (const Step &step : c.steps) {
            const QString reply = replyTo(engine, step);
            if (!step.expected.isEmpty())
                QCOMPARE(reply, step.expected);
        }
    }
};

QTEST_GUILESS_MAIN(TestCodecs)
#include "tst_codecs.moc"
