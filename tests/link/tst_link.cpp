// The exchange routines over a real pseudo-terminal against a scripted board,
// with a short link second so that the real timing logic runs quickly, and
// what they report to the traffic log.

#include "link/link.h"
#include "link/packets.h"
#include "link/traffic.h"
#include "settings/settings.h"
#include "support/scriptedpeer.h"
#include "support/testenv.h"

#include <chrono>
#include <thread>
#include <tuple>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QSerialPort>
#include <QTest>
#include <QTimer>

using namespace pvelm;

namespace {

constexpr int kSecond = 100; // ms in one link-second for most tests
constexpr int kSlackMs = 80; // how late a wait may end on a busy machine

const QMap<QString, bool (Link::*)()> kRoutines = {
    {"opencomport", &Link::opencomport},   {"binreceiver", &Link::binreceiver},
    {"packreceiver", &Link::packreceiver}, {"binsender", &Link::binsender},
    {"packwriter", &Link::packwriter},     {"rawsender", &Link::rawsender},
    {"sendonly", &Link::sendonly},         {"smallcomax", &Link::smallcomax},
    {"docomax", &Link::docomax},           {"sendLineAndWait", &Link::sendLineAndWait}};

bool run(Link &link, const QString &routine)
{
    return (link.*kRoutines.value(routine))();
}

// A wait of T link-seconds lasts between T and T+1 of them.
bool lasted(qint64 ms, int minSeconds, int maxSeconds, int second = kSecond)
{
    if (ms >= minSeconds * second - 2 && ms <= maxSeconds * second + kSlackMs)
        return true;
    qWarning("took %lld ms, expected %d to %d link-seconds of %d ms", ms, minSeconds, maxSeconds, second);
    return false;
}

QString request(const QString &code)
{
    QString packet = QString::fromLatin1(kLongTemplate);
    fillField(packet, 4, 3, code);
    return packet;
}

// A long reply with the board's result code at column 62.
QByteArray longReply(char code = '0', int length = kLongPacketLength)
{
    return ("OV0R15" + QByteArray(55, 'A') + QByteArray(1, code) + "H~").left(length);
}

// A test's board, port and link. Members are destroyed link first.
struct Rig
{
    TestRoot root;
    ScriptedPeer peer;
    Link link;

    explicit Rig(int secondMs = kSecond)
    {
        if (!peer.open())
            qFatal("no pseudo-terminal");
        link.setSecondMs(secondMs);
        link.setPortOverride(peer.devicePath());
        link.opencomport();
        if (!link.isPortOpen())
            qFatal("open %s: %s", qPrintable(peer.devicePath()), qPrintable(link.portOpenError()));
        link.linkPacket = request("R15");
        link.linkBlock = QStringLiteral("old block");
        link.linkErrorCode = QStringLiteral("Q");
        link.linkErrorText = QStringLiteral("previous");
    }
    void answerHandshakes()
    {
        peer.answer('&', ":");
        peer.answer('#', "!");
    }
};

// One exchange against a board that answers the handshake, then the frame
// after the attention character in `wire` with `reply`. The routine returns
// minS to maxS link-seconds after its last byte went out.
struct Exchange
{
    QString routine = {};
    QByteArray wire = {}; // all the board receives
    QByteArray reply = {};
    QString code = {};
    QString text = {};
    QString packetAfter = {};
    QString blockAfter = {};
    int minS = 0;
    int maxS = 0;
    bool timedOutBefore = false;
    bool timedOutAfter = false;
    // Inputs.
    QString block = QStringLiteral("old block");
    QString packet = request("R15");
    QStringList cmd = {"R02", "00000", "000", "000", "000", ""}; // docomax: code, address, p1-p3, data
};

} // namespace

Q_DECLARE_METATYPE(Exchange)

class tst_Link : public QObject
{
    Q_OBJECT

private slots:
    void exchange_data();
    void exchange();
    void attempts_data();
    void attempts();
    void endlessTrickle();
    void promptEnd_data();
    void promptEnd();
    void opencomport_data();
    void opencomport();
    void monitor_data();
    void monitor();
    void traffic();
    void waits_data();
    void waits();
    void deviceReturn();
};

