// The two command sender windows driven offscreen against the virtual board:
// what reaches the wire, and what the reply, version and busy fields show.

#include "app/settings.h"
#include "boardtools/commandsender.h"
#include "boardtools/ui/longcommandsection.h"
#include "boardtools/ui/sendinst.h"
#include "boardtools/ui/sndshort.h"
#include "link/link.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <memory>

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace pvelm;
using sim::Fault;

namespace {

// A long request as docomax puts it on the wire after the ":" answer:
// the template with the code at 4-6 and the address at 7-11, no body.
QByteArray longRequest(const QByteArray &code, const QByteArray &address)
{
    return "$OV0" + code + address + "0xxx" + QByteArray(32, 'D') + "xxx000x000000x0H~";
}

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
    void silentBoard_data();
    void silentBoard();
    void invalidInstructionReply();
    void shortTemplate();
    void shortOnSilentOrLateBoard_data();
    void shortOnSilentOrLateBoard();
    void portClosed();
    void workingWhileWaiting();
    void secondClickRefused();
    void otherWindowRefused();

private:
    QLineEdit *edit(QWidget *w, const char *name) { return w->findChild<QLineEdit *>(QLatin1String(name)); }
    QLabel *label(QWidget *w, const char *name) { return w->findChild<QLabel *>(QLatin1String(name)); }
    QPushButton *button(QWidget *w, const char *name) { return w->findChild<QPushButton *>(QLatin1String(name)); }
    int countOf(char c) const { return int(m_board->received().count(c)); }

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<sim::VirtualBoard> m_board;
    std::unique_ptr<SettingsRecord> m_settings;
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
    m_settings = std::make_unique<SettingsRecord>();
    m_link = std::make_unique<Link>();
    m_link->setSettings(m_settings.get());
    m_link->setPortOverride(m_board->devicePath());
    // Short seconds: timeouts run their real logic in a fraction of the time.
    m_link->setSecondMs(40);
    QVERIFY(m_link->opencomport());
    QVERIFY2(m_link->isPortOpen(), qPrintable(m_link->portOpenError()));
    m_sendinst = std::make_unique<Sendinst>(*m_link, nullptr);
    m_sndshort = std::make_unique<Sndshort>(*m_link, nullptr);
}

void TestSenders::cleanup()
{
    m_sendinst.reset();
    m_sndshort.reset();
    if (m_link)
        m_link->closePort();
    m_link.reset();
    m_board.reset();
    m_settings.reset();
    m_root.reset();
}

void TestSenders::sendLongCommand_data()
{
    QTest::addColumn<QString>("cmddat");
    QTest::addColumn<QString>("data5bytes");
    QTest::addColumn<QByteArray>("wire");

    QTest::newRow("defaults") << "R02"
                              << "00000" << QByteArray("&" + longRequest("R02", "00000"));
    QTest::newRow("one-character code is padded") << "5"
                                                  << "00000" << QByteArray("&" + longRequest("005", "00000"));
    QTest::newRow("four-character code loses its first") << "R05X"
                                                         << "00000" << QByteArray("&" + longRequest("05X", "00000"));
    QTest::newRow("two-digit address is padded") << "R02"
                                                 << "12" << QByteArray("&" + longRequest("R02", "00012"));
    QTest::newRow("empty address") << "R02"
                                   << "" << QByteArray("&" + longRequest("R02", "00000"));
    QTest::newRow("long address keeps its last five") << "R02"
                                                      << "1234567" << QByteArray("&" + longRequest("R02", "34567"));
}

void TestSenders::sendLongCommand()
{
    QFETCH(QString, cmddat);
    QFETCH(QString, data5bytes);
    QFETCH(QByteArray, wire);

    // Both windows carry the same section: the short sender's copy must send
    // exactly what the long sender sends.
    for (QWidget *window : {static_cast<QWidget *>(m_sendinst.get()), static_cast<QWidget *>(m_sndshort.get())}) {
        m_board->clearReceived();
        edit(window, "cmddat")->setText(cmddat);
        edit(window, "data5bytes")->setText(data5bytes);
        button(window, "sendit")->click();
        QCOMPARE(m_board->received(), wire);
        // Whatever the board made of it, a full reply arrived and is shown
        // as it came, or the error text stands in for it.
        const QString responce = edit(window, "responce")->text();
        QVERIFY2(responce.size() == 64 || responce == QLatin1String(kLongCommandError), qPrintable(responce));
        QCOMPARE(label(window, "working")->text(), QString());
    }
}

