// The main window in one offscreen run against the virtual board: its
// start, each menu item's caption and the window it opens, no caption of any
// window cut off at twice the pixel density and with a large font, starts
// with a settings file or a port that cannot be opened, put right in the
// system setup window (Read, Save, Re-Connect), the one-instance windows,
// the traffic log, the port lost and back, and closing a window and (by the
// setup window's fatal messages) the main window while an exchange waits.
// Besides: the system setup's rules, through velm setup set, which fits the
// boxes as Save Parameters does.
//
// With PVELM_SCREENSHOT_DIR set, the same run saves a picture of every
// window there (scripts/screenshots.sh).

#include "app/simulatedboard.h"
#include "app/ui/messagebar.h"
#include "app/ui/ssetup.h"
#include "app/ui/trafficlog.h"
#include "app/ui/velmcon.h"
#include "boardtools/commandsender.h"
#include "boardtools/ui/sendinst.h"
#include "settings/hostpaths.h"
#include "sim/virtualboard.h"
#include "support/ser2net.h"
#include "support/testenv.h"
#include "ui/messages.h"
#include "ui/toolwindow.h"

#include <unistd.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>
#include <QtTest>

using namespace pvelm;

namespace {

// A caption as drawn: "&&" is one ampersand, a single "&" marks a mnemonic.
QString shown(QString text)
{
    text.replace(QLatin1String("&&"), QString(QChar(0xE000)));
    text.remove(QLatin1Char('&'));
    return text.replace(QChar(0xE000), QLatin1Char('&'));
}

// What of a window's captions does not fit: "objectName: text".
QStringList clipped(QWidget *window)
{
    QStringList out;
    const auto tooNarrow = [&](QWidget *w, const QString &text, int need, int have) {
        if (w->window() == window && w->isVisibleTo(window) && need > have)
            out << QStringLiteral("%1 \"%2\": needs %3, has %4").arg(w->objectName(), text).arg(need).arg(have);
    };
    for (QLabel *l : window->findChildren<QLabel *>()) {
        if (l->wordWrap() || l->text().isEmpty() || l->textFormat() == Qt::RichText)
            continue;
        // The widest line of the caption, as the label draws it.
        int need = 0;
        for (const QString &line : l->text().split(QLatin1Char('\n')))
            need = std::max(need, l->fontMetrics().horizontalAdvance(line));
        tooNarrow(l, l->text(), need, l->contentsRect().width());
    }
    for (QAbstractButton *b : window->findChildren<QAbstractButton *>()) {
        if (!b->text().isEmpty())
            tooNarrow(b, b->text(), b->fontMetrics().horizontalAdvance(shown(b->text())), b->contentsRect().width());
    }
    for (QGroupBox *g : window->findChildren<QGroupBox *>())
        tooNarrow(g, g->title(), g->fontMetrics().horizontalAdvance(shown(g->title())), g->width());
    return out;
}

// Points dosdevices/comN at a device.
bool linkPort(int n, const QString &device)
{
    QDir().mkpath(QFileInfo(hostpaths::dosDeviceLink(n)).path());
    QFile::remove(hostpaths::dosDeviceLink(n));
    return QFile::link(device, hostpaths::dosDeviceLink(n));
}

void deleteClosedWindows()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QLineEdit *edit(QWidget *w, const char *name)
{
    return w->findChild<QLineEdit *>(QLatin1String(name));
}

} // namespace