void tst_Link::exchange_data()
{
    QTest::addColumn<Exchange>("x");

    const QByteArray req = "&$" + request("R15").toLatin1();
    const QByteArray docomaxR02 = "&$OV0R02000000xxx" + QByteArray(32, 'D') + "xxx000x000000x0H~";
    const QByteArray page = QByteArray(kFlashBlockLength - 1, '5') + "E";
    const QByteArray partial = longReply('X', 63);
    const QString reply = QString::fromLatin1(longReply());
    const QString line = QStringLiteral("00003") + QString(528, 'F');
    const QByteArray lineWire = "#$" + line.toLatin1();
    const QString packed = QStringLiteral("OV0R1D000010") + QString(64, 'F');
    const QString body = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghij"); // 46
    const QString old = QStringLiteral("old block");
    const QString ok = QStringLiteral("No errors");
    const QString noAnswer = QStringLiteral("Unable to connect");
    const QString r15 = request("R15");
    const auto docomax = [&](const QByteArray &reply, const QString &code, const QString &text, int minS = 0) {
        return Exchange{"docomax", docomaxR02, reply, code, text, QString::fromLatin1(reply), old, minS, minS + !!minS};
    };
    const auto docomaxCmd = [&](const QByteArray &wire, const QStringList &cmd) {
        Exchange x{"docomax", wire, longReply(), "0", ok, reply, old};
        x.cmd = cmd;
        return x;
    };

    // The board answers in full.
    QTest::newRow("binreceiver") << Exchange{"binreceiver", req, page, "0", ok, "", page};
    QTest::newRow("packreceiver") << Exchange{"packreceiver", req, longReply(), "0", ok, "", reply};
    QTest::newRow("sendLineAndWait") << Exchange{
        "sendLineAndWait", lineWire, longReply(), "0", ok, reply, line, 0, 0, false, false, line};
    // No reply and no text: the status line keeps the previous exchange's text.
    QTest::newRow("packwriter") << Exchange{
        "packwriter", "#+" + packed.toLatin1() + "~", "", "0", "previous", r15, "+" + packed + "~", 0, 0, false, false,
        packed};
    // sendonly does not reset the code: a success leaves the previous one.
    QTest::newRow("sendonly") << Exchange{"sendonly", req, "", "Q", "Undefined error", "$" + r15, old};
    QTest::newRow("smallcomax") << Exchange{
        "smallcomax", "&-OR1234DDH", "OR1234ABH", "0", ok, "OR1234ABH", old, 0, 0, false, false, old, "OR1234DDH"};
    QTest::newRow("docomax fields") << docomaxCmd("&$OV0R1C123450xxx" + QByteArray(32, 'D') + "xxx111x222333x0H~",
                                                  {"R1C", "12345", "111", "222", "333", ""});
    QTest::newRow("docomax body over 40") << docomaxCmd("&$OV0R1W" + body.left(41).toLatin1() + "xxx000x000000x0H~",
                                                        {"R1W", "00000", "000", "000", "000", body});
    QTest::newRow("docomax body of 40 ignored")
        << docomaxCmd(docomaxR02, {"R02", "00000", "000", "000", "000", body.left(40)});
    // docomax takes the board's own code; a longer reply is taken whole.
    QTest::newRow("docomax code 1") << docomax(longReply('1') + "extra", "1", "System received invalid packet");
    QTest::newRow("docomax code 2") << docomax(longReply('2'), "2", "No responce from device/module on buss");

    // The reply stays short: each routine waits its time. docomax decodes
    // what came, and leaves code and text alone when it is too short for one.
    QTest::newRow("binreceiver short") << Exchange{
        "binreceiver", req, QByteArray(527, '5'), "Z", noAnswer, "", old, 6, 7};
    QTest::newRow("binsender short") << Exchange{"binsender", lineWire, partial, "Z",   noAnswer, "",
                                                 line,        8,        9,       false, false,    line};
    QTest::newRow("rawsender short") << Exchange{"rawsender", req, partial, "Z", noAnswer, "", old, 10, 11};
    // The sent text stays in linkPacket.
    QTest::newRow("smallcomax short") << Exchange{"smallcomax", "&-OR1234DDH", "OR1234AB", "Z", noAnswer,
                                                  "-OR1234DDH", old,           6,          7,   false,
                                                  false,        old,           "OR1234DDH"};
    QTest::newRow("docomax short") << docomax(partial, "X", "Invalid Instruction sent", 6);
    QTest::newRow("docomax too short for a code") << docomax(QByteArray(61, 'A'), "", "previous", 6);

    // A download line: no reply within binsender's 8 s and 30 s more marks it
    // failed; once marked, lines are no longer sent and all is "well".
    QTest::newRow("sendLineAndWait no reply")
        << Exchange{"sendLineAndWait", lineWire, "", "Z", noAnswer, "", line, 38, 40, false, true, line};
    for (const char *routine : {"binsender", "sendLineAndWait"}) {
        QTest::addRow("%s after a failed line", routine)
            << Exchange{routine, "#", "", "0", ok, r15, line, 0, 0, true, true, line};
    }
}

