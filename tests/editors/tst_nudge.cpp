// The position manager's nudge held down, against the virtual board: one
// press sends one nudge, a held button repeats it, every way of letting go
// ends the loop after the exchange in flight, and while it runs the link is
// held so no other exchange cuts in.

#include "editorrig.h"
#include "editors/ui/imageeditors.h"
#include "editors/ui/nudgebutton.h"
#include "editors/ui/positionbuilder.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>

using namespace pvelm;
using editors::NudgeButton;

namespace {

const QByteArray kBigDown8 = "-OD001008H";

// Mouse events go straight to the button: QTest's own record of the buttons
// is only updated once a press returns, and a nudge press returns only when
// the loop ends.
void mouse(QWidget *b, QEvent::Type type, QPointF at = QPointF(5, 5))
{
    const bool press = type == QEvent::MouseButtonPress;
    QMouseEvent e(type, at, b->mapToGlobal(at), Qt::LeftButton, press ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(b, &e);
}

} // namespace

class TestNudge : public QObject
{
    Q_OBJECT

    std::unique_ptr<EditorRig> m;
    std::unique_ptr<positionbuilder> w;

    int sent(const QByteArray &packet) { return int(m->board.received().count(packet)); }
    void press(NudgeButton *b, bool key)
    {
        if (key)
            QTest::keyPress(b, Qt::Key_Space);
        else
            mouse(b, QEvent::MouseButtonPress);
    }

private slots:
    void init()
    {
        m = std::make_unique<EditorRig>();
        QVERIFY(m->start());
        w = std::make_unique<positionbuilder>(m->link, nullptr);
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
    }
    void cleanup()
    {
        w.reset();
        m.reset();
    }

    void quickPressSendsOne()
    {
        auto *b = child<NudgeButton>(w.get(), "posup(0)");
        // At line speed the first exchange lasts long enough to see the release.
        m->board.setBaud(9600);
        m->wire();
        // Let go as soon as the press has taken hold: inside the first exchange.
        QTimer letGo;
        letGo.setInterval(0);
        connect(&letGo, &QTimer::timeout, b, [&] {
            if (b->isHeld()) {
                letGo.stop();
                mouse(b, QEvent::MouseButtonRelease);
            }
        });
        letGo.start();
        mouse(b, QEvent::MouseButtonPress);
        QCOMPARE(m->wire(), "&-OU000101H");
        QCOMPARE(text(w.get(), "S1edat"), "32769");
        QCOMPARE(text(w.get(), "responce"), "OU000101H");
    }

    void endings_data()
    {
        QTest::addColumn<bool>("key");
        QTest::addColumn<QString>("ending");
        QTest::newRow("mouse released on the button") << false << "release inside";
        QTest::newRow("mouse released outside") << false << "release outside";
        QTest::newRow("Space released") << true << "space up";
        QTest::newRow("another window becomes active") << false << "other window";
        QTest::newRow("window closed") << false << "close";
        QTest::newRow("console stops the link") << true << "stop";
    }
    void endings()
    {
        QFETCH(bool, key);
        QFETCH(QString, ending);
        auto *b = child<NudgeButton>(w.get(), "bigdn(7)");
        b->setFocus();
        QWidget other;
        int atEnd = -1;
        m->wire();
        // The end is when the button lets go (activation and focus changes
        // arrive a little after they are asked for), or else when asked.
        connect(b, &NudgeButton::letGo, w.get(), [&] { atEnd = sent(kBigDown8); });
        QTimer::singleShot(150, w.get(), [&] {
            atEnd = sent(kBigDown8);
            if (ending == "release inside")
                mouse(b, QEvent::MouseButtonRelease);
            else if (ending == "release outside")
                mouse(b, QEvent::MouseButtonRelease, QPointF(-40, -40));
            else if (ending == "space up")
                QTest::keyRelease(b, Qt::Key_Space);
            else if (ending == "other window") {
                other.show();
                other.activateWindow();
            } else if (ending == "close")
                w->close();
            else
                m->link.stopAll();
        });
        press(b, key);
        // The press handler returns only when the loop has ended.
        QVERIFY(!w->isNudging());
        QVERIFY2(atEnd >= 3, "the nudge did not repeat while held");
        const int total = sent(kBigDown8);
        QVERIFY2(total <= atEnd + 1, qPrintable(QString("%1 nudges after the end").arg(total - atEnd)));
        // Every nudge that got through moved the servo, and the box shows it.
        if (ending != "stop")
            QCOMPARE(text(w.get(), "S8edat"), QString::number(32768 - 10 * total));
        // A window closed under its handler goes once the handler is done.
        if (ending == "close") {
            QPointer<positionbuilder> closed = w.release();
            QTRY_VERIFY(!closed);
        }
    }

    void heldLinkRefusesOthers()
    {
        Insbuilder other(m->link, nullptr);
        QStringList seen;
        auto *b = child<NudgeButton>(w.get(), "posup(2)");
        QTimer::singleShot(100, w.get(), [&] {
            click(&other, "Command2");
            seen << text(&other, "working");
            click(w.get(), "getcur");
            seen << text(w.get(), "responce");
        });
        QTimer::singleShot(200, w.get(), [&] { mouse(b, QEvent::MouseButtonRelease); });
        m->wire();
        mouse(b, QEvent::MouseButtonPress);
        const QString refused = QString::fromLatin1(kExchangeRefusedMessage);
        QCOMPARE(seen, QStringList({refused, refused}));
        // The next nudges did not write over the refusal.
        QCOMPARE(text(w.get(), "responce"), refused);
        const QByteArray wire = m->wire();
        QVERIFY(!wire.contains("R15") && !wire.contains("R01"));
        QVERIFY(wire.count("-OU000103H") >= 2);
        // Released, the link is free again.
        click(&other, "Command2");
        QCOMPARE(text(&other, "working"), "0 No errors");
    }

    void silentBoardShowsErrorAndGoesOn()
    {
        m->board.setFault(sim::Fault::NoAnswer);
        auto *b = child<NudgeButton>(w.get(), "posdown(1)");
        QTimer::singleShot(900, b, [b] { mouse(b, QEvent::MouseButtonRelease); });
        m->wire();
        mouse(b, QEvent::MouseButtonPress);
        QCOMPARE(text(w.get(), "responce"), "Error");
        QCOMPARE(text(w.get(), "S2edat"), "65535");
        // More handshakes than one exchange's four attempts: the loop went on.
        QVERIFY(m->wire().count('&') > 4);
    }
};

QTEST_MAIN(TestNudge)
#include "tst_nudge.moc"