class TestLayouts : public QObject
{
    Q_OBJECT

private slots:
    void oneRun()
    {
        TestRoot root;
        sim::VirtualBoard board;
        QVERIFY(board.start());
        QVERIFY(linkPort(1, board.devicePath()));
        QStringList messages;
        const MessageHandler previous = setMessageHandler([&](const QString &text) { messages << text; });

        // First start: port 1 opened through the link to the board its
        // dosdevices link names.
        Velmcon velmcon;
        QVERIFY(velmcon.Form_Load());
        Link &link = velmcon.link();
        auto *portState = velmcon.findChild<QLabel *>(QStringLiteral("portState"));
        auto *reconnect = velmcon.findChild<QToolButton *>(QStringLiteral("reconnect"));
        QCOMPARE(portState->text(), link.portDevice() + QStringLiteral("  57600,n,8,1  open"));
        // A real script for the editor to show, coloured.
        QVERIFY(writeAllBytes(hostpaths::toHost(QStringLiteral("c:\\Corvane\\velm.txt")),
                              readAllBytes(QStringLiteral(PVELM_SOURCE_DIR "/examples/pick_and_place.txt"))));
        velmcon.show();
        QVERIFY(!reconnect->isVisible());
        QCOMPARE(velmcon.windowTitle(), QStringLiteral("PVelm Main Control"));

        // Every menu item as shown, and the caption of the window it opens.
        QStringList items;
        for (QAction *top : velmcon.menuBar()->actions()) {
            const QString menu = top->menu() ? shown(top->text()) + QStringLiteral(" > ") : QString();
            for (QAction *item : top->menu() ? top->menu()->actions() : QList<QAction *>{top}) {
                const QList<ToolWindow *> before = velmcon.findChildren<ToolWindow *>();
                item->trigger();
                QString opened;
                for (ToolWindow *w : velmcon.findChildren<ToolWindow *>())
                    opened += before.contains(w) || !w->isVisible() ? QString() : w->windowTitle();
                items << menu + shown(item->text()) + QStringLiteral(" | ") + opened;
            }
        }
        QCOMPARE(items, (QStringList{
                            "Move & Position Edit > Instruction Editor | Edit Instruction Element",
                            "Move & Position Edit > Position Manager | Position Manager",
                            "Move & Position Edit > Packed Move/Position Editor | Packed Instruction & Move Editor",
                            "Move & Position Edit > Speed Editor | Speed Editor",
                            "Setup and Tools > System Setup | System setup",
                            "Setup and Tools > Board Setup | Board Parameters",
                            "Setup and Tools > Memory Editor | Memory Editor",
                            "Setup and Tools > Send Short Command | Short Command Sender",
                            "Setup and Tools > Send Long Command | Long Command Sender",
                            "Setup and Tools > Flash Tools | Flash memory utility",
                            "Setup and Tools > Traffic Log | Traffic Log",
                            "VelmScript File Downalod | Velm Converter & Downloader",
                            "About | About PVelm",
                        }));

        // The script editor opens from the converter window. No caption of
        // any window is cut off.
        if (auto *editscript = velmcon.findChild<QAbstractButton *>(QStringLiteral("editscript")))
            editscript->click();
        QList<QWidget *> windows{&velmcon};
        for (ToolWindow *w : velmcon.findChildren<ToolWindow *>())
            windows << w;
        const QString shots = qEnvironmentVariable("PVELM_SCREENSHOT_DIR");
        QStringList problems;
        for (QWidget *w : windows) {
            QVERIFY(QTest::qWaitForWindowExposed(w));
            for (const QString &p : clipped(w))
                problems << w->objectName() + QStringLiteral(": ") + p;
            if (!shots.isEmpty())
                w->grab().save(shots + QLatin1Char('/') + w->objectName() + QStringLiteral(".png"));
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));

        // Started again with a settings file that cannot be read: the fatal
        // message, and the program does not start.
        const QString file = hostpaths::settingsFile();
        QVERIFY(QFile::remove(file) && QDir().mkpath(file));
        QVERIFY(!velmcon.Form_Load());
        QCOMPARE(messages, QStringList{QString::fromLatin1(kSettingsFatalMessage)});
        // With a short record naming port 9, whose link leads nowhere: the
        // console starts with one more message, and the record's notice and
        // the port's reason share the status bar.
        QVERIFY(QDir().rmdir(file));
        SettingsRecord record;
        record.setField(SettingsRecord::kPortColumn, 1, "9");
        QVERIFY(writeAllBytes(file, record.bytes().left(100)));
        QVERIFY(linkPort(9, root.file("no-such-tty")));
        QVERIFY(velmcon.Form_Load());
        QCOMPARE(messages.mid(1), QStringList{QString::fromLatin1(kPortOpenFailedMessage)});
        QVERIFY2(portState->text().startsWith(link.portDevice() + "  57600,n,8,1  cannot open: "),
                 qPrintable(portState->text()));
        QCOMPARE(velmcon.statusBar()->currentMessage(), loadSettings(record).notice);

        // In the setup window Read Parameters shows what the file holds now;
        // the operator names port 1, where the board is, saves and
        // reconnects. Save replaces the file through a rename: a hard link
        // to the old file still holds the old record, as it would after a
        // crash.
        const auto click = [&velmcon](const char *name) {
            velmcon.findChild<ssetup *>()->findChild<QPushButton *>(QLatin1String(name))->click();
        };
        auto *comport = velmcon.findChild<ssetup *>()->findChild<QLineEdit *>(QStringLiteral("comport"));
        comport->setText("7");
        click("loadparam");
        QCOMPARE(comport->text(), QStringLiteral("9"));
        comport->setText("1");
        QVERIFY(::link(QFile::encodeName(file).constData(), QFile::encodeName(root.file("old.ovh")).constData()) == 0);
        click("Saveparams");
        QCOMPARE(readAllBytes(file), SettingsRecord::defaultRecord());
        QCOMPARE(readAllBytes(root.file("old.ovh")), record.bytes().left(100));
        click("Command2");
        QVERIFY(link.isPortOpen());