void TestSenders::requestVersion()
{
    // The version request ignores the command box but still takes the address.
    edit(m_sendinst.get(), "cmddat")->setText("R05");
    edit(m_sendinst.get(), "data5bytes")->setText("7");
    button(m_sendinst.get(), "Version")->click();

    QCOMPARE(m_board->received(), QByteArray("&" + longRequest("R02", "00007")));
    const QString responce = edit(m_sendinst.get(), "responce")->text();
    QCOMPARE(responce.size(), 64);
    QCOMPARE(responce.mid(6, 7), QStringLiteral("Version"));
    QCOMPARE(label(m_sendinst.get(), "inver")->text(), responce.mid(6, 13));

    // Send with R02 shows the version too: the label follows the reply, not the button.
    edit(m_sendinst.get(), "cmddat")->setText("R02");
    label(m_sendinst.get(), "inver")->setText("N A");
    button(m_sendinst.get(), "sendit")->click();
    QCOMPARE(label(m_sendinst.get(), "inver")->text(), responce.mid(6, 13));
}

void TestSenders::silentBoard_data()
{
    QTest::addColumn<QString>("buttonName");
    QTest::addColumn<QString>("inver");
    QTest::addColumn<QString>("responce");
    QTest::newRow("Version") << "Version" << QString::fromLatin1(kVersionNoData) << QString::fromLatin1(kVersionError);
    QTest::newRow("sendit") << "sendit" << QString() << QString::fromLatin1(kLongCommandError);
}

void TestSenders::silentBoard()
{
    QFETCH(QString, buttonName);
    QFETCH(QString, inver);
    QFETCH(QString, responce);

    m_board->setFault(Fault::NoAnswer);
    edit(m_sendinst.get(), "responce")->setText("old reply");
    button(m_sendinst.get(), buttonName.toLatin1())->click();
    QCOMPARE(label(m_sendinst.get(), "inver")->text(), inver);
    QCOMPARE(edit(m_sendinst.get(), "responce")->text(), responce);
    QCOMPARE(label(m_sendinst.get(), "working")->text(), QString());
    // Three attempts at the handshake, and the request never went out.
    QCOMPARE(m_board->received(), QByteArray("&&&"));
}

void TestSenders::invalidInstructionReply()
{
    // The board answers an unknown code in full, with "X" at column 62: a
    // complete reply is still an error for the operator.
    edit(m_sendinst.get(), "cmddat")->setText("Q99");
    label(m_sendinst.get(), "inver")->setText("N A");
    button(m_sendinst.get(), "sendit")->click();
    QCOMPARE(m_link->linkPacket.size(), 64);
    QCOMPARE(m_link->linkPacket.at(61), QLatin1Char('X'));
    QCOMPARE(edit(m_sendinst.get(), "responce")->text(), QString::fromLatin1(kLongCommandError));
    QCOMPARE(label(m_sendinst.get(), "inver")->text(), QString());
}

void TestSenders::shortTemplate()
{
    Sndshort *w = m_sndshort.get();
    QCOMPARE(edit(w, "Text1")->text(), QStringLiteral("OXDDDDDDH"));
    button(w, "Command1")->click();
    QCOMPARE(m_board->received(), QByteArray("&-OXDDDDDDH"));
    QCOMPARE(edit(w, "responce")->text().size(), 9);
    QCOMPARE(edit(w, "responce")->text(), m_link->linkPacket);

    // The typed text goes out as it stands: no padding, no frame check.
    m_board->clearReceived();
    edit(w, "Text1")->setText("ab");
    button(w, "Command1")->click();
    QCOMPARE(m_board->received().left(4), QByteArray("&-ab"));

    button(w, "Command2")->click();
    QCOMPARE(edit(w, "Text1")->text(), QStringLiteral("OXDDDDDDH"));
}

void TestSenders::shortOnSilentOrLateBoard_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("responce");
    // No handshake: the packet never left, the box shows the typed text.
    QTest::newRow("silent") << int(Fault::NoAnswer) << "OX123456H";
    // Handshake taken but no reply in time: the sent text, with its "-".
    QTest::newRow("late") << int(Fault::LateReply) << "-OX123456H";
}

void TestSenders::shortOnSilentOrLateBoard()
{
    QFETCH(int, fault);
    QFETCH(QString, responce);

    m_board->setFault(Fault(fault));
    m_board->setLateReplyMs(2000); // well past 6 short seconds
    edit(m_sndshort.get(), "Text1")->setText("OX123456H");
    button(m_sndshort.get(), "Command1")->click();
    QCOMPARE(edit(m_sndshort.get(), "responce")->text(), responce);
    QCOMPARE(label(m_sndshort.get(), "working")->text(), QString());
}

