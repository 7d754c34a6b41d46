// The exchange routines over a real pseudo-terminal against a scripted board,
// with a short link second so that the real timing logic runs quickly.

#include "app/settings.h"
#include "link/link.h"
#include "link/packets.h"
#include "support/scriptedpeer.h"
#include "support/testenv.h"

#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace pvelm;

namespace {

constexpr int kSecond = 100; // ms in one link-second for most tests
// How late a wait may end beyond its whole-second bound on a busy machine.
constexpr int kSlackMs = 80;

bool run(Link &link, const QString &routine)
{
    if (routine == QLatin1String("opencomport"))
        return link.opencomport();
    if (routine == QLatin1String("binreceiver"))
        return link.binreceiver();
    if (routine == QLatin1String("packreceiver"))
        return link.packreceiver();
    if (routine == QLatin1String("binsender"))
        return link.binsender();
    if (routine == QLatin1String("packwriter"))
        return link.packwriter();
    if (routine == QLatin1String("rawsender"))
        return link.rawsender();
    if (routine == QLatin1String("sendonly"))
        return link.sendonly();
    if (routine == QLatin1String("smallcomax"))
        return link.smallcomax();
    if (routine == QLatin1String("docomax"))
        return link.docomax();
    if (routine == QLatin1String("sendLineAndWait"))
        return link.sendLineAndWait();
    qFatal("unknown routine %s", qPrintable(routine));
}

const QStringList kExchanges = {"binreceiver", "packreceiver", "binsender", "packwriter",     "rawsender",
                                "sendonly",    "smallcomax",   "docomax",   "sendLineAndWait"};

// A test's board, port and link. Members are destroyed link first.
struct Rig
{
    TestRoot root;
    ScriptedPeer peer;
    Link link;

    explicit Rig(int secondMs = kSecond)
    {
        QString error;
        if (!peer.open(&error))
            qFatal("pseudo-terminal: %s", qPrintable(error));
        link.setSecondMs(secondMs);
        link.setPortOverride(peer.devicePath());
        link.opencomport();
        if (!link.isPortOpen())
            qFatal("open %s: %s", qPrintable(peer.devicePath()), qPrintable(link.portOpenError()));
        // Inputs every routine may read; each test overrides what it needs.
        link.linkPacket = request("R15");
        link.linkBlock = QStringLiteral("old block");
        link.linkErrorCode = QStringLiteral("Q");
        link.linkErrorText = QStringLiteral("previous");
        link.cmdCode = QStringLiteral("R02");
        link.cmdAddress = QStringLiteral("00000");
        link.cmdParam1 = link.cmdParam2 = link.cmdParam3 = QStringLiteral("000");
    }

    static QString request(const QString &code)
    {
        QString packet = QString::fromLatin1(kLongTemplate);
        fillField(packet, 4, 3, code);
        fillField(packet, 7, 6, hexField(16, 6));
        return packet;
    }
};

// A long reply with result code `code` at column 62.
QByteArray longReply(char code = '0', int length = kLongPacketLength)
{
    QByteArray reply = "OV0R15" + QByteArray(55, 'A') + QByteArray(1, code) + "H~";
    return reply.left(length);
}

// Everything a refused call must leave alone.
struct LinkState
{
    QStringList fields;
    bool timedOut, monitoring, open;
    bool operator==(const LinkState &) const = default;
};

LinkState snapshot(const Link &link)
{
    return {{link.linkPacket, link.linkBlock, link.linkRawInput, link.linkErrorCode, link.linkErrorText, link.cmdCode,
             link.cmdAddress, link.cmdParam1, link.cmdParam2, link.cmdParam3, link.cmdData, link.portSettingsText(),
             link.portDevice()},
            link.linkTimedOut,
            link.monitoring,
            link.isPortOpen()};
}

qint64 msBetween(qint64 fromUs, qint64 toUs)
{
    return (toUs - fromUs) / 1000;
}

} // namespace

class tst_Link : public QObject
{
    Q_OBJECT

private slots:
    void wire_data();
    void wire();
    void attempts_data();
    void attempts();
    void replyTimeout_data();
    void replyTimeout();
    void docomaxCodes_data();
    void docomaxCodes();
    void portFailure_data();
    void portFailure();
    void linkTimedOut_data();
    void linkTimedOut();
    void refusal_data();
    void refusal();
    void opencomportDefault();
    void opencomportUnusable_data();
    void opencomportUnusable();
    void opencomportOsFailure();
    void stopAll_data();
    void stopAll();
    void monitor_data();
    void monitor();
    void exchangeDuringMonitor();
};

