// The Board Parameters and Memory Editor windows driven offscreen against
// the virtual board: one run per window through its buttons, with the wire
// bytes, the board's memories and what the controls show, and the choices
// made where the board's tool left bad input open.

#include "boardtools/ui/memoryeditor.h"
#include "boardtools/ui/parametercon.h"
#include "link/link.h"
#include "settings/settings.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using namespace pvelm;
using sim::BoardState;
using sim::Fault;

namespace {

const QByteArray kDocomaxTail = "0xxx" + QByteArray(32, 'D') + "xxx000x000000x0H~";

struct Rig
{
    TestRoot root;
    sim::VirtualBoard board;
    SettingsRecord settings;
    Link link;
    std::optional<boardtools::ParamBlock> copy;
    std::unique_ptr<QWidget> window;

    bool start()
    {
        if (!board.start())
            return false;
        link.setSettings(&settings);
        link.setPortOverride(board.devicePath());
        link.setSecondMs(40);
        link.opencomport();
        return link.isPortOpen();
    }
    template <typename W = QLineEdit> W *get(const QString &name) { return window->findChild<W *>(name); }
    QString text(const QString &name) { return get(name)->text(); }
    QString label(const QString &name) { return get<QLabel>(name)->text(); }
    bool ticked(const QString &name) { return get<QAbstractButton>(name)->isChecked(); }
    void type(const QString &name, const QString &text) { get(name)->setText(text); }
    void click(const QString &name) { get<QAbstractButton>(name)->click(); }
    bool enabled(const QString &name) { return get<QWidget>(name)->isEnabled(); }
    // What reached the board after its handshakes since the last look.
    QByteArray sent()
    {
        QByteArray wire = board.received().replace("&", "");
        board.clearReceived();
        return wire;
    }
    QString accessibleName(QWidget *w) { return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name); }
};

} // namespace

class TestBoardWindows : public QObject
{
    Q_OBJECT

private slots:
    void parametercon()
    {
        Rig m;
        QVERIFY(m.start());
        // Every bit the window does not show is set; storage mode 3.
        const QByteArray block = "FBFDA5A5FE5A5A2C1170FFFF81C3C3C3";
        m.board.updateState([&](BoardState &s) { s.eeprom.replace(0, 16, QByteArray::fromHex(block)); });
        m.window = std::make_unique<Parametercon>(m.link, m.copy, nullptr);
        QCOMPARE(m.enabled("StoreparamX"), false);
        QTRY_COMPARE(m.label("responce"), QStringLiteral("0 No errors"));
        QCOMPARE(m.sent(), "$OV0R1R00000" + kDocomaxTail);
        QCOMPARE(m.text("Responce1"), ("OV0R1R00000" + block).leftJustified(61, 'x') + "0H~");
        QCOMPARE(QStringList({m.text("minpulse"), m.text("maxpulse"), m.text("reportrate")}),
                 QStringList({"4464", "65535", "44"}));
        QString ticks;
        for (const QString name :
             {"Servos1(0)", "Servos1(1)", "Servos1(6)", "Servos1(7)", "uselimits", "reporton", "reportoff",
              "modeseperate", "modecommon", "modeother", "Runonhw", "Runonpb", "Runonpu", "iocon1"})
            ticks += m.ticked(name) ? '1' : '0';
        QCOMPARE(ticks, QStringLiteral("10011010011010"));
        QVERIFY(m.enabled("GparamX") && m.enabled("StoreparamX") && m.enabled("recon"));
        // A value label reads as its value; a box by its label's caption.
        QCOMPARE(m.accessibleName(m.get<QLabel>("responce")), QStringLiteral("0 No errors"));
        QCOMPARE(m.accessibleName(m.get("minpulse")), QStringLiteral("Minimum:"));

        // A box beyond 32 bits: nothing is sent, the last reply shows again.
        const QString lastReply = m.text("Responce1");
        m.type("maxpulse", "3000000000");
        m.click("StoreparamX");
        QCOMPARE(m.sent(), QByteArray());
        QCOMPARE(m.text("Responce1"), lastReply);
        QVERIFY(m.enabled("GparamX") && m.enabled("StoreparamX") && m.enabled("recon"));

        // Store: the shown fields change, everything else goes back as read.
        m.type("maxpulse", "65535");
        m.type("minpulse", "70000");
        m.type("reportrate", "300");
        m.click("Servos1(1)");
        m.click("uselimits");
        m.click("reporton");
        m.click("modecommon");
        m.click("iocon1");
        m.click("StoreparamX");
        const QByteArray stored = "F5FDA5A5FF5A5A2C1170FFFF83C3C3C3";
        QCOMPARE(m.sent(), "$OV0R1W00000" + stored + "DDDDxxxxxxxxxxxxxx0H~");
        QCOMPARE(m.board.state().storedParams().toHex().toUpper(), stored);
        QCOMPARE(m.copy->text(), QString::fromLatin1(stored));
        QCOMPARE(m.text("Responce1"), ("OV0R1W00000" + stored).leftJustified(61, 'x') + "0H~");
        QCOMPARE(m.label("responce"), QStringLiteral("0 No errors")); // a store leaves it alone

        // Reload: the board acts on the stored block; the controls stay.
        m.click("recon");
        QCOMPARE(m.sent(), "$OV0R1C00000" + kDocomaxTail);
        QCOMPARE(m.board.state().params.toHex().toUpper(), stored);
        QCOMPARE(m.text("minpulse"), QStringLiteral("70000"));

        // A read that fails keeps the controls and disables Store.
        m.board.setFault(Fault::NoAnswer);
        m.click("GparamX");
        QCOMPARE(m.label("responce"), QStringLiteral("Z Unable to connect"));
        QCOMPARE(m.text("minpulse"), QStringLiteral("70000"));
        QVERIFY(m.enabled("GparamX") && !m.enabled("StoreparamX") && !m.enabled("recon"));
    }