void tst_Link::exchange()
{
    QFETCH(Exchange, x);

    Rig rig;
    rig.answerHandshakes();
    if (x.wire.size() > 1)
        rig.peer.answer(x.wire.at(1), x.reply, x.wire.size() - 2);
    rig.link.linkPacket = x.packet;
    rig.link.linkBlock = x.block;
    rig.link.linkTimedOut = x.timedOutBefore;
    QString *cmd[] = {&rig.link.cmdCode,   &rig.link.cmdAddress, &rig.link.cmdParam1,
                      &rig.link.cmdParam2, &rig.link.cmdParam3,  &rig.link.cmdData};
    for (int i = 0; i < 6; ++i)
        *cmd[i] = x.cmd.at(i);
    // Left over from an earlier exchange, received by the OS but not yet
    // read by Qt: the routine's discard must see it.
    rig.peer.send("stale:!");
    // A second exchange started from inside a wait is refused and sends nothing.
    bool innerRan = false;
    QTimer::singleShot(0, &rig.link, [&] { innerRan = rig.link.isBusy() && rig.link.docomax(); });

    QVERIFY(run(rig.link, x.routine));
    QVERIFY(!innerRan);
    QVERIFY(lasted((ScriptedPeer::nowUs() - rig.peer.receivedTimes().last()) / 1000, x.minS, x.maxS));
    QCOMPARE(rig.peer.received(), x.wire);
    QCOMPARE(rig.link.linkRawInput, QString(QLatin1Char(x.wire.at(0) == '#' ? '!' : ':')));
    QCOMPARE(rig.link.linkErrorCode, x.code);
    QCOMPARE(rig.link.linkErrorText, x.text);
    QCOMPARE(rig.link.linkPacket, x.packetAfter);
    QCOMPARE(rig.link.linkBlock, x.blockAfter);
    QVERIFY(rig.link.cmdData.isEmpty() || x.routine != QLatin1String("docomax"));
    QCOMPARE(rig.link.linkTimedOut, x.timedOutAfter);
    QVERIFY(!rig.link.isBusy());
}