// ---- exact bytes and results of every routine against a good board --------

void tst_Link::wire_data()
{
    QTest::addColumn<QString>("routine");
    QTest::addColumn<QString>("packet");  // linkPacket before
    QTest::addColumn<QString>("block");   // linkBlock before
    QTest::addColumn<QStringList>("cmd"); // docomax: code, address, p1, p2, p3, data
    QTest::addColumn<char>("prefix");     // frame the board answers
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("replyDelayS");
    QTest::addColumn<QByteArray>("expectedWire");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expectedPacket");
    QTest::addColumn<QString>("expectedBlock");

    const QString req = Rig::request("R15");
    const QByteArray reqWire = "$" + req.toLatin1();
    const QByteArray page = QByteArray(kFlashBlockLength - 1, '5') + "E";
    const QByteArray reply = longReply();
    const QString line = QStringLiteral("00003") + QString(512, 'F') + QString(16, 'F');
    const QString packed = QStringLiteral("OV0R1D000010") + QString(64, 'F');
    const QStringList noCmd = {"R02", "00000", "000", "000", "000", ""};
    const QString ok = QStringLiteral("No errors");

    QTest::newRow("binreceiver") << "binreceiver" << req << "old block" << noCmd << '$' << 64 << page << 0
                                 << "&" + reqWire << "0" << ok << "" << QString::fromLatin1(page);
    QTest::newRow("packreceiver") << "packreceiver" << req << "old block" << noCmd << '$' << 64 << reply << 0
                                  << "&" + reqWire << "0" << ok << "" << QString::fromLatin1(reply);
    QTest::newRow("binsender") << "binsender"
                               << "old packet" << line << noCmd << '$' << 533 << reply << 0 << "#$" + line.toLatin1()
                               << "0" << ok << QString::fromLatin1(reply) << line;
    QTest::newRow("sendLineAndWait") << "sendLineAndWait"
                                     << "" << line << noCmd << '$' << 533 << reply << 0 << "#$" + line.toLatin1() << "0"
                                     << ok << QString::fromLatin1(reply) << line;
    // No reply and no text: the status line keeps the previous exchange's text.
    QTest::newRow("packwriter") << "packwriter" << req << packed << noCmd << '+' << 77 << QByteArray() << 0
                                << "#+" + packed.toLatin1() + "~"
                                << "0"
                                << "previous" << req << "+" + packed + "~";
    QTest::newRow("rawsender") << "rawsender" << req << "old block" << noCmd << '$' << 64 << reply << 0 << "&" + reqWire
                               << "0" << ok << QString::fromLatin1(reply) << "old block";
    QTest::newRow("rawsender late reply") << "rawsender" << req << "old block" << noCmd << '$' << 64 << reply << 8
                                          << "&" + reqWire << "0" << ok << QString::fromLatin1(reply) << "old block";
    // sendonly does not reset the code: a success leaves the previous one.
    QTest::newRow("sendonly") << "sendonly" << req << "old block" << noCmd << '$' << 64 << QByteArray() << 0
                              << "&" + reqWire << "Q"
                              << "Undefined error"
                              << "$" + req << "old block";
    QTest::newRow("smallcomax") << "smallcomax"
                                << "OR1234DDH"
                                << "old block" << noCmd << '-' << 9 << QByteArray("OR1234ABH") << 0
                                << QByteArray("&-OR1234DDH") << "0" << ok << "OR1234ABH"
                                << "old block";
    QTest::newRow("docomax R02 defaults") << "docomax"
                                          << ""
                                          << "old block" << noCmd << '$' << 64 << reply << 0
                                          << "&$OV0R02000000xxx" + QByteArray(32, 'D') + "xxx000x000000x0H~"
                                          << "0" << ok << QString::fromLatin1(reply) << "old block";
    QTest::newRow("docomax fields") << "docomax"
                                    << ""
                                    << "old block" << QStringList{"R1C", "12345", "111", "222", "333", ""} << '$' << 64
                                    << reply << 0 << "&$OV0R1C123450xxx" + QByteArray(32, 'D') + "xxx111x222333x0H~"
                                    << "0" << ok << QString::fromLatin1(reply) << "old block";
    const QString body = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghij"); // 46
    QTest::newRow("docomax body over 40")
        << "docomax"
        << ""
        << "old block" << QStringList{"R1W", "00000", "000", "000", "000", body} << '$' << 64 << reply << 0
        << "&$OV0R1W" + body.left(41).toLatin1() + "xxx000x000000x0H~"
        << "0" << ok << QString::fromLatin1(reply) << "old block";
    QTest::newRow("docomax body of 40 ignored")
        << "docomax"
        << ""
        << "old block" << QStringList{"R02", "00000", "000", "000", "000", body.left(40)} << '$' << 64 << reply << 0
        << "&$OV0R02000000xxx" + QByteArray(32, 'D') + "xxx000x000000x0H~"
        << "0" << ok << QString::fromLatin1(reply) << "old block";
}

