// The velm binary as a user runs it: exit statuses, stdout and stderr, the
// bytes it puts on the wire, and what it does to the settings file.

#include "app/settings.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

using pvelm::SettingsRecord;
using pvelm::sim::Fault;
using pvelm::sim::VirtualBoard;

namespace {

const QString kVelm = QStringLiteral(PVELM_BINARY_DIR "/velm");
const QString kSettingsFile = QStringLiteral("drive_c/Corvane/parameters.ovh");

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs velm with PVELM_ROOT from the current TestRoot and short link seconds.
Run runVelm(const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PVELM_SECOND_MS"), QStringLiteral("40"));
    p.setProcessEnvironment(env);
    p.start(kVelm, args);
    Run r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        r.err = "velm did not run or did not finish";
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// A long request as it follows the handshake, and the board's replies.
QByteArray longRequest(const QByteArray &codeAndAddress)
{
    return "$OV0" + codeAndAddress + "0xxx" + QByteArray(32, 'D') + "xxx000x000000x0H~";
}
QByteArray versionReply()
{
    return ("OV0R02" + VirtualBoard::versionText().toLatin1()).leftJustified(61, 'x') + "0H~";
}

QString exactly(const QByteArray &text)
{
    return QRegularExpression::escape(QString::fromLatin1(text));
}

} // namespace

class TestVelm : public QObject
{
    Q_OBJECT

private slots:
    void usageErrors_data();
    void usageErrors();
    void help_data();
    void help();
    void boardCommands_data();
    void boardCommands();
    void settingsFileMadeOnceNeverRewritten();
    void settingsPortReachesVelmsim();
};

void TestVelm::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("err");
    QTest::newRow("nothing") << QStringList{} << QByteArray("missing command; see 'velm --help'");
    QTest::newRow("unknown command") << QStringList{"frobnicate"}
                                     << QByteArray("unknown command 'frobnicate'; see 'velm --help'");
    QTest::newRow("unknown option") << QStringList{"--bogus", "version"} << QByteArray("unknown option '--bogus'");
    QTest::newRow("simulate after the command") << QStringList{"--port", "/dev/null", "version", "--simulate"}
                                                << QByteArray("--port and --simulate cannot be used together");
    QTest::newRow("port without device") << QStringList{"version", "--port"}
                                         << QByteArray("option '--port' needs a value");
    QTest::newRow("send alone") << QStringList{"send"} << QByteArray("send: missing subcommand (long, short)");
    QTest::newRow("send long extra") << QStringList{"send", "long", "R02", "00000", "9"}
                                     << QByteArray("send long: unexpected argument '9'");
    QTest::newRow("fault without simulate")
        << QStringList{"--sim-fault", "no-answer", "version"} << QByteArray("--sim-fault needs --simulate");
}

void TestVelm::usageErrors()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, err);
    TestRoot root;
    const Run r = runVelm(args);
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.out, QByteArray());
    QCOMPARE(r.err, "velm: " + err + '\n');
    // A command line that is refused does nothing: not even the settings file.
    QVERIFY(!QFileInfo::exists(root.file(kSettingsFile)));
}

void TestVelm::help_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("usage");
    QTest::newRow("velm --help") << QStringList{"--help"} << "COMMAND";
    QTest::newRow("help before command") << QStringList{"--help", "version"} << "version [--address ADDRESS]";
    // --help wins over arguments that would otherwise be wrong.
    QTest::newRow("send long -h, too many arguments")
        << QStringList{"send", "long", "1", "2", "3", "-h"} << "send long CODE [ADDRESS]";
}

void TestVelm::help()
{
    QFETCH(QStringList, args);
    QFETCH(QString, usage);
    TestRoot root;
    const Run r = runVelm(args);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QByteArray());
    const QByteArray first = r.out.left(r.out.indexOf('\n'));
    QVERIFY2(first.startsWith("usage: velm [--port DEVICE | --simulate] " + usage.toLatin1()), first.constData());
    QVERIFY(!QFileInfo::exists(root.file(kSettingsFile)));
}

