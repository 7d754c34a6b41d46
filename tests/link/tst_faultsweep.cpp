// Every exchange routine against every fault of the virtual board: each
// ends with its code within its time bound, and the link serves the next
// exchange normally afterwards.

#include "link/link.h"
#include "link/packets.h"
#include "settings/settings.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <QtTest>

using namespace pvelm;
using sim::Fault;

namespace {

constexpr int kSecondMs = 15;
constexpr int kLateMs = 250; // later than any reply wait at that second

struct Routine
{
    const char *name;
    bool (Link::*call)();
    // Link-seconds the routine may wait at most: each handshake wait and
    // reply wait lasts up to T+1 seconds.
    int boundSeconds;
    void (*prepare)(Link &);
};

QString longRequest(const char *code)
{
    QString p = QString::fromLatin1(kLongTemplate);
    fillField(p, 4, 3, QString::fromLatin1(code));
    return p;
}

void pageRead(Link &l)
{
    l.linkPacket = longRequest("R14");
    fillField(l.linkPacket, 7, 5, QStringLiteral("00001"));
}
void versionRequest(Link &l)
{
    l.linkPacket = longRequest("R02");
}
void stopRequest(Link &l)
{
    l.linkPacket = longRequest("R00");
}
void pageLine(Link &l)
{
    l.linkBlock = QStringLiteral("00001") + QString(512, '5') + QString(16, 'F');
}
void packedBlock(Link &l)
{
    l.linkBlock = QStringLiteral("OV0R1D000010") + QString(64, 'F');
}
void shortPacket(Link &l)
{
    l.linkPacket = QStringLiteral("OXDDDDDDH");
}
void docomaxFields(Link &l)
{
    l.cmdCode = QStringLiteral("R02");
    l.cmdAddress = QStringLiteral("00000");
    l.cmdParam1 = l.cmdParam2 = l.cmdParam3 = QStringLiteral("000");
    l.cmdData.clear();
}

const Routine kRoutines[] = {
    {"binreceiver", &Link::binreceiver, 7 + 7, pageRead},
    {"packreceiver", &Link::packreceiver, 7 + 7, versionRequest},
    {"binsender", &Link::binsender, 4 * 3 + 9, pageLine},
    {"packwriter", &Link::packwriter, 4 * 3, packedBlock},
    {"rawsender", &Link::rawsender, 4 * 3 + 11, versionRequest},
    {"sendonly", &Link::sendonly, 4 * 3, stopRequest},
    {"smallcomax", &Link::smallcomax, 4 * 3 + 7, shortPacket},
    {"docomax", &Link::docomax, 3 * 2 + 7, docomaxFields},
    {"sendLineAndWait", &Link::sendLineAndWait, 4 * 3 + 9 + 31, pageLine},
};

} // namespace

class TestFaultSweep : public QObject
{
    Q_OBJECT

private slots:
    void sweep_data()
    {
        QTest::addColumn<int>("routine");
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("code");
        const struct
        {
            Fault fault;
            const char *name;
        } faults[] = {{Fault::NoAnswer, "no answer"},   {Fault::WrongAnswer, "wrong answer"},
                      {Fault::LateReply, "late reply"}, {Fault::ShortReply, "short reply"},
                      {Fault::Garbage, "garbage"},      {Fault::HangUp, "hang-up"}};
        for (int r = 0; r < int(std::size(kRoutines)); ++r) {
            const QString name = QString::fromLatin1(kRoutines[r].name);
            // Routines that await no reply finish once the handshake is
            // answered; docomax decodes a missing or short reply as no code.
            const bool noReply = name == "packwriter" || name == "sendonly";
            for (const auto &f : faults) {
                QString code = QStringLiteral("Z");
                if (f.fault == Fault::HangUp)
                    code = QStringLiteral("7");
                else if ((f.fault == Fault::LateReply || f.fault == Fault::ShortReply) && noReply)
                    code = QStringLiteral("0");
                else if ((f.fault == Fault::LateReply || f.fault == Fault::ShortReply) && name == "docomax")
                    code = QString();
                QTest::addRow("%s, %s", kRoutines[r].name, f.name) << r << int(f.fault) << code;
            }
        }
    }
    void sweep()
    {
        QFETCH(int, routine);
        QFETCH(int, fault);
        QFETCH(QString, code);
        const Routine &r = kRoutines[routine];
        TestRoot root;
        SettingsRecord settings;
        sim::VirtualBoard board;
        QVERIFY(board.start());
        board.setLateReplyMs(kLateMs);
        Link link;
        link.setSettings(&settings);
        link.setSecondMs(kSecondMs);
        link.setPortOverride(board.devicePath());
        link.opencomport();
        QVERIFY(link.isPortOpen());

        board.setFault(Fault(fault));
        r.prepare(link);
        link.linkErrorCode = QStringLiteral("0");
        link.linkTimedOut = false;
        QElapsedTimer clock;
        clock.start();
        QVERIFY((link.*r.call)());
        const qint64 took = clock.elapsed();
        // One line a row, for the table in the testing notes.
        qInfo("code \"%s\" in %lld ms of %d ms", qPrintable(link.linkErrorCode), took,
              (r.boundSeconds + 1) * kSecondMs + 300);
        QCOMPARE(link.linkErrorCode, code);
        QVERIFY2(took <= (r.boundSeconds + 1) * kSecondMs + 300, qPrintable(QString::number(took)));
        QVERIFY(!link.isBusy());
        if (QLatin1String(r.name) == QLatin1String("sendLineAndWait"))
            QCOMPARE(link.linkTimedOut, true);

        // The next exchange goes through: after a hang-up on a new line.
        board.setFault(Fault::None);
        if (Fault(fault) == Fault::HangUp) {
            QVERIFY(!board.isRunning());
            QVERIFY(board.start());
            link.setPortOverride(board.devicePath());
            link.opencomport();
        }
        QTest::qWait(Fault(fault) == Fault::LateReply ? kLateMs + 100 : 0); // let a late reply land first
        // Real seconds: a loaded machine must not fail the healthy exchange.
        link.setSecondMs(1000);
        docomaxFields(link);
        QVERIFY(link.docomax());
        QCOMPARE(link.linkErrorCode, QStringLiteral("0"));
        QCOMPARE(link.linkPacket.mid(6, 7), QStringLiteral("Version"));
    }
};

QTEST_GUILESS_MAIN(TestFaultSweep)
#include "tst_faultsweep.moc"