void tst_Link::wire()
{
    QFETCH(QString, routine);
    QFETCH(QString, packet);
    QFETCH(QString, block);
    QFETCH(QStringList, cmd);
    QFETCH(char, prefix);
    QFETCH(int, length);
    QFETCH(QByteArray, reply);
    QFETCH(int, replyDelayS);

    Rig rig;
    rig.peer.answerByte('&', ":");
    rig.peer.answerByte('#', "!");
    rig.peer.answerFrame(prefix, length, reply, replyDelayS * kSecond);
    rig.link.linkPacket = packet;
    rig.link.linkBlock = block;
    rig.link.cmdCode = cmd[0];
    rig.link.cmdAddress = cmd[1];
    rig.link.cmdParam1 = cmd[2];
    rig.link.cmdParam2 = cmd[3];
    rig.link.cmdParam3 = cmd[4];
    rig.link.cmdData = cmd[5];

    // Left over from an earlier exchange, received by the OS but not yet
    // read by Qt: the routine's discard must see it.
    rig.peer.send("stale:!");

    QVERIFY(run(rig.link, routine));
    QTEST(rig.peer.received(), "expectedWire");
    QCOMPARE(rig.link.linkRawInput, QString(QLatin1Char(rig.peer.received().at(0) == '#' ? '!' : ':')));
    QTEST(rig.link.linkErrorCode, "code");
    QTEST(rig.link.linkErrorText, "text");
    QTEST(rig.link.linkPacket, "expectedPacket");
    QTEST(rig.link.linkBlock, "expectedBlock");
    QVERIFY(rig.link.cmdData.isEmpty() || routine != QLatin1String("docomax"));
    QVERIFY(!rig.link.linkTimedOut);
    QVERIFY(!rig.link.isBusy());
}

// ---- handshake attempts: how many, how far apart --------------------------

void tst_Link::attempts_data()
{
    QTest::addColumn<QString>("routine");
    QTest::addColumn<char>("attention");
    QTest::addColumn<QByteArray>("answer"); // empty: silent board
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("seconds"); // the handshake wait

    const struct
    {
        const char *routine;
        char attention;
        int count;
        int seconds;
    } rows[] = {{"binreceiver", '&', 1, 6}, {"packreceiver", '&', 1, 6}, {"binsender", '#', 4, 2},
                {"packwriter", '#', 4, 2},  {"rawsender", '&', 4, 2},    {"sendonly", '&', 4, 2},
                {"smallcomax", '&', 4, 2},  {"docomax", '&', 3, 1}};
    for (const auto &row : rows) {
        QTest::addRow("%s silent", row.routine)
            << row.routine << row.attention << QByteArray() << row.count << row.seconds;
        QTest::addRow("%s wrong answer", row.routine)
            << row.routine << row.attention << QByteArray("x:") << row.count << row.seconds;
    }
}

