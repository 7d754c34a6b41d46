// Flash against the virtual board over a real pseudo-terminal: the page
// packets and listing, the download's bytes, verdicts and stops, the hold on
// the link, a save that stops part way; then the converter's download frame
// and the flash memory utility offscreen: what each click puts on the wire,
// what the windows show and when, refused input, what a screen reader reads.

#include "compiler/ui/filegobbler.h"
#include "flash/flashpages.h"
#include "flash/transfer.h"
#include "flash/ui/binsend.h"
#include "link/link.h"
#include "settings/hostpaths.h"
#include "settings/settings.h"
#include "sim/boardengine.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"
#include "ui/messages.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

using namespace pvelm;
using flash::Outcome;

namespace {

// A page line with every element byte set to `fill`.
QString pageLine(int page, char fill)
{
    return flash::pageLine(page, QString(512, QLatin1Char(fill)) + QString(16, QLatin1Char('F')));
}

QByteArray fileOf(const QStringList &lines)
{
    return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toLatin1();
}

struct Rig
{
    TestRoot root;
    sim::VirtualBoard board;
    SettingsRecord settings;
    Link link;
    QStringList messages;
    QStringList stateAtMessage; // indicator and buttons when each box showed
    MessageHandler previous;
    QWidget *window = nullptr;

    Rig()
    {
        QDir().mkpath(root.file("drive_c/Corvane"));
        board.start();
        link.setSettings(&settings);
        link.setPortOverride(board.devicePath());
        link.setSecondMs(20);
        link.opencomport();
        previous = setMessageHandler([this](const QString &text) {
            messages << text;
            if (auto *indicator = get<QLabel>("Flashindicator"))
                stateAtMessage << indicator->text() + (get<QPushButton>("toflash")->isEnabled() ? " on" : " off");
        });
    }
    ~Rig()
    {
        delete window;
        setMessageHandler(previous);
    }
    template <typename T> T *get(const char *name) const
    {
        return window ? window->findChild<T *>(QLatin1String(name)) : nullptr;
    }
    void click(const char *name) { get<QPushButton>(name)->click(); }
    QString text3() const { return get<QPlainTextEdit>("Text3")->toPlainText(); }
    void type(const char *box, const QString &text) { get<QLineEdit>(box)->setText(text); }
};

} // namespace

class TestTransfer : public QObject
{
    Q_OBJECT

private slots:
    void pageTexts()
    {
        // The page number field keeps the rightmost five characters.
        QCOMPARE(flash::pageReadPacket(QStringLiteral("123456")).mid(6, 5), QStringLiteral("23456"));
        // 16 element rows, the spare digits, 15 empty rows.
        QString page;
        for (int i = 0; i < 17; ++i)
            page += QString(i < 16 ? 32 : 16, QLatin1Char("0123456789ABCDEFG"[i]));
        const QStringList rows = flash::pageListing(page).split(QStringLiteral("\r\n"));
        QCOMPARE(rows.mid(15), QStringList({QString(32, 'F'), QString(16, 'G')}) + QStringList(16, QString()));

        for (const char *bad : {"", " ", "-1", "1.5", "1e3", "0x10", "abc", "+5"})
            QVERIFY2(!flash::parsePageNumber(QLatin1String(bad)), bad);
        QCOMPARE(flash::parsePageNumber(QStringLiteral(" 2048 ")), std::optional<int>(2048));
        const QList<bool> accepted{flash::rangeAccepted(0, 2047), flash::rangeAccepted(5, 5),
                                   flash::rangeAccepted(0, 2048), flash::rangeAccepted(-1, 3),
                                   flash::rangeAccepted(10, 9)};
        QCOMPARE(accepted, (QList<bool>{true, true, false, false, false}));
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
        QStringList lines{pageLine(0, '1'), pageLine(1, '2'), pageLine(2, '3'), pageLine(3, '4')};
        if (badLast)
            lines.last().chop(1);
        QVERIFY(writeAllBytes(rig.root.file("flash.tmp"), fileOf(lines)));
        rig.board.setSilentFromPage(silentFrom);
        rig.link.linkTimedOut = true; // left over from an earlier failure

        flash::TransferHooks hooks;
        // Between two pages the download holds the link: another window's
        // exchange is refused and sends nothing.
        bool othersRefused = true;
        hooks.progress = [&](const flash::Progress &p) {
            othersRefused = othersRefused && !rig.link.rawsender() && rig.link.isBusy();
            if (p.done == hangUpAfter)
                rig.board.setFault(sim::Fault::HangUp);
        };
        hooks.cancelled = [&] { return cancelAfter >= 0; };
        const flash::TransferResult r = flash::writePageFile(rig.link, rig.root.file("flash.tmp"), hooks);

        QCOMPARE(int(r.outcome), outcome);
        QVERIFY(othersRefused);
        // Nothing after the stop: a hung-up line saw only the next "#".
        QByteArray wire;
        for (const QString &line : lines.mid(0, linesSent))
            wire += "#$" + line.toLatin1();
        QCOMPARE(rig.board.received(), wire + (hangUpAfter >= 0 ? "#" : ""));
        QCOMPARE(rig.link.linkTimedOut, outcome == int(Outcome::Failed));
        QVERIFY(!rig.link.isHeld() && !rig.link.isBusy());
        // It says where it stopped: the page in transfer.
        const int stop = hangUpAfter >= 0 ? linesSent : linesSent - 1;
        if (outcome != int(Outcome::Done))
            QVERIFY2(r.detail.contains(lines.at(stop).left(5)), qPrintable(r.detail));
        for (int page = 0; page < 4; ++page)
            QCOMPARE(rig.board.state().page(page).at(0) == char(0x11 * (page + 1)), page < pagesWritten);
    }

