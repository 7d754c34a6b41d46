// The main window driven offscreen: start-up, the one-instance windows, the
// traffic log window, closing while an exchange waits, the port lost and
// back, and a settings file or a port that cannot be opened.

#include "app/ui/messages.h"
#include "app/ui/trafficlog.h"
#include "app/ui/velmcon.h"
#include "boardtools/commandsender.h"
#include "boardtools/ui/sendinst.h"
#include "settings/hostpaths.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>
#include <QtTest>

using namespace pvelm;

namespace {

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
    std::unique_ptr<Velmcon> m_velmcon;

    // Points dosdevices/comN at a device.
    bool linkPort(int n, const QString &device)
    {
        QDir().mkpath(m_root->file("dosdevices"));
        QFile::remove(hostpaths::dosDeviceLink(n));
        return QFile::link(device, hostpaths::dosDeviceLink(n));
    }
    template <typename T> T *child(const char *name) { return m_velmcon->findChild<T *>(QLatin1String(name)); }
    // Chooses "Send Long Command" and returns the window it shows.
    Sendinst *openSendinst()
    {
        child<QAction>("sendinstY")->trigger();
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
        setMessageHandler({});
        m_root.reset();
    }

    void oneRun()
    {
        // First start: port 1 opened through the link to the board its
        // dosdevices link names.
        sim::VirtualBoard board;
        QVERIFY(board.start());
        QVERIFY(linkPort(1, board.devicePath()));
        QVERIFY(m_velmcon->Form_Load());
        m_velmcon->show();
        Link &link = m_velmcon->link();
        auto *portState = child<QLabel>("portState");
        auto *reconnect = child<QToolButton>("reconnect");
        QCOMPARE(portState->text(), link.portDevice() + QStringLiteral("  57600,n,8,1  open"));
        QVERIFY(!reconnect->isVisible());

        // A menu window exists once; the mechanism is shared by every menu
        // window, and the long sender stands for them all. Chosen again from
        // behind the main window: the same window, raised, with what was
        // typed into it.
        QPointer<Sendinst> first = openSendinst();
        QVERIFY(first && first->isWindow() && first->isVisible());
        edit(first, "cmddat")->setText("typed");
        m_velmcon->activateWindow();
        QCOMPARE(openSendinst(), first.data());
        QVERIFY(QTest::qWaitForWindowActive(first));
        QCOMPARE(m_velmcon->findChildren<Sendinst *>().size(), 1);
        QCOMPARE(edit(first, "cmddat")->text(), QStringLiteral("typed"));
        // Closed: gone, and the next choice makes a new window with its
        // defaults, whose exchange reaches the board and the traffic log:
        // entries come to its screen by themselves, and the count reads as
        // its value.
        QVERIFY(first->close());
        deleteClosedWindows();
        QVERIFY(first.isNull());
        QPointer<Sendinst> old = openSendinst();
        QCOMPARE(edit(old, "cmddat")->text(), QStringLiteral("R02"));
        child<QAction>("trafficlogY")->trigger();
        auto *log = m_velmcon->findChild<Trafficlog *>();
        old->findChild<QPushButton *>("Version")->click();
        QCOMPARE(edit(old, "responce")->text().mid(6, 7), QStringLiteral("Version"));
        auto *count = log->findChild<QLabel *>(QStringLiteral("entryCount"));
        QTRY_COMPARE(QAccessible::queryAccessibleInterface(count)->text(QAccessible::Name),
                     QStringLiteral("4 entries"));
        // The log closed: nothing observes the link, and the ring keeps
        // nothing.
        log->close();
        QVERIFY(!link.observer());
        QCOMPARE(m_velmcon->traffic().ring().size(), 0);

        // Closed while its own click handler waits on a silent board: the
        // handler returns into a hidden window that still exists, the menu
        // meanwhile gives a fresh window, and the old one goes once its
        // handler is done.
        board.setFault(sim::Fault::NoAnswer);
        link.setSecondMs(50);
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

        // The adapter goes away while nothing is exchanged: the port closes
        // at once, the status bar says so and offers Reconnect; when the
        // device is there again the console says so, and opens it only when
        // asked.
        QSignalSpy lost(&link, &Link::portLost);
        board.stop();
        QTRY_VERIFY(!link.isPortOpen());
        QVERIFY2(portState->text().startsWith(link.portDevice() + "  57600,n,8,1  lost: "),
                 qPrintable(portState->text()));
        QVERIFY(reconnect->isVisible());
        QVERIFY(board.start());
        QVERIFY(linkPort(1, board.devicePath()));
        QTRY_VERIFY_WITH_TIMEOUT(m_velmcon->statusBar()->currentMessage().contains("is back"), 3000);
        QVERIFY(!link.isPortOpen());
        QCOMPARE(lost.count(), 1);
        reconnect->click();
        QVERIFY(portState->text().endsWith("  open"));
        QVERIFY(!reconnect->isVisible());

        // The main window closed while the fresh sender waits on a silent
        // board: the wait ends at once (in real seconds it would last three
        // or more), the port closes and every window goes, without a message.
        board.setFault(sim::Fault::NoAnswer);
        link.setSecondMs(1000);
        child<QAction>("sendinstX")->trigger();
        QTimer::singleShot(100, m_velmcon.get(), [&] { m_velmcon->close(); });
        QElapsedTimer clock;
        clock.start();
        fresh->findChild<QPushButton *>("sendit")->click();
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!m_velmcon->isVisible());
        QVERIFY(!link.isPortOpen());
        QVERIFY(fresh && !fresh->isVisible());
        QCOMPARE(fresh->findChild<QLabel *>("working")->text(), QString());
        deleteClosedWindows();
        QCOMPARE(m_velmcon->findChildren<ToolWindow *>(), QList<ToolWindow *>());
        QCOMPARE(m_messages, QStringList());
    }

    void startUpWithoutSettingsOrPort()
    {
        // A settings file that cannot be read: the fatal message, and the
        // program does not start.
        QVERIFY(QDir().mkpath(hostpaths::settingsFile()));
        QVERIFY(!m_velmcon->Form_Load());
        QCOMPARE(m_messages, QStringList{QString::fromLatin1(kSettingsFatalMessage)});
        QVERIFY(!m_velmcon->link().isPortOpen());

        // A short record naming port 9, whose link leads nowhere: the
        // console starts with one more message, and the record's notice and
        // the port's reason share the status bar.
        QVERIFY(QDir().rmdir(hostpaths::settingsFile()));
        SettingsRecord record;
        record.setField(SettingsRecord::kPortColumn, 1, "9");
        QVERIFY(writeAllBytes(hostpaths::settingsFile(), record.bytes().left(100)));
        QVERIFY(linkPort(9, m_root->file("no-such-tty")));
        QVERIFY(m_velmcon->Form_Load());
        QCOMPARE(m_messages.mid(1), QStringList{QString::fromLatin1(kPortOpenFailedMessage)});
        const QString portState = child<QLabel>("portState")->text();
        QVERIFY2(portState.startsWith(m_velmcon->link().portDevice() + "  57600,n,8,1  cannot open: "),
                 qPrintable(portState));
        QCOMPARE(m_velmcon->statusBar()->currentMessage(), loadSettings(record).notice);
    }
};

QTEST_MAIN(TestVelmcon)
#include "tst_velmcon.moc"
