// The flash operations of the core against the virtual board over a real
// pseudo-terminal: the page packets and listing, the download's bytes and
// its verdicts, where it stops (silent board, hang-up, cancel), the hold
// on the link, and a full round trip through saved flash files.

#include "compiler/compilehelpers.h"
#include "flash/flashpages.h"
#include "flash/transfer.h"
#include "link/link.h"
#include "settings/settings.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <QtTest>

using namespace pvelm;
using flash::Outcome;

namespace {

// A page line with every element byte set to `fill`.
QString pageLine(int page, char fill)
{
    return flash::pageLine(page, QString(512, QLatin1Char(fill)) + QString(16, QLatin1Char('F')));
}

QByteArray wireFor(const QStringList &lines)
{
    QByteArray wire;
    for (const QString &line : lines)
        wire += "#$" + line.toLatin1();
    return wire;
}

struct Rig
{
    TestRoot root;
    sim::VirtualBoard board;
    SettingsRecord settings;
    Link link;

    Rig()
    {
        if (!board.start())
            return;
        link.setSettings(&settings);
        link.setPortOverride(board.devicePath());
        link.setSecondMs(20);
        link.opencomport();
    }
    QString file(const QString &name) const { return root.file(name); }
    bool write(const QString &name, const QStringList &lines) const
    {
        return writeAllBytes(file(name), (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toLatin1());
    }
};

} // namespace

class TestTransfer : public QObject
{
    Q_OBJECT

private slots:
    void pageTexts()
    {
        // The page number field keeps the rightmost five characters.
        QCOMPARE(flash::pageReadPacket(QStringLiteral("625")),
                 QStringLiteral("OV0R1400625xxxx") + QString(32, 'D') + QString(14, 'x') + "0H~");
        QCOMPARE(flash::pageReadPacket(QStringLiteral("123456")).mid(6, 5), QStringLiteral("23456"));
        QCOMPARE(flash::erasePacket(), QStringLiteral("OV0R17SSSSxxxxx") + QString(32, 'D') + QString(14, 'x') + "0H~");
        // 16 element rows, the spare digits, 15 empty rows.
        QString page;
        for (int i = 0; i < 17; ++i)
            page += QString(i < 16 ? 32 : 16, QLatin1Char("0123456789ABCDEFG"[i]));
        const QStringList rows = flash::pageListing(page).split(QStringLiteral("\r\n"));
        QCOMPARE(rows.size(), 33);
        QCOMPARE(rows.at(15), QString(32, 'F'));
        QCOMPARE(rows.at(16), QString(16, 'G'));
        QCOMPARE(rows.mid(17), QStringList(16, QString()));

        for (const char *bad : {"", " ", "-1", "1.5", "1e3", "0x10", "abc", "+5"})
            QVERIFY2(!flash::parsePageNumber(QLatin1String(bad)), bad);
        QCOMPARE(flash::parsePageNumber(QStringLiteral(" 2048 ")), std::optional<int>(2048));
        QVERIFY(flash::rangeAccepted(0, 2047));
        QVERIFY(flash::rangeAccepted(5, 5));
        QVERIFY(!flash::rangeAccepted(0, 2048));
        QVERIFY(!flash::rangeAccepted(-1, 3));
        QVERIFY(!flash::rangeAccepted(10, 9));
    }

