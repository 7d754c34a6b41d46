// The velm binary as a user runs it: exit statuses, stdout and stderr, the
// bytes it puts on the wire, and what it does to the settings file.

#include "app/settings.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

using pvelm::SettingsRecord;
using pvelm::sim::VirtualBoard;

namespace {

const QString kVelm = QStringLiteral(PVELM_BINARY_DIR "/velm");
const QString kVelmsim = QStringLiteral(PVELM_BINARY_DIR "/velmsim");
const QString kSettingsFile = QStringLiteral("drive_c/Corvane/parameters.ovh");
const QByteArray kFatalSettings = "velm: Canot open config file or invalid directory. Re-setup\n";

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    qint64 elapsedMs = 0;
    QList<QByteArray> outLines() const { return out.split('\n').mid(0, out.count('\n')); }
};

// Runs velm with PVELM_ROOT from the current TestRoot and short link seconds.
Run runVelm(const QStringList &args, int secondMs = 40)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PVELM_SECOND_MS"), QString::number(secondMs));
    p.setProcessEnvironment(env);
    QElapsedTimer timer;
    timer.start();
    p.start(kVelm, args);
    Run r;
    if (!p.waitForStarted(10000) || !p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        r.err = "velm did not run or did not finish";
        return r;
    }
    r.elapsedMs = timer.elapsed();
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// What a whole-reply line must look like: 64 characters of a long reply.
bool isLongReplyLine(const QByteArray &line)
{
    return line.size() == 64 && line.startsWith("OV0") && line.endsWith("H~");
}

} // namespace

class TestVelm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void usageErrors_data();
    void usageErrors();
    void help_data();
    void help();
    void versionFromVirtualBoard();
    void longCommandResultCodes_data();
    void longCommandResultCodes();
    void longCommandFieldsOnTheWire_data();
    void longCommandFieldsOnTheWire();
    void shortPacketAsTyped_data();
    void shortPacketAsTyped();
    void boardThatNeverAnswers();
    void portThatCannotOpen();
    void settingsFileMadeOnceNeverRewritten();
    void shortSettingsRecordWarns();
    void unreadableSettingsFile();
    void settingsPortReachesVelmsim();
};

void TestVelm::initTestCase()
{
    QVERIFY2(QFileInfo(kVelm).isExecutable(), "build the velm target before this test");
}

void TestVelm::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("fragment");

    QTest::newRow("nothing") << QStringList{} << "missing command";
    QTest::newRow("unknown command") << QStringList{"frobnicate"} << "unknown command 'frobnicate'";
    QTest::newRow("unknown global option") << QStringList{"--bogus", "version"} << "unknown option '--bogus'";
    QTest::newRow("unknown command option") << QStringList{"version", "--bogus"} << "version: unknown option";
    QTest::newRow("port and simulate") << QStringList{"--port", "/dev/null", "--simulate", "version"}
                                       << "--port and --simulate";
    QTest::newRow("simulate after port, after the command")
        << QStringList{"--port", "/dev/null", "version", "--simulate"} << "--port and --simulate";
    QTest::newRow("port without device") << QStringList{"version", "--port"} << "'--port' needs a value";
    QTest::newRow("port swallowing an option")
        << QStringList{"--port", "--simulate", "version"} << "'--port' needs a value";
    QTest::newRow("port given twice") << QStringList{"--port", "a", "--port", "b", "version"} << "given twice";
    QTest::newRow("version extra argument") << QStringList{"version", "R02"} << "unexpected argument 'R02'";
    QTest::newRow("address without value") << QStringList{"version", "--address"} << "needs a value";
    QTest::newRow("send alone") << QStringList{"send"} << "send: missing subcommand (long, short)";
    QTest::newRow("send unknown") << QStringList{"send", "medium", "X"} << "unknown subcommand 'medium'";
    QTest::newRow("send long without code") << QStringList{"send", "long"} << "send long: missing argument";
    QTest::newRow("send long extra") << QStringList{"send", "long", "R02", "00000", "9"} << "unexpected argument '9'";
    QTest::newRow("send short without packet") << QStringList{"send", "short"} << "send short: missing argument";
    QTest::newRow("send short extra") << QStringList{"send", "short", "OXDDDDDDH", "x"} << "unexpected argument 'x'";
    QTest::newRow("fault without simulate")
        << QStringList{"--sim-fault", "no-answer", "version"} << "--sim-fault needs --simulate";
    QTest::newRow("unknown fault") << QStringList{"--simulate", "--sim-fault", "meltdown", "version"}
                                   << "unknown fault 'meltdown'";
}

void TestVelm::usageErrors()
{
    QFETCH(QStringList, args);
    QFETCH(QString, fragment);
    TestRoot root;
    const Run r = runVelm(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.out.isEmpty(), r.out.constData());
    QVERIFY2(r.err.startsWith("velm: ") && r.err.count('\n') == 1 && r.err.endsWith('\n'), r.err.constData());
    QVERIFY2(r.err.contains(fragment.toUtf8()), r.err.constData());
    // A command line that is refused does nothing: not even the settings file.
    QVERIFY(!QFileInfo::exists(root.file(kSettingsFile)));
}