void tst_Link::attempts()
{
    QFETCH(QString, routine);
    QFETCH(char, attention);
    QFETCH(QByteArray, answer);
    QFETCH(int, count);
    QFETCH(int, seconds);

    Rig rig;
    if (!answer.isEmpty())
        rig.peer.answerByte(attention, answer);
    QElapsedTimer clock;
    clock.start();
    const qint64 startUs = ScriptedPeer::nowUs();
    QVERIFY(run(rig.link, routine));
    const qint64 endUs = ScriptedPeer::nowUs();

    // The attention character and nothing else, as often as the limit allows.
    QCOMPARE(rig.peer.received(), QByteArray(count, attention));
    QCOMPARE(rig.link.linkErrorCode, QStringLiteral("Z"));
    if (routine != QLatin1String("packwriter"))
        QCOMPARE(rig.link.linkErrorText, QStringLiteral("Unable to connect"));
    // Only a handshake wait that runs out marks a download line as failed.
    QCOMPARE(rig.link.linkTimedOut, routine == QLatin1String("binsender") && answer.isEmpty());

    QList<qint64> times = rig.peer.arrivalsOf(attention);
    times.append(endUs); // the last wait ends when the routine returns
    QVERIFY(msBetween(startUs, times.first()) < kSlackMs);
    for (int i = 1; i < times.size(); ++i) {
        const qint64 gap = msBetween(times.at(i - 1), times.at(i));
        if (answer.isEmpty()) {
            // A wait of T lasts between T and T+1 link-seconds.
            QVERIFY2(gap >= seconds * kSecond - 2 && gap <= (seconds + 1) * kSecond + kSlackMs,
                     qPrintable(QStringLiteral("gap %1 ms").arg(gap)));
        } else {
            QVERIFY2(gap < kSlackMs, qPrintable(QStringLiteral("gap %1 ms").arg(gap)));
        }
    }
}

// ---- replies that come short ----------------------------------------------

void tst_Link::replyTimeout_data()
{
    QTest::addColumn<QString>("routine");
    QTest::addColumn<char>("prefix");
    QTest::addColumn<int>("length"); // frame length the board waits for
    QTest::addColumn<QByteArray>("partial");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("expectedPacket");
    QTest::addColumn<QString>("expectedBlock");

    const QString line = QStringLiteral("00003") + QString(528, 'F');
    const QByteArray partial64 = longReply('X', 63);
    QTest::newRow("binreceiver") << "binreceiver" << '$' << 64 << QByteArray(527, '5') << 6 << "Z"
                                 << ""
                                 << "old block";
    QTest::newRow("packreceiver") << "packreceiver" << '$' << 64 << partial64 << 6 << "Z"
                                  << ""
                                  << "old block";
    QTest::newRow("binsender") << "binsender" << '$' << 533 << partial64 << 8 << "Z"
                               << "" << line;
    QTest::newRow("rawsender") << "rawsender" << '$' << 64 << partial64 << 10 << "Z"
                               << ""
                               << "old block";
    // The sent text stays in linkPacket.
    QTest::newRow("smallcomax") << "smallcomax" << '-' << 9 << QByteArray("OR1234AB") << 6 << "Z"
                                << "-OR1234DDH"
                                << "old block";
    // Running out sets nothing: the partial reply is decoded.
    QTest::newRow("docomax") << "docomax" << '$' << 64 << partial64 << 6 << "X" << QString::fromLatin1(partial64)
                             << "old block";
}

void tst_Link::replyTimeout()
{
    QFETCH(QString, routine);
    QFETCH(char, prefix);
    QFETCH(int, length);
    QFETCH(QByteArray, partial);
    QFETCH(int, seconds);

    Rig rig;
    rig.peer.answerByte('&', ":");
    rig.peer.answerByte('#', "!");
    rig.peer.answerFrame(prefix, length, partial);
    rig.link.linkBlock = routine == QLatin1String("binsender") ? QStringLiteral("00003") + QString(528, 'F')
                                                               : QStringLiteral("old block");
    if (routine == QLatin1String("smallcomax"))
        rig.link.linkPacket = QStringLiteral("OR1234DDH");

    QVERIFY(run(rig.link, routine));
    const qint64 endUs = ScriptedPeer::nowUs();
    const QList<qint64> times = rig.peer.receivedTimes();
    const qint64 waited = msBetween(times.last(), endUs);
    QVERIFY2(waited >= seconds * kSecond - 2 && waited <= (seconds + 1) * kSecond + kSlackMs,
             qPrintable(QStringLiteral("waited %1 ms").arg(waited)));
    QTEST(rig.link.linkErrorCode, "code");
    QTEST(rig.link.linkPacket, "expectedPacket");
    QTEST(rig.link.linkBlock, "expectedBlock");
    QVERIFY(!rig.link.linkTimedOut);
}

// ---- docomax takes the board's result code --------------------------------

