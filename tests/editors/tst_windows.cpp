// The four editor windows driven offscreen against the virtual board: one
// run per window through Put, Get, a failed Get and a refused field, with
// the bytes on the wire. The position manager's run holds a nudge while
// other exchanges try to cut in, and on a silent board; every way of
// letting a held nudge go must end the loop after the exchange in flight.

#include "editorrig.h"
#include "editors/ui/imageeditors.h"
#include "editors/ui/nudgebutton.h"
#include "editors/ui/positionbuilder.h"
#include "editors/ui/spdbuild.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>

using namespace pvelm;
using editors::NudgeButton;
using sim::Fault;
Q_DECLARE_METATYPE(Fault)

namespace {

const QString kTail = QString(14, 'x') + "0H~";

QString accessibleName(QWidget *w)
{
    return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
}

// Mouse events go straight to the button: QTest's own record of the buttons
// is only updated once a press returns, and a nudge press returns only when
// the loop ends.
void mouse(QWidget *b, QEvent::Type type)
{
    const bool press = type == QEvent::MouseButtonPress;
    QMouseEvent e(type, QPointF(5, 5), b->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                  press ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(b, &e);
}

} // namespace

class TestWindows : public QObject
{
    Q_OBJECT

    std::unique_ptr<EditorRig> m;

private slots:
    void init()
    {
        m = std::make_unique<EditorRig>();
        QVERIFY(m->start());
    }
    void cleanup() { m.reset(); }

    void instructionEditor()
    {
        Insbuilder w(m->link, nullptr);
        child<QScrollBar>(&w, "VScroll1")->setValue(1234);

        set(&w, "instruction", "10");
        set(&w, "Speedref", "256");
        set(&w, "Toposition", "70000");
        m->wire();
        click(&w, "Command1");
        const QString element = "0A001170" + QString(24, 'F');
        QCOMPARE(m->wire(), "&$OV0R160004D2" + element.toLatin1() + "DDD" + kTail.toLatin1());
        QCOMPARE(text(&w, "working"), "0 No errors");

        click(&w, "Command2");
        QCOMPARE(m->wire(), "&$OV0R150004D2xxx" + QByteArray(32, 'D') + kTail.toLatin1());
        QCOMPARE(text(&w, "instruction") + ' ' + text(&w, "Speedref") + ' ' + text(&w, "Toposition"), "10 0 4464");
        QCOMPARE(text(&w, "info"), element);

        // A field that is not a number is refused before anything is sent.
        set(&w, "datax(1)", "12abc");
        click(&w, "Command1");
        QVERIFY(text(&w, "working").startsWith("Data 2: \"12abc\" refused; enter a whole number from -2147483648"));
        QCOMPARE(m->wire(), QByteArray());

        // A Get that gets no answer changes no field and says so.
        m->board.setFault(Fault::NoAnswer);
        set(&w, "instruction", "99");
        click(&w, "Command2");
        QCOMPARE(text(&w, "instruction"), "99");
        QCOMPARE(text(&w, "working"), "Z Unable to connect");
        QCOMPARE(text(&w, "info"), "Nothing was read; the fields were not changed");

        // A box reads by its frame's caption.
        QCOMPARE(accessibleName(child<QLineEdit>(&w, "Toposition")), "Value");
    }