void TestVelm::boardCommands_data()
{
    // Run on the virtual board's port unless they name a port or --simulate.
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("fault");
    QTest::addColumn<QByteArray>("wire"); // after the handshakes
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QString>("err"); // pattern for the whole of stderr

    const int none = int(Fault::None);
    const QByteArray version = VirtualBoard::versionText().left(13).toLatin1();
    QTest::newRow("version") << QStringList{"version"} << none << longRequest("R0200000") << 0
                             << version + '\n' + versionReply() + '\n'
                             << QString();
    // The board echoes an unknown code with "X" at column 62: printed, and
    // the job failed.
    QTest::newRow("send long, short fields padded")
        << QStringList{"send", "long", "A", "12"} << none << longRequest("00A00012") << 1
        << longRequest("00A00012").mid(1, 61) + "XH~\n"
        << exactly("velm: Error - No or invalad Data received (X: Invalid Instruction sent)\n");
    QTest::newRow("send long, long fields cut") << QStringList{"send", "long", "AR02", "1234567"} << none
                                                << longRequest("R0234567") << 0 << versionReply() + '\n'
                                                << QString();
    QTest::newRow("send long, no address")
        << QStringList{"send", "long", "R02"} << none << longRequest("R0200000") << 0 << versionReply() + '\n'
        << QString();
    // The unanswered request is not shown as a reply.
    QTest::newRow("board never answers") << QStringList{"--simulate", "--sim-fault", "no-answer", "version"} << none
                                         << QByteArray() << 3 << QByteArray()
                                         << exactly("velm: Error - No Data received (Z: Unable to connect)\n");
    QTest::newRow("send short") << QStringList{"send", "short", "OXDDDDDDH"} << none << QByteArray("-OXDDDDDDH") << 0
                                << QByteArray("OXDDDDDDH\n") << QString();
    // Too short for the board to answer: what was sent is what the window's
    // reply box shows, and the command fails.
    QTest::newRow("send short, cut short")
        << QStringList{"send", "short", "OX12"} << none << QByteArray("-OX12") << 3 << QByteArray("-OX12\n")
        << exactly("velm: the short packet was not answered (Z: Unable to connect)\n");
    QTest::newRow("port cannot open") << QStringList{"--port", "/nonexistent", "version"} << none << QByteArray() << 3
                                      << QByteArray()
                                      << exactly("velm: Canot open serial port. Check settings in setup: ") + ".+\n";
}

void TestVelm::boardCommands()
{
    QFETCH(QStringList, args);
    QFETCH(int, fault);
    QFETCH(QByteArray, wire);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(QString, err);
    TestRoot root;
    VirtualBoard board;
    QString why;
    QVERIFY2(board.start(&why), qPrintable(why));
    board.setFault(Fault(fault));
    if (!args.contains("--port") && !args.contains("--simulate"))
        args = QStringList{"--port", board.devicePath()} + args;

    const Run r = runVelm(args);
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(r.out, out);
    QVERIFY2(
        QRegularExpression(QRegularExpression::anchoredPattern(err)).match(QString::fromLocal8Bit(r.err)).hasMatch(),
        r.err.constData());
    QByteArray received = board.received();
    while (received.startsWith('&'))
        received.remove(0, 1);
    QCOMPARE(received, wire);
}

void TestVelm::settingsFileMadeOnceNeverRewritten()
{
    TestRoot root;
    const QString file = root.file(kSettingsFile);
    Run r = runVelm({"--simulate", "version"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(readAllBytes(file), SettingsRecord::defaultRecord());

    // A short record the console did not write: velm warns in one line and
    // leaves the file as it is.
    QByteArray own = SettingsRecord::defaultRecord().left(120);
    own.replace(9, 16, "   Someone else ");
    QVERIFY(writeAllBytes(file, own));
    const QDateTime old = QDateTime::currentDateTime().addDays(-1);
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(old, QFileDevice::FileModificationTime));
    }
    r = runVelm({"--simulate", "send", "long", "R02"});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.err.startsWith("velm: warning: ") && r.err.count('\n') == 1, r.err.constData());
    QCOMPARE(readAllBytes(file), own);
    QCOMPARE(QFileInfo(file).lastModified(), old);

    // A settings file that cannot be read ends the job.
    QVERIFY(QFile::remove(file));
    QVERIFY(QDir().mkpath(file));
    r = runVelm({"--simulate", "version"});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out, QByteArray());
    QCOMPARE(r.err, QByteArray("velm: Canot open config file or invalid directory. Re-setup\n"));
}

void TestVelm::settingsPortReachesVelmsim()
{
    TestRoot root;
    QProcess sim;
    sim.start(QStringLiteral(PVELM_BINARY_DIR "/velmsim"), {"--com", "1"});
    QVERIFY(sim.waitForStarted(10000));
    QByteArray first;
    while (!first.contains('\n') && sim.waitForReadyRead(10000))
        first += sim.readAllStandardOutput();
    QVERIFY2(QFileInfo(root.file("dosdevices/com1")).exists(), "velmsim made no dosdevices/com1 link");

    // The untouched default record names port 1; so does COM1 on the command
    // line, in any case.
    for (const QStringList &args : {QStringList{"version"}, QStringList{"--port", "com1", "version"}}) {
        const Run r = runVelm(args);
        QVERIFY2(r.exitCode == 0, qPrintable(args.join(' ') + ": " + QString::fromLocal8Bit(r.err)));
        QCOMPARE(r.out.count('\n'), 2);
    }
    sim.terminate();
    if (!sim.waitForFinished(5000)) {
        sim.kill();
        sim.waitForFinished();
    }
}

QTEST_GUILESS_MAIN(TestVelm)
#include "tst_velm.moc"