// Handshake attempts against a silent or wrongly answering board: how many,
// and how far apart.
void tst_Link::attempts_data()
{
    QTest::addColumn<QString>("routine");
    QTest::addColumn<char>("attention");
    QTest::addColumn<QByteArray>("answer"); // empty: silent board
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("seconds"); // the handshake wait

    const std::tuple<const char *, char, int, int> rows[] = {
        {"binreceiver", '&', 1, 6}, {"packreceiver", '&', 1, 6}, {"binsender", '#', 4, 2},
        {"packwriter", '#', 4, 2},  {"rawsender", '&', 4, 2},    {"sendonly", '&', 4, 2},
        {"smallcomax", '&', 4, 2},  {"docomax", '&', 3, 1},      {"sendLineAndWait", '#', 4, 2}};
    for (const auto &[routine, attention, count, seconds] : rows) {
        // A download line whose handshake failed is not waited for further.
        for (const QByteArray &answer : {QByteArray(), QByteArray(attention == '#' ? "x!" : "x:")}) {
            if (!answer.isEmpty() && routine == QLatin1String("sendLineAndWait"))
                continue;
            QTest::addRow("%s %s", routine, answer.isEmpty() ? "silent" : "wrong answer")
                << QString(routine) << attention << answer << count << seconds;
        }
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
        rig.peer.answer(attention, answer);
    const qint64 startUs = ScriptedPeer::nowUs();
    QVERIFY(run(rig.link, routine));
    QList<qint64> times = rig.peer.receivedTimes();
    times.append(ScriptedPeer::nowUs()); // the last wait ends when the routine returns

    QCOMPARE(rig.peer.received(), QByteArray(count, attention));
    QCOMPARE(rig.link.linkErrorCode, QStringLiteral("Z"));
    if (routine != QLatin1String("packwriter"))
        QCOMPARE(rig.link.linkErrorText, QStringLiteral("Unable to connect"));
    // Only a handshake wait that runs out marks a download line as failed.
    QCOMPARE(rig.link.linkTimedOut, attention == '#' && routine != QLatin1String("packwriter") && answer.isEmpty());
    QVERIFY(lasted((times.first() - startUs) / 1000, 0, 0));
    for (int i = 1; i < times.size(); ++i) {
        const int wait = answer.isEmpty() ? seconds : 0;
        QVERIFY(lasted((times.at(i) - times.at(i - 1)) / 1000, wait, wait ? wait + 1 : 0));
    }
}

// A board that hangs up while a reply is awaited, or stopAll: the routine ends
// at once ("7" for the port, "Z" when stopped), and so does every later one.
// Hang-ups on the attention character: tst_faultsweep.
// A board that keeps sending characters but never a whole reply: each
// character wakes the reply wait, and still it ends by the clock, between
// its 6 and 7 link-seconds. A wait that ended a link-second early would
// pass only by starting just after a second began, as it does right after
// another wait ended: the second exchange starts half a second later.
void tst_Link::endlessTrickle()
{
    Rig rig;
    rig.answerHandshakes();
    QTimer trickle;
    QObject::connect(&trickle, &QTimer::timeout, [&] {
        if (rig.peer.received().endsWith("H~"))
            rig.peer.send("A");
    });
    trickle.start(5);
    for (int i = 0; i < 2; ++i) {
        QTest::qWait(kSecond / 2);
        rig.link.linkPacket = request("R15");
        QVERIFY(rig.link.binreceiver()); // 528 characters: more than come in 7 s
        QVERIFY(lasted((ScriptedPeer::nowUs() - rig.peer.receivedTimes().last()) / 1000, 6, 7));
        QCOMPARE(rig.link.linkErrorCode, QStringLiteral("Z"));
    }
}

void tst_Link::promptEnd_data()
{
    QTest::addColumn<QString>("routine");
    QTest::addColumn<bool>("stop");

    for (const QString &routine : kRoutines.keys()) {
        if (!QStringList{"opencomport", "sendonly", "packwriter"}.contains(routine))
            QTest::addRow("%s hang-up awaiting reply", qPrintable(routine)) << routine << false;
    }
    QTest::newRow("sendLineAndWait reply stopped") << "sendLineAndWait" << true;
    QTest::newRow("monitor read stopped") << "monitor" << true;
}

void tst_Link::promptEnd()
{
    QFETCH(QString, routine);
    QFETCH(bool, stop);

    Rig rig(1000); // real seconds: a wait that went on would be long
    if (!stop) {
        rig.answerHandshakes();
        // The frame the routine sends (linkBlock is "old block" here).
        const bool block = QStringList{"binsender", "sendLineAndWait"}.contains(routine);
        rig.peer.hangUpOn(routine == QLatin1String("smallcomax") ? '-' : '$', block ? 9 : 64);
    } else {
        rig.peer.answer('#', "!");
        rig.link.monitoring = true;
        QTimer::singleShot(50, &rig.link, [&] { rig.link.stopAll(); });
    }
    const QString code = stop ? QStringLiteral("Z") : QStringLiteral("7");

    QElapsedTimer clock;
    clock.start();
    if (routine == QLatin1String("monitor")) {
        rig.link.readMonitorReply();
    } else {
        QVERIFY(run(rig.link, routine));
        QCOMPARE(rig.link.linkErrorCode, code);
    }
    QVERIFY2(clock.elapsed() < (stop ? 300 : 500), qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!rig.link.isBusy());
    if (!stop)
        QCOMPARE(rig.link.linkErrorText, QStringLiteral("Serial port not open"));
    QCOMPARE(rig.link.isStopped(), stop);
    if (stop && routine == QLatin1String("sendLineAndWait"))
        QVERIFY(rig.link.linkTimedOut); // the line was not delivered
    QCOMPARE(rig.link.isPortOpen(), stop);

    rig.link.linkErrorCode.clear();
    clock.restart();
    QVERIFY(rig.link.rawsender());
    rig.link.readMonitorReply();
    QVERIFY(clock.elapsed() < 100);
    QCOMPARE(rig.link.linkErrorCode, code);
}

// Port 1 of the settings record through the dosdevices/com1 link; a record
// with an unusable field opens nothing.
void tst_Link::opencomport_data()
{
    QTest::addColumn<int>("column"); // 0: the default record
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("settingsText");
    QTest::addColumn<QString>("reason"); // empty: the port opens

    const auto row = [](const char *name, int column, const char *value, const char *settingsText, const char *reason) {
        QTest::newRow(name) << column << QString(value) << QString(settingsText) << QString(reason);
    };
    row("default", 0, "", "57600,n,8,1", "");
    row("port 0", 100, "0", "57600,n,8,1", "port number");
    row("baud letters", 101, "abcdef", "0,n,8,1", "baud rate");
    row("parity", 107, "q", "57600,q,8,1", "parity");
    row("data bits 9", 108, "9", "57600,n,9,1", "data bits");
    row("stop bits 3", 109, "3", "57600,n,8,3", "stop bits");
}

void tst_Link::opencomport()
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
    if (column > 0)
        record.setField(column, value.size(), value);
    Link link;
    link.setSettings(&record);
    link.linkErrorCode = QStringLiteral("Q");

    QVERIFY(link.opencomport());
    QTEST(link.portSettingsText(), "settingsText");
    QCOMPARE(link.linkErrorCode, QStringLiteral("Q")); // opening sets no code
    if (!reason.isEmpty()) {
        QVERIFY(!link.isPortOpen());
        QVERIFY2(link.portOpenError().contains(reason), qPrintable(link.portOpenError()));
        QVERIFY(link.smallcomax());
        QCOMPARE(link.linkErrorCode, QStringLiteral("7"));
        return;
    }
    QVERIFY2(link.isPortOpen(), qPrintable(link.portOpenError()));
    QCOMPARE(link.portDevice(), peer.devicePath());
    const QSerialPort *port = link.port();
    QCOMPARE((QList<int>{port->baudRate(), port->parity(), port->dataBits(), port->stopBits()}),
             (QList<int>{57600, QSerialPort::NoParity, QSerialPort::Data8, QSerialPort::OneStop}));
    // A second link to the device is refused by the first one's lock: the
    // reason must not send the operator to the dialout group.
    Link second;
    second.opencomport();
    QVERIFY(!second.isPortOpen());
    QVERIFY2(second.portOpenError().contains("lock") && !second.portOpenError().contains("dialout"),
             qPrintable(second.portOpenError()));
    // Opening again closes first and opens the same way.
    QVERIFY(link.opencomport());
    QVERIFY(link.isPortOpen());
}