    void packedEditor()
    {
        packedinsbuilder w(m->link, nullptr);
        QCOMPARE(text(&w, "specify(3)") + ' ' + text(&w, "datax(3)") + ' ' + text(&w, "s3edat"), "15 4095 65535");
        set(&w, "specify(0)", "3");
        set(&w, "datax(0)", "291");
        set(&w, "S1edat", "1500");
        m->wire();
        click(&w, "Command1");
        // No reply follows a block: wait for it to reach the board.
        QTRY_VERIFY(m->board.received().endsWith('~'));
        const QString block = "+OV0R1D000000FFFFFFFF3123" + QString(20, 'F') + "05DC" + QString(28, 'F') + "~";
        QCOMPARE(m->wire(), "#" + block.toLatin1());
        QCOMPARE(text(&w, "info"), block);
        set(&w, "datax(0)", "0");
        set(&w, "S1edat", "0");
        m->wire();
        click(&w, "Command2");
        QCOMPARE(m->wire(), "&$OV0R1C000000xxx" + QByteArray(32, 'D') + kTail.toLatin1());
        QCOMPARE(text(&w, "specify(0)") + ' ' + text(&w, "datax(0)") + ' ' + text(&w, "S1edat"), "3 291 1500");

        // After a failed Get the writer, which never refreshes the text,
        // shows its own code with the text the Get left.
        QCOMPARE(accessibleName(child<QLineEdit>(&w, "S8edat")->parentWidget()), "Servo 8");

        m->board.setFault(Fault::NoAnswer);
        click(&w, "Command2");
        QCOMPARE(text(&w, "datax(0)"), "291");
        QCOMPARE(text(&w, "working"), "Z Unable to connect");
        m->board.setFault(Fault::None);
        click(&w, "Command1");
        QCOMPARE(text(&w, "working"), "0 Unable to connect");
    }

    void speedEditor()
    {
        Spdbuild w(m->link, nullptr);
        child<QScrollBar>(&w, "VScroll1")->setValue(32255);
        set(&w, "S1sedat", "5");
        set(&w, "S2sedat", "1234");
        set(&w, "S8con", "");
        m->wire();
        click(&w, "Command1");
        const QByteArray values = "005234" + QByteArray("000").repeated(14);
        QCOMPARE(m->wire(), "&$OV0R1B007DFF" + values + "x0H~");

        click(&w, "Command2");
        QCOMPARE(text(&w, "S1sedat") + text(&w, "S2sedat") + text(&w, "S8con"), "005234000");

        // A failed Get: every field and Text6 take the empty reply.
        m->board.setFault(Fault::LateReply);
        set(&w, "S1sedat", "7");
        click(&w, "Command2");
        QCOMPARE(text(&w, "S1sedat") + text(&w, "S8con") + text(&w, "Text6"), QString());

        m->board.setFault(Fault::None);
        set(&w, "Text2", "abc");
        m->wire();
        click(&w, "Command1");
        QCOMPARE(text(&w, "Text6"),
                 "Speed location: \"abc\" refused; enter a whole number from -2147483648 to 2147483647");
        QCOMPARE(m->wire(), QByteArray());
        QCOMPARE(accessibleName(child<QLineEdit>(&w, "S3con")), "Servo 3 Contol:");
    }

