// The traffic log: how bytes read in it, the ring's bound and the saved
// file, and `velm --trace`. What the link reports to it: tst_link.

#include "link/traffic.h"
#include "support/testenv.h"

#include <QProcess>
#include <QTest>

using namespace pvelm;

namespace {

using Dir = LinkObserver::Direction;

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

    // velm --trace writes a whole run.
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
    }
};

QTEST_GUILESS_MAIN(TestTraffic)
#include "tst_traffic.moc"