// The status monitor's read: up to 6 s for 24 characters, or until the
// monitor is switched off; it takes whatever has come. A whole report, and a
// Pause sent while it waits: tst_runwindow.
void tst_Link::monitor_data()
{
    QTest::addColumn<int>("sendAtS"); // when the board sends `report`; -1 before the read
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<int>("clearAtS"); // when `monitoring` is cleared, -1 never
    QTest::addColumn<int>("minS");
    QTest::addColumn<int>("maxS");

    const QByteArray report = "AB00010002000330010000C8";
    QTest::newRow("partial report") << 1 << report.left(20) << -1 << 6 << 7;
    QTest::newRow("monitoring cleared") << -1 << QByteArray("AB") << 2 << 2 << 2;
}

void tst_Link::monitor()
{
    QFETCH(int, sendAtS);
    QFETCH(QByteArray, report);
    QFETCH(int, clearAtS);
    QFETCH(int, minS);
    QFETCH(int, maxS);

    Rig rig;
    rig.peer.answer('&', ":");
    rig.link.monitoring = true;
    rig.link.linkRawInput = QStringLiteral("old report");
    if (sendAtS < 0)
        rig.peer.send(report);
    else
        rig.peer.sendLater(sendAtS * kSecond, report);
    if (clearAtS >= 0)
        QTimer::singleShot(clearAtS * kSecond, &rig.link, [&] { rig.link.monitoring = false; });

    QElapsedTimer clock;
    clock.start();
    rig.link.readMonitorReply();
    QVERIFY(lasted(clock.elapsed(), minS, maxS));
    QCOMPARE(rig.link.linkRawInput.toLatin1(), report);
    QVERIFY(rig.peer.received().isEmpty()); // the monitor itself never sends
}

