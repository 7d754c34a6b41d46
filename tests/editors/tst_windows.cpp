// The four editor windows driven offscreen against the virtual board: one
// run per window through Put, Get, a failed Get and a refused field, with
// the bytes on the wire. Nudges are in tst_nudge.

#include "editorrig.h"
#include "editors/ui/imageeditors.h"
#include "editors/ui/positionbuilder.h"
#include "editors/ui/spdbuild.h"

#include <QAccessible>
#include <QCheckBox>

using namespace pvelm;
using sim::Fault;

namespace {

const QString kTail = QString(14, 'x') + "0H~";

QString elementAt(const sim::BoardState &s, int line)
{
    return QString::fromLatin1(
        s.flash.mid((line / 16) * sim::BoardState::PageBytes + (line % 16) * 16, 16).toHex().toUpper());
}

QString accessibleName(QWidget *w)
{
    return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
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
        QCOMPARE(w.windowTitle(), "Edit Instruction Element");
        QCOMPARE(text(&w, "Speedref") + text(&w, "datax(2)") + text(&w, "linenumber"), "25565535000000");
        child<QScrollBar>(&w, "VScroll1")->setValue(1234);
        QCOMPARE(text(&w, "linenumber"), "001234");

        set(&w, "instruction", "10");
        set(&w, "Speedref", "256");
        set(&w, "Toposition", "70000");
        m->wire();
        click(&w, "Command1");
        const QString element = "0A001170" + QString(24, 'F');
        QCOMPARE(m->wire(), "&$OV0R160004D2" + element.toLatin1() + "DDD" + kTail.toLatin1());
        QCOMPARE(elementAt(m->board.state(), 1234), element);
        QCOMPARE(text(&w, "working"), "0 No errors");

        set(&w, "Toposition", "1");
        click(&w, "Command2");
        QCOMPARE(m->wire(), "&$OV0R150004D2xxx" + QByteArray(32, 'D') + kTail.toLatin1());
        QCOMPARE(text(&w, "instruction") + ' ' + text(&w, "Speedref") + ' ' + text(&w, "Toposition"), "10 0 4464");
        QCOMPARE(text(&w, "info"), element);

        // A Get that gets no answer changes no field and says so.
        m->board.setFault(Fault::NoAnswer);
        set(&w, "instruction", "99");
        click(&w, "Command2");
        QCOMPARE(text(&w, "instruction"), "99");
        QCOMPARE(text(&w, "working"), "Z Unable to connect");
        QCOMPARE(text(&w, "info"), "Nothing was read; the fields were not changed");
        QVERIFY(!m->wire().contains('$'));

        // A field that is not a number is refused before anything is sent.
        m->board.setFault(Fault::None);
        set(&w, "datax(1)", "12abc");
        click(&w, "Command1");
        QVERIFY(text(&w, "working").startsWith("Data 2: \"12abc\" refused; enter a whole number from -2147483648"));
        QCOMPARE(m->wire(), QByteArray());
        QVERIFY(child<QAbstractButton>(&w, "Command1")->isEnabled() &&
                child<QAbstractButton>(&w, "Command2")->isEnabled());

        // A value label reads as its value; a box by its frame's caption.
        QCOMPARE(accessibleName(child<QLabel>(&w, "working")), text(&w, "working"));
        QCOMPARE(accessibleName(box(&w, "Toposition")), "Value");
    }

    void packedEditor()
    {
        packedinsbuilder w(m->link, nullptr);
        QCOMPARE(w.windowTitle(), "Packed Instruction & Move Editor");
        QCOMPARE(text(&w, "specify(3)") + ' ' + text(&w, "datax(3)") + ' ' + text(&w, "s3edat"), "15 4095 65535");
        m->wire();
        click(&w, "Command1");
        // No reply follows a block: wait for it to reach the board.
        QTRY_VERIFY(m->board.received().endsWith('~'));
        QCOMPARE(m->wire(), "#+OV0R1D000000" + QByteArray(64, 'F') + "~");
        QCOMPARE(text(&w, "info"), "+OV0R1D000000" + QString(64, 'F') + "~");

        set(&w, "specify(0)", "3");
        set(&w, "datax(0)", "291");
        set(&w, "S1edat", "1500");
        click(&w, "Command1");
        QTRY_VERIFY(m->board.received().endsWith('~'));
        set(&w, "datax(0)", "0");
        set(&w, "S1edat", "0");
        m->wire();
        click(&w, "Command2");
        QCOMPARE(m->wire(), "&$OV0R1C000000xxx" + QByteArray(32, 'D') + kTail.toLatin1());
        QCOMPARE(text(&w, "specify(0)") + ' ' + text(&w, "datax(0)") + ' ' + text(&w, "S1edat"), "3 291 1500");

        // After a failed Get the writer, which never refreshes the text,
        // shows its own code with the text the Get left.
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
        QCOMPARE(text(&w, "Text2"), "32000");
        child<QScrollBar>(&w, "VScroll1")->setValue(32255);
        QCOMPARE(text(&w, "Text2"), "32255");
        set(&w, "S1sedat", "5");
        set(&w, "S2sedat", "1234");
        set(&w, "S8con", "");
        m->wire();
        click(&w, "Command1");
        const QByteArray values = "005234" + QByteArray("000").repeated(14);
        QCOMPARE(m->wire(), "&$OV0R1B007DFF" + values + "x0H~");

        set(&w, "S2sedat", "9");
        click(&w, "Command2");
        QCOMPARE(text(&w, "S1sedat") + text(&w, "S2sedat") + text(&w, "S8con"), "005234000");
        QVERIFY(text(&w, "Text6").startsWith("OV0R1A007DFF005234"));

        m->board.setFault(Fault::NoAnswer);
        set(&w, "S1sedat", "7");
        click(&w, "Command2");
        QCOMPARE(text(&w, "S1sedat"), "7");
        QCOMPARE(text(&w, "Text6"), "Z Unable to connect: nothing was read; the fields were not changed");

        m->board.setFault(Fault::None);
        set(&w, "Text2", "abc");
        m->wire();
        click(&w, "Command1");
        QCOMPARE(text(&w, "Text6"), "Speed location: \"abc\" refused; enter a whole number from 0 to 16777215");
        QCOMPARE(m->wire(), QByteArray());
        QCOMPARE(accessibleName(box(&w, "S3con")), "Servo 3 Contol:");
    }

    void positionManager()
    {
        positionbuilder w(m->link, nullptr);
        QCOMPARE(text(&w, "Text2") + ' ' + text(&w, "s3edat"), "010000 65535");

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
        set(&w, "Outnumber", "256");
        click(&w, "offcon");
        QCOMPARE(text(&w, "responce"), "Output#: \"256\" refused; enter a whole number from 0 to 255");
        QCOMPARE(m->wire(), QByteArray());
        set(&w, "Outnumber", "0");
        click(&w, "offcon");
        QCOMPARE(m->wire(), "&-OO000DDDH");

        // A failed Get fills nothing and moves nothing.
        m->board.setFault(Fault::NoAnswer);
        set(&w, "S1edat", "1");
        click(&w, "moveto");
        QCOMPARE(text(&w, "S1edat"), "1");
        QCOMPARE(text(&w, "responce"), "Z Unable to connect: no set read; nothing moved");
        QVERIFY(!m->wire().contains('T'));
    }
};

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