void tst_Link::docomaxCodes_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("text");

    QTest::newRow("0") << longReply('0') << "0"
                       << "No errors";
    QTest::newRow("1") << longReply('1') << "1"
                       << "System received invalid packet";
    QTest::newRow("2") << longReply('2') << "2"
                       << "No responce from device/module on buss";
    QTest::newRow("X") << longReply('X') << "X"
                       << "Invalid Instruction sent";
    QTest::newRow("9") << longReply('9') << "9"
                       << "Undefined error";
    QTest::newRow("Z from the board") << longReply('Z') << "Z"
                                      << "Unable to connect";
    // Longer than asked: all of it is taken, the code still at 62.
    QTest::newRow("long reply") << longReply('1') + "extra"
                                << "1"
                                << "System received invalid packet";
    // Shorter than 62 characters: no code, the text stays.
    QTest::newRow("short reply") << QByteArray(61, 'A') << ""
                                 << "previous";
}

void tst_Link::docomaxCodes()
{
    QFETCH(QByteArray, reply);
    Rig rig(20); // the short reply runs out its wait
    rig.peer.answerByte('&', ":");
    rig.peer.answerFrame('$', 64, reply);
    QVERIFY(rig.link.docomax());
    QTEST(rig.link.linkErrorCode, "code");
    QTEST(rig.link.linkErrorText, "text");
    QCOMPARE(rig.link.linkPacket, QString::fromLatin1(reply));
}

// ---- the port fails ------------------------------------------------------

void tst_Link::portFailure_data()
{
    QTest::addColumn<QString>("routine");
    QTest::addColumn<QString>("how");

    for (const QString &routine : kExchanges) {
        QTest::addRow("%s closed", qPrintable(routine)) << routine << "closed";
        QTest::addRow("%s hang-up on attention", qPrintable(routine)) << routine << "attention";
        if (routine != QLatin1String("sendonly") && routine != QLatin1String("packwriter"))
            QTest::addRow("%s hang-up awaiting reply", qPrintable(routine)) << routine << "frame";
    }
}

void tst_Link::portFailure()
{
    QFETCH(QString, routine);
    QFETCH(QString, how);

    // Real seconds: a failure that went unnoticed would wait them out.
    Rig rig(1000);
    const QStringList blockWriters = {"binsender", "sendLineAndWait", "packwriter"};
    const char attention = blockWriters.contains(routine) ? '#' : '&';
    const char prefix = routine == QLatin1String("smallcomax") ? '-' : '$';
    const int length = routine == QLatin1String("smallcomax") ? 9 : attention == '#' ? rig.link.linkBlock.size() : 64;
    if (how == QLatin1String("closed")) {
        rig.link.closePort();
    } else if (how == QLatin1String("attention")) {
        rig.peer.hangUpOnByte(attention);
    } else {
        rig.peer.answerByte(attention, attention == '#' ? "!" : ":");
        rig.peer.hangUpOnFrame(prefix, length);
    }

    QElapsedTimer clock;
    clock.start();
    QVERIFY(run(rig.link, routine));
    QVERIFY2(clock.elapsed() < 500, qPrintable(QStringLiteral("took %1 ms").arg(clock.elapsed())));
    QCOMPARE(rig.link.linkErrorCode, QStringLiteral("7"));
    QCOMPARE(rig.link.linkErrorText, routine == QLatin1String("packwriter") ? QStringLiteral("previous")
                                                                            : QStringLiteral("Serial port not open"));
    QVERIFY(!rig.link.isBusy());
    if (how == QLatin1String("closed"))
        QVERIFY(rig.peer.received().isEmpty());

    // The port is unusable afterwards and every later exchange says so at once.
    QVERIFY(!rig.link.isPortOpen());
    rig.link.linkErrorCode.clear();
    clock.restart();
    QVERIFY(rig.link.rawsender());
    QCOMPARE(rig.link.linkErrorCode, QStringLiteral("7"));
    QVERIFY(clock.elapsed() < 100);
}

// ---- the sticky download failure flag --------------------------------------

void tst_Link::linkTimedOut_data()
{
    QTest::addColumn<QString>("routine");
    QTest::addColumn<bool>("before");
    QTest::addColumn<QString>("board"); // good, silent, no reply
    QTest::addColumn<QByteArray>("expectedWire");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("after");
    QTest::addColumn<int>("minSeconds");
    QTest::addColumn<int>("maxSeconds");

    const QByteArray line = "00001" + QByteArray(528, 'F');
    // Set earlier: the handshake runs, nothing is sent, and all is "well".
    QTest::newRow("binsender, set before") << "binsender" << true << "good" << QByteArray("#") << "0" << true << 0 << 1;
    QTest::newRow("sendLineAndWait, set before")
        << "sendLineAndWait" << true << "good" << QByteArray("#") << "0" << true << 0 << 1;
    QTest::newRow("sendLineAndWait, good") << "sendLineAndWait" << false << "good"
                                           << "#$" + line << "0" << false << 0 << 1;
    // The handshake wait runs out: no 30 s wait afterwards.
    QTest::newRow("sendLineAndWait, silent")
        << "sendLineAndWait" << false << "silent" << QByteArray("####") << "Z" << true << 8 << 13;
    // The reply never comes: 8 s in binsender, then 30 s more.
    QTest::newRow("sendLineAndWait, no reply") << "sendLineAndWait" << false << "no reply"
                                               << "#$" + line << "Z" << true << 38 << 40;
}

