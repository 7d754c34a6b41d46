// The board tools' windows driven offscreen against the virtual board: one
// run each of Board Parameters and the Memory Editor through their buttons,
// with the wire bytes, the board's memories and what the controls show, and
// the choices made where the board's tool left bad input open; and the
// command senders' clicks, with what the reply, version and busy fields
// show. The short sender carries the long section too, so it stands for both.

#include "boardtools/commandsender.h"
#include "boardtools/ui/memoryeditor.h"
#include "boardtools/ui/parametercon.h"
#include "boardtools/ui/sndshort.h"
#include "editors/editorrig.h"
#include "support/scriptedpeer.h"

#include <QAccessible>

using namespace pvelm;
using sim::BoardState;
using sim::Fault;

namespace {

const QByteArray kDocomaxTail = "0xxx" + QByteArray(32, 'D') + "xxx000x000000x0H~";

bool ticked(QWidget *w, const QString &name)
{
    return child<QAbstractButton>(w, name)->isChecked();
}
bool enabled(QWidget *w, const QString &name)
{
    return child<QWidget>(w, name)->isEnabled();
}
QString accessibleName(QWidget *w)
{
    return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
}
// What reached the board after its handshakes since the last look.
QByteArray sent(EditorRig &m)
{
    return m.wire().replace("&", "");
}

// The virtual board's whole reply to "R02".
QString versionReply()
{
    return (QStringLiteral("OV0R02") + sim::VirtualBoard::versionText()).leftJustified(61, 'x') + "0H~";
}

// One click of a sender, what is typed before it (null: left as the window
// shows it), and what it must leave behind. The wire is what follows the
// last handshake: how often the link asks is its own business.
struct Click
{
    Fault fault;
    const char *button;
    QString cmddat, data5bytes, text1;
    QByteArray wire;
    QString responce, inver;
};

} // namespace

Q_DECLARE_METATYPE(Click)

