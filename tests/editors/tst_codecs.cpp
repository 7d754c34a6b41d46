// The editors' conversions: field widths and their boundaries, typed text
// and its refusals, and the replies the windows read. The packets are checked
// on the wire by the window and velm tests.

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
        QTest::newRow("word cut to 16 bits, byte to 8")
            << false << Typed{{1, "256"}, {2, "70000"}} << "FF001170" + f32.mid(8) << QList<qint64>{255, 0, 4464};
        QTest::newRow("negative values keep their low bits")
            << false << Typed{{0, "-1"}, {4, "-2"}} << "FFFFFFFFFFFFFE" + f32.mid(14) << QList<qint64>{255, 255, 65535};
        QTest::newRow("fractions round halves to even")
            << false << Typed{{0, "2.5"}, {1, "3.5"}, {3, "0.51"}} << "0204FFFF01" + f32.mid(10) << QList<qint64>{2, 4};
        QTest::newRow("packed opening values") << true << Typed{} << f64 << QList<qint64>{255, 255, 65535, 15, 4095};
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

    void typedText_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("refusal"); // empty: accepted
        QTest::addColumn<qint64>("value");
        QTest::newRow("line, top of six hex digits") << "line"
                                                     << "16777215"
                                                     << "" << qint64(0xFFFFFF);
        QTest::newRow("line beyond six hex digits")
            << "line"
            << "16777216"
            << "Line: \"16777216\" refused; enter a whole number from 0 to 16777215" << qint64(0);
        QTest::newRow("empty line") << "line"
                                    << ""
                                    << "Line: nothing typed; enter a whole" << qint64(0);
        QTest::newRow("leading number only") << "line"
                                             << "12abc"
                                             << "Line: \"12abc\" refused" << qint64(0);
        QTest::newRow("fraction where a line must be whole") << "line"
                                                             << "1.5"
                                                             << "Line: \"1.5\"" << qint64(0);
        QTest::newRow("value beyond 32 bits")
            << "value"
            << "2147483648"
            << "Data 1: \"2147483648\" refused; enter a whole number from -2147483648 to 2147483647 (its low 16 bits "
               "are written)"
            << qint64(0);
        QTest::newRow("output top") << "output"
                                    << "255"
                                    << "" << qint64(255);
        QTest::newRow("output beyond two hex digits")
            << "output"
            << "256"
            << "Output#: \"256\" refused; enter a whole number from 0 to 255" << qint64(0);
        QTest::newRow("position digits only") << "position"
                                              << "1 500"
                                              << "Servo 1: \"1 500\" refused" << qint64(0);
        QTest::newRow("speed control character") << "speed"
                                                 << "1\t2"
                                                 << "Speed: \"1\t2\" refused" << qint64(0);
    }
    void typedText()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(QString, refusal);
        QFETCH(qint64, value);
        Checked c;
        if (kind == "line")
            c = checkLine("Line", text, false);
        else if (kind == "value")
            c = checkElementValue(elementFields()[4], text);
        else if (kind == "output")
            c = checkOutput(text);
        else if (kind == "position")
            c.refusal = refusePositionText("Servo 1", text);
        else
            c.refusal = refuseSpeedText("Speed", text);
        QVERIFY2(refusal.isEmpty() ? c.ok() : c.refusal.startsWith(refusal), qPrintable(c.refusal));
        if (c.ok())
            QCOMPARE(c.value, value);
    }

    void replies()
    {
        // Nudge replies: exactly nine characters; the servo named in the
        // reply is the one updated; a servo number out of range changes none.
        QVERIFY(!nudgeFromReply("OU80000101H"));
        QVERIFY(!nudgeFromReply("OUxyz103H"));
        QCOMPARE(nudgeFromReply("OUFFFF03H")->servoIndex, 2);
        QCOMPARE(nudgeFromReply("OUFFFF03H")->position, 65535);
        QCOMPARE(nudgeFromReply("OD000009H")->servoIndex, -1);
        // Current positions: four hex digits each from column 7, FFFF is 65535.
        const QString current = "OV0R01FFFF000100020003000400050006FFFEx";
        QCOMPARE(*currentFromReply(current), (QList<int>{65535, 1, 2, 3, 4, 5, 6, 65534}));
        QVERIFY(!currentFromReply("OV0R01xxxx"));
        QCOMPARE(elementFromReply("OV0R15000001" + QString(32, 'a') + "xx"), QString(32, 'a'));
        QVERIFY(!elementFromReply("OV0R15000001xxxxx"));
    }
};

QTEST_GUILESS_MAIN(TestCodecs)
#include "tst_codecs.moc"