void TestVelm::help_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("usage");

    QTest::newRow("velm --help") << QStringList{"--help"} << "COMMAND";
    QTest::newRow("velm -h") << QStringList{"-h"} << "COMMAND";
    QTest::newRow("version") << QStringList{"version", "--help"} << "version [--address ADDRESS]";
    QTest::newRow("help before command") << QStringList{"--help", "version"} << "version [--address ADDRESS]";
    QTest::newRow("send group") << QStringList{"send", "--help"} << "send SUBCOMMAND";
    QTest::newRow("send long") << QStringList{"send", "long", "--help"} << "send long CODE [ADDRESS]";
    QTest::newRow("send short") << QStringList{"send", "short", "--help"} << "send short PACKET";
    // --help wins over arguments that would otherwise be wrong.
    QTest::newRow("send long, too many arguments")
        << QStringList{"send", "long", "1", "2", "3", "-h"} << "send long CODE [ADDRESS]";
}

void TestVelm::help()
{
    QFETCH(QStringList, args);
    QFETCH(QString, usage);
    TestRoot root;
    const Run r = runVelm(args);
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.err.isEmpty(), r.err.constData());
    const QByteArray first = r.out.left(r.out.indexOf('\n'));
    QVERIFY2(first.startsWith("usage: velm [--port DEVICE | --simulate] "), first.constData());
    QVERIFY2(first.contains(usage.toUtf8()), first.constData());
    QVERIFY(!QFileInfo::exists(root.file(kSettingsFile)));
}

void TestVelm::versionFromVirtualBoard()
{
    TestRoot root;
    const Run r = runVelm({"--simulate", "version"});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.err.isEmpty(), r.err.constData());
    const QList<QByteArray> lines = r.outLines();
    QCOMPARE(lines.size(), 2);
    QVERIFY2(isLongReplyLine(lines[1]), lines[1].constData());
    QCOMPARE(lines[1].at(61), '0');
    // The version line is reply columns 7-19, which read "Version" first.
    QCOMPARE(lines[0], lines[1].mid(6, 13));
    QVERIFY(lines[0].startsWith("Version"));
    QCOMPARE(QString::fromLatin1(lines[0]), VirtualBoard::versionText().left(13));
}

void TestVelm::longCommandResultCodes_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<char>("column62");
    QTest::addColumn<QByteArray>("err");

    QTest::newRow("R02 is answered") << QStringList{"--simulate", "send", "long", "R02"} << 0 << '0' << QByteArray();
    QTest::newRow("ZZ9 is an invalid instruction")
        << QStringList{"--simulate", "send", "long", "ZZ9"} << 1 << 'X'
        << QByteArray("velm: Error - No or invalad Data received (X: Invalid Instruction sent)\n");
}

void TestVelm::longCommandResultCodes()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(char, column62);
    QFETCH(QByteArray, err);
    TestRoot root;
    const Run r = runVelm(args);
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(r.err, err);
    // The reply is printed whole in both cases: it came from the board.
    const QList<QByteArray> lines = r.outLines();
    QCOMPARE(lines.size(), 1);
    QVERIFY2(isLongReplyLine(lines[0]), lines[0].constData());
    QCOMPARE(lines[0].at(61), column62);
}

void TestVelm::longCommandFieldsOnTheWire_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QByteArray>("codeAndAddress");

    QTest::newRow("short code and address are padded") << QStringList{"A", "12"} << QByteArray("00A00012");
    QTest::newRow("no address") << QStringList{"R02"} << QByteArray("R0200000");
    QTest::newRow("empty address") << QStringList{"R02", ""} << QByteArray("R0200000");
    QTest::newRow("long fields keep their last characters") << QStringList{"ABCD", "1234567"} << QByteArray("BCD34567");
}

void TestVelm::longCommandFieldsOnTheWire()
{
    QFETCH(QStringList, fields);
    QFETCH(QByteArray, codeAndAddress);
    TestRoot root;
    VirtualBoard board;
    QString why;
    QVERIFY2(board.start(&why), qPrintable(why));
    const Run r = runVelm(QStringList{"--port", board.devicePath(), "send", "long"} + fields);
    QVERIFY2(r.exitCode == 0 || r.exitCode == 1, r.err.constData());
    const QByteArray expected = "&$OV0" + codeAndAddress + "0xxx" + QByteArray(32, 'D') + "xxx000x000000x0H~";
    QCOMPARE(board.received(), expected);
}

void TestVelm::shortPacketAsTyped_data()
{
    QTest::addColumn<QString>("packet");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("printedLength");

    QTest::newRow("the template") << "OXDDDDDDH" << 0 << 9;
    // Too short for the board to answer: what was sent is what the window's
    // reply box shows, and the command fails.
    QTest::newRow("cut short") << "OX12" << 3 << 5;
}