        // A menu window exists once; the mechanism is shared by every menu
        // window, and the long sender stands for them all. Chosen again: the
        // same window, with what was typed into it.
        const auto openSendinst = [&velmcon]() -> Sendinst * {
            velmcon.findChild<QAction *>(QStringLiteral("sendinstY"))->trigger();
            for (Sendinst *w : velmcon.findChildren<Sendinst *>())
                if (!w->isFinished())
                    return w;
            return nullptr;
        };
        QPointer<Sendinst> first = openSendinst();
        QVERIFY(first && first->isWindow() && first->isVisible());
        edit(first, "cmddat")->setText("typed");
        QCOMPARE(openSendinst(), first.data());
        QCOMPARE(velmcon.findChildren<Sendinst *>().size(), 1);
        QCOMPARE(edit(first, "cmddat")->text(), QStringLiteral("typed"));
        // Its exchange reaches the board and the traffic log: entries come
        // to its screen by themselves, and the count reads as its value.
        auto *log = velmcon.findChild<Trafficlog *>();
        log->findChild<QPushButton *>(QStringLiteral("clearLog"))->click();
        first->findChild<QPushButton *>("Version")->click();
        QCOMPARE(edit(first, "responce")->text().mid(6, 7), QStringLiteral("Version"));
        auto *count = log->findChild<QLabel *>(QStringLiteral("entryCount"));
        QTRY_COMPARE(QAccessible::queryAccessibleInterface(count)->text(QAccessible::Name),
                     QStringLiteral("4 entries"));
        // Closed, the log goes on recording: opened again, it shows the
        // exchange made meanwhile. The filter keeps the lines holding its
        // text, in any case.
        log->close();
        first->findChild<QPushButton *>("Version")->click();
        velmcon.findChild<QAction *>(QStringLiteral("trafficlogY"))->trigger();
        for (Trafficlog *w : velmcon.findChildren<Trafficlog *>())
            log = w->isFinished() ? log : w;
        QVERIFY(log->isVisible());
        auto *logText = log->findChild<QPlainTextEdit *>(QStringLiteral("logText"));
        QCOMPARE(logText->toPlainText().count(QLatin1Char('\n')) + 1, 8);
        log->findChild<QLineEdit *>(QStringLiteral("logFilter"))->setText(QStringLiteral("rx"));
        const QStringList received = logText->toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(received.size(), 4);
        for (const QString &line : received)
            QCOMPARE(line.mid(11, 3), QStringLiteral("RX "));
        log->refresh();
        QCOMPARE(QAccessible::queryAccessibleInterface(log->findChild<QLabel *>(QStringLiteral("entryCount")))
                     ->text(QAccessible::Name),
                 QStringLiteral("8 entries, 4 shown"));
        if (!shots.isEmpty())
            log->grab().save(shots + QStringLiteral("/Trafficlog-filtered.png"));
        log->close();

        // The adapter goes away while nothing is exchanged: the port closes
        // at once, the status bar says so and offers Reconnect; when the
        // name leads to a device again the console says so (a new
        // pseudo-terminal: another device, not the lost one "back"), and
        // opens it only when asked.
        board.stop();
        QTRY_VERIFY(!link.isPortOpen());
        QVERIFY(reconnect->isVisible());
        QVERIFY(board.start());
        QVERIFY(linkPort(1, board.devicePath()));
        QTRY_VERIFY_WITH_TIMEOUT(velmcon.statusBar()->currentMessage().contains("another device"), 3000);
        // Longer than the room before the port state, it ends there in "…";
        // the tooltip and the accessible description hold it whole.
        auto *bar = qobject_cast<MessageBar *>(velmcon.statusBar());
        QVERIFY(bar);
        const QString whole = bar->currentMessage();
        QVERIFY(bar->fontMetrics().horizontalAdvance(whole) > bar->messageArea().width());
        QVERIFY(bar->messageArea().right() < portState->x());
        QVERIFY(bar->shownMessage().endsWith(QChar(0x2026)));
        QVERIFY(bar->fontMetrics().horizontalAdvance(bar->shownMessage()) <= bar->messageArea().width());
        QCOMPARE(bar->toolTip(), whole);
        QCOMPARE(bar->accessibleDescription(), whole);
        QVERIFY(!link.isPortOpen());
        reconnect->click();
        QVERIFY(portState->text().endsWith("  open"));
        QCOMPARE(velmcon.statusBar()->currentMessage(), QString()); // the watch's message goes

