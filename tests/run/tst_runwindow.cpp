// The run controls and the status frame of the main window, driven offscreen
// against the virtual board running the pick-and-place example; and the
// value labels as a screen reader reads them.

#include "app/ui/messages.h"
#include "app/ui/velmcon.h"
#include "boardtools/ui/sndshort.h"
#include "compiler/compilehelpers.h"
#include "run/runcontrol.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

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

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<sim::VirtualBoard> m_board;
    std::unique_ptr<Velmcon> m_w;
    QStringList m_messages;

    QString label(const char *name) { return m_w->findChild<QLabel *>(QLatin1String(name))->text(); }
    void click(const char *name) { m_w->findChild<QPushButton *>(QLatin1String(name))->click(); }
    // Board commands (inputs, switches) as velmsim takes them.
    void board(const QString &command)
    {
        m_board->updateState([&](sim::BoardState &s) { QVERIFY(sim::applyBoardCommand(s, command, nullptr)); });
    }

private slots:
    void init()
    {
        m_root = std::make_unique<TestRoot>();
        setMessageHandler([this](const QString &text) { m_messages << text; });
        m_board = std::make_unique<sim::VirtualBoard>();
        QVERIFY(m_board->start());

        // The example compiled and put into the board's flash.
        compilertest::Workspace ws(*m_root);
        const auto compiled = ws.compile(readAllBytes(PVELM_SOURCE_DIR "/examples/pick_and_place.txt"));
        QVERIFY(compiled.ok);
        m_board->updateState([&](sim::BoardState &s) {
            for (const QByteArray &line : compiled.hex.split('\n')) {
                if (line.size() < 517)
                    continue;
                const QByteArray bytes = QByteArray::fromHex(line.mid(5, 512));
                s.flash.replace(line.left(5).toInt() * sim::BoardState::PageBytes, bytes.size(), bytes);
            }
            s.params[7] = 2; // a report every 20 ms
        });

        m_w = std::make_unique<Velmcon>();
        m_w->link().setPortOverride(m_board->devicePath());
        QVERIFY(m_w->Form_Load());
        m_w->link().setSecondMs(kSecond);
        m_w->show();
    }
    void cleanup()
    {
        m_w.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_board.reset();
        setMessageHandler({});
        m_root.reset();
        QCOMPARE(m_messages, QStringList());
    }

    void runPauseResumeAndSwitch()
    {
        QCOMPARE(label("notifications"), QStringLiteral("None"));
        QCOMPARE(label("Runstop"), QStringLiteral("Stopped"));
        // What the window shows, sampled while the monitor runs.
        QList<int> lines;
        QStringList modes;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, this, [&] {
            const int line = label("currentline").toInt();
            if (!label("currentline").isEmpty() && (lines.isEmpty() || lines.last() != line))
                lines << line;
            if (modes.isEmpty() || modes.last() != label("Runstop"))
                modes << label("Runstop");
        });
        sampler.start(5);
        // Paused in PICK's first wait; resumed with the Z home switch moved
        // to 1500, which the gripper's next move down reaches.
        QTimer::singleShot(1100, this, [&] { click("pauseit"); });
        QTimer::singleShot(1300, this, [&] {
            board(QStringLiteral("switch z home 1500"));
            click("Run"); // a nested monitor: returns when the reports stop
        });
        click("Run");
        sampler.stop();

        QCOMPARE(modes, (QStringList{"Stopped", "Running", "Paused", "Running", "Stopped"}));
        QList<int> pickLines;
        for (int line : lines)
            if (line == kPickMove || line == kPickWait || line == kPickWait2 || line == kPickLift)
                pickLines << line;
        QCOMPARE(pickLines, (QList<int>{kPickMove, kPickWait, kPickWait2, kPickLift}));
        QCOMPARE(label("currentline"), QString::number(kPickLift));
        QCOMPARE(label("notifications"), QStringLiteral("34  Z Home Switch hit"));
        // Position element 200, inside GOSUB PICK, first of ten passes.
        QCOMPARE(QStringList({label("Label4"), label("Label5"), label("Label6")}), (QStringList{"200", "1", "10"}));
        QCOMPARE(m_board->state().positions[2], quint16(1500));
    }

    void runAtLineStopMonitorAndClose()
    {
        // A line that is not a line: refused in the status bar, nothing sent.
        auto *linetorun = m_w->findChild<QLineEdit *>("linetorun");
        linetorun->setText("1e3");
        click("Runatline");
        QVERIFY(m_w->statusBar()->currentMessage().contains("0 to 32767"));
        QCOMPARE(m_board->received(), QByteArray());

        // Run at PICK's wait, stopped during monitoring: the board's last
        // report says Stopped and the monitor ends after it.
        linetorun->setText(QString::number(kPickWait));
        QTimer::singleShot(300, this, [&] { click("stopall"); });
        QElapsedTimer clock;
        clock.start();
        click("Runatline");
        QVERIFY(clock.elapsed() < 300 + 8 * kSecond);
        QCOMPARE(m_board->received(), "&$" + runPacket(kPickWait).toLatin1() + "&$" + stopPacket().toLatin1());
        QCOMPARE(label("Runstop"), QStringLiteral("Stopped"));
        QCOMPARE(label("currentline"), QString::number(kPickWait));

        // "Monitor status" with a stopped board: nothing is sent, the monitor
        // ends after one empty read, the labels stay.
        m_board->clearReceived();
        click("Monitor");
        QCOMPARE(m_board->received(), QByteArray());
        QCOMPARE(label("currentline"), QString::number(kPickWait));

        // The window closed while monitoring: the handler returns at once.
        QTimer::singleShot(200, this, [&] { m_w->close(); });
        clock.restart();
        click("Run");
        QVERIFY(clock.elapsed() < 200 + 3 * kSecond);
        QVERIFY(!m_w->link().isPortOpen());
    }

    void valueLabelsReadAsTheirValues()
    {
        // A screen reader announces a label's accessible name: for a label
        // that shows a value that must be the value itself.
        m_w->sendinstX_Click();
        auto *sndshort = m_w->findChild<Sndshort *>();
        QVERIFY(sndshort);
        QList<QLabel *> values;
        for (const char *name : {"Runstop", "currentline", "notifications", "Label4", "Label5", "Label6", "portState"})
            values << m_w->findChild<QLabel *>(QLatin1String(name));
        for (const char *name : {"inver", "working"})
            values << sndshort->findChild<QLabel *>(QLatin1String(name));
        for (QLabel *value : values) {
            QVERIFY(value);
            value->setText(QStringLiteral("value of ") + value->objectName());
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(value);
            QCOMPARE(a->text(QAccessible::Name), value->text());
            QVERIFY2(!a->text(QAccessible::Description).isEmpty(), qPrintable(value->objectName()));
        }
    }
};

QTEST_MAIN(TestRunWindow)
#include "tst_runwindow.moc"
