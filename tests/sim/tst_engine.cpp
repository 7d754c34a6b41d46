#include "ptyclient.h"
#include "sim/boardengine.h"

#include <QTest>

using pvelm::sim::BoardEngine;
using pvelm::sim::BoardState;
using pvelm::sim::RunMode;

namespace {

// Feeds each chunk two seconds after the previous one (longer than every
// quiet gap), then lets the last gap pass; returns everything the board said.
QByteArray converse(BoardEngine &engine, const QList<QByteArray> &chunks)
{
    QByteArray out;
    qint64 now = 1000;
    for (const QByteArray &chunk : chunks) {
        for (const auto &o : engine.feed(chunk, now))
            out += o.bytes;
        now += 2000;
    }
    for (const auto &o : engine.poll(now))
        out += o.bytes;
    return out;
}

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

private slots:
    void conversation_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QByteArray>("flash"); // afterwards
        const QByteArray erased = BoardState().flash;
        auto row = [&](const char *name, const QList<QByteArray> &chunks, const QByteArray &expected) {
            QTest::newRow(name) << chunks << expected << erased;
        };
        const QByteArray r02 = longPacket("R02");
        // Frames are length-delimited: attention characters inside are data.
        const QByteArray unknown = "OV0R9A&&##$$" + QByteArray(49, '-') + "0H~";
        const QByteArray invalid = ":OV0R02000000xxx" + QByteArray(32, 'D') + "xxx000x000000x1H~";
        const QByteArray line = pageLine(5, "0102030405060708090A0B0C0D0E0F10");
        const QByteArray rejected = "!" + pageReply("00005", false);

        row("version after repeated and mixed attention", {"#&&$" + r02}, "!::" + versionReply());
        row("unknown long command", {"&$" + unknown}, ":" + unknown.left(61) + "XH~");
        row("bad frame start", {"&$XV0" + r02.mid(3)}, invalid);
        row("bad frame end", {"&$" + r02.left(62) + "H!"}, invalid);
        row("unknown short command", {"&-OQ12AB56H"}, ":OQ12AB56H");
        row("badly framed short packet", {"&-XQ12AB56Z"}, ":OQ12AB56H");
        row("commands sent without waiting get no reply",
            {"&$" + longPacket("R05", "SSSSxx"), "&$" + longPacket("R07"), "&$" + longPacket("R00")}, ":::");
        // Element bytes replace the page's first 256 bytes; the spare 8 stay erased.
        const QByteArray element = "00112233445566778899aabbCCDDEEFF";
        QTest::newRow("page line") << QList<QByteArray>{"#$" + pageLine(2047, element)}
                                   << "!" + pageReply("02047", true)
                                   << QByteArray(erased).replace(2047 * 264, 256,
                                                                 QByteArray::fromHex(element.repeated(16)));
        row("page line with a bad digit", {"#$" + QByteArray(line).replace(100, 1, "G")}, rejected);
        row("page line without its filler", {"#$" + QByteArray(line).replace(520, 1, "0")}, rejected);
        row("page beyond the flash", {"#$" + pageLine(2048, "00")}, "!" + pageReply("02048", false));
        row("short line ends after a quiet gap", {"#$00007ABCD", "&"}, "!" + pageReply("00007", false) + ":");
        row("packed block is taken silently", {"#+OV0R1D000010" + QByteArray(64, 'F') + "~", "&"}, "!:");
        row("stray bytes while idle", {"xyz\r\n$-+~OV0", "&"}, ":");
        row("partial frame dropped after a quiet gap", {"&$OV0R0200", "&$" + r02}, "::" + versionReply());
        row("unfinished block dropped", {"#+OV0R1D", "&$" + r02}, "!:" + versionReply());
        row("prefix that does not fit the attention is ignored", {"&+" + r02, "#-OQ12AB56H"}, ":!");
    }

    void conversation()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QByteArray, expected);
        BoardEngine engine;
        QCOMPARE(converse(engine, chunks), expected);
        QVERIFY(engine.isIdle());
        QTEST(engine.state().flash, "flash");
    }

    void runState()
    {
        // "Run / Resume" always sends line 0, so a paused program goes on where it stopped.
        const std::tuple<QByteArray, RunMode, quint32> steps[] = {
            {"R07SSSSxx", RunMode::Stopped, 0},   {"R05SSSSxx", RunMode::Stopped, 0},
            {"R0500012C", RunMode::Running, 300}, {"R07SSSSxx", RunMode::Paused, 300},
            {"R05000000", RunMode::Running, 300}, {"R07SSSSxx", RunMode::Paused, 300},
            {"R05000020", RunMode::Running, 32},  {"R00SSSSxx", RunMode::Stopped, 32},
        };
        BoardEngine engine;
        // Every line holds WAIT 65535, so a started program stays on its line.
        for (int at = 0; at < engine.state().flash.size(); at += 16)
            engine.state().flash.replace(at, 4, QByteArray::fromHex("28FFFFFF"));
        for (const auto &[request, mode, line] : steps) {
            converse(engine, {"&$" + longPacket(request.left(3), request.mid(3))});
            QCOMPARE(engine.state().runMode, mode);
            QCOMPARE(engine.state().runLine, line);
        }
    }

    void stateFileRejectsBadInput_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good = BoardState().serialize();
        QTest::newRow("other file") << QByteArray("00005FFFF\r\n");
        QTest::newRow("truncated") << good.left(good.size() - 1);
        QTest::newRow("trailing bytes") << good + "x";
        QTest::newRow("newer version") << QByteArray(good).replace(8, 4, QByteArray("\0\0\0\4", 4));
        QTest::newRow("bad run mode") << QByteArray(good).replace(good.size() - 5, 1, "\x07");
    }

    void stateFileRejectsBadInput()
    {
        QFETCH(QByteArray, bytes);
        BoardState s;
        s.ram[0] = 0x55;
        const BoardState before = s;
        QString error;
        QVERIFY(!s.deserialize(bytes, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(s == before);
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