    void emptyFile()
    {
        // No lines: the reply the link holds from its last exchange decides,
        // and only a whole "OV0OK" passes.
        Rig rig;
        QVERIFY(writeAllBytes(rig.root.file("empty.tmp"), ""));
        rig.link.linkPacket = QStringLiteral("OV0OKW from before");
        QCOMPARE(flash::writePageFile(rig.link, rig.root.file("empty.tmp")).outcome, Outcome::Done);
        rig.link.linkPacket = QStringLiteral("OV0ORW from before");
        QCOMPARE(flash::writePageFile(rig.link, rig.root.file("empty.tmp")).outcome, Outcome::Failed);
        QCOMPARE(rig.board.received(), QByteArray());
    }

    void saveStopsAtAPageThatDoesNotRead()
    {
        Rig rig;
        const QString keep = rig.root.file("keep.fla");
        QVERIFY(writeAllBytes(keep, "old file\r\n"));
        {
            // A second long operation cannot start inside the first.
            LinkHold outer(rig.link);
            QCOMPARE(flash::saveFlashRange(rig.link, 3, 5, keep).outcome, Outcome::Refused);
        }
        // Silent from the first page: the old file stays as it was.
        rig.board.setFault(sim::Fault::NoAnswer);
        flash::TransferResult r = flash::saveFlashRange(rig.link, 3, 5, keep);
        QCOMPARE(r.outcome, Outcome::Failed);
        QCOMPARE(readAllBytes(keep), QByteArray("old file\r\n"));
        // Silent from the second page on: the file holds the first page only.
        rig.board.setFault(sim::Fault::None);
        flash::TransferHooks hooks;
        hooks.pageRead = [&](const QString &) { rig.board.setFault(sim::Fault::NoAnswer); };
        r = flash::saveFlashRange(rig.link, 3, 5, keep, hooks);
        QCOMPARE(r.detail, QStringLiteral("Page 4 did not read (Unable to connect); %1 holds pages 3 to 3").arg(keep));
        QCOMPARE(readAllBytes(keep), ("00003" + QByteArray(528, 'F') + "\r\n"));
    }

