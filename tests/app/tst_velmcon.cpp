// The main window driven offscreen: its menus, start-up, the one-instance
// windows and shutdown while an exchange waits.

#include "app/ui/messages.h"
#include "app/ui/velmcon.h"
#include "boardtools/commandsender.h"
#include "boardtools/ui/sendinst.h"
#include "boardtools/ui/sndshort.h"
#include "editors/ui/nudgebutton.h"
#include "flash/flashpages.h"
#include "settings/hostpaths.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <ctime>
#include <unistd.h>

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>
#include <QtTest>

using namespace pvelm;

namespace {

// What the operator reads on a menu caption: "&&" is one ampersand, a
// single "&" only marks a mnemonic.
QString displayed(QString caption)
{
    caption.replace(QLatin1String("&&"), QString(QChar(0xE000)));
    caption.remove(QLatin1Char('&'));
    return caption.replace(QChar(0xE000), QLatin1Char('&'));
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

class TestVelmcon : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestRoot> m_root;
    QStringList m_messages; // every message box the console asked for
    std::unique_ptr<sim::VirtualBoard> m_board;
    std::unique_ptr<Velmcon> m_velmcon;

    // Points dosdevices/comN at a device.
    bool linkPort(int n, const QString &device)
    {
        QDir().mkpath(m_root->file("dosdevices"));
        return QFile::link(device, hostpaths::dosDeviceLink(n));
    }
    // A virtual board on port 1; a silent one holds every exchange.
    void startBoardOnPort1(sim::Fault fault = sim::Fault::None)
    {
        m_board = std::make_unique<sim::VirtualBoard>();
        QVERIFY(m_board->start());
        m_board->setFault(fault);
        QVERIFY(linkPort(1, m_board->devicePath()));
    }
    QAction *action(const char *name) { return m_velmcon->findChild<QAction *>(QLatin1String(name)); }
    // Chooses "Send Long Command" and returns the window it shows.
    Sendinst *openSendinst()
    {
        action("sendinstY")->trigger();
        for (Sendinst *w : m_velmcon->findChildren<Sendinst *>())
            if (!w->isFinished())
                return w;
        return nullptr;
    }

private slots:
    void init()
    {
        m_root = std::make_unique<TestRoot>();
        m_messages.clear();
        setMessageHandler([this](const QString &text) { m_messages << text; });
        m_velmcon = std::make_unique<Velmcon>();
    }
    void cleanup()
    {
        m_velmcon.reset();
        deleteClosedWindows();
        m_board.reset();
        setMessageHandler({});
        m_root.reset();
    }

    void menuBar()
    {
        QCOMPARE(m_velmcon->windowTitle(), QStringLiteral("PVelm Main Control"));
        // menu | item | caption as shown | enabled | caption of the window it opens
        const QStringList expected = {
            "mpos|Move & Position Edit",
            "mpos|insbuild|Instruction Editor|on|Edit Instruction Element",
            "mpos|posbuild|Position Manager|on|Position Manager",
            "mpos|pinsbuild|Packed Move/Position Editor|on|Packed Instruction & Move Editor",
            "mpos|speedbuilderY|Speed Editor|on|Speed Editor",
            "setup|Setup and Tools",
            "setup|ssetupY|System Setup|on|System setup",
            "setup|parameterconY|Board Setup|on|Board Parameters",
            "setup|MemoryeditorY|Memory Editor|on|Memory Editor",
            "setup|sendinstX|Send Short Command|on|Short Command Sender",
            "setup|sendinstY|Send Long Command|on|Long Command Sender",
            "setup|binsendY|Flash Tools|on|Flash memory utility",
            "setup|trafficlogY|Traffic Log|on|Traffic Log",
            "|filegobblery|VelmScript File Downalod|on|Velm Converter & Downloader",
            "|About|About|on|About PVelm",
        };
        auto row = [this](const QString &menu, QAction *item) {
            QString opened;
            if (item->isEnabled()) {
                const auto before = m_velmcon->findChildren<ToolWindow *>();
                item->trigger();
                for (ToolWindow *w : m_velmcon->findChildren<ToolWindow *>())
                    if (!before.contains(w) && w->isVisible())
                        opened += w->windowTitle();
            }
            const QString state = item->isEnabled() ? "on" : "off";
            return QStringList{menu, item->objectName(), displayed(item->text()), state, opened}.join('|');
        };
        QStringList actual;
        for (QAction *a : m_velmcon->menuBar()->actions()) {
            QVERIFY(a->isVisible());
            if (QMenu *menu = a->menu()) {
                actual << menu->objectName() + '|' + displayed(menu->title());
                for (QAction *item : menu->actions())
                    actual << row(menu->objectName(), item);
            } else {
                actual << row(QString(), a);
            }
        }
        QCOMPARE(actual, expected);
    }

    void firstStartAndOneWindowEach()
    {
        // First start: the default settings file, and port 1 opened through
        // the link to the board its dosdevices link names.
        startBoardOnPort1();
        QVERIFY(m_velmcon->Form_Load());
        QCOMPARE(readAllBytes(hostpaths::settingsFile()), SettingsRecord::defaultRecord());
        QCOMPARE(m_messages, QStringList());
        QCOMPARE(m_velmcon->statusBar()->findChild<QLabel *>("portState")->text(),
                 m_velmcon->link().portDevice() + QStringLiteral("  57600,n,8,1  open"));

        // A menu window exists once; the mechanism is shared by every menu
        // window, and the long sender stands for them all.
        m_velmcon->show();
        QPointer<Sendinst> first = openSendinst();
        QVERIFY(first && first->isWindow() && first->isVisible());
        edit(first, "cmddat")->setText("typed");
        // Chosen again from behind the main window: the same window, raised,
        // with what was typed into it.
        m_velmcon->activateWindow();
        QCOMPARE(openSendinst(), first.data());
        QVERIFY(QTest::qWaitForWindowActive(first));
        QCOMPARE(m_velmcon->findChildren<Sendinst *>().size(), 1);
        QCOMPARE(edit(first, "cmddat")->text(), QStringLiteral("typed"));
        // Closed: gone, and the next choice makes a new window with its
        // defaults, whose exchange reaches the board.
        QVERIFY(first->close());
        deleteClosedWindows();
        QVERIFY(first.isNull());
        Sendinst *fresh = openSendinst();
        QCOMPARE(edit(fresh, "cmddat")->text(), QStringLiteral("R02"));
        fresh->findChild<QPushButton *>("Version")->click();
        QCOMPARE(edit(fresh, "responce")->text().mid(6, 7), QStringLiteral("Version"));
    }

    void closingDuringAnExchange()
    {
        // A sender closed while its own click handler waits on a silent
        // board: the handler returns into a hidden window that still exists,
        // the menu meanwhile gives a fresh window, and the old one goes once
        // its handler is done.
        startBoardOnPort1(sim::Fault::NoAnswer);
        QVERIFY(m_velmcon->Form_Load());
        m_velmcon->show();
        m_velmcon->link().setSecondMs(50);
        QPointer<Sendinst> old = openSendinst();
        QPointer<Sendinst> fresh;
        bool oldAliveInWait = false;
        QTimer::singleShot(20, m_velmcon.get(), [&] {
            old->close();
            deleteClosedWindows();
            oldAliveInWait = !old.isNull() && !old->isVisible();
            fresh = openSendinst();
        });
        old->findChild<QPushButton *>("sendit")->click();
        QVERIFY(oldAliveInWait);
        QVERIFY(fresh && fresh != old && fresh->isVisible());
        QCOMPARE(edit(old, "responce")->text(), QString::fromLatin1(kLongCommandError));
        deleteClosedWindows();
        QVERIFY(old.isNull());
        QCOMPARE(edit(fresh, "responce")->text(), QString());

        // The main window closed while the fresh sender waits: the wait ends
        // at once (in real seconds it would last three or more), the port
        // closes and every window goes, without a message.
        m_velmcon->link().setSecondMs(1000);
        action("sendinstX")->trigger();
        QPointer<Sndshort> sndshort = m_velmcon->findChild<Sndshort *>();
        QTimer::singleShot(100, m_velmcon.get(), [&] { m_velmcon->close(); });
        QElapsedTimer clock;
        clock.start();
        fresh->findChild<QPushButton *>("sendit")->click();
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!m_velmcon->isVisible());
        QVERIFY(!m_velmcon->link().isPortOpen());
        QVERIFY(fresh && !fresh->isVisible());
        QCOMPARE(fresh->findChild<QLabel *>("working")->text(), QString());
        deleteClosedWindows();
        QVERIFY(fresh.isNull() && sndshort.isNull());
        QCOMPARE(m_messages, QStringList());
    }