void tst_Link::linkTimedOut()
{
    QFETCH(QString, routine);
    QFETCH(bool, before);
    QFETCH(QString, board);
    QFETCH(int, minSeconds);
    QFETCH(int, maxSeconds);

    constexpr int second = 20;
    Rig rig(second);
    if (board != QLatin1String("silent"))
        rig.peer.answerByte('#', "!");
    if (board == QLatin1String("good"))
        rig.peer.answerFrame('$', 533, longReply());
    rig.link.linkBlock = QStringLiteral("00001") + QString(528, 'F');
    rig.link.linkPacket.clear();
    rig.link.linkTimedOut = before;

    QElapsedTimer clock;
    clock.start();
    QVERIFY(run(rig.link, routine));
    const qint64 elapsed = clock.elapsed();
    QTEST(rig.peer.received(), "expectedWire");
    QTEST(rig.link.linkErrorCode, "code");
    QTEST(rig.link.linkTimedOut, "after");
    QVERIFY2(elapsed >= minSeconds * second - 2 && elapsed <= maxSeconds * second + kSlackMs,
             qPrintable(QStringLiteral("took %1 ms").arg(elapsed)));
}

// ---- one exchange at a time -------------------------------------------------

void tst_Link::refusal_data()
{
    QTest::addColumn<QString>("inner");
    QTest::newRow("opencomport") << "opencomport";
    for (const QString &routine : kExchanges)
        QTest::newRow(qPrintable(routine)) << routine;
}

void tst_Link::refusal()
{
    QFETCH(QString, inner);

    Rig rig;
    rig.peer.answerByte('&', ":");
    rig.peer.answerByte('#', "!");
    rig.peer.answerFrame('$', 64, longReply(), 3 * kSecond);
    QSignalSpy busy(&rig.link, &Link::busyChanged);

    // A click that arrives while the exchange waits for its reply.
    bool innerRan = true;
    bool stateKept = false;
    QByteArray wireBefore;
    QByteArray wireAfter;
    QTimer::singleShot(kSecond, &rig.link, [&] {
        const LinkState before = snapshot(rig.link);
        wireBefore = rig.peer.received();
        innerRan = run(rig.link, inner);
        stateKept = snapshot(rig.link) == before;
        wireAfter = rig.peer.received();
    });
    rig.link.linkPacket = Rig::request("R15");
    QVERIFY(rig.link.rawsender());

    QVERIFY(!innerRan);
    QVERIFY(stateKept);
    QCOMPARE(wireAfter, wireBefore);
    QCOMPARE(rig.peer.received(), "&$" + Rig::request("R15").toLatin1());
    QCOMPARE(rig.link.linkErrorCode, QStringLiteral("0"));
    QCOMPARE(rig.link.linkPacket, QString::fromLatin1(longReply()));
    QCOMPARE(busy.size(), 2);
    QCOMPARE(busy.at(0).at(0).toBool(), true);
    QCOMPARE(busy.at(1).at(0).toBool(), false);
    // And once it is over, the link takes the next exchange.
    QVERIFY(rig.link.rawsender());
}

// ---- opening the port -------------------------------------------------------

void tst_Link::opencomportDefault()
{
    TestRoot root;
    ScriptedPeer peer;
    QVERIFY(peer.open());
    QDir().mkpath(root.file("dosdevices"));
    QVERIFY(QFile::link(peer.devicePath(), root.file("dosdevices/com1")));
    SettingsRecord record;
    Link link;
    link.setSettings(&record);

    QVERIFY(link.opencomport());
    QVERIFY2(link.isPortOpen(), qPrintable(link.portOpenError()));
    QCOMPARE(link.portSettingsText(), QStringLiteral("57600,n,8,1"));
    QCOMPARE(link.commPort(), 1);
    QCOMPARE(link.rThreshold(), 60);
    QCOMPARE(link.portDevice(), peer.devicePath());
    QVERIFY(link.portOpenError().isEmpty());
    QCOMPARE(link.port()->baudRate(), 57600);
    QCOMPARE(link.port()->parity(), QSerialPort::NoParity);
    QCOMPARE(link.port()->dataBits(), QSerialPort::Data8);
    QCOMPARE(link.port()->stopBits(), QSerialPort::OneStop);

    // Opening again closes first and opens the same way.
    QVERIFY(link.opencomport());
    QVERIFY(link.isPortOpen());
    link.closePort();
    QVERIFY(!link.isPortOpen());
}

