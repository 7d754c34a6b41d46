// The main window driven offscreen: its menus, start-up, the one-instance
// windows and shutdown while an exchange waits; and the pvelm entry's
// refusal to start without a display.

#include "app/hostpaths.h"
#include "app/settings.h"
#include "app/ui/messages.h"
#include "app/ui/velmcon.h"
#include "boardtools/commandsender.h"
#include "boardtools/ui/sendinst.h"
#include "boardtools/ui/sndshort.h"
#include "link/link.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <memory>

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

using namespace pvelm;

namespace {

// Records every message the console shows instead of opening a box.
class MessageRecorder
{
public:
    MessageRecorder()
    {
        m_previous = setMessageHandler([this](const QString &text) { messages << text; });
    }
    ~MessageRecorder() { setMessageHandler(m_previous); }
    QStringList messages;

private:
    MessageHandler m_previous;
};

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

// Points $PVELM_ROOT/dosdevices/comN at a device.
bool linkPort(int n, const QString &device)
{
    QDir().mkpath(QFileInfo(hostpaths::dosDeviceLink(n)).absolutePath());
    return QFile::link(device, hostpaths::dosDeviceLink(n));
}

QLineEdit *edit(QWidget *w, const char *name)
{
    return w->findChild<QLineEdit *>(QLatin1String(name));
}

} // namespace

class TestVelmcon : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void menuBar();
    void windowExistsOnce();
    void windowClosedDuringItsExchange();
    void firstStartOpensPortOne();
    void missingPortLeavesWindowUsable();
    void unreadableSettingsEndTheProgram();
    void closeWhileExchangeWaits();
    void entryWithoutDisplay();

private:
    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<MessageRecorder> m_recorder;
    std::unique_ptr<sim::VirtualBoard> m_board;
    std::unique_ptr<Velmcon> m_velmcon;

    // A virtual board on port 1; a silent one holds every exchange.
    void startBoardOnPort1(sim::Fault fault = sim::Fault::None)
    {
        m_board = std::make_unique<sim::VirtualBoard>();
        QString error;
        QVERIFY2(m_board->start(&error), qPrintable(error));
        m_board->setFault(fault);
        QVERIFY(linkPort(1, m_board->devicePath()));
    }
    QAction *action(const char *name) { return m_velmcon->findChild<QAction *>(QLatin1String(name)); }
    // Chooses a menu item and returns the long sender it shows.
    Sendinst *openSendinst()
    {
        action("sendinstY")->trigger();
        for (Sendinst *w : m_velmcon->findChildren<Sendinst *>())
            if (!w->isFinished())
                return w;
        return nullptr;
    }
};

void TestVelmcon::init()
{
    m_root = std::make_unique<TestRoot>();
    m_recorder = std::make_unique<MessageRecorder>();
    m_velmcon = std::make_unique<Velmcon>();
}

void TestVelmcon::cleanup()
{
    m_velmcon.reset();
    deleteClosedWindows();
    m_board.reset();
    m_recorder.reset();
    m_root.reset();
}

