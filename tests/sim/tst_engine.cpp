#include "ptyclient.h"
#include "sim/boardengine.h"
#include "support/testenv.h"

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
    auto take = [&out](const BoardEngine::Outputs &outputs) {
        for (const auto &o : outputs)
            out += o.bytes;
    };
    for (const QByteArray &chunk : chunks) {
        take(engine.feed(chunk, now));
        now += 2000;
    }
    take(engine.poll(now));
    return out;
}

QByteArray longReplyX(const QByteArray &request)
{
    return request.left(61) + "XH~";
}

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

private slots:
    void conversation_data();
    void conversation();
    void handshakeAndReplyAreToldApart();
    void pageLineWritesFlash();
    void runState_data();
    void runState();
    void stateFileRejectsBadInput_data();
    void stateFileRejectsBadInput();

private:
    TestRoot m_root;
};

void TestEngine::conversation_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray r02 = docomaxPacket("R02");
    const QByteArray r99 = docomaxPacket("R99");
    const QByteArray runTemplate = "OV0R05000000xxx" + QByteArray(32, 'D') + QByteArray(14, 'x') + "0H~";
    const QByteArray line = pageLine(5, "0102030405060708090A0B0C0D0E0F10");

    QTest::newRow("attention for a packet") << QList<QByteArray>{"&"} << QByteArray(":");
    QTest::newRow("attention for a block") << QList<QByteArray>{"#"} << QByteArray("!");
    QTest::newRow("version") << QList<QByteArray>{"&$" + r02} << ":" + versionReply();
    QTest::newRow("version from a window template")
        << QList<QByteArray>{"&$OV0R02SSSSxxxxx" + QByteArray(32, 'D') + QByteArray(14, 'x') + "0H~"}
        << ":" + versionReply();
    QTest::newRow("unknown long command") << QList<QByteArray>{"&$" + r99} << ":" + longReplyX(r99);
    // Frames are length-delimited: attention characters inside are data.
    const QByteArray withMarks = "OV0R9A&&##$$" + QByteArray(49, '-') + "0H~";
    QTest::newRow("attention characters inside a frame")
        << QList<QByteArray>{"&$" + withMarks} << ":" + longReplyX(withMarks);
    QTest::newRow("bad frame start") << QList<QByteArray>{"&$XV0" + r02.mid(3)}
                                     << ":OV0R02000000xxx" + QByteArray(32, 'D') + "xxx000x000000x1H~";
    QTest::newRow("bad frame end") << QList<QByteArray>{"&$" + r02.left(62) + "H!"}
                                   << ":OV0R02000000xxx" + QByteArray(32, 'D') + "xxx000x000000x1H~";
    QTest::newRow("unknown short command") << QList<QByteArray>{"&-OQ12AB56H"} << QByteArray(":OQ12AB56H");
    QTest::newRow("badly framed short packet") << QList<QByteArray>{"&-XQ12AB56Z"} << QByteArray(":OQ12AB56H");
    QTest::newRow("commands sent without waiting get no reply")
        << QList<QByteArray>{"&$" + runTemplate, "&$OV0R07" + runTemplate.mid(6), "&$OV0R00" + runTemplate.mid(6)}
        << QByteArray(":::");
    QTest::newRow("page line") << QList<QByteArray>{"#$" + line} << "!OV0OKW00005" + QByteArray(50, 'x') + "0H~";
    QTest::newRow("page line with a bad digit") << QList<QByteArray>{"#$" + QByteArray(line).replace(100, 1, "G")}
                                                << "!OV0ERW00005" + QByteArray(50, 'x') + "1H~";
    QTest::newRow("page line without its filler") << QList<QByteArray>{"#$" + QByteArray(line).replace(520, 1, "0")}
                                                  << "!OV0ERW00005" + QByteArray(50, 'x') + "1H~";
    QTest::newRow("page beyond the flash")
        << QList<QByteArray>{"#$" + pageLine(2048, "00")} << "!OV0ERW02048" + QByteArray(50, 'x') + "1H~";
    QTest::newRow("short line ends after a quiet gap")
        << QList<QByteArray>{"#$00007ABCD", "&"} << "!OV0ERW00007" + QByteArray(50, 'x') + "1H~:";
    QTest::newRow("packed block is taken silently")
        << QList<QByteArray>{"#+OV0R1D000010" + QByteArray(64, 'F') + "~", "&"} << QByteArray("!:");
    QTest::newRow("stray bytes while idle") << QList<QByteArray>{"xyz\r\n$-+~OV0", "&"} << QByteArray(":");
    QTest::newRow("repeated attention") << QList<QByteArray>{"&&&$" + r02} << ":::" + versionReply();
    QTest::newRow("block attention then packet attention") << QList<QByteArray>{"#&$" + r02} << "!:" + versionReply();
    QTest::newRow("partial frame dropped after a quiet gap")
        << QList<QByteArray>{"&$OV0R0200", "&$" + r02} << "::" + versionReply();
    QTest::newRow("partial short packet dropped")
        << QList<QByteArray>{"&-OQ1", "&-OQ12AB56H"} << QByteArray("::OQ12AB56H");
    QTest::newRow("unfinished block dropped") << QList<QByteArray>{"#+OV0R1D", "&$" + r02} << "!:" + versionReply();
    QTest::newRow("prefix that does not fit the attention is ignored")
        << QList<QByteArray>{"&+" + r02, "#-OQ12AB56H"} << QByteArray(":!");
}

