// The board tools' core without a link: the parameter block's store (what
// the window writes into the working copy, with the bits it does not show
// carried through) and the memory editor's packets and number reading.

#include "boardtools/memorybytes.h"
#include "boardtools/paramblock.h"

#include <functional>

#include <QtTest>

using namespace pvelm::boardtools;

namespace {

// The controls as the window fills them from a block: storing them again
// unchanged must give the block back, save what the controls cannot show.
StoreInput controlsFor(const ParamBlock &block)
{
    const ParamFields f = block.fields();
    StoreInput in;
    in.minpulse = QString::number(f.minPulse);
    in.maxpulse = QString::number(f.maxPulse);
    in.reportrate = QString::number(f.reportRate);
    in.servos = f.servos;
    in.useLimits = f.useLimits;
    in.reportsOn = f.reportsOn;
    in.mode = modeForBits(f.modeBits);
    in.runOnHw = f.runOnHw;
    in.runOnPb = f.runOnPb;
    in.runOnPu = f.runOnPu;
    in.lcpInput = f.lcpInput;
    return in;
}

struct StoreCase
{
    QString before;                         // the block as read, byte 0 first
    std::function<void(StoreInput &)> edit; // what the operator changes
    QString after;                          // the working copy after the store
    QString failed;                         // the box that stopped the store
};

struct ValueCase
{
    std::function<QString()> actual;
    QString expected;
};

} // namespace

Q_DECLARE_METATYPE(StoreCase)
Q_DECLARE_METATYPE(ValueCase)

class TestBoardCodecs : public QObject
{
    Q_OBJECT

private slots:
    void store_data()
    {
        QTest::addColumn<StoreCase>("c");
        const QString ones(32, 'F');
        const QString zeros(32, '0');
        const auto none = [](StoreInput &) {};
        // Mode 3 shows "Other", which is written as 2; nothing else moves.
        QTest::newRow("all set, unchanged") << StoreCase{ones, none, "FE" + QString(30, 'F'), {}};
        const auto cleared = [](StoreInput &in) {
            in = StoreInput{"0", "0", "0", 0, false, false, StorageMode::Seperate};
        };
        QTest::newRow("unshown set, shown cleared") << StoreCase{ones, cleared, "F0F8FFFFFEFFFF000000000000FFFFFF", {}};
        const auto set = [](StoreInput &in) {
            in = StoreInput{"70000", "-1", "300", 0x80, true, true, StorageMode::Common, true, true, true, true};
        };
        QTest::newRow("unshown clear, shown set, cut to their bits")
            << StoreCase{zeros, set, "0D0700000100002C1170FFFF80000000", {}};
        const auto typed = [](StoreInput &in) {
            in.minpulse = "1500.5";
            in.maxpulse = "1501.5 us";
            in.reportrate = "abc";
        };
        QTest::newRow("leading number, halves to even")
            << StoreCase{zeros, typed, "000000000000000005DC05DE00000000", {}};
        // Characters that are not upper-case hex go back as they came.
        const QString odd = "0000zz00000000000000000000ab0000";
        QTest::newRow("odd characters carried") << StoreCase{odd, none, odd, {}};
        const auto huge = [](StoreInput &in) {
            in.minpulse = "70000";
            in.maxpulse = "3000000000";
            in.reportrate = "5";
            in.useLimits = true; // never reached: byte 0 stays as read
        };
        QTest::newRow("beyond 32 bits stops the store")
            << StoreCase{zeros, huge, "00000000000000001170000000000000", "maxpulse"};
    }
    void store()
    {
        QFETCH(StoreCase, c);
        ParamBlock block(c.before);
        StoreInput in = controlsFor(block);
        c.edit(in);
        QCOMPARE(applyStore(block, in), c.failed);
        QCOMPARE(block.text(), c.after);
        if (c.failed.isEmpty()) {
            // The request carries the copy at 12-43 of the long template.
            const QString request = writeRequest(block);
            QCOMPARE(request, "OV0R1W00000" + c.after + "DDDDxxxxxxxxxxxxxx0H~");
        }
    }

    void memory_data()
    {
        QTest::addColumn<ValueCase>("c");
        // Packets.
        QTest::newRow("EEPROM write of 65535, -1")
            << ValueCase{[] { return writePacket(Area::Eeprom, 65535, -1); }, "OFFFFFFFH"};
        QTest::newRow("quick write keeps the last digits")
            << ValueCase{[] { return quickWritePacket(70000, 300); }, "OS11702CH"};
        // The address box.
        const auto fitted = [](const char *typed) {
            return [typed] {
                const QString text = fitAddressText(typed);
                return text + '/' + readPacket(Area::Eeprom, addressOf(text)).mid(2, 4);
            };
        };
        QTest::newRow("address 70000") << ValueCase{fitted("70000"), "0/0000"};
        QTest::newRow("address -5") << ValueCase{fitted("-5"), "0/0000"};
        QTest::newRow("address with text after it") << ValueCase{fitted("12abc"), "0/0000"};
        QTest::newRow("address 12.5, halves to even") << ValueCase{fitted("12.5"), "12.5/000C"};
        // Replies.
        const auto byte = [](const char *reply) {
            return [reply] {
                const auto b = byteFromReply(reply);
                return b ? QString::number(*b) : QStringLiteral("none");
            };
        };
        QTest::newRow("reply of 8") << ValueCase{byte("OE00FFA5"), "none"};
        QTest::newRow("reply not hex") << ValueCase{byte("OE00FFx5H"), "none"};
        // Boxes that must hold a number.
        const auto refusal = [](const char *text, qint64 maximum) {
            return [text, maximum] { return refuseNumber("Box", text, maximum); };
        };
        QTest::newRow("leading number is a number") << ValueCase{refusal("12abc", -1), ""};
        QTest::newRow("beyond 32 bits is not")
            << ValueCase{refusal("99999999999", -1), "Box: \"99999999999\" is not a number; nothing was sent"};
        QTest::newRow("write data 255 stays") << ValueCase{[] { return QString::number(dataTextTooBig("255")); }, "0"};
    }
    void memory()
    {
        QFETCH(ValueCase, c);
        QCOMPARE(c.actual(), c.expected);
    }
};

QTEST_GUILESS_MAIN(TestBoardCodecs)
#include "tst_boardcodecs.moc"