void TestVelmcon::menuBar()
{
    QCOMPARE(m_velmcon->windowTitle(), QStringLiteral("PVelm Main Control"));

    // menu | item | caption as shown | enabled | caption of the window it opens
    const QStringList expected = {
        "mpos|Move & Position Edit",
        "mpos|insbuild|Instruction Editor|off|",
        "mpos|posbuild|Position Manager|off|",
        "mpos|pinsbuild|Packed Move/Position Editor|off|",
        "mpos|speedbuilderY|Speed Editor|off|",
        "setup|Setup and Tools",
        "setup|ssetupY|System Setup|off|",
        "setup|parameterconY|Board Setup|off|",
        "setup|MemoryeditorY|Memory Editor|off|",
        "setup|sendinstX|Send Short Command|on|Short Command Sender",
        "setup|sendinstY|Send Long Command|on|Long Command Sender",
        "setup|binsendY|Flash Tools|off|",
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
        return QStringList{menu, item->objectName(), displayed(item->text()), item->isEnabled() ? "on" : "off", opened}
            .join('|');
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

void TestVelmcon::windowExistsOnce()
{
    // The mechanism is shared by every menu window; the long sender stands
    // for them all.
    QVERIFY(m_velmcon->Form_Load());
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

    // Closed: gone, and the next choice makes a new window with its defaults.
    QVERIFY(first->close());
    deleteClosedWindows();
    QVERIFY(first.isNull());
    Sendinst *fresh = openSendinst();
    QVERIFY(fresh && fresh->isVisible());
    QCOMPARE(edit(fresh, "cmddat")->text(), QStringLiteral("R02"));
}

void TestVelmcon::windowClosedDuringItsExchange()
{
    // The sender is closed while its own click handler waits on a silent
    // board. The handler returns into a hidden window that still exists; the
    // menu meanwhile gives a fresh window; the old one goes once its
    // handler is done.
    startBoardOnPort1(sim::Fault::NoAnswer);
    QVERIFY(m_velmcon->Form_Load());
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
    QVERIFY(old); // the handler wrote its result into it
    QCOMPARE(edit(old, "responce")->text(), QString::fromLatin1(kLongCommandError));
    deleteClosedWindows();
    QVERIFY(old.isNull());
    QVERIFY(fresh);
    QCOMPARE(edit(fresh, "responce")->text(), QString());
}

void TestVelmcon::firstStartOpensPortOne()
{
    startBoardOnPort1();
    QVERIFY(m_velmcon->Form_Load());
    QCOMPARE(readAllBytes(hostpaths::settingsFile()), SettingsRecord::defaultRecord());
    QCOMPARE(m_recorder->messages, QStringList());
    QCOMPARE(m_velmcon->link().commPort(), 1);
    QCOMPARE(m_velmcon->statusBar()->findChild<QLabel *>("portState")->text(),
             m_velmcon->link().portDevice() + QStringLiteral(" 57600,n,8,1"));
    QCOMPARE(m_velmcon->findChild<QLabel *>("notifications")->text(), QStringLiteral("None"));

    // The open port carries an exchange to the board.
    Sendinst *sendinst = openSendinst();
    sendinst->findChild<QPushButton *>("Version")->click();
    QCOMPARE(edit(sendinst, "responce")->text().mid(6, 7), QStringLiteral("Version"));
}

void TestVelmcon::missingPortLeavesWindowUsable()
{
    // A short record naming port 9, whose link leads nowhere: the record's
    // notice and the port's reason share the status bar.
    SettingsRecord record;
    record.setField(SettingsRecord::kPortColumn, 1, "9");
    const QByteArray shortRecord = record.bytes().left(100);
    QVERIFY(writeAllBytes(hostpaths::settingsFile(), shortRecord));
    QVERIFY(linkPort(9, m_root->file("no-such-tty")));
    SettingsRecord probe;
    const QString notice = loadSettings(probe).notice;

    QVERIFY(m_velmcon->Form_Load());
    m_velmcon->show();
    QCOMPARE(m_recorder->messages, QStringList{QString::fromLatin1(kPortOpenFailedMessage)});
    QVERIFY(!m_velmcon->link().isPortOpen());
    const QString reason = m_velmcon->link().portOpenError();
    QVERIFY(!reason.isEmpty());
    auto *portState = m_velmcon->statusBar()->findChild<QLabel *>("portState");
    QVERIFY(portState->isVisible());
    QCOMPARE(portState->text(), reason);
    QVERIFY(!notice.isEmpty());
    QCOMPARE(m_velmcon->statusBar()->currentMessage(), notice);

    // Usable: a sender reports the closed port in its own field, without
    // another message box.
    Sendinst *sendinst = openSendinst();
    sendinst->findChild<QPushButton *>("sendit")->click();
    QCOMPARE(edit(sendinst, "responce")->text(), QString::fromLatin1(kLongCommandError));
    QCOMPARE(m_recorder->messages.size(), 1);
    QCOMPARE(readAllBytes(hostpaths::settingsFile()), shortRecord);
}

void TestVelmcon::unreadableSettingsEndTheProgram()
{
    QVERIFY(QDir().mkpath(hostpaths::settingsFile()));
    QVERIFY(!m_velmcon->Form_Load());
    QCOMPARE(m_recorder->messages, QStringList{QString::fromLatin1(kSettingsFatalMessage)});
    QVERIFY(!m_velmcon->link().isPortOpen());
}

void TestVelmcon::closeWhileExchangeWaits()
{
    // Real seconds: without the stop the silent board would hold the
    // exchange for three seconds or more.
    startBoardOnPort1(sim::Fault::NoAnswer);
    QVERIFY(m_velmcon->Form_Load());
    m_velmcon->show();
    action("sendinstX")->trigger();
    QPointer<Sndshort> sndshort = m_velmcon->findChild<Sndshort *>();
    QPointer<Sendinst> sendinst = openSendinst();

    QTimer::singleShot(100, m_velmcon.get(), [&] { m_velmcon->close(); });
    QElapsedTimer clock;
    clock.start();
    sendinst->findChild<QPushButton *>("sendit")->click();
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));

    QVERIFY(!m_velmcon->isVisible());
    QVERIFY(!m_velmcon->link().isPortOpen());
    QVERIFY(sendinst && !sendinst->isVisible());
    QCOMPARE(sendinst->findChild<QLabel *>("working")->text(), QString());
    deleteClosedWindows();
    QVERIFY(sendinst.isNull());
    QVERIFY(sndshort.isNull());
    QCOMPARE(m_recorder->messages, QStringList());
}

void TestVelmcon::entryWithoutDisplay()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    QProcess pvelm;
    pvelm.setProcessEnvironment(env);
    pvelm.start(QStringLiteral(PVELM_BINARY_DIR "/pvelm"), {"--simulate"});
    QVERIFY(pvelm.waitForFinished(10000));
    QCOMPARE(pvelm.exitCode(), 1);
    const QByteArray err = pvelm.readAllStandardError();
    QVERIFY2(err.startsWith("pvelm: no display") && err.contains("xvfb-run") && err.count('\n') == 1, err.constData());
}

QTEST_MAIN(TestVelmcon)
#include "tst_velmcon.moc"
