// The main window driven offscreen: its menus, start-up, the one-instance
// windows and shutdown while an exchange waits. Also the about window and
// the pvelm entry's refusal to start without a display.

#include "app/hostpaths.h"
#include "app/settings.h"
#include "app/ui/aboutform.h"
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
    caption.replace(QChar(0xE000), QLatin1Char('&'));
    return caption;
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

} // namespace

class TestVelmcon : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void menuBar();
    void windowExistsOnce_data();
    void windowExistsOnce();
    void windowClosedDuringItsExchange();
    void firstStartOpensPortOne();
    void missingPortLeavesWindowUsable();
    void unreadableSettingsEndTheProgram();
    void shortRecordNotice();
    void closeWhileExchangeWaits();
    void aboutform();
    void entryWithoutDisplay();

private:
    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<MessageRecorder> m_recorder;
    std::unique_ptr<sim::VirtualBoard> m_board;
    std::unique_ptr<Velmcon> m_velmcon;

    void startBoardOnPort1()
    {
        m_board = std::make_unique<sim::VirtualBoard>();
        QString error;
        QVERIFY2(m_board->start(&error), qPrintable(error));
        QVERIFY(linkPort(1, m_board->devicePath()));
    }
    QAction *action(const char *name) { return m_velmcon->findChild<QAction *>(QLatin1String(name)); }
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

    // menu | item | caption as shown | enabled
    const QStringList expected = {
        "mpos|Move & Position Edit|",
        "mpos|insbuild|Instruction Editor|off",
        "mpos|posbuild|Position Manager|off",
        "mpos|pinsbuild|Packed Move/Position Editor|off",
        "mpos|speedbuilderY|Speed Editor|off",
        "setup|Setup and Tools|",
        "setup|ssetupY|System Setup|off",
        "setup|parameterconY|Board Setup|off",
        "setup|MemoryeditorY|Memory Editor|off",
        "setup|sendinstX|Send Short Command|on",
        "setup|sendinstY|Send Long Command|on",
        "setup|binsendY|Flash Tools|off",
        "|filegobblery|VelmScript File Downalod|on",
        "|About|About|on",
    };

    QStringList actual;
    const QList<QAction *> top = m_velmcon->menuBar()->actions();
    for (QAction *a : top) {
        if (QMenu *menu = a->menu()) {
            actual << menu->objectName() + '|' + displayed(menu->title()) + '|';
            for (QAction *item : menu->actions())
                actual << menu->objectName() + '|' + item->objectName() + '|' + displayed(item->text()) + '|' +
                              (item->isEnabled() ? "on" : "off");
        } else {
            actual << '|' + a->objectName() + '|' + displayed(a->text()) + '|' + (a->isEnabled() ? "on" : "off");
        }
        QVERIFY(a->isVisible());
    }
    QCOMPARE(actual, expected);
}

void TestVelmcon::windowExistsOnce_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("windowName");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("defaultCommand");
    QTest::newRow("short sender") << "sendinstX"
                                  << "Sndshort"
                                  << "Short Command Sender"
                                  << "X";
    QTest::newRow("long sender") << "sendinstY"
                                 << "Sendinst"
                                 << "Long Command Sender"
                                 << "R02";
    QTest::newRow("about") << "About"
                           << "Aboutform"
                           << "About PVelm" << QString();
}

void TestVelmcon::windowExistsOnce()
{
    QFETCH(QString, item);
    QFETCH(QString, windowName);
    QFETCH(QString, caption);
    QFETCH(QString, defaultCommand);

    QVERIFY(m_velmcon->Form_Load());
    m_velmcon->show();
    auto openWindows = [&] {
        QList<QWidget *> open;
        for (auto *w : m_velmcon->findChildren<ToolWindow *>(windowName, Qt::FindDirectChildrenOnly))
            if (w->isVisible())
                open << w;
        return open;
    };

    action(item.toLatin1())->trigger();
    QCOMPARE(openWindows().size(), 1);
    QPointer<QWidget> first = openWindows().first();
    QCOMPARE(first->windowTitle(), caption);
    QVERIFY(first->isWindow());
    QCOMPARE(first->parentWidget(), m_velmcon.get());
    if (!defaultCommand.isEmpty())
        first->findChild<QLineEdit *>("cmddat")->setText("typed");

    // Chosen again (from behind the main window): the same window, raised,
    // with what was typed into it.
    m_velmcon->activateWindow();
    action(item.toLatin1())->trigger();
    QCOMPARE(openWindows().size(), 1);
    QCOMPARE(openWindows().first(), first.data());
    QVERIFY(QTest::qWaitForWindowActive(first));
    if (!defaultCommand.isEmpty())
        QCOMPARE(first->findChild<QLineEdit *>("cmddat")->text(), QStringLiteral("typed"));

    // Closed: gone, and the next choice makes a new window with its defaults.
    QVERIFY(first->close());
    deleteClosedWindows();
    QVERIFY(first.isNull());
    action(item.toLatin1())->trigger();
    QCOMPARE(openWindows().size(), 1);
    if (!defaultCommand.isEmpty())
        QCOMPARE(openWindows().first()->findChild<QLineEdit *>("cmddat")->text(), defaultCommand);
}

