// The board tools' core without a link: the parameter block's store (what
// the window writes into the working copy, with the bits it does not show
// carried through) and the memory editor's packets and number reading.

#include "boardtools/memorybytes.h"
#include "boardtools/paramblock.h"

#include <QtTest>

using namespace pvelm::boardtools;

namespace {

struct StoreCase
{
    QString before; // the block as read, byte 0 first
    StoreInput in;  // what the controls hold
    QString after;  // the working copy after the store
};

} // namespace

Q_DECLARE_METATYPE(StoreCase)

class TestBoardCodecs : public QObject
{
    Q_OBJECT

private slots:
    void store_data()
    {
        QTest::addColumn<StoreCase>("c");
        const QString zeros(32, '0');
        QTest::newRow("unshown set, shown cleared, Other written as 2") << StoreCase{
            QString(32, 'F'), {"0", "0", "0", 0, false, false, StorageMode::Other}, "F2F8FFFFFEFFFF000000000000FFFFFF"};
        QTest::newRow("unshown clear, shown set, cut to their bits")
            << StoreCase{zeros,
                         {"70000", "-1", "300", 0x80, true, true, StorageMode::Common, true, true, true, true},
                         "0D0700000100002C1170FFFF80000000"};
        QTest::newRow("leading number, halves to even")
            << StoreCase{zeros, {"1500.5", "1501.5 us", "abc"}, "000000000000000005DC05DE00000000"};
        // Characters that are not upper-case hex go back as they came.
        const QString odd = "0000zz00000000000000000000ab0000";
        QTest::newRow("odd characters carried") << StoreCase{odd, {"0", "0", "0"}, odd};
    }
    void store()
    {
        QFETCH(StoreCase, c);
        ParamBlock block(c.before);
        QCOMPARE(applyStore(block, c.in), QString());
        QCOMPARE(block.text(), c.after);
    }

    void memory()
    {
        // The byte is the value's last two hex digits, the address its last four.
        QCOMPARE(writePacket(Area::Eeprom, 65535, -1), "OFFFFFFFH");
        QCOMPARE(quickWritePacket(70000, 300), "OS11702CH");
        // The address box keeps a whole number 0 to 65535 as typed, else
        // "0"; a fraction halves to even.
        QCOMPARE(fitAddressText("70000") + fitAddressText("-5") + fitAddressText("12abc"), "000");
        QCOMPARE(fitAddressText("12.5"), "12.5");
        QCOMPARE(readPacket(Area::Eeprom, addressOf("12.5")), "OE000CDDH");
        // A reply carries a byte only as nine characters with hex at 7-8.
        QVERIFY(!byteFromReply("OE00FFA5") && !byteFromReply("OE00FFx5H"));
        // A box may hold text after its number, and the top of its range.
        QCOMPARE(refuseNumber("Box", "255 bytes", 255), QString());
        QCOMPARE(refuseNumber("Box", "99999999999"), "Box: \"99999999999\" is not a number; nothing was sent");
    }
};

QTEST_GUILESS_MAIN(TestBoardCodecs)
#include "tst_boardcodecs.moc"
