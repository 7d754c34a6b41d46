// The "Virtual Board" window against the in-process board running a
// compiled program: opened from the main window's menu, it shows the motion
// and the outputs, and its inputs, switches, faults, reset, state file and
// exports reach the board or the disk.

#include "app/ui/velmcon.h"
#include "compiler/compilehelpers.h"
#include "ptyclient.h"
#include "sim/ui/motionplot.h"
#include "sim/ui/simboard.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"
#include "ui/messages.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

using namespace pvelm;

namespace {

// The compiled page lines written into the board's flash, as a download
// would leave them.
void loadHex(sim::VirtualBoard &board, const QByteArray &hex)
{
    board.updateState([&](sim::BoardState &s) {
        for (const QByteArray &line : hex.split('\n')) {
            if (line.trimmed().size() < 517)
                continue;
            s.storePageLine(line.trimmed());
        }
    });
}

QAccessibleInterface *access(QWidget *w)
{
    return QAccessible::queryAccessibleInterface(w);
}

} // namespace

class TestSimboard : public QObject
{
    Q_OBJECT

private slots:
    void windowOnARunningProgram()
    {
        TestRoot root;
        compilertest::Workspace ws(root);
        const compilertest::CompileRun compiled = ws.compile("OUTPUT 7 ON\n"
                                                             "MOVE 100 RATE=50\n"
                                                             "TOP\n"
                                                             "IFINPUT 3 = 1 GOTO HIGH\n"
                                                             "OUTPUT 5 OFF\n"
                                                             "GOTO TOP\n"
                                                             "HIGH\n"
                                                             "OUTPUT 5 ON\n"
                                                             "GOTO TOP\n"
                                                             "ADDRESS 100\n"
                                                             "POSITION S1=34768\n");
        QVERIFY2(compiled.ok, qPrintable(compiled.messages.join('\n')));
        sim::VirtualBoard board;
        loadHex(board, compiled.hex);
        QVERIFY(board.start());

        // The menu item is there only for a board of this process.
        Velmcon velmcon;
        QVERIFY(!velmcon.findChild<QAction *>("simboardY"));
        velmcon.setVirtualBoard(&board);
        velmcon.findChild<QAction *>("simboardY")->trigger();
        auto *w = velmcon.findChild<Simboard *>();
        QVERIFY(w && w->isVisible());
        QList<QByteArray> answers;
        w->setPathAsker(
            [&](const QString &, const QString &, bool) { return QString::fromLatin1(answers.takeFirst()); });
        QStringList messages;
        const MessageHandler previous = setMessageHandler([&](const QString &m) { messages << m; });
        auto box = [w](const char *name) { return w->findChild<QCheckBox *>(name); };
        auto lamp = [w](int n) { return access(w->findChild<QWidget *>(QStringLiteral("output%1").arg(n))); };
        auto *servo1 = w->findChild<QProgressBar *>("servo1");

        QVERIFY(PtyClient(board.devicePath()).send("&$" + longPacket("R05")));
        QTRY_COMPARE(servo1->value(), 34768);
        QCOMPARE(lamp(7)->text(QAccessible::Name), "Output 7");
        QTRY_COMPARE(lamp(7)->text(QAccessible::Value), "on");
        QTRY_COMPARE(lamp(5)->text(QAccessible::Value), "off");
        QCOMPARE(access(servo1)->text(QAccessible::Name), "Servo 1");
        QCOMPARE(access(servo1)->valueInterface()->currentValue().toInt(), 34768);
        // The plot caught the servo on its way.
        bool midway = false;
        for (int i = 0; i < w->plot()->count(); ++i)
            midway |= w->plot()->at(i).positions[0] > 32768 && w->plot()->at(i).positions[0] < 34768;
        QVERIFY(midway);

        // Ticking input 3 sends the IFINPUT the other way, and back.
        QCOMPARE(access(box("input3"))->text(QAccessible::Name), "Input 3");
        box("input3")->click();
        QTRY_COMPARE(lamp(5)->text(QAccessible::Value), "on");
        QVERIFY(access(box("input3"))->state().checked);
        box("input3")->click();
        QTRY_COMPARE(lamp(5)->text(QAccessible::Value), "off");
        box("input3")->click();
        QTRY_VERIFY(board.snapshot().outputs[5]);

        // A switch, and one fault at a time.
        auto *home1 = w->findChild<QSpinBox *>("home1");
        QCOMPARE(access(home1)->text(QAccessible::Name), "Servo 1 home switch");
        QCOMPARE(access(home1)->text(QAccessible::Value), "none");
        home1->setValue(1200);
        QTRY_COMPARE(board.snapshot().home[0], 1200);
        box("faultGarbage")->click();
        QCOMPARE(board.fault(), sim::Fault::Garbage);
        box("faultLateReply")->click();
        QCOMPARE(board.fault(), sim::Fault::LateReply);
        QVERIFY(!box("faultGarbage")->isChecked());
        box("faultLateReply")->click();
        QCOMPARE(board.fault(), sim::Fault::None);

        // Save, reset, a file that is no state, load: the saved board is back.
        const QByteArray saved = root.file("saved.vbs").toLocal8Bit();
        answers = {saved, QByteArray(PVELM_SOURCE_DIR "/README.md"), saved};
        w->findChild<QPushButton *>("saveState")->click();
        w->findChild<QPushButton *>("resetBoard")->click();
        QTRY_COMPARE(servo1->value(), 32768);
        QTRY_COMPARE(lamp(7)->text(QAccessible::Value), "off");
        w->findChild<QPushButton *>("loadState")->click();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].startsWith("Cannot load the board's state from " PVELM_SOURCE_DIR "/README.md: "),
                 qPrintable(messages[0]));
        QCOMPARE(board.snapshot().positions[0], 32768);
        // A switch box with the focus, nothing typed in it, still follows the board.
        QApplication::setActiveWindow(w);
        home1->setFocus();
        QTRY_VERIFY(home1->hasFocus());
        board.setSwitch(0, sim::SwitchKind::Home, 500);
        QTRY_COMPARE(home1->value(), 500);
        w->findChild<QPushButton *>("loadState")->click();
        QTRY_COMPARE(servo1->value(), 34768);
        QTRY_COMPARE(lamp(7)->text(QAccessible::Value), "on");
        QVERIFY(box("input3")->isChecked());
        QTRY_COMPARE(home1->value(), 1200);

        // Paused, the plot stands still; the exports write what it shows.
        box("pausePlot")->click();
        const int samples = w->plot()->count();
        QTest::qWait(100);
        QCOMPARE(w->plot()->count(), samples);
        answers = {root.file("motion.csv").toLocal8Bit(), root.file("motion.png").toLocal8Bit()};
        w->findChild<QPushButton *>("exportCsv")->click();
        w->findChild<QPushButton *>("exportPng")->click();
        const QList<QByteArray> rows = readAllBytes(root.file("motion.csv")).split('\n');
        QCOMPARE(rows.size(), samples + 2);
        QCOMPARE(rows[0], "time_ms,S1,S2,S3,S4,S5,S6,S7,S8,line");
        QCOMPARE(rows[1], "0,32768,32768,32768,32768,32768,32768,32768,32768,"); // at opening, before the run
        QVERIFY2(QRegularExpression("^\\d+,34768(,32768){7},\\d+$").match(rows[samples]).hasMatch(), rows[samples]);
        const QImage png(root.file("motion.png"), "PNG");
        QCOMPARE(png.size(), w->plot()->size());
        QCOMPARE(messages.size(), 1);
        setMessageHandler(previous);
    }
};

QTEST_MAIN(TestSimboard)
#include "tst_simboard.moc"
