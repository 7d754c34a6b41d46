// The download frame of the converter window and the flash memory utility,
// driven offscreen against the virtual board: what each click puts on the
// wire, what the windows show and when, refused input, and what a screen
// reader reads.

#include "app/ui/messages.h"
#include "compiler/ui/filegobbler.h"
#include "flash/flashpages.h"
#include "flash/ui/binsend.h"
#include "link/link.h"
#include "settings/hostpaths.h"
#include "settings/settings.h"
#include "sim/boardengine.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

using namespace pvelm;

namespace {

QString line(int page, char fill)
{
    return flash::pageLine(page, QString(512, QLatin1Char(fill)) + QString(16, QLatin1Char('F')));
}

QString corvane(const QString &name)
{
    return hostpaths::toHost(QStringLiteral("c:\\Corvane\\") + name);
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

// What a screen reader announces for a control.
QString spoken(QWidget *w)
{
    return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
}

} // namespace

class TestFlashWindows : public QObject
{
    Q_OBJECT

private slots:
    void download_data()
    {
        QTest::addColumn<int>("silentFrom");
        QTest::addColumn<bool>("fileThere");
        QTest::addColumn<QString>("indicator");
        QTest::addColumn<QString>("text1");
        QTest::addColumn<QStringList>("stateAtMessage");
        QTest::newRow("success") << -1 << true << "OK"
                                 << "00002" << QStringList();
        // One box, shown while the indicator still says BUSY and the buttons
        // are off; FAIL only once it is closed.
        QTest::newRow("board silent from page 1") << 1 << true << "FAIL"
                                                  << "00001" << QStringList{"BUSY off"};
        QTest::newRow("no temp hex file") << -1 << false << "FAIL"
                                          << "" << QStringList{"BUSY off"};
    }
    void download()
    {
        QFETCH(int, silentFrom);
        QFETCH(bool, fileThere);
        QFETCH(QString, indicator);
        QFETCH(QString, text1);
        QFETCH(QStringList, stateAtMessage);
        Rig rig;
        // The temp file field is read with its blanks removed.
        rig.settings.setPath(SettingsRecord::kTempHexPathColumn, QStringLiteral("c:\\Corvane\\my flash.tmp"));
        const QStringList lines{line(0, 'A'), line(1, 'B'), line(2, 'C')};
        if (fileThere)
            QVERIFY(writeAllBytes(corvane("myflash.tmp"), (lines.join("\r\n") + "\r\n").toLatin1()));
        rig.board.setSilentFromPage(silentFrom);
        rig.window = new filegobbler(rig.link, rig.settings, nullptr);
        QCOMPARE(rig.get<QLabel>("Flashindicator")->text(), QStringLiteral("OK"));

        rig.click("toflash");
        auto *flashindicator = rig.get<QLabel>("Flashindicator");
        QCOMPARE(flashindicator->text(), indicator);
        const QColor expected = indicator == "OK" ? QColor(128, 255, 128) : QColor(255, 128, 128);
        QCOMPARE(flashindicator->palette().color(QPalette::Window), expected);
        QCOMPARE(rig.get<QLineEdit>("Text1")->text(), text1);
        QCOMPARE(rig.stateAtMessage, stateAtMessage);
        if (!stateAtMessage.isEmpty()) {
            const QString expectedMessage =
                fileThere ? QStringLiteral("Error writing controller")
                          : QStringLiteral("The download did not start: cannot open %1: ").arg(corvane("myflash.tmp"));
            QVERIFY2(rig.messages.constFirst().startsWith(expectedMessage), qPrintable(rig.messages.constFirst()));
        }
        QVERIFY(rig.get<QPushButton>("toflash")->isEnabled());
        QVERIFY(rig.get<QPushButton>("Readvelm")->isEnabled());
        // The bar counts the pages delivered; the indicator reads as its value.
        QCOMPARE(rig.get<QProgressBar>("transferProgress")->value(), fileThere ? (silentFrom < 0 ? 3 : 1) : 0);
        QCOMPARE(spoken(flashindicator), indicator);
    }

