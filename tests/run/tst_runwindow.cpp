// The run controls and status frame of the main window in one offscreen run
// against the virtual board running the pick-and-place example, downloaded
// as compiled; and the value labels as a screen reader reads them.

#include "app/ui/velmcon.h"
#include "boardtools/ui/sndshort.h"
#include "compiler/compilehelpers.h"
#include "flash/transfer.h"
#include "sim/virtualboard.h"
#include "support/scriptedpeer.h"
#include "support/testenv.h"
#include "ui/messages.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>

using namespace pvelm;

namespace {

constexpr int kSecond = 100; // link-second: the monitor ends after 0.6-0.7 s without a report

// Lines of examples/pick_and_place.txt: PICK's first move, its two waits
// and its last move.
constexpr int kPickMove = 12, kPickWait = 15, kPickWait2 = 17, kPickLift = 18;

} // namespace

class TestRunWindow : public QObject
{
    Q_OBJECT

private slots:
    void pickAndPlace()
    {
        TestRoot root;
        setMessageHandler([](const QString &text) { QFAIL(qPrintable(text)); });
        sim::VirtualBoard board;
        QVERIFY(board.start());
        QVERIFY(
            compilertest::Workspace(root).compile(readAllBytes(PVELM_SOURCE_DIR "/examples/pick_and_place.txt")).ok);
        board.updateState([](sim::BoardState &s) { s.params[7] = 2; }); // a report every 20 ms
        Velmcon w;
        w.link().setPortOverride(board.devicePath());
        QVERIFY(w.Form_Load());
        QVERIFY(flash::writePageFile(w.link(), root.file("drive_c/Corvane/flash.tmp")).ok());
        w.link().setSecondMs(kSecond);
        w.show();
        const auto label = [&w](const char *name) { return w.findChild<QLabel *>(QLatin1String(name))->text(); };
        const auto click = [&w](const char *name) { w.findChild<QPushButton *>(QLatin1String(name))->click(); };

        // What the window shows, sampled while the monitor runs.
        QList<int> lines;
        QStringList modes;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, this, [&] {
            if (lines.value(lines.size() - 1, -1) != label("currentline").toInt())
                lines << label("currentline").toInt();
            if (modes.value(modes.size() - 1) != label("Runstop"))
                modes << label("Runstop");
        });
        sampler.start(5);
        // Paused in PICK's first wait; resumed with the Z home switch moved
        // to 1500, which the gripper's next move down reaches.
        QTimer::singleShot(1100, this, [&] { click("pauseit"); });
        QTimer::singleShot(1300, this, [&] {
            board.updateState([](sim::BoardState &s) { s.program.home[2] = 1500; });
            click("Run"); // a nested monitor: returns when the reports stop
        });
        click("Run");
        sampler.stop();

        QCOMPARE(modes, (QStringList{"Stopped", "Running", "Paused", "Running", "Stopped"}));
        lines.removeIf([](int l) { return l != kPickMove && l != kPickWait && l != kPickWait2 && l != kPickLift; });
        QCOMPARE(lines, (QList<int>{kPickMove, kPickWait, kPickWait2, kPickLift}));
        QCOMPARE(label("notifications"), QStringLiteral("34  Z Home Switch hit"));
        QCOMPARE(QStringList({label("Label4"), label("Label5"), label("Label6")}), (QStringList{"200", "1", "10"}));

        // Run at PICK's wait, paused and stopped during monitoring: the
        // board's last report says Stopped and the monitor ends after it.
        board.clearReceived();
        w.findChild<QLineEdit *>("linetorun")->setText(QString::number(kPickWait));
        QTimer::singleShot(200, this, [&] { click("pauseit"); });
        QTimer::singleShot(400, this, [&] { click("stopall"); });
        QElapsedTimer clock;
        clock.start();
        click("Runatline");
        QVERIFY(clock.elapsed() < 400 + 8 * kSecond);
        auto request = [](const char *head) {
            return "&$OV0" + QByteArray(head) + QByteArray(32, 'D') + "xxxxxxxxxxxxxx0H~";
        };
        QCOMPARE(board.received(), request("R0500000Fxxx") + request("R07SSSSxxxxx") + request("R00SSSSxxxxx"));
        QCOMPARE(label("Runstop"), QStringLiteral("Stopped"));
        QCOMPARE(label("currentline"), QString::number(kPickWait));

        // A screen reader announces the accessible name: the value itself.
        w.sendinstX_Click();
        QList<QLabel *> values;
        for (const char *name : {"Runstop", "currentline", "notifications", "Label4", "Label5", "Label6", "portState"})
            values << w.findChild<QLabel *>(QLatin1String(name));
        for (const char *name : {"inver", "working"})
            values << w.findChild<Sndshort *>()->findChild<QLabel *>(QLatin1String(name));
        for (QLabel *value : values) {
            value->setText(QStringLiteral("value of ") + value->objectName());
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(value);
            QCOMPARE(a->text(QAccessible::Name), value->text());
            QVERIFY2(!a->text(QAccessible::Description).isEmpty(), qPrintable(value->objectName()));
        }
        setMessageHandler({});
    }

    // "Run at line number": the number typed in hex, its rightmost six
    // digits sent, beyond the program's last line too; "Refresh status"
    // shows the board's next report, not one queued before the click.
    void runAtLine()
    {
        TestRoot root;
        ScriptedPeer peer;
        QVERIFY(peer.open());
        peer.answer('&', ":");
        Velmcon w;
        w.link().setPortOverride(peer.devicePath());
        QVERIFY(w.Form_Load());
        w.link().setSecondMs(20);
        const std::tuple<QString, QByteArray, QString> rows[] = {
            {"40000", "R05009C40", ""},
            {"-1", "R05FFFFFF", "Run at line -1 sent as FFFFFF: the board takes six hex digits"},
            {"12abc", "", "Run at line: \"12abc\" refused; enter a whole number from -2147483648 to 2147483647"}};
        for (const auto &[typed, sent, said] : rows) {
            const qsizetype before = peer.received().size();
            w.statusBar()->clearMessage();
            w.findChild<QLineEdit *>("linetorun")->setText(typed);
            w.findChild<QPushButton *>("Runatline")->click();
            QCOMPARE(peer.received().mid(before + 5, 9), sent);
            QCOMPARE(w.statusBar()->currentMessage(), said);
        }

        peer.send("AB0010000200031000000005"); // Running, line 4: old by the click
        QTest::qWait(50);
        w.link().setSecondMs(100);
        peer.sendLater(200, "AB0010000200033000000009"); // Paused, line 8
        w.findChild<QPushButton *>("Getstatus")->click();
        const auto label = [&w](const char *name) { return w.findChild<QLabel *>(QLatin1String(name))->text(); };
        QCOMPARE(label("Runstop") + ' ' + label("currentline"), "Paused 8");
    }
};

QTEST_MAIN(TestRunWindow)
#include "tst_runwindow.moc"
