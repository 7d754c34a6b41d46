// The command senders driven offscreen against the virtual board: what
// reaches the wire, and what the reply, version and busy fields show. The
// short sender carries the long section too, so it stands for both windows.

#include "boardtools/commandsender.h"
#include "boardtools/ui/sndshort.h"
#include "link/link.h"
#include "settings/settings.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace pvelm;
using sim::Fault;

namespace {

// A long request as it follows the handshake: the template with the code at
// columns 4-6 and the address at 7-11.
QByteArray longRequest(const QByteArray &code, const QByteArray &address)
{
    return "$OV0" + code + address + "0xxx" + QByteArray(32, 'D') + "xxx000x000000x0H~";
}

// The virtual board's whole reply to "R02".
QString versionReply()
{
    return (QStringLiteral("OV0R02") + sim::VirtualBoard::versionText()).leftJustified(61, 'x') + "0H~";
}

// One click, what is typed before it (null: left as the window shows it),
// and what it must leave behind. The wire is what follows the handshake
// bytes: how often the link asks is its own business.
struct Case
{
    Fault fault;
    const char *button;
    QString cmddat, data5bytes, text1;
    QByteArray wire;
    QString responce, inver;
};

// Everything the window needs, torn down in reverse: window, link, board.
struct Rig
{
    TestRoot root;
    sim::VirtualBoard board;
    SettingsRecord settings;
    Link link;
    std::unique_ptr<Sndshort> window;

    QLineEdit *edit(const char *name) { return window->findChild<QLineEdit *>(QLatin1String(name)); }
    QString label(const char *name) { return window->findChild<QLabel *>(QLatin1String(name))->text(); }
    void click(const char *name) { window->findChild<QPushButton *>(QLatin1String(name))->click(); }
    QByteArray sentAfterHandshake() const
    {
        const QByteArray wire = board.received();
        return wire.startsWith('&') ? wire.mid(wire.lastIndexOf('&') + 1) : wire;
    }
};

} // namespace

Q_DECLARE_METATYPE(Case)

class TestSenders : public QObject
{
    Q_OBJECT

    std::unique_ptr<Rig> m;

private slots:
    void init()
    {
        m = std::make_unique<Rig>();
        QVERIFY(m->board.start());
        m->board.setLateReplyMs(2000); // well past six of the short seconds
        m->link.setSettings(&m->settings);
        m->link.setPortOverride(m->board.devicePath());
        // Short seconds: the timeouts run their real logic in a fraction of the time.
        m->link.setSecondMs(40);
        m->link.opencomport();
        QVERIFY2(m->link.isPortOpen(), qPrintable(m->link.portOpenError()));
        m->window = std::make_unique<Sndshort>(m->link, nullptr);
    }
    void cleanup() { m.reset(); }

    void click_data()
    {
        QTest::addColumn<Case>("c");
        const QString version = sim::VirtualBoard::versionText().left(13);
        const Fault none = Fault::None;
        // The board echoes "005" with "X" at column 62: an error for the operator.
        QTest::newRow("Send pads code and address, X reply")
            << Case{none, "sendit", "5", "12", {}, longRequest("005", "00012"), kLongCommandError, ""};
        QTest::newRow("Send keeps the last characters")
            << Case{none, "sendit", "AR02", "1234567", {}, longRequest("R02", "34567"), versionReply(), version};
        QTest::newRow("Version ignores the command, takes the address")
            << Case{none, "Version", "R05", "7", {}, longRequest("R02", "00007"), versionReply(), version};
        QTest::newRow("Version, silent board: not found")
            << Case{Fault::NoAnswer, "Version", {}, {}, {}, "", kVersionError, kVersionNoData};
        QTest::newRow("short template unchanged")
            << Case{none, "Command1", {}, {}, {}, "-OXDDDDDDH", "OXDDDDDDH", "N A"};
        QTest::newRow("short: the reply, not the typed text")
            << Case{none, "Command1", {}, {}, "AX1234567", "-AX1234567", "OX123456H", "N A"};
        // No handshake: the packet never left, the box shows the typed text.
        QTest::newRow("short, silent") << Case{Fault::NoAnswer, "Command1", {},          {},
                                               "OX123456H",     "",         "OX123456H", "N A"};
        // Handshake taken but no reply in time: the sent text, with its "-".
        QTest::newRow("short, late reply")
            << Case{Fault::LateReply, "Command1", {}, {}, "OX123456H", "-OX123456H", "-OX123456H", "N A"};
    }
    void click()
    {
        QFETCH(Case, c);
        m->board.setFault(c.fault);
        const std::pair<const char *, QString> typed[] = {
            {"cmddat", c.cmddat}, {"data5bytes", c.data5bytes}, {"Text1", c.text1}};
        for (const auto &[name, text] : typed)
            if (!text.isNull())
                m->edit(name)->setText(text);
        m->edit("responce")->setText("old reply");
        m->click(c.button);
        QCOMPARE(m->sentAfterHandshake(), c.wire);
        QCOMPARE(m->edit("responce")->text(), c.responce);
        QCOMPARE(m->label("inver"), c.inver);
        QCOMPARE(m->label("working"), QString());

        // Load puts the template back over whatever was typed or sent.
        m->edit("Text1")->setText("typed over");
        m->click("Command2");
        QCOMPARE(m->edit("Text1")->text(), QStringLiteral("OXDDDDDDH"));
    }

    void clicksDuringAWait()
    {
        // While Send waits on a silent board: the busy mark shows, the reply
        // box is empty, and neither a second long click nor a short send
        // starts an exchange; each says so and changes nothing else.
        m->board.setFault(Fault::NoAnswer);
        m->edit("responce")->setText("old reply");
        QStringList seen;
        QTimer::singleShot(20, m->window.get(), [&] {
            seen << m->label("working") << m->edit("responce")->text();
            m->click("Version");
            seen << m->edit("responce")->text() << m->label("working");
            m->click("Command1");
            seen << m->edit("responce")->text() << m->label("working");
        });
        m->click("sendit");

        const QString refused = QString::fromLatin1(kExchangeRefusedMessage);
        QCOMPARE(seen, QStringList({"WAITING FOR RESPONCE", "", refused, "WAITING FOR RESPONCE", refused,
                                    "WAITING FOR RESPONCE"}));
        // The first exchange ran to its own end, undisturbed: nothing but its
        // handshakes reached the board.
        QCOMPARE(m->sentAfterHandshake(), QByteArray());
        QCOMPARE(m->edit("responce")->text(), QString::fromLatin1(kLongCommandError));
        QCOMPARE(m->label("working"), QString());
    }
};

QTEST_MAIN(TestSenders)
#include "tst_senders.moc"