        // A board behind a network serial server: Re-Connect connects, the
        // server gone is a lost port, and back on its port the console says so.
        Ser2net server;
        if (!Ser2net::program().isEmpty()) {
            QVERIFY(server.start(board.devicePath()));
            link.setPortOverride(server.address());
            click("Command2");
            QCOMPARE(portState->text(), server.address() + "  raw TCP  open");
            server.kill();
            QTRY_COMPARE(portState->text(),
                         server.address() + "  raw TCP  lost: " + server.address().mid(9) + " closed the connection");
            QVERIFY(server.start(board.devicePath()));
            QTRY_COMPARE_WITH_TIMEOUT(velmcon.statusBar()->currentMessage(),
                                      server.address() + " takes connections again: press Reconnect to connect", 5000);
            reconnect->click();
            QVERIFY(link.isPortOpen());
            link.setPortOverride(QString());
            click("Command2");
        }

        // While the sender waits on a silent board, it is closed: its click
        // handler returns into a hidden window that still exists, and the
        // menu meanwhile gives a fresh window with its defaults. Then the
        // settings file goes: Save does not make it, the fatal messages, and
        // the program ends. The wait ends at once (in real seconds it would
        // last three or more), the port closes and every window goes once
        // its handler is done.
        board.setFault(sim::Fault::NoAnswer);
        link.setSecondMs(1000);
        QPointer<Sendinst> fresh;
        bool firstAliveInWait = false;
        QTimer::singleShot(100, &velmcon, [&] {
            first->close();
            deleteClosedWindows();
            firstAliveInWait = !first.isNull() && !first->isVisible();
            fresh = openSendinst();
            QCOMPARE(edit(fresh, "cmddat")->text(), QStringLiteral("R02"));
            QVERIFY(QFile::remove(file));
            click("Saveparams");
            click("loadparam");
        });
        QElapsedTimer clock;
        clock.start();
        first->findChild<QPushButton *>("sendit")->click();
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(firstAliveInWait && first);
        QVERIFY(fresh && fresh != first);
        QVERIFY(!QFile::exists(file));
        QCOMPARE(messages.mid(2), QStringList({kSettingsWriteFatalMessage, kSettingsFatalMessage}));
        QVERIFY(!velmcon.isVisible() && !link.isPortOpen());
        QCOMPARE(first->findChild<QLabel *>("working")->text(), QString());
        deleteClosedWindows();
        QCOMPARE(velmcon.findChildren<ToolWindow *>(), QList<ToolWindow *>());
        setMessageHandler(previous);
    }

    void firstLookOnTheVirtualBoard()
    {
        // pvelm --simulate met for the first time: its board holds the demo
        // program, and Run / Resume runs it; the monitor shows its pulse.
        TestRoot root;
        auto simulated = std::make_unique<SimulatedBoard>();
        QString error;
        QVERIFY2(simulated->start(false, &error), qPrintable(error));
        QVERIFY(simulated->note().contains("flash holds the demo program"));
        Velmcon velmcon;
        Link &link = velmcon.link();
        link.setPortOverride(simulated->board().devicePath());
        link.setSecondMs(40);
        QVERIFY(velmcon.Form_Load());
        velmcon.show();
        auto *bar = velmcon.messageBar();
        velmcon.showNote(simulated->note());
        const auto label = [&velmcon](const char *name) {
            return velmcon.findChild<QLabel *>(QLatin1String(name))->text();
        };
        auto *life = velmcon.findChild<QLabel *>(QStringLiteral("monitorLife"));
        QString lifeWhileRunning;
        QTimer watch;
        connect(&watch, &QTimer::timeout, &velmcon, [&] {
            if (label("Runstop") == QLatin1String("Running") && label("currentline").toInt() > 0 &&
                life->text().contains("last report 0.")) {
                lifeWhileRunning = QAccessible::queryAccessibleInterface(life)->text(QAccessible::Name);
                if (const QString shots = qEnvironmentVariable("PVELM_SCREENSHOT_DIR"); !shots.isEmpty())
                    velmcon.grab().save(shots + QStringLiteral("/Velmcon-running.png"));
                link.monitoring = false;
            }
        });
        watch.start(300);
        velmcon.findChild<QPushButton *>(QStringLiteral("Run"))->click();
        watch.stop();
        QVERIFY2(lifeWhileRunning.startsWith("Monitoring: ") && lifeWhileRunning.contains(" reports a second"),
                 qPrintable(lifeWhileRunning));
        QVERIFY(life->text().startsWith("Not monitoring, last report "));
        // The run command went through: the note about the demo is gone.
        QCOMPARE(bar->currentMessage(), QString());

        // A board whose flash was never written stops with notification 50
        // at once, and the status bar says what to do.
        velmcon.findChild<QPushButton *>(QStringLiteral("stopall"))->click();
        simulated->board().updateState([](sim::BoardState &s) { s = sim::BoardState(); });
        velmcon.findChild<QPushButton *>(QStringLiteral("Run"))->click();
        QVERIFY(label("notifications").startsWith("50"));
        QCOMPARE(bar->currentMessage(), QStringLiteral("No program at line 0: compile and download one first"));
        // A note also goes by itself after its time.
        bar->setNoteTimeout(100);
        velmcon.showNote(QStringLiteral("passing"));
        QCOMPARE(bar->currentMessage(), QStringLiteral("passing"));
        QTRY_COMPARE_WITH_TIMEOUT(bar->currentMessage(), QString(), 2000);

        // Kept for the next start, which finds the board as it was left
        // and puts no demo over it.
        velmcon.close();
        QVERIFY(simulated->stopAndSave(&error));
        const sim::BoardState left = simulated->board().state();
        simulated = std::make_unique<SimulatedBoard>();
        QVERIFY(simulated->start(false, &error));
        QCOMPARE(simulated->note(), QString());
        QVERIFY(simulated->board().state() == left);
    }

    void fittingThroughVelmSetup()
    {
        // Each box fitted into its field as Save Parameters fits it: serial
        // fields behind their fill (the baud's is 038400, not the default
        // 057600) keeping the last characters, paths right-aligned keeping
        // their end. Header, reserved values and filler of an odd record
        // stay as they are.
        QByteArray odd = SettingsRecord::defaultRecord();
        odd.replace(9, 16, "Someone else's  ");
        odd.replace(49, 36, QByteArray(36, '7'));
        odd.replace(99, 26, "3019200e72" + QByteArray(16, '9'));
        odd.replace(330, 100, QByteArray(100, '#'));
        SettingsRecord record(odd);
        storeSettings(
            record, SetupFields{"12", "300", "ev", "", "", "", "d:\\a b\\x.txt", "f", "c:\\" + QString(40, 'x'), "m"});
        QByteArray expected = odd;
        expected.replace(99, 26, "2400300v81" + QByteArray(16, '0'));
        expected.replace(199, 128,
                         QByteArray(31, ' ') + "f" + QByteArray(20, ' ') + "d:\\a b\\x.txt" + QByteArray(32, 'x') +
                             QByteArray(31, ' ') + "m");
        QCOMPARE(record.bytes(), expected);
        // velm setup set stores by the same rules what it accepts (it
        // refuses what the window would cut: tst_velm) and prints the fields
        // as the window shows them.
        TestRoot root;
        QVERIFY(writeAllBytes(hostpaths::settingsFile(), odd));
        const VelmRun r = runVelm({"setup", "set", "comport=2", "combaud=9600", "gfilebox=d:\\ab\\x.txt"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains("comport=2\ncombaud=009600\ncomparity=e\ncombits=7\ncomstopbits=2\ncomother=" +
                               QByteArray(16, '9') + "\ngfilebox=" + QByteArray(21, ' ') + "d:\\ab\\x.txt\n"));
        QCOMPARE(runVelm({"setup", "set", "baud=1"}).exitCode, 2);
    }
};

int main(int argc, char **argv)
{
    // Twice the pixel density and a large font, unless the screenshot
    // script asks for the ordinary look.
    if (!qEnvironmentVariableIsSet("PVELM_SCREENSHOT_DIR"))
        qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    if (!qEnvironmentVariableIsSet("PVELM_SCREENSHOT_DIR")) {
        QFont font = QApplication::font();
        font.setPointSizeF(font.pointSizeF() * 1.6);
        QApplication::setFont(font);
    }
    TestLayouts test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_layouts.moc"
