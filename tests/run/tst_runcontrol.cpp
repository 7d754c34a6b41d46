// Run control without a window: the requests, the report decoding, the
// monitor loop over a real pseudo-terminal, and the monitor read kept off a
// running exchange's reply.

#include "link/link.h"
#include "link/packets.h"
#include "run/runcontrol.h"
#include "support/scriptedpeer.h"
#include "support/testenv.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace pvelm;

namespace {

constexpr int kSecond = 100; // ms in one link-second

struct Rig
{
    TestRoot root;
    std::unique_ptr<ScriptedPeer> board = std::make_unique<ScriptedPeer>();
    ScriptedPeer &peer = *board;
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
    void requests()
    {
        const QString tail = QString(32, 'D') + QString(14, 'x') + "0H~";
        QCOMPARE(runPacket(0), "OV0R05000000xxx" + tail);
        QCOMPARE(runPacket(300).mid(6, 6), QStringLiteral("00012C"));
        QCOMPARE(pausePacket(), "OV0R07SSSSxxxxx" + tail);
        QCOMPARE(stopPacket(), "OV0R00SSSSxxxxx" + tail);

        QCOMPARE(parseLineToRun(" 16 "), 16u);
        QCOMPARE(parseLineToRun("32767"), 32767u);
        for (const char *bad : {"", "abc", "-1", "1.5", "32768", "16x", "99999999999"}) {
            QString why;
            QVERIFY2(!parseLineToRun(QString::fromLatin1(bad), &why), bad);
            QVERIFY(why.contains("0 to 32767"));
        }
    }

    void decoding_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("labels"); // empty: the read is ignored
        QTest::newRow("running") << "AB0010000200031000000005"
                                 << "16|2|3|4|Running|0 - No errors";
        QTest::newRow("paused") << "AB0010000200033000000005"
                                << "16|2|3|4|Paused|0 - No errors";
        QTest::newRow("bit 5 alone") << "AB0010000200032000000005"
                                     << "16|2|3|4|Stopped|0 - No errors";
        QTest::newRow("high bits ignored") << "ABFFFF00000000D063000000"
                                           << "65535|0|0|-1|Running|99  Stack Over/Under Flow";
        QTest::newRow("limit switch") << "AB00000000000000"
                                         "2A"
                                         "00012C"
                                      << "0|0|0|299|Stopped|42  Z Limit Switch hit";
        QTest::newRow("unknown code keeps label") << "AB0000000000001045000001"
                                                  << "0|0|0|0|Running|";
        QTest::newRow("lower-case hex") << "AB00ff000000001032000001"
                                        << "255|0|0|0|Running|50  Invalid Instruction / Code";
        QTest::newRow("too short") << "AB00100002000310000000"
                                   << "";
        QTest::newRow("not AB") << "XB0010000200031000000005"
                                << "";
        QTest::newRow("non-hex counter") << "AB00G0000200031000000005"
                                         << "";
        QTest::newRow("non-hex line") << "AB001000020003100000000 "
                                      << "";
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

        // The line lost while monitoring: the loop ends at once and the link
        // says why; it does not go on reading a dead port.
        Rig lost;
        QSignalSpy portLost(&lost.link, &Link::portLost);
        lost.peer.sendLater(50, a);
        QTimer::singleShot(150, &lost.link, [&] { lost.board.reset(); });
        lost.link.monitoring = true;
        clock.restart();
        QCOMPARE(runStatusMonitor(lost.link, [](const StatusReport &) {}), 1);
        QVERIFY2(clock.elapsed() < 3 * kSecond, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!lost.link.isPortOpen());
        QCOMPARE(portLost.size(), 1);
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
        qint64 monitorMs = -1;
        QTimer::singleShot(150, &rig.link, [&] {
            QElapsedTimer clock;
            clock.start();
            rig.link.monitoring = true;
            rig.link.readMonitorReply();
            monitorMs = clock.elapsed();
            monitorRead = rig.link.linkRawInput;
        });
        QVERIFY(rig.link.rawsender());
        QCOMPARE(monitorRead, QString());
        QVERIFY(monitorMs >= 0 && monitorMs < 50);
        QCOMPARE(rig.link.linkErrorCode, QStringLiteral("0"));
        QCOMPARE(rig.link.linkPacket.toLatin1(), reply);
    }
};

QTEST_GUILESS_MAIN(TestRunControl)
#include "tst_runcontrol.moc"