    void cancelStopsAfterThePageInTransfer()
    {
        Rig rig;
        const QStringList lines{line(0, 'A'), line(1, 'B'), line(2, 'C')};
        QVERIFY(writeAllBytes(corvane("flash.tmp"), (lines.join("\r\n") + "\r\n").toLatin1()));
        rig.board.setPageProgramMs(150);
        rig.window = new filegobbler(rig.link, rig.settings, nullptr);
        QTimer::singleShot(50, rig.window, [&] { rig.click("cancelTransfer"); });
        rig.click("toflash");
        QCOMPARE(rig.get<QLabel>("Flashindicator")->text(), QStringLiteral("FAIL"));
        QCOMPARE(rig.messages, QStringList());
        QCOMPARE(rig.get<QLabel>("transferOutcome")->text(),
                 QStringLiteral("Cancelled after page 00000 (1 of 3 pages written)"));
        QCOMPARE(rig.board.received(), "#$" + lines.at(0).toLatin1());
    }

    void utility()
    {
        Rig rig;
        rig.board.updateState([](sim::BoardState &s) { s.flash[625 * 264] = char(0x12); });
        rig.window = new Binsend(rig.link, rig.settings, nullptr);
        QCOMPARE(rig.window->windowTitle(), QStringLiteral("Flash memory utility"));
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
        rig.type("Startpage", "10");
        rig.type("endpage", "9");
        rig.click("savefla");
        QCOMPARE(rig.text3(), QStringLiteral("ADDRESS OUT OF RANGE"));
        QCOMPARE(rig.board.received(), QByteArray());

        // Save a range, erase, write it back: the page is there again.
        const QString file = rig.root.file("drive_c/Corvane/Flashda.fla");
        rig.type("Filename", "c:\\corvane\\FLASHDA.FLA");
        QVERIFY(writeAllBytes(file, "")); // found whatever the case
        rig.type("Startpage", "624");
        rig.type("endpage", "625");
        rig.click("savefla");
        QCOMPARE(readAllBytes(file), "00624" + QByteArray(528, 'F') + "\r\n00625" + page625.toLatin1() + "\r\n");
        QCOMPARE(rig.get<QLineEdit>("Text5")->text(), QStringLiteral("625"));
        rig.click("Command8");
        QCOMPARE(rig.get<QLabel>("Label2")->text(),
                 QString::fromLatin1(sim::BoardEngine::longReply("R17", "FLASH ERASED", '0')));
        QCOMPARE(rig.board.state().flash.at(625 * 264), char(0xFF));
        rig.click("readfla");
        QCOMPARE(rig.board.state().flash.at(625 * 264), char(0x12));
        QCOMPARE(rig.get<QLineEdit>("Text5")->text(), QStringLiteral("00625"));
        QCOMPARE(rig.get<QLabel>("transferOutcome")->text(), QStringLiteral("2 of 2 pages written"));

        // The settings' flash file field takes effect; a blank one gives the
        // fixed default.
        rig.settings.setPath(SettingsRecord::kFlashFilePathColumn, QStringLiteral("d:\\keep\\area one.fla"));
        Binsend second(rig.link, rig.settings, nullptr);
        QCOMPARE(second.findChild<QLineEdit *>("Filename")->text(), QStringLiteral("d:\\keep\\areaone.fla"));
        rig.settings.setPath(SettingsRecord::kFlashFilePathColumn, QString());
        Binsend third(rig.link, rig.settings, nullptr);
        QCOMPARE(third.findChild<QLineEdit *>("Filename")->text(), QStringLiteral("c:\\corvane\\flashda.fla"));
    }
};

QTEST_MAIN(TestFlashWindows)
#include "tst_flashwindows.moc"