void TestVelm::shortPacketAsTyped()
{
    QFETCH(QString, packet);
    QFETCH(int, exitCode);
    QFETCH(int, printedLength);
    TestRoot root;
    VirtualBoard board;
    QString why;
    QVERIFY2(board.start(&why), qPrintable(why));
    const Run r = runVelm({"--port", board.devicePath(), "send", "short", packet});
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(board.received(), "&-" + packet.toLatin1());
    const QList<QByteArray> lines = r.outLines();
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines[0].size(), printedLength);
    if (exitCode == 0) {
        QVERIFY2(lines[0].startsWith('O') && lines[0].endsWith('H'), lines[0].constData());
        QVERIFY(r.err.isEmpty());
    } else {
        QCOMPARE(lines[0], "-" + packet.toLatin1());
        QVERIFY2(r.err.startsWith("velm: ") && r.err.contains("Z: Unable to connect"), r.err.constData());
    }
}

void TestVelm::boardThatNeverAnswers()
{
    TestRoot root;
    const Run r = runVelm({"--simulate", "--sim-fault", "no-answer", "version"}, 30);
    QCOMPARE(r.exitCode, 3);
    QVERIFY(r.out.isEmpty()); // the unanswered request is not shown as a reply
    QCOMPARE(r.err, QByteArray("velm: Error - No Data received (Z: Unable to connect)\n"));
    // Three handshakes of one short second each, not three real seconds.
    QVERIFY2(r.elapsedMs < 2500, QByteArray::number(r.elapsedMs).constData());
}

void TestVelm::portThatCannotOpen()
{
    TestRoot root;
    const Run r = runVelm({"--port", "/nonexistent", "version"});
    QCOMPARE(r.exitCode, 3);
    QVERIFY(r.out.isEmpty());
    const QByteArray prefix = "velm: Canot open serial port. Check settings in setup: ";
    QVERIFY2(r.err.startsWith(prefix) && r.err.count('\n') == 1, r.err.constData());
    QVERIFY2(r.err.size() > prefix.size() + 1, "the reason from the operating system is missing");
}

void TestVelm::settingsFileMadeOnceNeverRewritten()
{
    TestRoot root;
    const QString file = root.file(kSettingsFile);
    Run r = runVelm({"--simulate", "version"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(readAllBytes(file), SettingsRecord::defaultRecord());
    QCOMPARE(QFileInfo(file).size(), 512);

    // A record the console did not write (other header, port 9) stays as it is.
    QByteArray own = SettingsRecord::defaultRecord();
    own.replace(9, 16, "   Someone else ");
    own[99] = '9';
    QVERIFY(writeAllBytes(file, own));
    const QDateTime old = QDateTime::currentDateTime().addDays(-1);
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(old, QFileDevice::FileModificationTime));
    }
    r = runVelm({"--simulate", "send", "long", "R02"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(readAllBytes(file), own);
    QCOMPARE(QFileInfo(file).lastModified(), old);
}

void TestVelm::shortSettingsRecordWarns()
{
    TestRoot root;
    const QByteArray shortRecord = SettingsRecord::defaultRecord().left(120);
    QVERIFY(writeAllBytes(root.file(kSettingsFile), shortRecord));
    const Run r = runVelm({"--simulate", "version"});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.err.startsWith("velm: warning: ") && r.err.count('\n') == 1, r.err.constData());
    QCOMPARE(readAllBytes(root.file(kSettingsFile)), shortRecord);
}

void TestVelm::unreadableSettingsFile()
{
    TestRoot root;
    QVERIFY(QDir().mkpath(root.file(kSettingsFile)));
    const Run r = runVelm({"--simulate", "version"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.out.isEmpty());
    QCOMPARE(r.err, kFatalSettings);
}

void TestVelm::settingsPortReachesVelmsim()
{
    QVERIFY2(QFileInfo(kVelmsim).isExecutable(), "build the velmsim target before this test");
    TestRoot root;
    QProcess sim;
    sim.start(kVelmsim, {"--com", "1"});
    QVERIFY(sim.waitForStarted(10000));
    QByteArray first;
    QElapsedTimer wait;
    wait.start();
    while (!first.contains('\n') && wait.elapsed() < 10000 && sim.waitForReadyRead(10000))
        first += sim.readAllStandardOutput();
    QVERIFY2(first.contains('\n'), "velmsim printed no device path");
    const QString device = QString::fromLocal8Bit(first.left(first.indexOf('\n')).trimmed());
    QVERIFY2(QFileInfo(root.file("dosdevices/com1")).exists(), "velmsim made no dosdevices/com1 link");

    // The untouched default record names port 1; so does COM1 on the command
    // line, in any case.
    for (const QStringList &args :
         {QStringList{"version"}, QStringList{"--port", "com1", "version"}, QStringList{"--port", device, "version"}}) {
        const Run r = runVelm(args);
        QVERIFY2(r.exitCode == 0, qPrintable(args.join(' ') + ": " + QString::fromLocal8Bit(r.err)));
        QCOMPARE(r.outLines().size(), 2);
    }
    sim.terminate();
    if (!sim.waitForFinished(5000)) {
        sim.kill();
        sim.waitForFinished();
    }
}

QTEST_GUILESS_MAIN(TestVelm)
#include "tst_velm.moc"