    void positionManager()
    {
        positionbuilder w(m->link, nullptr);

        set(&w, "S1edat", "1500");
        set(&w, "S2edat", "123456");
        m->wire();
        click(&w, "Command1");
        const QByteArray set10000 = "0150023456" + QByteArray("65535").repeated(6);
        QCOMPARE(m->wire(), "&$OV0R19002710" + set10000 + "xxxxxxxxx0H~");

        // Get Current fills only the ticked servos.
        child<QCheckBox>(&w, "Use1(0)")->setChecked(true);
        child<QCheckBox>(&w, "Use1(7)")->setChecked(true);
        click(&w, "getcur");
        QCOMPARE(text(&w, "S1edat") + ' ' + text(&w, "S2edat") + ' ' + text(&w, "S8edat"), "32768 123456 32768");

        // Bump: the boxes show line 10000's set, the board moves to 10001.
        m->wire();
        click(&w, "Bumpmove");
        QCOMPARE(m->wire(), "&$OV0R18002710xxx" + QByteArray(32, 'D') + kTail.toLatin1() + "&-OT002711H");
        QCOMPARE(text(&w, "Text2") + ' ' + text(&w, "S2edat"), "010001 23456");

        child<QScrollBar>(&w, "VScroll1")->setValue(32000);
        click(&w, "Bumpmove");
        QCOMPARE(text(&w, "responce"), "Bump & move: the line stays within 0 to 32000; nothing sent");
        QCOMPARE(m->wire(), QByteArray());

        set(&w, "Outnumber", "10");
        click(&w, "oncon");
        QCOMPARE(m->wire(), "&-OO0A1DDDH");
        QVERIFY(m->board.state().outputs[10]);
        set(&w, "Outnumber", "0");
        click(&w, "offcon");
        QCOMPARE(m->wire(), "&-OO000DDDH");

        // While a nudge is held the link is held: other exchanges, in this
        // window or another, are refused, and the next nudges leave the
        // refusal in view.
        Insbuilder other(m->link, nullptr);
        QStringList seen;
        auto *up = child<NudgeButton>(&w, "posup(2)");
        QTimer::singleShot(100, &w, [&] {
            click(&other, "Command2");
            seen << text(&other, "working");
            click(&w, "getcur");
            seen << text(&w, "responce");
        });
        QTimer::singleShot(200, &w, [&] { mouse(up, QEvent::MouseButtonRelease); });
        mouse(up, QEvent::MouseButtonPress);
        const QString refused = QString::fromLatin1(kExchangeRefusedMessage);
        QCOMPARE(seen, QStringList({refused, refused}));
        QCOMPARE(text(&w, "responce"), refused);
        QVERIFY(m->wire().count("-OU000103H") >= 2);

        // A failed Get fills nothing; the move is tried all the same.
        m->board.setFault(Fault::NoAnswer);
        set(&w, "S1edat", "1");
        click(&w, "moveto");
        QCOMPARE(text(&w, "S1edat"), "1");
        QCOMPARE(text(&w, "responce"), "Z Unable to connect: the move was not confirmed");

        // A nudge on a silent board says so and goes on while held.
        auto *down = child<NudgeButton>(&w, "posdown(1)");
        QTimer::singleShot(900, down, [down] { mouse(down, QEvent::MouseButtonRelease); });
        mouse(down, QEvent::MouseButtonPress);
        QCOMPARE(text(&w, "responce"), "Error");
        QCOMPARE(text(&w, "S2edat"), "23456");
        // More handshakes than one exchange's four attempts: the loop went on.
        QVERIFY(m->wire().count('&') > 4);
    }