    void memoryeditor()
    {
        Rig m;
        QVERIFY(m.start());
        m.board.updateState([](BoardState &s) { s.eeprom[255] = char(0xA5); });
        m.link.monitoring = true;
        m.window = std::make_unique<Memoryeditor>(m.link, nullptr);
        QVERIFY(!m.link.monitoring);
        QCOMPARE(QStringList({m.text("memoryaddress"), m.text("Text3"), m.text("Text4"), m.text("Text5")}),
                 QStringList({"0", "", "", ""}));
        QVERIFY(m.ticked("Option1"));

        // EEPROM read: decimal, bits, and the bit editor's three forms.
        m.type("memoryaddress", "255");
        QCOMPARE(m.label("hexaddr"), QStringLiteral("00FF"));
        QCOMPARE(m.accessibleName(m.get<QLabel>("hexaddr")), QStringLiteral("00FF"));
        m.click("Command1");
        QCOMPARE(m.sent(), QByteArray("-OE00FFDDH"));
        QCOMPARE(m.text("Text3"), QStringLiteral("165"));
        QString bits;
        for (int n = 8; n >= 1; --n)
            bits += m.ticked(QStringLiteral("Check%1").arg(n)) ? '1' : '0';
        QCOMPARE(bits, QStringLiteral("10100101"));
        QCOMPARE(QStringList({m.text("Bitvalue"), m.text("Hexvalue"), m.text("Asciivalue"), m.text("Text5")}),
                 QStringList({"165", "A5", QString(QChar(165)), "0 No errors"}));

        // RAM write, and a write data box above 255 that empties and writes 00.
        m.click("Option2");
        m.type("memoryaddress", "1");
        m.type("Text4", "171");
        m.click("Command2");
        QCOMPARE(m.sent(), QByteArray("-OS0001ABH"));
        QCOMPARE(quint8(m.board.state().ram.at(1)), quint8(0xAB));
        QCOMPARE(m.text("Text3"), QStringLiteral("171"));
        m.type("Text4", "300");
        QCOMPARE(m.text("Text4"), QString());
        m.click("Command2");
        QCOMPARE(m.sent(), QByteArray("-OS000100H"));

        // "+" stays at the top; Bump && Read there reads the top again.
        m.type("memoryaddress", "65535");
        m.click("Upaddr");
        m.click("Command6");
        QCOMPARE(m.sent(), QByteArray("-ORFFFFDDH"));
        QCOMPARE(m.text("memoryaddress"), QStringLiteral("65535"));

        // The splitter's low byte goes to the chosen area; the quick rows always to RAM.
        m.click("Option1");
        m.type("in16bits", "1000");
        QCOMPARE(QStringList({m.label("Highbyte"), m.label("highex"), m.label("lowbyte"), m.label("lowhex"),
                              m.label("longhex")}),
                 QStringList({"3", "3", "232", "E8", "3E8"}));
        m.click("Command4");
        QCOMPARE(m.sent(), QByteArray("-OFFFFFE8H"));
        m.type("Aaddress3", "100");
        m.click("aread3");
        QCOMPARE(m.sent(), QByteArray("-OR0064DDH"));

        // Text that is not a number, or a bit value above 255: refused, nothing sent.
        const std::pair<const char *, const char *> refusals[] = {
            {"Bitvalue", "Command3"}, {"in16bits", "Command5"}, {"Aaddress1", "aread1"}, {"Adata2", "awrite2"}};
        for (const auto &[box, button] : refusals) {
            m.type(box, "abc");
            m.click(button);
            QCOMPARE(m.sent(), QByteArray());
            QVERIFY2(m.text("Text5").endsWith("nothing was sent"), qPrintable(m.text("Text5")));
        }
        m.type("Bitvalue", "256");
        QCOMPARE(m.text("Hexvalue"), QString());
        m.click("Command3");
        QCOMPARE(m.sent(), QByteArray());

        // A failed exchange leaves no byte in the data field, and says so.
        m.board.setFault(Fault::NoAnswer);
        m.type("Adata2", "7");
        m.click("awrite2");
        QCOMPARE(m.text("Adata2"), QString());
        QCOMPARE(m.text("Text5"),
                 QStringLiteral("Z Unable to connect - no byte came back: the data field was cleared"));

        // "+", "-" and Bump && Read during an exchange: refused, never interleaved.
        m.type("memoryaddress", "10");
        m.sent();
        QStringList seen;
        QTimer::singleShot(20, m.window.get(), [&] {
            for (const char *name : {"Upaddr", "Downmem", "Command6"}) {
                m.click(name);
                seen << m.text("memoryaddress");
            }
            seen << m.text("Text5");
        });
        m.click("Command1");
        QCOMPARE(seen, QStringList({"10", "10", "10",
                                    QString::fromLatin1(kExchangeRefusedMessage) + ": the address was not changed"}));
        QCOMPARE(m.sent(), QByteArray()); // only the one read's handshakes
        QCOMPARE(m.text("Text5"), QStringLiteral("Error"));
    }
};

QTEST_MAIN(TestBoardWindows)
#include "tst_boardwindows.moc"