void TestEngine::conversation()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, expected);
    BoardEngine engine;
    QCOMPARE(converse(engine, chunks), expected);
    QVERIFY(engine.isIdle());
}

void TestEngine::handshakeAndReplyAreToldApart()
{
    // The transport delays or mangles replies but not handshakes, so the
    // engine must label them.
    BoardEngine engine;
    const auto outputs = engine.feed("&$" + docomaxPacket("R02"), 0);
    QCOMPARE(outputs.size(), size_t(2));
    QCOMPARE(outputs[0], (BoardEngine::Output{BoardEngine::OutputKind::Handshake, ":"}));
    QCOMPARE(outputs[1].kind, BoardEngine::OutputKind::Reply);
    QCOMPARE(outputs[1].bytes.size(), 64);
}

void TestEngine::pageLineWritesFlash()
{
    BoardEngine engine;
    const QByteArray element = "00112233445566778899AABBCCDDEEFF";
    converse(engine, {"#$" + pageLine(2047, element), "#$" + pageLine(3, "0123456789abcdef")});

    const BoardState &s = engine.state();
    QCOMPARE(s.page(2047), QByteArray::fromHex(element.repeated(16)) + QByteArray(8, char(0xFF)));
    QCOMPARE(s.page(3), QByteArray::fromHex(QByteArray("0123456789ABCDEF").repeated(32)) + QByteArray(8, char(0xFF)));
    QCOMPARE(s.page(2046), QByteArray(BoardState::PageBytes, char(0xFF)));
    QCOMPARE(s.page(4), QByteArray(BoardState::PageBytes, char(0xFF)));

    // A rejected line leaves its page alone.
    const QByteArray before = s.flash;
    converse(engine, {"#$" + pageLine(3, "00").left(532) + "0"});
    QCOMPARE(engine.state().flash, before);
}

void TestEngine::runState_data()
{
    QTest::addColumn<QList<QByteArray>>("codes"); // code + columns 7-12
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("line");

    QTest::newRow("run") << QList<QByteArray>{"R05000010"} << int(RunMode::Running) << 16;
    QTest::newRow("run, pause") << QList<QByteArray>{"R0500012C", "R07SSSSxx"} << int(RunMode::Paused) << 300;
    QTest::newRow("resume keeps the line")
        << QList<QByteArray>{"R0500012C", "R07SSSSxx", "R05000000"} << int(RunMode::Running) << 300;
    QTest::newRow("run at a line while paused")
        << QList<QByteArray>{"R0500012C", "R07SSSSxx", "R05000020"} << int(RunMode::Running) << 32;
    QTest::newRow("stop") << QList<QByteArray>{"R05000010", "R00SSSSxx"} << int(RunMode::Stopped) << 16;
    QTest::newRow("pause while stopped") << QList<QByteArray>{"R07SSSSxx"} << int(RunMode::Stopped) << 0;
    QTest::newRow("run with no line number") << QList<QByteArray>{"R05SSSSxx"} << int(RunMode::Stopped) << 0;
}

void TestEngine::runState()
{
    QFETCH(QList<QByteArray>, codes);
    QFETCH(int, mode);
    QFETCH(int, line);
    BoardEngine engine;
    QList<QByteArray> chunks;
    for (const QByteArray &c : codes)
        chunks << "&$OV0" + c + "xxx" + QByteArray(32, 'D') + QByteArray(14, 'x') + "0H~";
    converse(engine, chunks);
    QCOMPARE(int(engine.state().runMode), mode);
    QCOMPARE(int(engine.state().runLine), line);
}

void TestEngine::stateFileRejectsBadInput_data()
{
    QTest::addColumn<QByteArray>("bytes");
    BoardState s;
    s.flash[7] = 0x12;
    const QByteArray good = s.serialize();
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("other file") << QByteArray("00005FFFF\r\n");
    QTest::newRow("truncated") << good.left(good.size() - 1);
    QTest::newRow("trailing bytes") << good + "x";
    QTest::newRow("newer version") << QByteArray(good).replace(8, 4, QByteArray("\0\0\0\2", 4));
    QTest::newRow("bad run mode") << QByteArray(good).replace(good.size() - 5, 1, "\x07");
}

void TestEngine::stateFileRejectsBadInput()
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

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