// What the link reports to the traffic log: every chunk with its routine, in
// order, bytes exact; input the routine discards is reported too; nothing for
// a refused call; and the link is not observed at all while nobody wants the
// entries.
void tst_Link::traffic()
{
    using Dir = LinkObserver::Direction;
    Rig rig;
    rig.answerHandshakes();
    rig.peer.answer('$', longReply(), kLongPacketLength);
    TrafficLog log;
    log.setLink(&rig.link);
    log.setRingEnabled(true);
    QVERIFY(log.startTrace(rig.root.file("trace.log"), nullptr));

    rig.peer.send("stale");
    QTRY_VERIFY(rig.link.port()->waitForReadyRead(10) || rig.link.port()->bytesAvailable() > 0);
    QVERIFY(rig.link.rawsender());
    {
        LinkHold hold(rig.link);
        QVERIFY(!rig.link.docomax()); // refused: nothing moves, nothing logged
    }

    const QList<std::tuple<Dir, QByteArray>> expected = {
        {Dir::Received, "stale"},     {Dir::Sent, "&"},
        {Dir::Received, ":"},         {Dir::Sent, "$" + request("R15").toLatin1()},
        {Dir::Received, longReply()},
    };
    const TrafficRing &ring = log.ring();
    QCOMPARE(ring.size(), expected.size());
    for (int i = 0; i < ring.size(); ++i) {
        QCOMPARE(ring.at(i).direction, std::get<0>(expected[i]));
        QCOMPARE(ring.at(i).bytes, std::get<1>(expected[i]));
        QCOMPARE(QByteArray(ring.at(i).routine), QByteArray("rawsender"));
    }

    // The trace (a header line, then one line an entry) holds the same lines;
    // paused, the ring takes nothing and the trace goes on.
    log.setPaused(true);
    rig.link.linkPacket = request("R15");
    QVERIFY(rig.link.rawsender());
    QCOMPARE(ring.size(), expected.size());
    const QList<QByteArray> trace = readAllBytes(rig.root.file("trace.log")).split('\n');
    QCOMPARE(trace.size(), 1 + 2 * expected.size() - 1 + 1);
    QCOMPARE(trace.at(4), trafficLine(ring.at(3), ring.originNs()).toLatin1() + '\r');
    log.stopTrace();
    QVERIFY(!rig.link.observer());
}