void tst_Link::opencomportUnusable_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("settingsText");
    QTest::addColumn<QString>("reason");

    QTest::newRow("port letter") << 100 << "x"
                                 << "57600,n,8,1"
                                 << "port number";
    QTest::newRow("port 0") << 100 << "0"
                            << "57600,n,8,1"
                            << "port number";
    QTest::newRow("baud 0") << 101 << "000000"
                            << "0,n,8,1"
                            << "baud rate";
    QTest::newRow("baud letters") << 101 << "abcdef"
                                  << "0,n,8,1"
                                  << "baud rate";
    QTest::newRow("parity") << 107 << "q"
                            << "57600,q,8,1"
                            << "parity";
    QTest::newRow("data bits 9") << 108 << "9"
                                 << "57600,n,9,1"
                                 << "data bits";
    QTest::newRow("data bits 4") << 108 << "4"
                                 << "57600,n,4,1"
                                 << "data bits";
    QTest::newRow("stop bits 3") << 109 << "3"
                                 << "57600,n,8,3"
                                 << "stop bits";
    QTest::newRow("stop bits letter") << 109 << "x"
                                      << "57600,n,8,x"
                                      << "stop bits";
}

void tst_Link::opencomportUnusable()
{
    QFETCH(int, column);
    QFETCH(QString, value);
    QFETCH(QString, reason);

    TestRoot root;
    ScriptedPeer peer;
    QVERIFY(peer.open());
    QDir().mkpath(root.file("dosdevices"));
    QVERIFY(QFile::link(peer.devicePath(), root.file("dosdevices/com1")));
    SettingsRecord record;
    record.setField(column, value.size(), value);
    Link link;
    link.setSettings(&record);
    link.linkErrorCode = QStringLiteral("Q");

    QVERIFY(link.opencomport());
    QVERIFY(!link.isPortOpen());
    QTEST(link.portSettingsText(), "settingsText");
    QVERIFY2(link.portOpenError().contains(reason), qPrintable(link.portOpenError()));
    QCOMPARE(link.linkErrorCode, QStringLiteral("Q")); // no error code is set

    // Exchanges on the closed port fail as port failures.
    QVERIFY(link.smallcomax());
    QCOMPARE(link.linkErrorCode, QStringLiteral("7"));
    QCOMPARE(link.linkErrorText, QStringLiteral("Serial port not open"));
}

void tst_Link::opencomportOsFailure()
{
    TestRoot root;
    Link link;
    // No dosdevices link: port 1 is /dev/ttyS0, replaced here by a device
    // that does not exist.
    link.setPortOverride(root.file("no-such-tty"));
    QVERIFY(link.opencomport());
    QVERIFY(!link.isPortOpen());
    QVERIFY(link.portOpenError().startsWith(root.file("no-such-tty") + ": "));

    if (geteuid() == 0)
        QSKIP("root may open anything: no permission failure to show");
    QVERIFY(writeAllBytes(root.file("locked-tty"), QByteArray()));
    QFile::setPermissions(root.file("locked-tty"), QFileDevice::Permissions());
    link.setPortOverride(root.file("locked-tty"));
    QVERIFY(link.opencomport());
    QVERIFY(!link.isPortOpen());
    QVERIFY2(link.portOpenError().contains(QLatin1String("dialout")), qPrintable(link.portOpenError()));
}

// ---- ending waits -----------------------------------------------------------

void tst_Link::stopAll_data()
{
    QTest::addColumn<QString>("routine");
    QTest::newRow("rawsender handshake") << "rawsender";
    QTest::newRow("sendLineAndWait reply") << "sendLineAndWait";
    QTest::newRow("monitor read") << "monitor";
}

