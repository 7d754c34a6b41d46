// The report decoding, the monitor loop over a real pseudo-terminal, and the
// monitor read kept off a running exchange's reply.

#include "link/link.h"
#include "link/packets.h"
#include "run/runcontrol.h"
#include "support/scriptedpeer.h"
#include "support/testenv.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

using namespace pvelm;

namespace {

constexpr int kSecond = 100; // ms in one link-second

struct Rig
{
    TestRoot root;
    ScriptedPeer peer;
    Link link;
    Rig()
    {
        if (!peer.open())
            qFatal("no pseudo-terminal");
        link.setSecondMs(kSecond);
        link.setPortOverride(peer.devicePath());
        link.opencomport();
    }
};

// Decoded labels in the order the window writes them.
QString shown(const StatusReport &r)
{
    return QStringList{r.position, r.stack, r.loop, r.currentLine, r.mode, r.notification}.join('|');
}

} // namespace

class TestRunControl : public QObject
{
    Q_OBJECT

private slots:
    void decoding_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("labels"); // empty: the read is ignored
        auto row = [](const char *name, const char *raw, const char *labels) { QTest::newRow(name) << raw << labels; };
        row("running", "AB0010000200031000000005", "16|2|3|4|Running|0 - No errors");
        row("paused", "AB0010000200033000000005", "16|2|3|4|Paused|0 - No errors");
        row("bit 5 alone", "AB0010000200032000000005", "16|2|3|4|Stopped|0 - No errors");
        row("high bits ignored", "ABFFFF00000000D063000000", "65535|0|0|-1|Running|99  Stack Over/Under Flow");
        row("limit switch", "AB000000000000002A00012C", "0|0|0|299|Stopped|42  Z Limit Switch hit");
        row("unknown code keeps label", "AB0000000000001045000001", "0|0|0|0|Running|");
        row("not AB", "XB0010000200031000000005", "");
        row("non-hex counter", "AB00G0000200031000000005", "");
    }

    void decoding()
    {
        QFETCH(QString, raw);
        QFETCH(QString, labels);
        const auto report = decodeStatusReport(raw);
        QCOMPARE(report ? shown(*report) : QString(), labels);
    }

    void monitorLoop()
    {
        // Garbage, two reports piled up, a report with a bad field and a read
        // that began inside a report: only whole "AB" reads are shown, one
        // per read, and the loop ends on the first silent read.
        Rig rig;
        const QByteArray a = "AB0001000000001000000002", b = "AB0002000000001000000003";
        const QByteArray reads[] = {"noise between reports...", a + b, "AB00Z1000000001000000002", b.mid(4) + a.left(4),
                                    b};
        for (int i = 0; i < 5; ++i)
            rig.peer.sendLater(50 + 150 * i, reads[i]);
        rig.link.monitoring = true;
        QStringList lines;
        QElapsedTimer clock;
        clock.start();
        const int count = runStatusMonitor(rig.link, [&](const StatusReport &r) { lines << r.currentLine; });
        QCOMPARE(lines, (QStringList{"1", "2"}));
        QCOMPARE(count, 2);
        QVERIFY(clock.elapsed() >= 650 + 6 * kSecond);
        QVERIFY(rig.peer.received().isEmpty()); // the monitor never sends
    }

    void monitorReadLeavesAnExchangeAlone()
    {
        // A monitor read started 150 ms into a rawsender's reply wait (Run
        // pressed during another window's exchange) must not take the reply.
        Rig rig;
        const QByteArray reply = "OV0R15" + QByteArray(55, 'A') + "0H~";
        rig.peer.answer('&', ":");
        rig.peer.answer('$', reply, kLongPacketLength, 300);
        rig.link.linkPacket = QString::fromLatin1(kLongTemplate);
        QString monitorRead = QStringLiteral("unset");
        QTimer::singleShot(150, &rig.link, [&] {
            rig.link.monitoring = true;
            rig.link.readMonitorReply();
            monitorRead = rig.link.linkRawInput;
        });
        QVERIFY(rig.link.rawsender());
        QCOMPARE(monitorRead, QString());
        QCOMPARE(rig.link.linkPacket.toLatin1(), reply);
    }
};

QTEST_GUILESS_MAIN(TestRunControl)
#include "tst_runcontrol.moc"
