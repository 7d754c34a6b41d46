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

// A long request as docomax puts it on the wire after the "&" / ":"
// handshake: the template with the code at 4-6 and the address at 7-11.
QByteArray longRequest(const QByteArray &code, const QByteArray &address)
{
    return "&$OV0" + code + address + "0xxx" + QByteArray(32, 'D') + "xxx000x000000x0H~";
}

QLineEdit *edit(QWidget *w, const char *name)
{
    return w->findChild<QLineEdit *>(QLatin1String(name));
}
QLabel *label(QWidget *w, const char *name)
{
    return w->findChild<QLabel *>(QLatin1String(name));
}
void click(QWidget *w, const char *name)
{
    w->findChild<QPushButton *>(QLatin1String(name))->click();
}

constexpr int kPortClosed = -1; // a "fault" row that closes the port instead

} // namespace

class TestSenders : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void sendLongCommand_data();
    void sendLongCommand();
    void requestVersion();
    void failedLongExchange_data();
    void failedLongExchange();
    void shortSend_data();
    void shortSend();
    void clicksDuringAWait();

private:
    void setFault(int fault);

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

void TestSenders::setFault(int fault)
{
    if (fault == kPortClosed)
        m_link->closePort();
    else
        m_board->setFault(Fault(fault));
    m_board->setLateReplyMs(2000); // well past six of the short seconds
}

void TestSenders::sendLongCommand_data()
{
    QTest::addColumn<QString>("cmddat");
    QTest::addColumn<QString>("data5bytes");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("defaults") << "R02"
                              << "00000" << longRequest("R02", "00000");
    QTest::newRow("one-character code is padded") << "5"
                                                  << "00000" << longRequest("005", "00000");
    QTest::newRow("four-character code loses its first") << "R05X"
                                                         << "00000" << longRequest("05X", "00000");
    QTest::newRow("two-digit address is padded") << "R02"
                                                 << "12" << longRequest("R02", "00012");
    QTest::newRow("empty address") << "R02"
                                   << "" << longRequest("R02", "00000");
}

void TestSenders::sendLongCommand()
{
    QFETCH(QString, cmddat);
    QFETCH(QString, data5bytes);
    QFETCH(QByteArray, wire);

    // Both windows carry the long section: the short sender's copy must send
    // exactly what the long sender sends.
    for (QWidget *window : {static_cast<QWidget *>(m_sendinst.get()), static_cast<QWidget *>(m_sndshort.get())}) {
        m_board->clearReceived();
        edit(window, "cmddat")->setText(cmddat);
        edit(window, "data5bytes")->setText(data5bytes);
        click(window, "sendit");
        QCOMPARE(m_board->received(), wire);
        QCOMPARE(label(window, "working")->text(), QString());
    }
}

void TestSenders::requestVersion()
{
    // The version request ignores the command box but still takes the address.
    edit(m_sendinst.get(), "cmddat")->setText("R05");
    edit(m_sendinst.get(), "data5bytes")->setText("7");
    click(m_sendinst.get(), "Version");

    QCOMPARE(m_board->received(), longRequest("R02", "00007"));
    const QString responce = edit(m_sendinst.get(), "responce")->text();
    QCOMPARE(responce, m_link->linkPacket);
    QCOMPARE(responce.size(), 64);
    QCOMPARE(responce.mid(6, 7), QStringLiteral("Version"));
    QCOMPARE(label(m_sendinst.get(), "inver")->text(), responce.mid(6, 13));
}

void TestSenders::failedLongExchange_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("cmddat");
    QTest::addColumn<QString>("buttonName");
    QTest::addColumn<QString>("inver");
    QTest::addColumn<QString>("responce");
    QTest::addColumn<QByteArray>("wire");

    const QString sendError = QString::fromLatin1(kLongCommandError);
    const QString versionError = QString::fromLatin1(kVersionError);
    const QString noData = QString::fromLatin1(kVersionNoData);
    // Three attempts at the handshake; the request never goes out.
    QTest::newRow("silent, Version") << int(Fault::NoAnswer) << "R02"
                                     << "Version" << noData << versionError << QByteArray("&&&");
    QTest::newRow("silent, Send") << int(Fault::NoAnswer) << "R02"
                                  << "sendit" << QString() << sendError << QByteArray("&&&");
    // A full reply with "X" at column 62 is still an error for the operator.
    QTest::newRow("invalid instruction") << int(Fault::None) << "Q99"
                                         << "sendit" << QString() << sendError << longRequest("Q99", "00000");
    QTest::newRow("port closed, Version") << kPortClosed << "R02"
                                          << "Version" << noData << versionError << QByteArray();
    QTest::newRow("port closed, Send") << kPortClosed << "R02"
                                       << "sendit" << QString() << sendError << QByteArray();
}