// Every wait, with a board that answers just inside it (T link-seconds less
// 15 ms after it began) and just outside (T + 1 and 15 ms). Exchanges start
// half a link-second in: a wait one second off fails a row.
void tst_Link::waits_data()
{
    QTest::addColumn<QString>("routine");
    QTest::addColumn<bool>("replyWait"); // false: the attention wait
    QTest::addColumn<int>("seconds");
    QTest::addColumn<bool>("late");
    const std::tuple<const char *, int, int> rows[] = {
        {"binreceiver", 6, 6}, {"packreceiver", 6, 6}, {"binsender", 2, 8}, {"packwriter", 2, 0}, {"rawsender", 2, 10},
        {"sendonly", 2, 0},    {"smallcomax", 2, 6},   {"docomax", 1, 6},   {"monitor", 0, 6}};
    for (const auto &[routine, attention, reply] : rows)
        for (const bool late : {false, true})
            for (const bool replyWait : {false, true})
                if (const int seconds = replyWait ? reply : attention)
                    QTest::addRow("%s %s %s", routine, replyWait ? "reply" : "attention", late ? "outside" : "inside")
                        << QString(routine) << replyWait << seconds << late;
}

void tst_Link::waits()
{
    QFETCH(QString, routine);
    QFETCH(bool, replyWait);
    QFETCH(int, seconds);
    QFETCH(bool, late);
    constexpr int second = 80;
    Rig rig(second);
    const int delay = late ? (seconds + 1) * second + 15 : seconds * second - 15;
    const bool block = routine == "binsender" || routine == "packwriter", small = routine == "smallcomax";
    const char attention = block ? '#' : '&';
    QByteArray reply = routine == "binreceiver" ? QByteArray(kFlashBlockLength, '5')
                       : small                  ? "OR1234ABH"
                                                : longReply();
    if (small)
        rig.link.linkPacket = QStringLiteral("OR1234DDH");
    rig.link.cmdCode = QStringLiteral("R02");
    rig.peer.answer(attention, block ? "!" : ":", 0, replyWait ? 0 : delay);
    rig.peer.answer(small ? '-' : '$', reply,
                    block   ? rig.link.linkBlock.size()
                    : small ? 9
                            : kLongPacketLength,
                    replyWait ? delay : 0);

    using namespace std::chrono;
    while (duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count() % second != second / 2)
        std::this_thread::sleep_for(microseconds(200));
    if (routine == "monitor") {
        reply = "AB0010000200031000000005";
        rig.peer.sendLater(delay, reply);
        rig.link.monitoring = true;
        rig.link.readMonitorReply();
        QCOMPARE(rig.link.linkRawInput == QString::fromLatin1(reply), !late);
        return;
    }
    QVERIFY(run(rig.link, routine));
    const QString taken = routine.endsWith("receiver") ? rig.link.linkBlock : rig.link.linkPacket;
    if (replyWait)
        QCOMPARE(taken == QString::fromLatin1(reply), !late);
    else // a handshake that ran out tries again, or gives up
        QCOMPARE(rig.peer.received().count(attention) == 1 && rig.link.linkErrorCode != "Z", !late);
}

// A new pseudo-terminal that takes the lost one's name is another device.
void tst_Link::deviceReturn()
{
    auto peer = std::make_unique<ScriptedPeer>();
    QVERIFY(peer->open());
    const QString name = peer->devicePath();
    Link link;
    link.setPortOverride(name);
    QVERIFY(link.opencomport());
    QCOMPARE(link.lostDeviceReturn(), Link::DeviceReturn::Same);
    peer.reset(); // hangs up: the port is lost and its device goes
    QTRY_COMPARE(link.portState(), Link::PortState::Lost);
    QCOMPARE(link.lostDeviceReturn(), Link::DeviceReturn::Gone);
    // A device node's times tick with the kernel's coarse clock: a node made
    // within the same tick as the lost one could not be told apart, which
    // no adapter pulled out and put back by hand ever is.
    QTest::qWait(50);
    std::vector<std::unique_ptr<ScriptedPeer>> others; // until one takes the name
    while (others.size() < 20 && (others.empty() || others.back()->devicePath() != name)) {
        others.push_back(std::make_unique<ScriptedPeer>());
        QVERIFY(others.back()->open());
    }
    QCOMPARE(others.back()->devicePath(), name);
    QCOMPARE(link.lostDeviceReturn(), Link::DeviceReturn::Other);
}

QTEST_GUILESS_MAIN(tst_Link)
#include "tst_link.moc"
