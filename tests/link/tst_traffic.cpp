// The traffic log: how bytes read in it, the ring's bound and the saved
// file, what the link reports to it (over a real pseudo-terminal), and
// `velm --trace`.

#include "link/link.h"
#include "link/packets.h"
#include "link/traffic.h"
#include "settings/settings.h"
#include "support/scriptedpeer.h"
#include "support/testenv.h"

#include <QProcess>
#include <QSerialPort>
#include <QTest>

using namespace pvelm;

namespace {

using Dir = LinkObserver::Direction;

QByteArray longReply()
{
    return "OV0R15" + QByteArray(55, 'A') + "0H~";
}

// Log lines without the header and comments.
QStringList entryLines(const QByteArray &file)
{
    QStringList lines;
    for (const QByteArray &line : file.split('\n')) {
        if (!line.isEmpty() && !line.startsWith('#'))
            lines << QString::fromLatin1(line.chopped(line.endsWith('\r') ? 1 : 0));
    }
    return lines;
}

} // namespace

class TestTraffic : public QObject
{
    Q_OBJECT

private slots:
    void visibleText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("hex");
        QTest::newRow("named controls") << QByteArray("a\r\n\t", 4) + QByteArray(1, '\0') << "a\\r\\n\\t\\0"
                                        << "61 0D 0A 09 00";
        // A backslash doubles, so "\r" typed by the board stays apart from CR.
        QTest::newRow("backslash") << QByteArray("\\r") << "\\\\r"
                                   << "5C 72";
        QTest::newRow("other bytes") << QByteArray("\x1b\x7f\x80\xff", 4) << "\\x1B\\x7F\\x80\\xFF"
                                     << "1B 7F 80 FF";
    }
    void visibleText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QFETCH(QString, hex);
        QCOMPARE(pvelm::visibleText(bytes), text);
        QCOMPARE(pvelm::hexText(bytes), hex);
    }

    // The ring keeps the newest entries, times count from the first entry
    // ever added (not the oldest kept), and the saved file says what was
    // dropped.
    void ringBoundAndSavedFile()
    {
        TrafficRing ring;
        QCOMPARE(ring.capacity(), 10000);
        ring.setCapacity(3);
        for (int i = 0; i < 5; ++i)
            ring.add(
                {(1000 + i * 250) * 1000000, i % 2 ? Dir::Received : Dir::Sent, "rawsender", QByteArray(1, 'a' + i)});

        TestRoot root;
        const QString path = root.file("saved.log");
        QVERIFY(ring.save(path, nullptr));
        QCOMPARE(readAllBytes(path),
                 QByteArray("# PVelm traffic log: milliseconds since the first entry, TX sent or RX "
                            "received, routine, bytes\r\n"
                            "# 2 earlier entries dropped\r\n"
                            "   500.000 TX rawsender        c\r\n"
                            "   750.000 RX rawsender        d\r\n"
                            "  1000.000 TX rawsender        e\r\n"));
    }

    // What the link reports while it runs the routines: every chunk with its
    // routine, in order, bytes exact; input the routine discards is
    // reported too; nothing for a refused call; and the link is not observed
    // at all while nobody wants the entries.
    void linkReportsEveryChunk()
    {
        TestRoot root;
        ScriptedPeer peer;
        QVERIFY(peer.open());
        peer.answer('&', ":");
        peer.answer('$', longReply(), kLongPacketLength);
        SettingsRecord settings;
        Link link;
        link.setSettings(&settings);
        link.setPortOverride(peer.devicePath());
        link.setSecondMs(100);
        QVERIFY(link.opencomport());
        QVERIFY(link.isPortOpen());

        TrafficLog log;
        log.setLink(&link);
        log.setRingEnabled(true);
        QVERIFY(log.startTrace(root.file("trace.log"), nullptr));

        peer.send("stale");
        QTRY_VERIFY(link.port()->waitForReadyRead(10) || link.port()->bytesAvailable() > 0);
        QString packet = QString::fromLatin1(kLongTemplate);
        fillField(packet, 4, 3, QStringLiteral("R15"));
        link.linkPacket = packet;
        QVERIFY(link.rawsender());
        {
            LinkHold hold(link);
            QVERIFY(!link.docomax()); // refused: nothing moves, nothing logged
        }

        const QList<std::tuple<Dir, QByteArray>> expected = {
            {Dir::Received, "stale"},     {Dir::Sent, "&"}, {Dir::Received, ":"}, {Dir::Sent, "$" + packet.toLatin1()},
            {Dir::Received, longReply()},
        };
        const TrafficRing &ring = log.ring();
        QCOMPARE(ring.size(), expected.size());
        for (int i = 0; i < ring.size(); ++i) {
            QCOMPARE(ring.at(i).direction, std::get<0>(expected[i]));
            QCOMPARE(ring.at(i).bytes, std::get<1>(expected[i]));
            QCOMPARE(QByteArray(ring.at(i).routine), QByteArray("rawsender"));
        }

        // The trace holds the same lines; paused, the ring takes nothing
        // and the trace goes on.
        log.setPaused(true);
        link.linkPacket = packet;
        QVERIFY(link.rawsender());
        QCOMPARE(ring.size(), expected.size());
        const QStringList lines = entryLines(readAllBytes(root.file("trace.log")));
        QCOMPARE(lines.size(), 2 * expected.size() - 1);
        QCOMPARE(lines.at(3), trafficLine(ring.at(3), ring.originNs()));
        log.stopTrace();
        QVERIFY(!link.observer());
    }

    // velm --trace writes a whole run; a trace file that cannot be made
    // fails the run before anything is sent.
    void velmTrace()
    {
        TestRoot root;
        const QString velm = QStringLiteral(PVELM_BINARY_DIR "/velm");
        const QString trace = root.file("velm.log");
        QProcess p;
        p.start(velm, {"--simulate", "--trace", trace, "version"});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        const QByteArray file = readAllBytes(trace);
        QVERIFY(file.startsWith("# PVelm traffic log"));
        const QStringList lines = entryLines(file);
        QCOMPARE(lines.size(), 4);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(lines.at(i).mid(11, 20), QString(i % 2 ? "RX" : "TX") + " docomax          ");

        p.start(velm, {"--simulate", "--trace", root.file("no/such/dir/x.log"), "version"});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 1);
        QVERIFY(p.readAllStandardError().startsWith("velm: cannot write the trace file"));
    }
};

QTEST_GUILESS_MAIN(TestTraffic)
#include "tst_traffic.moc"