void TestVelmcon::windowClosedDuringItsExchange()
{
    // The sender is closed while its own click handler waits on a silent
    // board. The handler returns into a hidden window that still exists; the
    // menu meanwhile gives a fresh window; the old one goes once its
    // handler is done.
    startBoardOnPort1();
    m_board->setFault(sim::Fault::NoAnswer);
    QVERIFY(m_velmcon->Form_Load());
    m_velmcon->link().setSecondMs(50);
    action("sendinstY")->trigger();
    QPointer<Sendinst> old = m_velmcon->findChild<Sendinst *>();
    QVERIFY(old);

    QPointer<Sendinst> fresh;
    bool oldAliveInWait = false;
    QTimer::singleShot(20, m_velmcon.get(), [&] {
        old->close();
        deleteClosedWindows();
        oldAliveInWait = !old.isNull() && !old->isVisible();
        action("sendinstY")->trigger();
        for (Sendinst *w : m_velmcon->findChildren<Sendinst *>())
            if (w != old)
                fresh = w;
    });
    old->findChild<QPushButton *>("sendit")->click();

    QVERIFY(oldAliveInWait);
    QVERIFY(fresh);
    QVERIFY(fresh->isVisible());
    QVERIFY(old); // the handler wrote its result into it
    QCOMPARE(old->findChild<QLineEdit *>("responce")->text(), QString::fromLatin1(kLongCommandError));
    deleteClosedWindows();
    QVERIFY(old.isNull());
    QVERIFY(fresh);
    QCOMPARE(fresh->findChild<QLineEdit *>("responce")->text(), QString());
}

void TestVelmcon::firstStartOpensPortOne()
{
    startBoardOnPort1();
    QVERIFY(!QFile::exists(hostpaths::settingsFile()));

    QVERIFY(m_velmcon->Form_Load());
    QCOMPARE(readAllBytes(hostpaths::settingsFile()), SettingsRecord::defaultRecord());
    QCOMPARE(m_recorder->messages, QStringList());
    Link &link = m_velmcon->link();
    QVERIFY2(link.isPortOpen(), qPrintable(link.portOpenError()));
    QCOMPARE(link.commPort(), 1);
    QCOMPARE(link.portSettingsText(), QStringLiteral("57600,n,8,1"));
    QCOMPARE(m_velmcon->findChild<QLabel *>("notifications")->text(), QStringLiteral("None"));

    // And the open port carries an exchange to the board.
    m_velmcon->findChild<QAction *>("sendinstY")->trigger();
    auto *sendinst = m_velmcon->findChild<Sendinst *>();
    sendinst->findChild<QPushButton *>("Version")->click();
    QCOMPARE(sendinst->findChild<QLineEdit *>("responce")->text().mid(6, 7), QStringLiteral("Version"));
}

void TestVelmcon::missingPortLeavesWindowUsable()
{
    SettingsRecord record;
    record.setField(SettingsRecord::kPortColumn, 1, "9");
    QVERIFY(writeAllBytes(hostpaths::settingsFile(), record.bytes()));
    QVERIFY(linkPort(9, m_root->file("no-such-tty")));

    QVERIFY(m_velmcon->Form_Load());
    m_velmcon->show();
    QCOMPARE(m_recorder->messages, QStringList{QString::fromLatin1(kPortOpenFailedMessage)});
    QVERIFY(!m_velmcon->link().isPortOpen());
    const QString reason = m_velmcon->link().portOpenError();
    QVERIFY(!reason.isEmpty());
    auto *portState = m_velmcon->statusBar()->findChild<QLabel *>("portState");
    QVERIFY(portState && portState->isVisible());
    QCOMPARE(portState->text(), reason);
    QCOMPARE(m_velmcon->findChild<QLabel *>("notifications")->text(), QStringLiteral("None"));

    // Usable: the senders open and report the closed port in their own field,
    // without another message box.
    action("sendinstY")->trigger();
    auto *sendinst = m_velmcon->findChild<Sendinst *>();
    sendinst->findChild<QPushButton *>("sendit")->click();
    QCOMPARE(sendinst->findChild<QLineEdit *>("responce")->text(), QString::fromLatin1(kLongCommandError));
    QCOMPARE(m_recorder->messages.size(), 1);
    QCOMPARE(readAllBytes(hostpaths::settingsFile()), record.bytes());
}