    void missingPortLeavesWindowUsable()
    {
        // A short record naming port 9, whose link leads nowhere: the
        // record's notice and the port's reason share the status bar.
        SettingsRecord record;
        record.setField(SettingsRecord::kPortColumn, 1, "9");
        const QByteArray shortRecord = record.bytes().left(100);
        QVERIFY(writeAllBytes(hostpaths::settingsFile(), shortRecord));
        QVERIFY(linkPort(9, m_root->file("no-such-tty")));
        const QString notice = loadSettings(record).notice;
        QVERIFY(!notice.isEmpty());

        QVERIFY(m_velmcon->Form_Load());
        m_velmcon->show();
        QCOMPARE(m_messages, QStringList{QString::fromLatin1(kPortOpenFailedMessage)});
        QVERIFY(!m_velmcon->link().isPortOpen());
        auto *portState = m_velmcon->statusBar()->findChild<QLabel *>("portState");
        QVERIFY(portState->isVisible());
        QVERIFY(!m_velmcon->link().portOpenError().isEmpty());
        QVERIFY2(portState->text().startsWith(m_velmcon->link().portDevice() + "  57600,n,8,1  cannot open: "),
                 qPrintable(portState->text()));
        QCOMPARE(m_velmcon->statusBar()->currentMessage(), notice);

        // Usable: a sender reports the closed port in its own field, without
        // another message box.
        Sendinst *sendinst = openSendinst();
        sendinst->findChild<QPushButton *>("sendit")->click();
        QCOMPARE(edit(sendinst, "responce")->text(), QString::fromLatin1(kLongCommandError));
        QCOMPARE(m_messages.size(), 1);
        QCOMPARE(readAllBytes(hostpaths::settingsFile()), shortRecord);
    }

