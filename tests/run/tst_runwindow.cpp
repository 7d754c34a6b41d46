// The run controls and the status frame of the main window, driven offscreen
// against the virtual board running the pick-and-place example; and the
// value labels as a screen reader reads them.

#include "app/ui/messages.h"
#include "app/ui/velmcon.h"
#include "boardtools/ui/sndshort.h"
#include "compiler/compilehelpers.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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

    QString label(const char *name) { return m_w->findChild<QLabel *>(QLatin1String(name))->text(); }
    void click(const char *name) { m_w->findChild<QPushButton *>(QLatin1String(name))->click(); }

private slots:
    void init()
    {
        m_root = std::make_unique<TestRoot>();
        setMessageHandler([](const QString &text) { QFAIL(qPrintable(text)); });
        m_board = std::make_unique<sim::VirtualBoard>();
        QVERIFY(m_board->start());

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
    }

    void pickAndPlace()
    {
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
            m_board->updateState([](sim::BoardState &s) { s.program.home[2] = 1500; });
            click("Run"); // a nested monitor: returns when the reports stop
        });
        click("Run");
        sampler.stop();

        QCOMPARE(modes, (QStringList{"Stopped", "Running", "Paused", "Running", "Stopped"}));
        lines.removeIf([](int l) { return l != kPickMove && l != kPickWait && l != kPickWait2 && l != kPickLift; });
        QCOMPARE(lines, (QList<int>{kPickMove, kPickWait, kPickWait2, kPickLift}));
        QCOMPARE(label("currentline"), QString::number(kPickLift));
        QCOMPARE(label("notifications"), QStringLiteral("34  Z Home Switch hit"));
        QCOMPARE(QStringList({label("Label4"), label("Label5"), label("Label6")}), (QStringList{"200", "1", "10"}));
        QCOMPARE(m_board->state().positions[2], quint16(1500));

        // Run at PICK's wait, paused and stopped during monitoring: the
        // board's last report says Stopped and the monitor ends after it.
        m_board->clearReceived();
        m_w->findChild<QLineEdit *>("linetorun")->setText(QString::number(kPickWait));
        QTimer::singleShot(200, this, [&] { click("pauseit"); });
        QTimer::singleShot(400, this, [&] { click("stopall"); });
        QElapsedTimer clock;
        clock.start();
        click("Runatline");
        QVERIFY(clock.elapsed() < 400 + 8 * kSecond);
        auto request = [](const char *head) {
            return "&$OV0" + QByteArray(head) + QByteArray(32, 'D') + "xxxxxxxxxxxxxx0H~";
        };
        QCOMPARE(m_board->received(), request("R0500000Fxxx") + request("R07SSSSxxxxx") + request("R00SSSSxxxxx"));
        QCOMPARE(label("Runstop"), QStringLiteral("Stopped"));
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
        // A screen reader announces the accessible name: the value itself.
        m_w->sendinstX_Click();
        auto *sndshort = m_w->findChild<Sndshort *>();
        QList<QLabel *> values;
        for (const char *name : {"Runstop", "currentline", "notifications", "Label4", "Label5", "Label6", "portState"})
            values << m_w->findChild<QLabel *>(QLatin1String(name));
        for (const char *name : {"inver", "working"})
            values << sndshort->findChild<QLabel *>(QLatin1String(name));
        for (QLabel *value : values) {
            value->setText(QStringLiteral("value of ") + value->objectName());
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(value);
            QCOMPARE(a->text(QAccessible::Name), value->text());
            QVERIFY2(!a->text(QAccessible::Description).isEmpty(), qPrintable(value->objectName()));
        }
    }
};

QTEST_MAIN(TestRunWindow)
#include "tst_runwindow.moc"