void tst_Link::stopAll()
{
    QFETCH(QString, routine);
    Rig rig(1000); // real seconds: the waits would be long
    rig.peer.answerByte('#', "!");
    rig.link.monitoring = true;
    QTimer::singleShot(50, &rig.link, [&] { rig.link.stopAll(); });

    QElapsedTimer clock;
    clock.start();
    if (routine == QLatin1String("monitor"))
        rig.link.readMonitorReply();
    else
        QVERIFY(run(rig.link, routine));
    QVERIFY2(clock.elapsed() < 300, qPrintable(QStringLiteral("took %1 ms").arg(clock.elapsed())));
    QVERIFY(rig.link.isStopped());
    if (routine != QLatin1String("monitor"))
        QCOMPARE(rig.link.linkErrorCode, QStringLiteral("Z"));
    if (routine == QLatin1String("sendLineAndWait"))
        QVERIFY(rig.link.linkTimedOut); // the line was not delivered

    // Every later call ends at once too.
    clock.restart();
    QVERIFY(rig.link.docomax());
    rig.link.readMonitorReply();
    QVERIFY(clock.elapsed() < 100);
}

void tst_Link::monitor_data()
{
    QTest::addColumn<QByteArray>("pending"); // waiting before the read
    QTest::addColumn<int>("sendAtS");        // when the board sends `report`, -1 never
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<int>("clearAtS"); // when `monitoring` is cleared, -1 never
    QTest::addColumn<int>("minS");
    QTest::addColumn<int>("maxS");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray report = "AB00010002000330010000C8";
    QTest::newRow("report arrives") << QByteArray() << 2 << report + "AB0" << -1 << 2 << 2 << report + "AB0";
    QTest::newRow("partial report") << QByteArray() << 1 << report.left(20) << -1 << 6 << 7 << report.left(20);
    QTest::newRow("nothing") << QByteArray() << -1 << QByteArray() << -1 << 6 << 7 << QByteArray();
    QTest::newRow("waiting already") << report << -1 << QByteArray() << -1 << 0 << 0 << report;
    QTest::newRow("monitoring cleared") << QByteArray("AB") << -1 << QByteArray() << 2 << 2 << 2 << QByteArray("AB");
}

void tst_Link::monitor()
{
    QFETCH(QByteArray, pending);
    QFETCH(int, sendAtS);
    QFETCH(QByteArray, report);
    QFETCH(int, clearAtS);
    QFETCH(int, minS);
    QFETCH(int, maxS);

    Rig rig;
    rig.link.monitoring = true;
    rig.link.linkRawInput = QStringLiteral("old report");
    rig.peer.send(pending);
    if (sendAtS >= 0)
        rig.peer.sendLater(sendAtS * kSecond, report);
    if (clearAtS >= 0)
        QTimer::singleShot(clearAtS * kSecond, &rig.link, [&] { rig.link.monitoring = false; });

    QElapsedTimer clock;
    clock.start();
    rig.link.readMonitorReply();
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= minS * kSecond - 2 && elapsed <= maxS * kSecond + kSlackMs,
             qPrintable(QStringLiteral("took %1 ms").arg(elapsed)));
    QTEST(rig.link.linkRawInput.toLatin1(), "expected");
    QVERIFY(rig.peer.received().isEmpty()); // the monitor never sends
}

// Pause pressed while the monitor waits: the monitor's read is not an
// exchange, so the command goes out, and the monitor's wait still ends by
// its own rules afterwards.
void tst_Link::exchangeDuringMonitor()
{
    Rig rig;
    rig.peer.answerByte('&', ":");
    rig.link.monitoring = true;
    bool ran = false;
    QString pause = QString::fromLatin1(kLongTemplate);
    fillField(pause, 4, 3, QStringLiteral("R07"));
    QTimer::singleShot(kSecond, &rig.link, [&] {
        rig.link.linkPacket = pause;
        ran = rig.link.sendonly();
        rig.peer.sendLater(kSecond, "AB00010002000330010000C8");
    });
    QElapsedTimer clock;
    clock.start();
    rig.link.readMonitorReply();
    QVERIFY(ran);
    QCOMPARE(rig.peer.received(), "&$" + pause.toLatin1());
    QCOMPARE(rig.link.linkRawInput, QStringLiteral("AB00010002000330010000C8"));
    QVERIFY2(clock.elapsed() < 4 * kSecond, qPrintable(QString::number(clock.elapsed())));
}

QTEST_GUILESS_MAIN(tst_Link)
#include "tst_link.moc"