void TestSenders::portClosed()
{
    m_link->closePort();
    m_board->clearReceived();

    button(m_sendinst.get(), "sendit")->click();
    QCOMPARE(m_link->linkErrorCode, QStringLiteral("7"));
    QCOMPARE(edit(m_sendinst.get(), "responce")->text(), QString::fromLatin1(kLongCommandError));
    button(m_sendinst.get(), "Version")->click();
    QCOMPARE(edit(m_sendinst.get(), "responce")->text(), QString::fromLatin1(kVersionError));
    QCOMPARE(label(m_sendinst.get(), "inver")->text(), QString::fromLatin1(kVersionNoData));

    edit(m_sndshort.get(), "Text1")->setText("OX000001H");
    button(m_sndshort.get(), "Command1")->click();
    QCOMPARE(m_link->linkErrorCode, QStringLiteral("7"));
    QCOMPARE(edit(m_sndshort.get(), "responce")->text(), QStringLiteral("OX000001H"));
    QCOMPARE(label(m_sndshort.get(), "working")->text(), QString());
    QCOMPARE(m_board->received(), QByteArray());
}

void TestSenders::workingWhileWaiting()
{
    m_board->setFault(Fault::NoAnswer);
    edit(m_sendinst.get(), "responce")->setText("old reply");
    QString workingDuring = QStringLiteral("<timer did not fire>");
    QString responceDuring;
    QTimer::singleShot(20, m_sendinst.get(), [&] {
        workingDuring = label(m_sendinst.get(), "working")->text();
        responceDuring = edit(m_sendinst.get(), "responce")->text();
    });
    button(m_sendinst.get(), "sendit")->click();
    QCOMPARE(workingDuring, QStringLiteral("WAITING FOR RESPONCE"));
    QCOMPARE(responceDuring, QString());
    QCOMPARE(label(m_sendinst.get(), "working")->text(), QString());

    // The short send shows the same mark while its exchange runs.
    workingDuring = QStringLiteral("<timer did not fire>");
    QTimer::singleShot(20, m_sndshort.get(), [&] { workingDuring = label(m_sndshort.get(), "working")->text(); });
    button(m_sndshort.get(), "Command1")->click();
    QCOMPARE(workingDuring, QStringLiteral("WAITING FOR RESPONCE"));
    QCOMPARE(label(m_sndshort.get(), "working")->text(), QString());
}

void TestSenders::secondClickRefused()
{
    m_board->setFault(Fault::NoAnswer);
    QString responceAfterSecond;
    QString workingAfterSecond;
    QTimer::singleShot(20, m_sendinst.get(), [&] {
        button(m_sendinst.get(), "Version")->click();
        responceAfterSecond = edit(m_sendinst.get(), "responce")->text();
        workingAfterSecond = label(m_sendinst.get(), "working")->text();
    });
    button(m_sendinst.get(), "sendit")->click();

    QCOMPARE(responceAfterSecond, QString::fromLatin1(kExchangeRefusedMessage));
    QCOMPARE(workingAfterSecond, QStringLiteral("WAITING FOR RESPONCE"));
    // The first exchange ran to its own end, undisturbed.
    QCOMPARE(m_board->received(), QByteArray("&&&"));
    QCOMPARE(edit(m_sendinst.get(), "responce")->text(), QString::fromLatin1(kLongCommandError));
    QCOMPARE(label(m_sendinst.get(), "inver")->text(), QString());
}

void TestSenders::otherWindowRefused()
{
    // A short send from the other window while a long exchange waits: the
    // short window says so and keeps its packet; nothing goes on the wire.
    m_board->setFault(Fault::NoAnswer);
    edit(m_sndshort.get(), "responce")->setText("earlier");
    QString shortResponce;
    QString shortWorking = QStringLiteral("<timer did not fire>");
    QTimer::singleShot(20, m_sndshort.get(), [&] {
        button(m_sndshort.get(), "Command1")->click();
        shortResponce = edit(m_sndshort.get(), "responce")->text();
        shortWorking = label(m_sndshort.get(), "working")->text();
    });
    button(m_sendinst.get(), "sendit")->click();
    QCOMPARE(shortResponce, QString::fromLatin1(kExchangeRefusedMessage));
    QCOMPARE(shortWorking, QString());
    QCOMPARE(edit(m_sndshort.get(), "Text1")->text(), QStringLiteral("OXDDDDDDH"));
    QCOMPARE(m_board->received(), QByteArray("&&&"));
}

QTEST_MAIN(TestSenders)
#include "tst_senders.moc"