    // What is typed goes out as its window's rule says: a line, location or
    // output number as the rightmost hex digits of any 32-bit number (a
    // fraction rounded) with one line saying so when that is not the number
    // typed; Put's position boxes unchecked; a move after a Get that failed.
    void typed_data()
    {
        for (const char *column : {"window", "box", "typed", "button", "sent", "said"})
            QTest::addColumn<QString>(column); // sent: in the wire, empty: nothing; said: the status box's end
        QTest::addColumn<Fault>("fault");
        const auto row = [](const QString &window, const QString &box, const QString &typed, const QString &button,
                            const QString &sent, const QString &said, Fault fault = Fault::None) {
            QTest::newRow(qPrintable((QStringList() << window << box << typed << button).join(" ")))
                << window << box << typed << button << sent << said << fault;
        };
        const QString six = " sent as %1: the board takes six hex digits";
        row("Insbuilder", "linenumber", "-1", "Command2", "R15FFFFFF", "\nLine Number -1" + six.arg("FFFFFF"));
        row("packedinsbuilder", "linenumber", "16777217", "Command2", "R1C000001",
            "\nLine Number 16777217" + six.arg("000001"));
        row("Spdbuild", "Text2", "32000.5", "Command2", "R1A007D00",
            "\nSpeed location 32000.5 sent as 007D00: the board takes whole numbers");
        row("Spdbuild", "Text2", "040000", "Command2", "R1A009C40", "");
        row("Insbuilder", "linenumber", "2147483648", "Command2", "",
            "refused; enter a whole number from -2147483648 to 2147483647");
        row("positionbuilder", "Outnumber", "256", "oncon", "-OO001DDDH",
            "Output 256 sent as 00: the board takes two hex digits");
        row("positionbuilder", "S1edat", "1 2x", "Command1",
            "R1900271001 2x" + QString("65535").repeated(7) + "xxxxxxxxx0H~",
            "OV0R19002710" + QString(49, 'x') + "1H~"); // the board's reply, shown as it came
        row("positionbuilder", "Text2", "16787216", "Command2", "R18002710xxx" + QString(32, 'D') + kTail,
            "  Line 16787216" + six.arg("002710"));
        row("positionbuilder", "S1edat", "1", "moveto", "-OT002710H", "the move was not confirmed", Fault::ShortReply);
        row("positionbuilder", "S1edat", "1", "Bumpmove", "-OT002711H", "the move was not confirmed",
            Fault::ShortReply);
    }
    void typed()
    {
        QFETCH(QString, window);
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QString, button);
        QFETCH(QString, sent);
        QFETCH(QString, said);
        QFETCH(Fault, fault);
        std::unique_ptr<QWidget> w;
        if (window == "Insbuilder")
            w = std::make_unique<Insbuilder>(m->link, nullptr);
        else if (window == "packedinsbuilder")
            w = std::make_unique<packedinsbuilder>(m->link, nullptr);
        else if (window == "Spdbuild")
            w = std::make_unique<Spdbuild>(m->link, nullptr);
        else
            w = std::make_unique<positionbuilder>(m->link, nullptr);
        set(w.get(), box, typed);
        m->board.setFault(fault);
        click(w.get(), button);
        const QByteArray wire = m->wire();
        QVERIFY2(sent.isEmpty() ? wire.isEmpty() : wire.contains(sent.toLatin1()), wire.constData());
        const QString shown = text(w.get(), window == "Spdbuild"          ? "Text6"
                                            : window == "positionbuilder" ? "responce"
                                                                          : "working");
        QVERIFY2(said.isEmpty() ? !shown.contains("sent as") : shown.endsWith(said), qPrintable(shown));
        if (fault == Fault::ShortReply) // a Get that brought no set fills no box
            QCOMPARE(text(w.get(), "S1edat"), "1");
        if (button == "Bumpmove") // and the bump steps all the same
            QCOMPARE(text(w.get(), "Text2"), "010001");
    }

    void nudgeEndings_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::newRow("mouse released") << "release";
        QTest::newRow("Space released") << "space up";
        QTest::newRow("another window becomes active") << "other window";
        QTest::newRow("window closed") << "close";
        QTest::newRow("console stops the link") << "stop";
    }
    void nudgeEndings()
    {
        QFETCH(QString, ending);
        auto w = std::make_unique<positionbuilder>(m->link, nullptr);
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        auto *b = child<NudgeButton>(w.get(), "bigdn(7)");
        b->setFocus();
        QWidget other;
        const auto sent = [&] { return int(m->board.received().count("-OD001008H")); };
        int atEnd = -1;
        m->wire();
        // The end is when the button lets go (activation and focus changes
        // arrive a little after they are asked for), or else when asked.
        connect(b, &NudgeButton::letGo, w.get(), [&] { atEnd = sent(); });
        QTimer::singleShot(150, w.get(), [&] {
            atEnd = sent();
            if (ending == "release")
                mouse(b, QEvent::MouseButtonRelease);
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
        if (ending == "space up")
            QTest::keyPress(b, Qt::Key_Space);
        else
            mouse(b, QEvent::MouseButtonPress);
        // The press handler returns only when the loop has ended.
        QVERIFY2(atEnd >= 3, "the nudge did not repeat while held");
        const int total = sent();
        QVERIFY2(total <= atEnd + 1, qPrintable(QString("%1 nudges after the end").arg(total - atEnd)));
        // Every nudge that got through moved the servo, and the box shows it.
        if (ending != "stop") {
            QCOMPARE(text(w.get(), "S8edat"), QString::number(32768 - 10 * total));
            QCOMPARE(text(w.get(), "responce"), "OD001008H");
        }
        // A window closed under its handler goes once the handler is done.
        if (ending == "close") {
            QPointer<positionbuilder> closed = w.release();
            QTRY_VERIFY(!closed);
        }
    }
};

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