class TestBoardWindows : public QObject
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

    void parametercon()
    {
        // Every bit the window does not show is set; storage mode 3.
        const QByteArray block = "FBFDA5A5FE5A5A2C1170FFFF81C3C3C3";
        m->board.updateState([&](BoardState &s) { s.eeprom.replace(0, 16, QByteArray::fromHex(block)); });
        std::optional<boardtools::ParamBlock> copy;
        Parametercon w(m->link, copy, nullptr);
        QVERIFY(!enabled(&w, "StoreparamX"));
        QTRY_COMPARE(text(&w, "responce"), "0 No errors");
        QCOMPARE(sent(*m), "$OV0R1R00000" + kDocomaxTail);
        QCOMPARE(text(&w, "Responce1"), ("OV0R1R00000" + block).leftJustified(61, 'x') + "0H~");
        QCOMPARE(text(&w, "minpulse") + ' ' + text(&w, "maxpulse") + ' ' + text(&w, "reportrate"), "4464 65535 44");
        QString ticks;
        for (const QString name :
             {"Servos1(0)", "Servos1(1)", "Servos1(6)", "Servos1(7)", "uselimits", "reporton", "reportoff",
              "modeseperate", "modecommon", "modeother", "Runonhw", "Runonpb", "Runonpu", "iocon1"})
            ticks += ticked(&w, name) ? '1' : '0';
        QCOMPARE(ticks, "10011010011010");
        QVERIFY(enabled(&w, "GparamX") && enabled(&w, "StoreparamX") && enabled(&w, "recon"));
        // A box reads by its label's caption.
        QCOMPARE(accessibleName(child<QLineEdit>(&w, "minpulse")), "Minimum:");

        // A box beyond 32 bits: nothing is sent, the last reply shows again.
        const QString lastReply = text(&w, "Responce1");
        set(&w, "maxpulse", "3000000000");
        click(&w, "StoreparamX");
        QCOMPARE(sent(*m), QByteArray());
        QCOMPARE(text(&w, "Responce1"), lastReply);

        // Store: the shown fields change, everything else goes back as read.
        set(&w, "maxpulse", "65535");
        set(&w, "minpulse", "70000");
        set(&w, "reportrate", "300");
        for (const char *name : {"Servos1(1)", "uselimits", "reporton", "modecommon", "iocon1"})
            click(&w, name);
        click(&w, "StoreparamX");
        const QByteArray stored = "F5FDA5A5FF5A5A2C1170FFFF83C3C3C3";
        QCOMPARE(sent(*m), "$OV0R1W00000" + stored + "DDDDxxxxxxxxxxxxxx0H~");
        QCOMPARE(m->board.state().storedParams().toHex().toUpper(), stored);
        // The board acts on its working copy until the reload.
        QVERIFY(m->board.state().params.toHex().toUpper() != stored);
        QCOMPARE(m->board.state().eepromWrites, 16);
        QCOMPARE(copy->text(), QString::fromLatin1(stored));
        QCOMPARE(text(&w, "responce"), "0 No errors"); // a store leaves it alone

        // Reload: the board acts on the stored block; the controls stay.
        click(&w, "recon");
        QCOMPARE(sent(*m), "$OV0R1C00000" + kDocomaxTail);
        QCOMPARE(m->board.state().params.toHex().toUpper(), stored);
        QCOMPARE(text(&w, "minpulse"), "70000");

        // A read that fails keeps the controls and disables Store.
        m->board.setFault(Fault::NoAnswer);
        click(&w, "GparamX");
        QCOMPARE(text(&w, "responce"), "Z Unable to connect");
        QCOMPARE(text(&w, "minpulse"), "70000");
        QVERIFY(enabled(&w, "GparamX") && !enabled(&w, "StoreparamX") && !enabled(&w, "recon"));
    }

    void memoryeditor()
    {
        m->board.updateState([](BoardState &s) { s.eeprom[255] = char(0xA5); });
        m->link.monitoring = true;
        Memoryeditor w(m->link, nullptr);
        QVERIFY(!m->link.monitoring);

        // EEPROM read: decimal, bits, and the bit editor's three forms.
        set(&w, "memoryaddress", "255");
        QCOMPARE(accessibleName(child<QLabel>(&w, "hexaddr")), "00FF");
        click(&w, "Command1");
        QCOMPARE(sent(*m), "-OE00FFDDH");
        QString bits;
        for (int n = 8; n >= 1; --n)
            bits += ticked(&w, QStringLiteral("Check%1").arg(n)) ? '1' : '0';
        QCOMPARE(bits, "10100101");
        QCOMPARE(QStringList({text(&w, "Text3"), text(&w, "Bitvalue"), text(&w, "Hexvalue"), text(&w, "Asciivalue"),
                              text(&w, "Text5")}),
                 QStringList({"165", "165", "A5", QString(QChar(165)), "0 No errors"}));

        // RAM write, and a write data box above 255 that empties and writes 00.
        click(&w, "Option2");
        set(&w, "memoryaddress", "1");
        set(&w, "Text4", "171");
        click(&w, "Command2");
        QCOMPARE(sent(*m), "-OS0001ABH");
        QCOMPARE(quint8(m->board.state().ram.at(1)), quint8(0xAB));
        QCOMPARE(text(&w, "Text3"), "171");
        set(&w, "Text4", "300");
        QCOMPARE(text(&w, "Text4"), QString());
        click(&w, "Command2");
        QCOMPARE(sent(*m), "-OS000100H");

        // The ranges apply to the number typed, before rounding.
        const std::tuple<const char *, const char *, const char *> ranges[] = {{"memoryaddress", "65535.4", "0"},
                                                                               {"memoryaddress", "-0.4", "0"},
                                                                               {"memoryaddress", "65534.6", "65534.6"},
                                                                               {"Text4", "255.4", ""},
                                                                               {"Text4", "254.6", "254.6"}};
        for (const auto &[box, typed, kept] : ranges) {
            set(&w, box, typed);
            QCOMPARE(text(&w, box), kept);
        }

        // "+" stays at the top; Bump && Read there reads the top again.
        set(&w, "memoryaddress", "65535");
        click(&w, "Upaddr");
        click(&w, "Command6");
        QCOMPARE(sent(*m), "-ORFFFFDDH");
        QCOMPARE(text(&w, "memoryaddress"), "65535");

        // The splitter's low byte goes to the chosen area; the quick rows always to RAM.
        click(&w, "Option1");
        set(&w, "in16bits", "1000");
        QCOMPARE(QStringList({text(&w, "Highbyte"), text(&w, "highex"), text(&w, "lowbyte"), text(&w, "lowhex"),
                              text(&w, "longhex")}),
                 QStringList({"3", "3", "232", "E8", "3E8"}));
        click(&w, "Command4");
        QCOMPARE(sent(*m), "-OFFFFFE8H");
        set(&w, "Aaddress3", "100");
        click(&w, "aread3");
        QCOMPARE(sent(*m), "-OR0064DDH");

        // Text that is not a number, or a bit value above 255: refused, nothing sent.
        const std::pair<const char *, const char *> refusals[] = {
            {"Bitvalue", "Command3"}, {"in16bits", "Command5"}, {"Aaddress1", "aread1"}, {"Adata2", "awrite2"}};
        for (const auto &[name, button] : refusals) {
            set(&w, name, "abc");
            click(&w, button);
            QCOMPARE(sent(*m), QByteArray());
            QVERIFY2(text(&w, "Text5").endsWith("nothing was sent"), qPrintable(text(&w, "Text5")));
        }
        set(&w, "Bitvalue", "256");
        QCOMPARE(text(&w, "Hexvalue"), QString());
        click(&w, "Command3");
        QCOMPARE(sent(*m), QByteArray());

        // A refused edit's message goes with the next valid edit.
        set(&w, "Bitvalue", "7");
        QCOMPARE(text(&w, "Text5"), QString());

        // A failed exchange leaves no byte in the data field; Messages shows
        // the code and its message.
        m->board.setFault(Fault::NoAnswer);
        set(&w, "Adata2", "7");
        click(&w, "awrite2");
        QCOMPARE(text(&w, "Adata2"), QString());
        QCOMPARE(text(&w, "Text5"), "Z Unable to connect");

        // During an exchange "+" and "-" work; Bump && Read, which would
        // start a second exchange, is refused. Nothing interleaves.
        set(&w, "memoryaddress", "10");
        sent(*m);
        QStringList seen;
        QTimer::singleShot(20, &w, [&] {
            for (const char *name : {"Upaddr", "Upaddr", "Downmem", "Command6"}) {
                click(&w, name);
                seen << text(&w, "memoryaddress");
            }
            seen << text(&w, "Text5");
        });
        click(&w, "Command1");
        QCOMPARE(seen, QStringList({"11", "12", "11", "11",
                                    QString::fromLatin1(kExchangeRefusedMessage) + ": the address was not changed"}));
        QCOMPARE(sent(*m), QByteArray()); // only the one read's handshakes
        QCOMPARE(text(&w, "Text5"), "Error");

        // A whole reply whose columns 7-8 are not hex: its result, no byte.
        ScriptedPeer peer;
        QVERIFY(peer.open());
        peer.answer('&', ":");
        peer.answer('-', "OE0000ZZH", 9);
        m->link.setPortOverride(peer.devicePath());
        m->link.opencomport();
        set(&w, "Aaddress1", "0");
        for (const auto &[button, field] : {std::pair{"Command1", "Text3"}, {"aread1", "Adata1"}}) {
            click(&w, button);
            QCOMPARE(text(&w, field) + '|' + text(&w, "Text5"), "|0 No errors");
        }
    }

    void senders_data()
    {
        QTest::addColumn<Click>("c");
        const QString version = sim::VirtualBoard::versionText().left(13);
        const Fault none = Fault::None;
        // The board echoes "005" with "X" at column 62: an error for the operator.
        QTest::newRow("Send pads code and address, X reply")
            << Click{none,
                     "sendit",
                     "5",
                     "12",
                     {},
                     "$OV0005000120xxx" + QByteArray(32, 'D') + "xxx000x000000x0H~",
                     kLongCommandError,
                     ""};
        QTest::newRow("Version ignores the command, takes the address") << Click{
            none,           "Version", "R05", "7", {}, "$OV0R02000070xxx" + QByteArray(32, 'D') + "xxx000x000000x0H~",
            versionReply(), version};
        QTest::newRow("Version, silent board: not found")
            << Click{Fault::NoAnswer, "Version", {}, {}, {}, "", kVersionError, kVersionNoData};
        QTest::newRow("short: the reply, not the typed text")
            << Click{none, "Command1", {}, {}, "AX1234567", "-AX1234567", "OX123456H", "N A"};
        // No handshake: the packet never left, the box shows the typed text.
        QTest::newRow("short, silent") << Click{Fault::NoAnswer, "Command1", {},          {},
                                                "OX123456H",     "",         "OX123456H", "N A"};
        // Handshake taken but no reply in time: the sent text, with its "-".
        QTest::newRow("short, late reply")
            << Click{Fault::LateReply, "Command1", {}, {}, "OX123456H", "-OX123456H", "-OX123456H", "N A"};
    }
    void senders()
    {
        QFETCH(Click, c);
        Sndshort w(m->link, nullptr);
        m->board.setFault(c.fault);
        const std::pair<const char *, QString> typed[] = {
            {"cmddat", c.cmddat}, {"data5bytes", c.data5bytes}, {"Text1", c.text1}};
        for (const auto &[name, value] : typed)
            if (!value.isNull())
                set(&w, name, value);
        set(&w, "responce", "old reply");
        click(&w, c.button);
        const QByteArray wire = m->board.received();
        QCOMPARE(wire.mid(wire.lastIndexOf('&') + 1), c.wire);
        QCOMPARE(text(&w, "responce"), c.responce);
        QCOMPARE(text(&w, "inver"), c.inver);
        QCOMPARE(text(&w, "working"), QString());

        // Load puts the template back over whatever was typed or sent.
        set(&w, "Text1", "typed over");
        click(&w, "Command2");
        QCOMPARE(text(&w, "Text1"), "OXDDDDDDH");
    }

    void sendersDuringAWait()
    {
        // While Send waits on a silent board: the busy mark shows, the reply
        // box is empty, and neither a second long click nor a short send
        // starts an exchange; each says so and changes nothing else.
        Sndshort w(m->link, nullptr);
        m->board.setFault(Fault::NoAnswer);
        set(&w, "responce", "old reply");
        QStringList seen;
        QTimer::singleShot(20, &w, [&] {
            seen << text(&w, "working") << text(&w, "responce");
            click(&w, "Version");
            seen << text(&w, "responce") << text(&w, "working");
            click(&w, "Command1");
            seen << text(&w, "responce") << text(&w, "working");
        });
        click(&w, "sendit");

        const QString refused = QString::fromLatin1(kExchangeRefusedMessage);
        QCOMPARE(seen, QStringList({"WAITING FOR RESPONCE", "", refused, "WAITING FOR RESPONCE", refused,
                                    "WAITING FOR RESPONCE"}));
        // The first exchange ran to its own end, undisturbed: nothing but its
        // handshakes reached the board.
        QCOMPARE(sent(*m), QByteArray());
        QCOMPARE(text(&w, "responce"), kLongCommandError);
        QCOMPARE(text(&w, "working"), QString());

        // The short Send leaves the reply box as it was while it waits.
        set(&w, "responce", "old reply");
        seen.clear();
        QTimer::singleShot(20, &w, [&] { seen << text(&w, "responce"); });
        click(&w, "Command1");
        QCOMPARE(seen, QStringList{"old reply"});
    }
};

QTEST_MAIN(TestBoardWindows)
#include "tst_boardwindows.moc"