    void download_data()
    {
        QTest::addColumn<int>("silentFrom");  // page the board dies on (-1: never)
        QTest::addColumn<int>("hangUpAfter"); // pages before the line hangs up (-1: never)
        QTest::addColumn<int>("cancelAfter"); // pages before Cancel (-1: never)
        QTest::addColumn<bool>("badLast");    // the last line is not a page line
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("linesSent");
        QTest::addColumn<int>("pagesWritten");
        QTest::newRow("success") << -1 << -1 << -1 << false << int(Outcome::Done) << 4 << 4;
        QTest::newRow("board silent from the third page") << 2 << -1 << -1 << false << int(Outcome::Failed) << 3 << 2;
        QTest::newRow("line hangs up after two pages") << -1 << 2 << -1 << false << int(Outcome::Failed) << 2 << 2;
        QTest::newRow("cancel after one page") << -1 << -1 << 1 << false << int(Outcome::Cancelled) << 1 << 1;
        QTest::newRow("last reply not OV0OK") << -1 << -1 << -1 << true << int(Outcome::Failed) << 4 << 3;
    }
    void download()
    {
        QFETCH(int, silentFrom);
        QFETCH(int, hangUpAfter);
        QFETCH(int, cancelAfter);
        QFETCH(bool, badLast);
        QFETCH(int, outcome);
        QFETCH(int, linesSent);
        QFETCH(int, pagesWritten);
        Rig rig;
        QVERIFY(rig.link.isPortOpen());
        QStringList lines{pageLine(0, '1'), pageLine(1, '2'), pageLine(2, '3'), pageLine(3, '4')};
        if (badLast)
            lines.last().chop(1);
        QVERIFY(rig.write("flash.tmp", lines));
        rig.board.setSilentFromPage(silentFrom);
        rig.link.linkTimedOut = true; // left over from an earlier failure

        flash::TransferHooks hooks;
        hooks.progress = [&](const flash::Progress &p) {
            if (p.done == hangUpAfter)
                rig.board.setFault(sim::Fault::HangUp);
        };
        hooks.cancelled = [&] { return cancelAfter >= 0; };
        const flash::TransferResult r = flash::writePageFile(rig.link, rig.file("flash.tmp"), hooks);

        QCOMPARE(int(r.outcome), outcome);
        // Nothing after the stop: a hung-up line saw only the next "#".
        QCOMPARE(rig.board.received(), wireFor(lines.mid(0, linesSent)) + (hangUpAfter >= 0 ? "#" : ""));
        QCOMPARE(rig.link.linkTimedOut, outcome == int(Outcome::Failed));
        QVERIFY(!rig.link.isHeld());
        // It says where it stopped: the page in transfer.
        const int stop = hangUpAfter >= 0 ? linesSent : linesSent - 1;
        if (outcome != int(Outcome::Done))
            QVERIFY2(r.detail.contains(lines.at(stop).left(5)), qPrintable(r.detail));
        const sim::BoardState state = rig.board.state();
        for (int page = 0; page < 4; ++page)
            QCOMPARE(state.page(page).at(0) == char(0x11 * (page + 1)), page < pagesWritten);
    }

    void emptyFile()
    {
        // No lines: the reply the link holds from its last exchange decides.
        Rig rig;
        QVERIFY(writeAllBytes(rig.file("empty.tmp"), ""));
        rig.link.linkPacket = QStringLiteral("OV0OK from before");
        QCOMPARE(flash::writePageFile(rig.link, rig.file("empty.tmp")).outcome, Outcome::Done);
        rig.link.linkPacket.clear();
        QCOMPARE(flash::writePageFile(rig.link, rig.file("empty.tmp")).outcome, Outcome::Failed);
        QCOMPARE(rig.board.received(), QByteArray());
    }

    void holdRefusesOtherExchanges()
    {
        Rig rig;
        QVERIFY(rig.write("flash.tmp", {pageLine(0, '1'), pageLine(1, '2')}));
        QList<bool> others;
        flash::TransferHooks hooks;
        // Between two pages, another window tries its own exchange.
        hooks.progress = [&](const flash::Progress &) { others << rig.link.rawsender() << rig.link.isBusy(); };
        QVERIFY(flash::writePageFile(rig.link, rig.file("flash.tmp"), hooks).ok());
        QCOMPARE(others, QList<bool>({false, true, false, true}));
        QCOMPARE(rig.board.received(), wireFor({pageLine(0, '1'), pageLine(1, '2')}));
        QVERIFY(!rig.link.isBusy());
        // A second long operation cannot start inside the first either.
        LinkHold outer(rig.link);
        QCOMPARE(flash::saveFlashRange(rig.link, 0, 0, rig.file("x.fla")).outcome, Outcome::Refused);
        QVERIFY(!QFile::exists(rig.file("x.fla")));
    }