    void portLostWhileThePageIsProgrammed()
    {
        // The board took the line but its reply is overdue (the page write
        // outlasts binsender's 8 s): the download waits on, up to 30 s, for
        // a reply that a lost port can no longer bring.
        Rig rig;
        QVERIFY(writeAllBytes(rig.root.file("flash.tmp"), fileOf({pageLine(0, '1')})));
        rig.board.setPageProgramMs(5000);
        QTimer::singleShot(300, [&] { rig.board.stop(); }); // after 8 link-seconds, well before 30
        const flash::TransferResult r = flash::writePageFile(rig.link, rig.root.file("flash.tmp"));
        QCOMPARE(r.outcome, Outcome::Failed);
        QVERIFY2(r.detail.endsWith(Link::describe("7")), qPrintable(r.detail));
    }

    void downloadFrame()
    {
        // The converter's download frame in one run: no temp hex file, a
        // board that falls silent, a clean download, and Cancel.
        Rig rig;
        // The temp file field is read with its blanks removed.
        rig.settings.setPath(SettingsRecord::kTempHexPathColumn, QStringLiteral("c:\\Corvane\\my flash.tmp"));
        const QString hexFile = hostpaths::toHost(QStringLiteral("c:\\Corvane\\myflash.tmp"));
        rig.window = new filegobbler(rig.link, rig.settings, nullptr);
        auto *indicator = rig.get<QLabel>("Flashindicator");
        // Indicator, its colour, the page field, the bar (pages delivered)
        // and whether both buttons are on.
        const auto shown = [&] {
            const bool on =
                rig.get<QPushButton>("toflash")->isEnabled() && rig.get<QPushButton>("Readvelm")->isEnabled();
            return QStringList{indicator->text(), indicator->palette().color(QPalette::Window).name(),
                               rig.get<QLineEdit>("Text1")->text(),
                               QString::number(rig.get<QProgressBar>("transferProgress")->value()), on ? "on" : "off"};
        };
        // Each failure shows one box while the indicator still says BUSY
        // and the buttons are off; FAIL only once it is closed.
        rig.click("toflash");
        QCOMPARE(rig.stateAtMessage, QStringList{"BUSY off"});
        const QString notStarted = QStringLiteral("The download did not start: cannot open %1: ").arg(hexFile);
        QVERIFY2(rig.messages.constLast().startsWith(notStarted), qPrintable(rig.messages.constLast()));
        QCOMPARE(shown(), (QStringList{"FAIL", "#ff8080", "", "0", "on"}));

        const QStringList lines{pageLine(0, 'A'), pageLine(1, 'B'), pageLine(2, 'C')};
        QVERIFY(writeAllBytes(hexFile, fileOf(lines)));
        rig.board.setSilentFromPage(1);
        rig.click("toflash");
        QCOMPARE(rig.stateAtMessage, (QStringList{"BUSY off", "BUSY off"}));
        QVERIFY2(rig.messages.constLast().startsWith("Error writing controller"), qPrintable(rig.messages.constLast()));
        QCOMPARE(shown(), (QStringList{"FAIL", "#ff8080", "00001", "1", "on"}));

        rig.board.setSilentFromPage(-1);
        rig.click("toflash");
        QCOMPARE(shown(), (QStringList{"OK", "#80ff80", "00002", "3", "on"}));
        // The indicator reads as its value.
        QCOMPARE(QAccessible::queryAccessibleInterface(indicator)->text(QAccessible::Name), QStringLiteral("OK"));

        // Cancel stops after the page in transfer, without a box.
        rig.board.clearReceived();
        rig.board.setPageProgramMs(150);
        QTimer::singleShot(50, rig.window, [&] { rig.click("cancelTransfer"); });
        rig.click("toflash");
        QCOMPARE(indicator->text(), QStringLiteral("FAIL"));
        QCOMPARE(rig.messages.size(), 2);
        QCOMPARE(rig.get<QLabel>("transferOutcome")->text(),
                 QStringLiteral("Cancelled after page 00000: the board's flash now holds part of the new program (1 of "
                                "3 pages written)"));
        QCOMPARE(rig.board.received(), "#$" + lines.at(0).toLatin1());
    }

