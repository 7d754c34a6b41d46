// The two command sender windows driven offscreen against the virtual board:
// what reaches the wire, and what the reply, version and busy fields show.

#include "app/settings.h"
#include "boardtools/commandsender.h"
#include "boardtools/ui/sendinst.h"
#include "boardtools/ui/sndshort.h"
#include "link/link.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <memory>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
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
QByteArray versionReply()
{
    return ("OV0R02" + sim::VirtualBoard::versionText().toLatin1()).leftJustified(61, 'x') + "0H~";
}

QLineEdit *edit(QWidget *w, const char *name)
{
    return w->findChild<QLineEdit *>(QLatin1String(name));
}
QString label(QWidget *w, const char *name)
{
    return w->findChild<QLabel *>(QLatin1String(name))->text();
}
void click(QWidget *w, const char *name)
{
    w->findChild<QPushButton *>(QLatin1String(name))->click();
}

} // namespace

class TestSenders : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void longSection_data();
    void longSection();
    void shortSend_data();
    void shortSend();
    void clicksDuringAWait();

private:
    // What the board received after the handshake bytes: how often the link
    // asks is the link's business, what it sends next is the window's.
    QByteArray sentAfterHandshake() const
    {
        QByteArray wire = m_board->received();
        return wire.mid(wire.indexOf('&') == 0 ? wire.lastIndexOf('&') + 1 : 0);
    }

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<sim::VirtualBoard> m_board;
    SettingsRecord m_settings;
    std::unique_ptr<Link> m_link;
    std::unique_ptr<Sendinst> m_sendinst;
    std::unique_ptr<Sndshort> m_sndshort;
};

void TestSenders::init()
{
    m_root = std::make_unique<TestRoot>();
    m_board = std::make_unique<sim::VirtualBoard>();
    QString error;
    QVERIFY2(m_board->start(&error), qPrintable(error));
    m_board->setLateReplyMs(2000); // well past six of the short seconds
    m_link = std::make_unique<Link>();
    m_link->setSettings(&m_settings);
    m_link->setPortOverride(m_board->devicePath());
    // Short seconds: the timeouts run their real logic in a fraction of the time.
    m_link->setSecondMs(40);
    m_link->opencomport();
    QVERIFY2(m_link->isPortOpen(), qPrintable(m_link->portOpenError()));
    m_sendinst = std::make_unique<Sendinst>(*m_link, nullptr);
    m_sndshort = std::make_unique<Sndshort>(*m_link, nullptr);
}

void TestSenders::cleanup()
{
    m_sendinst.reset();
    m_sndshort.reset();
    m_link.reset();
    m_board.reset();
    m_root.reset();
}

void TestSenders::longSection_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("cmddat");
    QTest::addColumn<QString>("data5bytes");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("inver");
    QTest::addColumn<QString>("responce");

    const QString version = sim::VirtualBoard::versionText().left(13);
    const QString sendError = QString::fromLatin1(kLongCommandError);
    // The board echoes "005" with "X" at column 62: an error for the operator.
    QTest::newRow("Send pads code and address, X reply") << int(Fault::None) << "sendit"
                                                         << "5"
                                                         << "12" << longRequest("005", "00012") << "" << sendError;
    QTest::newRow("Send keeps the last characters")
        << int(Fault::None) << "sendit"
        << "AR02"
        << "1234567" << longRequest("R02", "34567") << version << QString(versionReply());
    QTest::newRow("Version ignores the command, takes the address")
        << int(Fault::None) << "Version"
        << "R05"
        << "7" << longRequest("R02", "00007") << version << QString(versionReply());
    QTest::newRow("Version, silent board: not found")
        << int(Fault::NoAnswer) << "Version"
        << "R02"
        << "00000" << QByteArray() << QString::fromLatin1(kVersionNoData) << QString::fromLatin1(kVersionError);
}