    void roundTripThroughFiles()
    {
        // compile, download, save, erase, write the saved file, save again.
        Rig rig;
        const QString hex = rig.file("flash.tmp");
        const compilertest::CompileRun compiled = compilertest::Workspace(rig.root).compile(
            readAllBytes(QStringLiteral(PVELM_SOURCE_DIR "/examples/pick_and_place.txt")));
        QVERIFY(compiled.ok);
        QVERIFY(writeAllBytes(hex, compiled.hex));
        QStringList lines;
        QString why;
        QVERIFY(flash::readPageLines(hex, &lines, &why));
        QVERIFY(flash::writePageFile(rig.link, hex).ok());
        const int last = lines.last().left(5).toInt();
        QVERIFY(flash::saveFlashRange(rig.link, 0, last, rig.file("first.fla")).ok());
        rig.link.linkPacket = flash::erasePacket();
        QVERIFY(rig.link.rawsender());
        QCOMPARE(rig.board.state().flash, QByteArray(2048 * 264, char(0xFF)));
        QVERIFY(flash::writePageFile(rig.link, rig.file("first.fla")).ok());
        const flash::TransferResult again = flash::saveFlashRange(rig.link, 0, last, rig.file("second.fla"));
        QVERIFY(again.ok());
        QCOMPARE(again.detail, rig.file("second.fla") + QStringLiteral(" holds pages 0 to %1").arg(last));
        const QByteArray saved = readAllBytes(rig.file("second.fla"));
        QCOMPARE(saved, readAllBytes(rig.file("first.fla")));
        // Every compiled page comes back as it was written (the spare digits
        // read as the board's erased bytes, which is what the compiler writes).
        for (const QString &line : lines)
            QVERIFY(saved.contains((line + "\r\n").toLatin1()));
    }

    void saveStopsAtAPageThatDoesNotRead()
    {
        Rig rig;
        QVERIFY(writeAllBytes(rig.file("keep.fla"), "old file\r\n"));
        // Silent from the first page: the old file stays as it was.
        rig.board.setFault(sim::Fault::NoAnswer);
        flash::TransferResult r = flash::saveFlashRange(rig.link, 3, 5, rig.file("keep.fla"));
        QCOMPARE(r.outcome, Outcome::Failed);
        QCOMPARE(readAllBytes(rig.file("keep.fla")), QByteArray("old file\r\n"));
        // Silent from the second page on: the file holds the first page only.
        rig.board.setFault(sim::Fault::None);
        flash::TransferHooks hooks;
        hooks.pageRead = [&](const QString &) { rig.board.setFault(sim::Fault::NoAnswer); };
        r = flash::saveFlashRange(rig.link, 3, 5, rig.file("keep.fla"), hooks);
        QCOMPARE(r.outcome, Outcome::Failed);
        QCOMPARE(
            r.detail,
            QStringLiteral("Page 4 did not read (Unable to connect); %1 holds pages 3 to 3").arg(rig.file("keep.fla")));
        QCOMPARE(readAllBytes(rig.file("keep.fla")), ("00003" + QByteArray(528, 'F') + "\r\n"));
    }

    void portLostWhileThePageIsProgrammed()
    {
        // The board took the line but its reply is overdue (the page write
        // outlasts binsender's 8 s): the download waits on, up to 30 s, for
        // a reply that a lost port can no longer bring.
        Rig rig;
        QVERIFY(rig.write("flash.tmp", {pageLine(0, '1')}));
        rig.board.setPageProgramMs(5000);
        QTimer::singleShot(300, [&] { rig.board.stop(); }); // after 8 link-seconds, well before 30
        const flash::TransferResult r = flash::writePageFile(rig.link, rig.file("flash.tmp"));
        QCOMPARE(r.outcome, Outcome::Failed);
        QVERIFY2(r.detail.endsWith(Link::describe("7")), qPrintable(r.detail));
    }

    void idlePortLostIsClosedAtOnce()
    {
        Rig rig;
        QSignalSpy lost(&rig.link, &Link::portLost);
        rig.board.stop(); // the device goes away while nothing is exchanged
        QTRY_VERIFY(!rig.link.isPortOpen());
        QCOMPARE(lost.count(), 1);
        // Nothing keeps the idle console busy afterwards.
        QTest::qWait(100);
        QCOMPARE(lost.count(), 1);
    }
};

QTEST_MAIN(TestTransfer)
#include "tst_transfer.moc"