void TestSenders::failedLongExchange()
{
    QFETCH(int, fault);
    QFETCH(QString, cmddat);
    QFETCH(QString, buttonName);
    QFETCH(QString, inver);
    QFETCH(QString, responce);
    QFETCH(QByteArray, wire);

    setFault(fault);
    edit(m_sendinst.get(), "cmddat")->setText(cmddat);
    edit(m_sendinst.get(), "responce")->setText("old reply");
    click(m_sendinst.get(), buttonName.toLatin1());
    QVERIFY(m_link->linkErrorCode != QLatin1String("0"));
    QCOMPARE(label(m_sendinst.get(), "inver")->text(), inver);
    QCOMPARE(edit(m_sendinst.get(), "responce")->text(), responce);
    QCOMPARE(label(m_sendinst.get(), "working")->text(), QString());
    QCOMPARE(m_board->received(), wire);
}

void TestSenders::shortSend_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("text1");
    QTest::addColumn<QString>("responce"); // "*" : the board's 9-character reply
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("template unchanged") << int(Fault::None) << "OXDDDDDDH"
                                        << "*" << QByteArray("&-OXDDDDDDH");
    // No handshake: the packet never left, the box shows the typed text.
    QTest::newRow("silent") << int(Fault::NoAnswer) << "OX123456H"
                            << "OX123456H" << QByteArray("&&&&");
    // Handshake taken but no reply in time: the sent text, with its "-".
    QTest::newRow("late reply") << int(Fault::LateReply) << "OX123456H"
                                << "-OX123456H" << QByteArray("&-OX123456H");
    QTest::newRow("port closed") << kPortClosed << "OX000001H"
                                 << "OX000001H" << QByteArray();
}

void TestSenders::shortSend()
{
    QFETCH(int, fault);
    QFETCH(QString, text1);
    QFETCH(QString, responce);
    QFETCH(QByteArray, wire);

    Sndshort *w = m_sndshort.get();
    QCOMPARE(edit(w, "Text1")->text(), QStringLiteral("OXDDDDDDH"));
    setFault(fault);
    edit(w, "Text1")->setText(text1);
    click(w, "Command1");
    QCOMPARE(m_board->received(), wire);
    if (responce == QLatin1String("*")) {
        QCOMPARE(m_link->linkErrorCode, QStringLiteral("0"));
        QCOMPARE(m_link->linkPacket.size(), 9);
        responce = m_link->linkPacket;
    }
    QCOMPARE(edit(w, "responce")->text(), responce);
    QCOMPARE(label(w, "working")->text(), QString());

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
        seen << label(m_sendinst.get(), "working")->text() << edit(m_sendinst.get(), "responce")->text();
        click(m_sendinst.get(), "Version");
        seen << edit(m_sendinst.get(), "responce")->text() << label(m_sendinst.get(), "working")->text();
        click(m_sndshort.get(), "Command1");
        seen << edit(m_sndshort.get(), "responce")->text() << label(m_sndshort.get(), "working")->text();
    });
    click(m_sendinst.get(), "sendit");

    const QString refused = QString::fromLatin1(kExchangeRefusedMessage);
    QCOMPARE(seen, QStringList({"WAITING FOR RESPONCE", "", refused, "WAITING FOR RESPONCE", refused, ""}));
    // The first exchange ran to its own end, undisturbed.
    QCOMPARE(m_board->received(), QByteArray("&&&"));
    QCOMPARE(edit(m_sendinst.get(), "responce")->text(), QString::fromLatin1(kLongCommandError));
    QCOMPARE(label(m_sendinst.get(), "working")->text(), QString());
    QCOMPARE(edit(m_sndshort.get(), "Text1")->text(), QStringLiteral("OXDDDDDDH"));
}

QTEST_MAIN(TestSenders)
#include "tst_senders.moc"