void TestSenders::longSection()
{
    QFETCH(int, fault);
    QFETCH(QString, button);
    QFETCH(QString, cmddat);
    QFETCH(QString, data5bytes);
    QFETCH(QByteArray, wire);
    QFETCH(QString, inver);
    QFETCH(QString, responce);

    m_board->setFault(Fault(fault));
    edit(m_sendinst.get(), "cmddat")->setText(cmddat);
    edit(m_sendinst.get(), "data5bytes")->setText(data5bytes);
    edit(m_sendinst.get(), "responce")->setText("old reply");
    click(m_sendinst.get(), button.toLatin1());
    QCOMPARE(sentAfterHandshake(), wire);
    QCOMPARE(label(m_sendinst.get(), "inver"), inver);
    QCOMPARE(edit(m_sendinst.get(), "responce")->text(), responce);
    QCOMPARE(label(m_sendinst.get(), "working"), QString());
}

void TestSenders::shortSend_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("text1"); // null: the template as the window shows it
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("responce");
    QTest::newRow("template unchanged") << int(Fault::None) << QString() << QByteArray("-OXDDDDDDH") << "OXDDDDDDH";
    QTest::newRow("the reply, not the typed text")
        << int(Fault::None) << "AX1234567" << QByteArray("-AX1234567") << "OX123456H";
    // No handshake: the packet never left, the box shows the typed text.
    QTest::newRow("silent") << int(Fault::NoAnswer) << "OX123456H" << QByteArray() << "OX123456H";
    // Handshake taken but no reply in time: the sent text, with its "-".
    QTest::newRow("late reply") << int(Fault::LateReply) << "OX123456H" << QByteArray("-OX123456H") << "-OX123456H";
}

void TestSenders::shortSend()
{
    QFETCH(int, fault);
    QFETCH(QString, text1);
    QFETCH(QByteArray, wire);
    QFETCH(QString, responce);

    Sndshort *w = m_sndshort.get();
    m_board->setFault(Fault(fault));
    if (!text1.isNull())
        edit(w, "Text1")->setText(text1);
    click(w, "Command1");
    QCOMPARE(sentAfterHandshake(), wire);
    QCOMPARE(edit(w, "responce")->text(), responce);
    QCOMPARE(label(w, "working"), QString());

    // Load puts the template back over whatever was typed or sent.
    edit(w, "Text1")->setText("typed over");
    click(w, "Command2");
    QCOMPARE(edit(w, "Text1")->text(), QStringLiteral("OXDDDDDDH"));
}

void TestSenders::clicksDuringAWait()
{
    // While Send waits on a silent board: the busy mark shows, the reply box
    // is empty, and neither a second click in the same window nor a short
    // send from the other window starts an exchange; each says so in its
    // own reply box and changes nothing else.
    m_board->setFault(Fault::NoAnswer);
    edit(m_sendinst.get(), "responce")->setText("old reply");
    edit(m_sndshort.get(), "responce")->setText("earlier");
    QStringList seen;
    QTimer::singleShot(20, m_sendinst.get(), [&] {
        seen << label(m_sendinst.get(), "working") << edit(m_sendinst.get(), "responce")->text();
        click(m_sendinst.get(), "Version");
        seen << edit(m_sendinst.get(), "responce")->text() << label(m_sendinst.get(), "working");
        click(m_sndshort.get(), "Command1");
        seen << edit(m_sndshort.get(), "responce")->text() << label(m_sndshort.get(), "working");
    });
    click(m_sendinst.get(), "sendit");

    const QString refused = QString::fromLatin1(kExchangeRefusedMessage);
    QCOMPARE(seen, QStringList({"WAITING FOR RESPONCE", "", refused, "WAITING FOR RESPONCE", refused, ""}));
    // The first exchange ran to its own end, undisturbed, and nothing but
    // its handshakes reached the board.
    QCOMPARE(sentAfterHandshake(), QByteArray());
    QCOMPARE(edit(m_sendinst.get(), "responce")->text(), QString::fromLatin1(kLongCommandError));
    QCOMPARE(label(m_sendinst.get(), "working"), QString());
}

QTEST_MAIN(TestSenders)
#include "tst_senders.moc"