    void portLostAndBack()
    {
        // The adapter goes away while nothing is exchanged: the port closes
        // at once, the status bar says so and offers Reconnect; when the
        // device is there again the console says so, and opens it only when
        // asked.
        startBoardOnPort1();
        QVERIFY(m_velmcon->Form_Load());
        m_velmcon->show();
        auto *portState = m_velmcon->statusBar()->findChild<QLabel *>("portState");
        auto *reconnect = m_velmcon->statusBar()->findChild<QToolButton *>("reconnect");
        QVERIFY(!reconnect->isVisible());
        m_board->stop();
        QTRY_VERIFY(!m_velmcon->link().isPortOpen());
        QVERIFY2(portState->text().startsWith(m_velmcon->link().portDevice() + "  57600,n,8,1  lost: "),
                 qPrintable(portState->text()));
        QVERIFY(reconnect->isVisible());

        QVERIFY(m_board->start());
        QFile::remove(hostpaths::dosDeviceLink(1));
        QVERIFY(linkPort(1, m_board->devicePath()));
        QTRY_VERIFY_WITH_TIMEOUT(m_velmcon->statusBar()->currentMessage().contains("is back"), 3000);
        QVERIFY(!m_velmcon->link().isPortOpen());
        reconnect->click();
        QVERIFY(m_velmcon->link().isPortOpen());
        QVERIFY(portState->text().endsWith("  open"));
        QVERIFY(!reconnect->isVisible());
        QCOMPARE(m_messages, QStringList());
    }

