#include "link/packets.h"
#include "support/testenv.h"

#include <QTest>

using namespace pvelm;

class tst_Packets : public QObject
{
    Q_OBJECT

private slots:
    void templates();
    void fields_data();
    void fields();
    void fillField_data();
    void fillField();

private:
    TestRoot m_root; // nothing here should touch files, and nothing can reach the home folder
};

void tst_Packets::templates()
{
    for (const char *t : {kLongTemplate, kDocomaxTemplate, kR16Template})
        QCOMPARE(qstrlen(t), size_t(kLongPacketLength));
    for (const char *t : {kShortMemoryTemplate, kShortRamReadTemplate, kShortRamWriteTemplate, kShortMoveTemplate,
                          kShortOutputOnTemplate, kShortOutputOffTemplate, kShortStepUpTemplate, kShortStepDownTemplate,
                          kShortSenderTemplate})
        QCOMPARE(qstrlen(t), size_t(kShortPacketLength));

    // The Stop request: only the code is filled; the rest travels as the
    // template's letters.
    QString stop = QString::fromLatin1(kLongTemplate);
    pvelm::fillField(stop, 4, 3, QStringLiteral("R00"));
    QCOMPARE(stop, QStringLiteral("OV0R00SSSSxxxxx") + QString(32, 'D') + QString(14, 'x') + QStringLiteral("0H~"));
}

void tst_Packets::fields_data()
{
    QTest::addColumn<bool>("hex");
    QTest::addColumn<qint64>("value");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("expected");

    QTest::newRow("run at line 300") << true << qint64(300) << 6 << "00012C";
    QTest::newRow("line 0") << true << qint64(0) << 6 << "000000";
    QTest::newRow("hex upper case") << true << qint64(0xabcd) << 4 << "ABCD";
    QTest::newRow("hex oversized keeps low digits") << true << qint64(0x12345) << 4 << "2345";
    QTest::newRow("hex exact width") << true << qint64(0xFFFF) << 4 << "FFFF";
    QTest::newRow("dec page") << false << qint64(12) << 5 << "00012";
    QTest::newRow("dec oversized keeps low digits") << false << qint64(123456) << 4 << "3456";
    QTest::newRow("dec step") << false << qint64(10) << 4 << "0010";
}

void tst_Packets::fields()
{
    QFETCH(bool, hex);
    QFETCH(qint64, value);
    QFETCH(int, width);
    QFETCH(QString, expected);
    QCOMPARE(hex ? hexField(quint64(value), width) : decField(value, width), expected);
}

void tst_Packets::fillField_data()
{
    QTest::addColumn<QString>("packet");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("run at line 300") << QString::fromLatin1(kLongTemplate).left(15) << 7 << 6 << "00012C"
                                     << "OV0iii00012Cxxx";
    QTest::newRow("short value keeps the template") << "OTDDDDDDH" << 3 << 6 << "12"
                                                    << "OT12DDDDH";
    QTest::newRow("long value is cut to the width") << "OTDDDDDDH" << 3 << 2 << "1234"
                                                    << "OT12DDDDH";
    QTest::newRow("never grows the packet") << "OTDDDDDDH" << 8 << 4 << "ABCD"
                                            << "OTDDDDDAB";
    QTest::newRow("column past the end") << "OTDDDDDDH" << 12 << 2 << "AB"
                                         << "OTDDDDDDH";
    QTest::newRow("output number") << "OODD1DDDH" << 3 << 2 << hexField(10, 2) << "OO0A1DDDH";
}

void tst_Packets::fillField()
{
    QFETCH(QString, packet);
    QFETCH(int, column);
    QFETCH(int, width);
    QFETCH(QString, value);
    QFETCH(QString, expected);
    pvelm::fillField(packet, column, width, value);
    QCOMPARE(packet, expected);
}

QTEST_GUILESS_MAIN(tst_Packets)
#include "tst_packets.moc"
