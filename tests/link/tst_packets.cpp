#include "link/packets.h"
#include "support/testenv.h"

#include <QTest>

using namespace pvelm;

class tst_Packets : public QObject
{
    Q_OBJECT

private slots:
    void fields_data();
    void fields();

private:
    TestRoot m_root;
};

// The field rules every window builds its packets with: fixed widths that
// never change a packet's length.
void tst_Packets::fields_data()
{
    QTest::addColumn<QString>("actual");
    QTest::addColumn<QString>("expected");

    const auto filled = [](const QString &packet, int column, int width, const QString &value) {
        QString result = packet;
        fillField(result, column, width, value);
        return result;
    };
    // The Stop request: only the code is filled, the rest travels as the template's letters.
    QTest::newRow("stop request") << filled(kLongTemplate, 4, 3, "R00")
                                  << "OV0R00SSSSxxxxx" + QString(32, 'D') + QString(14, 'x') + "0H~";
    QTest::newRow("short value keeps the template") << filled(kShortMoveTemplate, 3, 6, "12") << "OT12DDDDH";
    QTest::newRow("long value is cut") << filled(kShortMoveTemplate, 3, 2, "1234") << "OT12DDDDH";
    QTest::newRow("never grows the packet") << filled(kShortMoveTemplate, 8, 4, "ABCD") << "OTDDDDDAB";
    QTest::newRow("column past the end") << filled(kShortMoveTemplate, 12, 2, "AB") << "OTDDDDDDH";
    QTest::newRow("hex upper case, zero-padded") << hexField(300, 6) << "00012C";
    QTest::newRow("hex keeps low digits") << hexField(0x12345, 4) << "2345";
    QTest::newRow("decimal zero-padded") << decField(12, 5) << "00012";
    QTest::newRow("decimal keeps low digits") << decField(123456, 4) << "3456";
}

void tst_Packets::fields()
{
    QFETCH(QString, actual);
    QTEST(actual, "expected");
}

QTEST_GUILESS_MAIN(tst_Packets)
#include "tst_packets.moc"