void TestVelmcon::unreadableSettingsEndTheProgram()
{
    QVERIFY(QDir().mkpath(hostpaths::settingsFile()));
    QVERIFY(!m_velmcon->Form_Load());
    QCOMPARE(m_recorder->messages, QStringList{QString::fromLatin1(kSettingsFatalMessage)});
    QVERIFY(!m_velmcon->link().isPortOpen());
}

void TestVelmcon::shortRecordNotice()
{
    QVERIFY(writeAllBytes(hostpaths::settingsFile(), SettingsRecord::defaultRecord().left(100)));
    SettingsRecord probe;
    const QString notice = loadSettings(probe).notice;
    QVERIFY(!notice.isEmpty());

    QVERIFY(m_velmcon->Form_Load());
    QCOMPARE(m_velmcon->statusBar()->currentMessage(), notice);
}

void TestVelmcon::closeWhileExchangeWaits()
{
    // Real seconds: without the stop the silent board would hold the
    // exchange for three seconds or more.
    startBoardOnPort1();
    m_board->setFault(sim::Fault::NoAnswer);
    QVERIFY(m_velmcon->Form_Load());
    m_velmcon->show();
    action("sendinstY")->trigger();
    action("sendinstX")->trigger();
    QPointer<Sendinst> sendinst = m_velmcon->findChild<Sendinst *>();
    QPointer<Sndshort> sndshort = m_velmcon->findChild<Sndshort *>();

    QTimer::singleShot(100, m_velmcon.get(), [&] { m_velmcon->close(); });
    QElapsedTimer clock;
    clock.start();
    sendinst->findChild<QPushButton *>("sendit")->click();
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));

    QVERIFY(!m_velmcon->isVisible());
    QVERIFY(!m_velmcon->link().isPortOpen());
    QVERIFY(sendinst && !sendinst->isVisible());
    QCOMPARE(sendinst->findChild<QLabel *>("working")->text(), QString());
    QVERIFY(!sndshort || !sndshort->isVisible());
    deleteClosedWindows();
    QVERIFY(sendinst.isNull());
    QVERIFY(sndshort.isNull());
    QCOMPARE(m_recorder->messages, QStringList());
}

void TestVelmcon::aboutform()
{
    Aboutform about(nullptr);
    QCOMPARE(about.windowTitle(), QStringLiteral("About PVelm"));
    QStringList texts;
    for (QLabel *l : about.findChildren<QLabel *>())
        texts << l->text();
    QVERIFY(texts.contains("PVelm"));
    QVERIFY(texts.contains("Version 1.06"));
    about.show();
    about.findChild<QPushButton *>()->click();
    QVERIFY(!about.isVisible());
}

void TestVelmcon::entryWithoutDisplay()
{
    const QString program = QStringLiteral(PVELM_BINARY_DIR "/pvelm");
    if (!QFile::exists(program))
        QSKIP("pvelm is not built");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");

    QProcess pvelm;
    pvelm.setProcessEnvironment(env);
    pvelm.start(program, {"--simulate"});
    QVERIFY(pvelm.waitForFinished(10000));
    QCOMPARE(pvelm.exitCode(), 1);
    const QByteArray err = pvelm.readAllStandardError();
    QCOMPARE(err.count('\n'), 1);
    QVERIFY2(err.startsWith("pvelm: no display") && err.contains("xvfb-run"), err.constData());

    // Help and version need no display.
    pvelm.start(program, {"--version"});
    QVERIFY(pvelm.waitForFinished(10000));
    QCOMPARE(pvelm.exitCode(), 0);
    QVERIFY(pvelm.readAllStandardOutput().contains("1.06"));
}

QTEST_MAIN(TestVelmcon)
#include "tst_velmcon.moc"
