// What one run talks to, as both programs choose it from their options: a
// COMn port through the host's dosdevices link (the console once opened
// "COM1" as a file name), device paths as given, network serial servers,
// the virtual board and its fault, the trace file, the test clock, and the
// conflicts with the one message both programs print.

#include "settings/portchoice.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QTest>

using pvelm::PortChoice;
using pvelm::PortOptions;

namespace {

// A null text is an option not given; "" one given empty.
std::optional<QString> given(const QString &text)
{
    return text.isNull() ? std::nullopt : std::optional<QString>(text);
}

} // namespace

class TestPortChoice : public QObject
{
    Q_OBJECT

private slots:
    void choice_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("simulate");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("trace");
        QTest::addColumn<QString>("secondMs");
        // Expected: the error, or the device, board, fault, trace file below
        // the root, link-second and warning.
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("device");
        QTest::addColumn<bool>("board");
        QTest::addColumn<QString>("boardFault");
        QTest::addColumn<QString>("traceFile");
        QTest::addColumn<int>("ms");
        QTest::addColumn<QString>("warning");

        const QString none;
        const QString empty = QStringLiteral("");
        QTest::newRow("nothing given: the settings' port")
            << none << false << none << none << none << none << none << false << none << none << 0 << none;
        QTest::newRow("COM1 through its dosdevices link")
            << "COM1" << false << none << none << none << none << "/dev/pts/77" << false << none << none << 0 << none;
        QTest::newRow("com12 in any case, no link")
            << "com12" << false << none << none << none << none << "/dev/ttyS11" << false << none << none << 0 << none;
        QTest::newRow("COM0 is no port number")
            << "COM0" << false << none << none << none << none << "COM0" << false << none << none << 0 << none;
        QTest::newRow("a device path as it stands") << "/dev/ttyUSB0" << false << none << none << none << none
                                                    << "/dev/ttyUSB0" << false << none << none << 0 << none;
        QTest::newRow("a network serial server") << "socket://[::1]:4001" << false << none << none << none << none
                                                 << "socket://[::1]:4001" << false << none << none << 0 << none;
        QTest::newRow("rfc2217 refused")
            << "RFC2217://pi:2000" << false << none << none << none
            << "RFC2217://pi:2000: rfc2217:// is not supported; serve the port raw and use socket://HOST:PORT, "
               "with the baud rate set on the server"
            << none << false << none << none << 0 << none;
        QTest::newRow("--simulate") << none << true << none << none << none << none << none << true << none << none << 0
                                    << none;
        QTest::newRow("--simulate with a fault")
            << none << true << "hang-up" << none << none << none << none << true << "hang-up" << none << 0 << none;
        QTest::newRow("trace file and test clock")
            << none << false << none << "c:\\Corvane\\trace.txt"
            << "40" << none << none << false << none << "drive_c/Corvane/trace.txt" << 40 << none;
        QTest::newRow("test clock of 0 ignored")
            << none << false << none << none << "0" << none << none << false << none << none << 0
            << "PVELM_SECOND_MS=0 ignored: not a positive whole number";
        QTest::newRow("--port with --simulate")
            << "COM1" << true << none << none << none << "--port and --simulate cannot be used together" << none
            << false << none << none << 0 << none;
        QTest::newRow("--port empty") << empty << false << none << none << none << "option '--port' needs a device"
                                      << none << false << none << none << 0 << none;
        QTest::newRow("--sim-fault without --simulate")
            << none << false << "garbage" << none << none << "--sim-fault needs --simulate" << none << false << none
            << none << 0 << none;
        QTest::newRow("--trace empty") << none << false << none << empty << none << "option '--trace' needs a file"
                                       << none << false << none << none << 0 << none;
    }

    void choice()
    {
        QFETCH(QString, port);
        QFETCH(bool, simulate);
        QFETCH(QString, fault);
        QFETCH(QString, trace);
        QFETCH(QString, secondMs);
        QFETCH(QString, error);
        QFETCH(QString, device);
        QFETCH(bool, board);
        QFETCH(QString, boardFault);
        QFETCH(QString, traceFile);
        QFETCH(int, ms);
        QFETCH(QString, warning);

        const TestRoot root;
        QVERIFY(QDir().mkpath(root.file(QStringLiteral("dosdevices"))));
        QVERIFY(QFile::link(QStringLiteral("/dev/pts/77"), root.file(QStringLiteral("dosdevices/com1"))));
        QVERIFY(QDir().mkpath(root.file(QStringLiteral("drive_c/Corvane"))));

        const PortChoice c = pvelm::choosePort({given(port), simulate, given(fault), given(trace), given(secondMs)});
        QCOMPARE(c.error, error);
        QCOMPARE(c.device, device);
        QCOMPARE(c.startBoard, board);
        QCOMPARE(c.boardFault, boardFault);
        QCOMPARE(c.traceFile, traceFile.isEmpty() ? QString() : root.file(traceFile));
        QCOMPARE(c.secondMs, ms);
        QCOMPARE(c.warning, warning);
    }
};

QTEST_GUILESS_MAIN(TestPortChoice)
#include "tst_portchoice.moc"