    void utility()
    {
        Rig rig;
        rig.board.updateState([](sim::BoardState &s) { s.flash[625 * 264] = char(0x12); });
        rig.window = new Binsend(rig.link, rig.settings, nullptr);
        QCOMPARE(rig.get<QLineEdit>("Filename")->text(), QStringLiteral("c:\\Corvane\\Flashda.fla"));
        QCOMPARE(rig.get<QLabel>("Label6")->text(),
                 QStringLiteral("Read & list as lines: Set the page # to the desired page and click the Raw & list "
                                "as lines button. The contents will be listed in the box formatted as lines for easy "
                                "viewing."));
        QCOMPARE(rig.get<QPushButton>("Command9")->text(), QStringLiteral("Read && list as lines"));

        const QString page625 = "12" + QString(526, 'F');
        rig.type("Text5", "625");
        rig.click("Command6");
        QCOMPARE(rig.text3(), page625);
        rig.click("Command9");
        QCOMPARE(rig.text3().split('\n').constFirst(), "12" + QString(30, 'F'));
        const QByteArray request = "$OV0R1400625xxxx" + QByteArray(32, 'D') + QByteArray(14, 'x') + "0H~";
        QCOMPARE(rig.board.received(), "&" + request + "&" + request);

        // Refused input: a message in Text3 and nothing on the wire.
        rig.board.clearReceived();
        rig.type("Text5", "1.5");
        rig.click("Command6");
        QCOMPARE(rig.text3(), QStringLiteral("Page # \"1.5\" is not a whole number from 0 up: nothing was sent"));
        for (const auto &[start, end] : {std::pair{"10", "9"}, {"-1", "3"}, {"0", "2048"}}) {
            rig.get<QPlainTextEdit>("Text3")->clear();
            rig.type("Startpage", start);
            rig.type("endpage", end);
            rig.click("savefla");
            QCOMPARE(rig.text3(), QStringLiteral("ADDRESS OUT OF RANGE"));
        }
        QCOMPARE(rig.board.received(), QByteArray());

        // Save a range, erase, write it back: the page is there again.
        const QString file = rig.root.file("drive_c/Corvane/Flashda.fla");
        rig.type("Filename", "c:\\corvane\\FLASHDA.FLA");
        QVERIFY(writeAllBytes(file, "")); // found whatever the case
        rig.type("Startpage", "624");
        rig.type("endpage", "625");
        rig.click("savefla");
        QCOMPARE(readAllBytes(file), "00624" + QByteArray(528, 'F') + "\r\n00625" + page625.toLatin1() + "\r\n");
        rig.click("Command8");
        QCOMPARE(rig.get<QLabel>("Label2")->text(),
                 QString::fromLatin1(sim::BoardEngine::longReply("R17", "FLASH ERASED", '0')));
        QCOMPARE(rig.board.state().flash.at(625 * 264), char(0xFF));
        rig.click("readfla");
        QCOMPARE(rig.board.state().flash.at(625 * 264), char(0x12));
        QCOMPARE(rig.get<QLineEdit>("Text5")->text(), QStringLiteral("00625"));
        QCOMPARE(rig.get<QLabel>("transferOutcome")->text(), QString());
        // The replies are not judged: a last line the board does not confirm
        // ends the write like any other, and nothing is shown at the end.
        const QString bad = pageLine(2048, '7'); // the board answers "ERW"
        QVERIFY(writeAllBytes(file, fileOf({bad})));
        rig.click("readfla");
        QCOMPARE(rig.text3(), flash::pageListing(bad.mid(5)).replace("\r\n", "\n"));
        QCOMPARE(rig.get<QLabel>("transferOutcome")->text(), QString());

        // A blank flash file field in the settings gives the fixed default.
        rig.settings.setPath(SettingsRecord::kFlashFilePathColumn, QString());
        Binsend third(rig.link, rig.settings, nullptr);
        QCOMPARE(third.findChild<QLineEdit *>("Filename")->text(), QStringLiteral("c:\\corvane\\flashda.fla"));
    }
};

QTEST_MAIN(TestTransfer)
#include "tst_transfer.moc"
