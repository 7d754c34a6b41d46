// The editors' conversions: field widths and their boundaries, typed text
// and its refusals, and the replies the windows must turn away. The packets
// are checked on the wire by the window and velm tests.

#include "editors/codecs.h"

#include <QtTest>

using namespace pvelm::editors;

namespace {

// Field index -> typed value, over the opening values of every other field.
using Typed = QList<std::pair<int, QString>>;

} // namespace

class TestCodecs : public QObject
{
    Q_OBJECT

private slots:
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
                 "Servo 1: \"1 500\" refused; enter a position of decimal digits only (0 to 65535)");
        QCOMPARE(refuseSpeedText("Speed", "1\t2"),
                 "Speed: \"1\t2\" refused; enter printable characters only (three are sent)");
        QCOMPARE(refuseSpeedText("Speed", "1 2"), QString());
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
};

QTEST_GUILESS_MAIN(TestCodecs)
#include "tst_codecs.moc"