    void unplugMidOperation_data()
    {
        // The menu item that opens the window ("": the main window) | the
        // control the operator works | where the failure shows ("": the
        // status bar only) | what it shows | controls usable afterwards.
        QTest::addColumn<QString>("row");
        QTest::newRow("download") << "filegobblery|toflash|Flashindicator|FAIL|toflash Readvelm";
        QTest::newRow("flash save") << "binsendY|savefla|Text3|(Serial port not open)|savefla readfla Command6";
        QTest::newRow("monitor") << "|Monitor|||Run Monitor Getstatus";
        QTest::newRow("nudge held") << "posbuild|posup(0)|responce|7 Serial port not open|posup(0) getcur";
    }
    void unplugMidOperation()
    {
        // The adapter pulled out while an operation runs on it: the
        // operation ends at once however it waits, says it failed, gives
        // back every control, and the status bar says the port was lost.
        QFETCH(QString, row);
        const QStringList field = row.split('|');
        startBoardOnPort1();
        m_board->setBaud(57600); // about 100 ms a flash page
        QVERIFY(m_velmcon->Form_Load());
        m_velmcon->show();
        QStringList pages;
        for (int page = 0; page < 20; ++page)
            pages << flash::pageLine(page, QString(528, QLatin1Char('A')));
        QVERIFY(writeAllBytes(hostpaths::toHost("c:\\Corvane\\flash.tmp"), pages.join("\r\n").toLatin1()));
        QWidget *window = m_velmcon.get();
        if (!field[0].isEmpty()) {
            action(qPrintable(field[0]))->trigger();
            window = m_velmcon->findChildren<ToolWindow *>().constLast();
            QVERIFY(QTest::qWaitForWindowActive(window));
        }
        if (auto *endpage = window->findChild<QLineEdit *>("endpage"))
            endpage->setText("40");

        Link &link = m_velmcon->link();
        QElapsedTimer sinceLoss;
        bool midway = false;
        QTimer::singleShot(250, m_velmcon.get(), [&] {
            midway = link.isHeld() || (link.monitoring && !link.isBusy());
            m_board->stop();
            sinceLoss.start();
        });
        alarm(20); // a hang ends the test here rather than at CTest's timeout
        auto *control = window->findChild<QAbstractButton *>(field[1]);
        if (qobject_cast<editors::NudgeButton *>(control)) {
            QTest::keyPress(control, Qt::Key_Space); // returns when the held nudge ends
            QTest::keyRelease(control, Qt::Key_Space);
        } else {
            control->click();
        }
        alarm(0);
        const qint64 ended = sinceLoss.elapsed();
        QVERIFY(midway);
        QVERIFY2(ended < 1000, qPrintable(QString::number(ended)));

        if (!field[2].isEmpty()) {
            QWidget *shows = window->findChild<QWidget *>(field[2]);
            const QString text =
                shows->property(qobject_cast<QPlainTextEdit *>(shows) ? "plainText" : "text").toString();
            QVERIFY2(text.contains(field[3]), qPrintable(text));
        }
        for (const QString &name : field[4].split(' '))
            QVERIFY2(window->findChild<QWidget *>(name)->isEnabled(), qPrintable(name));
        QVERIFY(!link.isBusy() && !link.isPortOpen());
        const QString portState = m_velmcon->statusBar()->findChild<QLabel *>("portState")->text();
        QVERIFY2(portState.contains("  lost: "), qPrintable(portState));

        // Nothing left running: the console idles.
        const std::clock_t cpu = std::clock();
        QTest::qWait(500);
        const long cpuMs = long((std::clock() - cpu) * 1000 / CLOCKS_PER_SEC);
        qInfo("ended %lld ms after the loss; %ld ms of CPU in the next 500 ms", ended, cpuMs);
        QVERIFY(cpuMs < 100);
    }

    void unreadableSettingsEndTheProgram()
    {
        QVERIFY(QDir().mkpath(hostpaths::settingsFile()));
        QVERIFY(!m_velmcon->Form_Load());
        QCOMPARE(m_messages, QStringList{QString::fromLatin1(kSettingsFatalMessage)});
        QVERIFY(!m_velmcon->link().isPortOpen());
    }

    void withoutADisplayPvelmSaysHowToRunIt()
    {
        QProcess pvelm;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        pvelm.setProcessEnvironment(env);
        pvelm.start(QStringLiteral(PVELM_BINARY_DIR "/pvelm"), {QStringLiteral("--simulate")});
        QVERIFY(pvelm.waitForFinished(10000));
        QCOMPARE(pvelm.exitCode(), 1);
        const QList<QByteArray> lines = pvelm.readAllStandardError().trimmed().split('\n');
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].startsWith("pvelm: no display") && lines[0].contains("xvfb-run -a "), lines[0]);
    }
};

QTEST_MAIN(TestVelmcon)
#include "tst_velmcon.moc"
