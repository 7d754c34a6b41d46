// The "Traffic Log" window, driven offscreen from the main window's menu
// against the virtual board.

#include "app/ui/messages.h"
#include "app/ui/trafficlog.h"
#include "app/ui/velmcon.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

using namespace pvelm;

class TestTrafficlog : public QObject
{
    Q_OBJECT

private slots:
    void oneRun()
    {
        TestRoot root;
        QStringList messages;
        setMessageHandler([&](const QString &text) { messages << text; });
        sim::VirtualBoard board;
        QVERIFY(board.start());
        Velmcon velmcon;
        velmcon.link().setPortOverride(board.devicePath());
        QVERIFY(velmcon.Form_Load());
        Link &link = velmcon.link();
        const auto version = [&link] {
            link.cmdCode = QStringLiteral("R02");
            link.cmdAddress = QStringLiteral("00000");
            link.cmdParam1 = link.cmdParam2 = link.cmdParam3 = QStringLiteral("000");
            QVERIFY(link.docomax());
            QCOMPARE(link.linkErrorCode, QStringLiteral("0"));
        };

        velmcon.findChild<QAction *>(QStringLiteral("trafficlogY"))->trigger();
        auto *window = velmcon.findChild<Trafficlog *>();
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QStringLiteral("Traffic Log"));
        auto *text = window->findChild<QPlainTextEdit *>(QStringLiteral("logText"));
        auto *count = window->findChild<QLabel *>(QStringLiteral("entryCount"));
        auto *hex = window->findChild<QCheckBox *>(QStringLiteral("hexView"));
        auto *pause = window->findChild<QCheckBox *>(QStringLiteral("pauseLog"));
        auto *ringSize = window->findChild<QSpinBox *>(QStringLiteral("ringSize"));

        // Entries come to the screen by themselves, after the exchange; the
        // log starts with the window, not before it.
        version();
        QTRY_COMPARE(text->document()->blockCount(), 4);
        QStringList lines = text->toPlainText().split(QLatin1Char('\n'));
        QVERIFY(lines.at(0).startsWith(QStringLiteral("     0.000 TX docomax          &")));
        QCOMPARE(count->text(), QStringLiteral("4 entries"));
        // Screen readers: the count reads as its value, the others by caption.
        QCOMPARE(QAccessible::queryAccessibleInterface(count)->text(QAccessible::Name), count->text());
        QCOMPARE(QAccessible::queryAccessibleInterface(text)->text(QAccessible::Name), QStringLiteral("Traffic"));
        QCOMPARE(QAccessible::queryAccessibleInterface(ringSize)->text(QAccessible::Name),
                 QStringLiteral("Entries kept:"));

        hex->click();
        lines = text->toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 8);
        QCOMPARE(lines.at(1).trimmed(), QStringLiteral("26"));

        // Paused: exchanges run, nothing is added, and nothing observes the link.
        pause->click();
        QVERIFY(!link.observer());
        version();
        window->refresh();
        QCOMPARE(count->text(), QStringLiteral("4 entries, paused"));
        pause->click();

        // A smaller ring drops the oldest at once and bounds what follows.
        hex->click();
        ringSize->setValue(3);
        version();
        window->refresh();
        QCOMPARE(text->document()->blockCount(), 3);
        QCOMPARE(count->text(), QStringLiteral("3 entries, 5 dropped"));

        // Save writes the ring; a path that cannot be written is said.
        const QString saved = root.file("traffic.log");
        window->setSavePathAsker([&] { return saved; });
        window->findChild<QPushButton *>(QStringLiteral("saveLog"))->click();
        const QByteArray file = readAllBytes(saved);
        QVERIFY(file.contains("# 5 earlier entries dropped\r\n"));
        QCOMPARE(file.count("docomax"), 3);
        window->setSavePathAsker([&] { return root.file("no/such/dir/traffic.log"); });
        window->findChild<QPushButton *>(QStringLiteral("saveLog"))->click();
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages.at(0).startsWith(QStringLiteral("Cannot save the traffic log to ")));

        window->findChild<QPushButton *>(QStringLiteral("clearLog"))->click();
        QCOMPARE(text->toPlainText(), QString());
        QCOMPARE(count->text(), QStringLiteral("0 entries"));

        // Closed: nothing watches the link, and the ring keeps nothing.
        window->close();
        QVERIFY(!link.observer());
        QCOMPARE(velmcon.traffic().ring().size(), 0);
        setMessageHandler({});
    }
};

QTEST_MAIN(TestTrafficlog)
#include "tst_trafficlog.moc"
