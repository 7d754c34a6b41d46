// The velm binary as a user runs it: exit statuses, stdout and stderr, the
// bytes it puts on the wire, how it takes the settings file, and velm
// compile with its report and one FILE:LINE diagnostic per statement error.

#include "run/runcontrol.h"
#include "settings/settings.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <csignal>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

using pvelm::SettingsRecord;
using pvelm::sim::VirtualBoard;

namespace {

const QString kSettingsFile = QStringLiteral("drive_c/Corvane/parameters.ovh");

// A long request as it follows the handshake.
QByteArray longRequest(const QByteArray &codeAndAddress)
{
    return "$OV0" + codeAndAddress + "0xxx" + QByteArray(32, 'D') + "xxx000x000000x0H~";
}
const QString kUsageLine = QRegularExpression::escape(QStringLiteral("usage: velm [--port DEVICE | --simulate] "));

// One run of velm, with a virtual board at hand: "PORT" in the arguments
// stands for --port and the board's device, and dosdevices/com1 leads to the
// board too. The wire is what the board received after the handshake bytes;
// out and err are patterns for the whole of stdout and stderr. The settings
// file is written before the run unless empty ("/": a folder in its place).
// With loseAfterMs the board runs an endless program and hangs up that long
// into the run.
struct Case
{
    QStringList args;
    QByteArray wire;
    int exitCode;
    QString out, err;
    QByteArray settings{};
    int loseAfterMs = -1;
};

QString exactly(const QByteArray &text)
{
    return QRegularExpression::escape(QString::fromLatin1(text));
}

void row(const char *name, const QStringList &args, const QByteArray &wire, int exitCode, const QString &out,
         const QString &err = QString(), const QByteArray &settings = QByteArray(), int loseAfterMs = -1)
{
    QTest::newRow(name) << Case{args, wire, exitCode, out, err, settings, loseAfterMs};
}

bool matches(const QString &pattern, const QByteArray &text)
{
    const QRegularExpression re(QRegularExpression::anchoredPattern(pattern),
                                QRegularExpression::DotMatchesEverythingOption);
    return re.match(QString::fromLocal8Bit(text)).hasMatch();
}

} // namespace

Q_DECLARE_METATYPE(Case)

class TestVelm : public QObject
{
    Q_OBJECT

private slots:
    void runs_data()
    {
        QTest::addColumn<Case>("c");
        auto errLine = [](const char *text) { return exactly(QByteArray("velm: ") + text + '\n'); };
        row("no command", {}, "", 2, "", errLine("missing command; see 'velm --help'"));
        row("unknown option", {"--bogus", "version"}, "", 2, "", errLine("unknown option '--bogus'"));
        row("simulate after the command", {"--port", "/dev/null", "version", "--simulate"}, "", 2, "",
            errLine("--port and --simulate cannot be used together"));
        row("port without device", {"version", "--port"}, "", 2, "", errLine("option '--port' needs a value"));
        row("send long, extra argument", {"send", "long", "R02", "00000", "9"}, "", 2, "",
            errLine("send long: unexpected argument '9'"));
        // Several boards: only for the commands that serve them, and never
        // two boards into one file.
        row("two ports, one-board command", {"--port", "/dev/a", "--port", "/dev/b", "send", "short", "X"}, "", 2, "",
            errLine("send short: one board at a time; several ports and --json are for version, download, flash "
                    "save, flash write, params get, run and stop"));
        row("two ports, one file name",
            {"--port", "/dev/a/ttyS0", "--port", "/dev/b/ttyS0", "flash", "save", "0", "1", "x.fla"}, "", 2, "",
            errLine("ports /dev/a/ttyS0 and /dev/b/ttyS0 would write the same files (both named ttyS0)"));
        row("fault without simulate", {"--sim-fault", "no-answer", "version"}, "", 2, "",
            errLine("--sim-fault needs --simulate"));
        // A name close to a known one is named; "--bogus" above is not close.
        row("compile, unknown option", {"compile", "--lst", "x"}, "", 2, "",
            errLine("compile: unknown option '--lst'; did you mean '--list'?"));
        row("unknown command", {"versoin"}, "", 2, "", errLine("unknown command 'versoin'; did you mean 'version'?"));
        row("velm --version", {"--version"}, "", 0, exactly("PVelm Version 1.06\n"));
        // No source file yet: both passes fail at element address 0, said once.
        row("compile, no source", {"compile"}, "", 1, "",
            exactly("velm: Processing Error or Canot open Velm or temp File Line#:0 (pass 1: cannot open ") +
                "[^\n]*\n");

        row("velm --help", {"--help"}, "", 0, kUsageLine + "COMMAND .*");
        // --help wins over arguments that would otherwise be wrong.
        row("send long -h, too many arguments", {"send", "long", "1", "2", "3", "-h"}, "", 0,
            kUsageLine + exactly("send long CODE [ADDRESS]") + ".*");

        // The untouched default record names port 1, and so does COM1 on
        // the command line, in any case: both lead to the board.
        const QByteArray reply = ("OV0R02" + VirtualBoard::versionText().toLatin1()).leftJustified(61, 'x') + "0H~\n";
        const QString version = exactly(VirtualBoard::versionText().left(13).toLatin1() + '\n' + reply);
        row("version on the settings' port", {"version"}, longRequest("R0200000"), 0, version);
        row("version on COM1", {"--port", "cOm1", "version"}, longRequest("R0200000"), 0, version);
        // A short record the console did not write: velm warns in one line
        // and goes on. A settings file that cannot be read ends the job.
        QByteArray own = SettingsRecord::defaultRecord().left(120);
        own.replace(9, 16, "   Someone else ");
        row("foreign short settings record", {"PORT", "version"}, longRequest("R0200000"), 0, version,
            "velm: warning: [^\n]*\n", own);
        row("unreadable settings file", {"PORT", "version"}, "", 1, "",
            exactly("velm: Canot open config file or invalid directory. Re-setup\n"), "/");
        // The board echoes an unknown code with "X" at column 62: printed,
        // and the job failed.
        row("send long, short fields padded", {"PORT", "send", "long", "A", "12"}, longRequest("00A00012"), 1,
            exactly(longRequest("00A00012").mid(1, 61) + "XH~\n"),
            errLine("Error - No or invalad Data received (X: Invalid Instruction sent)"));
        row("send long, long fields cut", {"PORT", "send", "long", "AR02", "1234567"}, longRequest("R0234567"), 0,
            exactly(reply));
        // The unanswered request is not shown as a reply.
        row("board never answers", {"--simulate", "--sim-fault", "no-answer", "version"}, "", 3, "",
            errLine("Error - No Data received (Z: Unable to connect)"));
        row("send short", {"PORT", "send", "short", "OXDDDDDDH"}, "-OXDDDDDDH", 0, "OXDDDDDDH\n");
        // Too short for the board to answer: what was sent is what the
        // window's reply box shows, and the command fails.
        row("send short, cut short", {"PORT", "send", "short", "OX12"}, "-OX12", 3, "-OX12\n",
            errLine("the short packet was not answered (Z: Unable to connect)"));
        row("port cannot open", {"--port", "/nonexistent", "version"}, "", 3, "",
            exactly("velm: Canot open serial port. Check settings in setup: ") + ".+\n");

        // Flash: arguments are checked before any port is opened.
        row("erase without --yes", {"--port", "/nonexistent", "flash", "erase"}, "", 2, "",
            errLine("flash erase: this erases the whole flash of the board; add --yes to do it"));
        row("flash read, fractional page", {"--port", "/nonexistent", "flash", "read", "1.5"}, "", 2, "",
            errLine("flash read: PAGE \"1.5\" is not a whole number from 0 up"));
        row("flash save past the last page", {"flash", "save", "0", "2048", "x.fla"}, "", 2, "",
            errLine("flash save: ADDRESS OUT OF RANGE (pages 0 to 2047, END not below START)"));
        const QByteArray pageRequest = "$OV0R1400007xxxx" + QByteArray(32, 'D') + QByteArray(14, 'x') + "0H~";
        row("flash read", {"PORT", "flash", "read", "7"}, pageRequest, 0, exactly(QByteArray(528, 'F') + '\n'));
        row("flash erase", {"PORT", "flash", "erase", "--yes"},
            "$OV0R17SSSSxxxxx" + QByteArray(32, 'D') + QByteArray(14, 'x') + "0H~", 0,
            exactly(("OV0R17FLASH ERASED" + QByteArray(43, 'x') + "0H~\n")));
        // The default temp hex file is not there: nothing is sent.
        row("download, no temp hex file", {"PORT", "download"}, "", 1, "",
            exactly("velm: Error writing controller: cannot open ") + ".*flash.tmp: .+\n");
        // Every board command against a board that never answers: no link
        // (the monitor, which sends nothing, just saw no report).
        for (const QString &command :
             QString("send long R02,element get 1,element put 1,packed get 1,packed put 1,speed get 1,speed put 1,"
                     "position get 1,position put 1,position move 1,position current,output 3 on,nudge 3 1,run,pause,"
                     "stop,params get,params set reportrate=2,params reload,mem read 16,mem write 16 1,"
                     "flash erase --yes,monitor")
                 .split(',')) {
            const bool monitor = command == "monitor";
            row(qPrintable(command + ", silent board"),
                QStringList{"--simulate", "--sim-fault", "no-answer"} + command.split(' '), "", monitor ? 1 : 3,
                command == "nudge 3 1" ? "Error\n" : "",
                monitor ? errLine("no status report arrived") : "velm: [^\n]*Unable to connect\\)\n");
        }
        row("flash read past the last page", {"PORT", "flash", "read", "2048"}, "", 2, "",
            errLine("flash read: ADDRESS OUT OF RANGE (pages 0 to 2047)"));
        // The port pulled out while reports come in: no link, however many
        // were shown.
        row("run --monitor, port lost", {"PORT", "run", "--monitor"}, "$" + pvelm::runPacket(0).toLatin1(), 3,
            "(mode=Running [^\n]*\n)+", exactly("velm: the port was lost while monitoring: ") + ".+\n", {}, 600);
        // Settings velm cannot store as typed are refused with their forms;
        // a short baud rate is stored as that number.
        const auto refused = [](const char *field, const char *typed, const char *form) {
            return exactly(
                QStringLiteral("velm: setup set: %1=\"%2\" refused: %1 takes %3\n").arg(field, typed, form).toLatin1());
        };
        row("setup set, baud not a number", {"setup", "set", "comport=2", "combaud=abc"}, "", 2, "",
            refused("combaud", "abc", "a baud rate of 1 to 6 digits, such as 9600 or 115200"));
        row("setup set, two-digit port", {"setup", "set", "comport=12"}, "", 2, "",
            refused("comport", "12", "a port number from 1 to 9"));
        row("setup set, three stop bits", {"setup", "set", "comstopbits=3"}, "", 2, "",
            refused("comstopbits", "3", "1 or 2"));
        row("setup set, path with a blank", {"setup", "set", "gfilebox=c:\\my velm.txt"}, "", 2, "",
            refused("gfilebox", "c:\\my velm.txt", "a path of 1 to 32 printable characters without blanks"));
        row("setup set, 300 baud", {"setup", "set", "combaud=300", "comparity=e"}, "", 0,
            "comport=1\ncombaud=000300\ncomparity=e\n.*");
        row("flash read, silent board", {"--simulate", "--sim-fault", "no-answer", "flash", "read", "3"}, "", 3, "",
            errLine("page 00003 did not read (Z: Unable to connect)"));
    }
    void runs()
    {
        QFETCH(Case, c);
        TestRoot root;
        VirtualBoard board;
        QVERIFY(board.start());
        QDir().mkpath(root.file("dosdevices"));
        QVERIFY(QFile::link(board.devicePath(), root.file("dosdevices/com1")));
        const QString settings = root.file(kSettingsFile) + (c.settings == "/" ? "/in-a-folder" : "");
        QVERIFY(c.settings.isEmpty() || writeAllBytes(settings, c.settings));
        if (!c.args.isEmpty() && c.args.first() == "PORT")
            c.args = QStringList{"--port", board.devicePath()} + c.args.mid(1);
        if (c.loseAfterMs >= 0) // GOTO 0 at line 0: runs until stopped
            board.updateState([](pvelm::sim::BoardState &s) {
                s.flash.replace(0, 32, QByteArray::fromHex("0AFF0000" + QByteArray(28, 'F')));
            });
        const VelmRun r = runVelm(c.args, c.loseAfterMs, [&] { board.stop(); });
        QCOMPARE(r.exitCode, c.exitCode);
        QVERIFY2(matches(c.out, r.out), r.out.constData());
        QVERIFY2(matches(c.err, r.err), r.err.constData());
        QByteArray received = board.received();
        while (received.startsWith('&'))
            received.remove(0, 1);
        QCOMPARE(received, c.wire);
        // A refused command line, or a request for help, does nothing: not
        // even the settings file.
        if (c.exitCode == 2 || c.out.startsWith(kUsageLine))
            QVERIFY(!QFileInfo::exists(root.file(kSettingsFile)));
    }

    void keptBoard()
    {
        // The board of --simulate lives on between runs: a program
        // downloaded by one velm runs in the next, and what it did (an
        // output, a position) is there in the one after. --fresh-board
        // starts clean, and the clean board is what the next run finds.
        TestRoot root;
        const QString source = root.file("short.txt");
        const QString hex = root.file("short.tmp");
        QVERIFY(writeAllBytes(source, "OUTPUT 2 ON\r\nWAIT 30\r\nS1 = 1234\r\nSTOP\r\n"));
        QCOMPARE(runVelm({"compile", source, "--hex", hex}).exitCode, 0);
        QCOMPARE(runVelm({"--simulate", "download", hex}).exitCode, 0);
        VelmRun r = runVelm({"--simulate", "run", "--monitor"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.startsWith("mode=Running line=1 ") &&
                     r.out.endsWith("mode=Stopped line=3 position=0 stack=0 loop=0 source=" + source.toUtf8() +
                                    ":4 notification=0 - No errors\n"),
                 r.out.constData());
        const QByteArray moved = "current 1234" + QByteArray(" 32768").repeated(7) + '\n';
        const QByteArray clean = "current" + QByteArray(" 32768").repeated(8) + '\n';
        QCOMPARE(runVelm({"--simulate", "position", "current"}).out, moved);

        // While another velm holds the board, a run starts from the kept
        // state, says so, and leaves it alone.
        const QByteArray kept = readAllBytes(root.file("virtualboard.state"));
        QProcess holder;
        holder.start(PVELM_BINARY_DIR "/velm", {"--simulate", "--sim-fault", "no-answer", "version"});
        QTRY_VERIFY(QFileInfo::exists(root.file("virtualboard.state.lock")));
        r = runVelm({"--simulate", "--fresh-board", "position", "current"});
        QCOMPARE(r.out, clean);
        QVERIFY2(r.err.startsWith(QStringLiteral("velm: warning: the virtual board is in use by velm (process %1)")
                                      .arg(holder.processId())
                                      .toLocal8Bit()),
                 r.err.constData());
        QCOMPARE(holder.state(), QProcess::Running);
        QVERIFY(readAllBytes(root.file("virtualboard.state")) == kept);
        QVERIFY(holder.waitForFinished(20000));

        QCOMPARE(runVelm({"--simulate", "--fresh-board", "position", "current"}).out, clean);
        r = runVelm({"--simulate", "run", "--monitor"});
        // (the last compile's source map still names its line: it knows nothing of the board)
        QVERIFY2(r.out.startsWith("mode=Stopped line=0 position=0 stack=0 loop=0 ") &&
                     r.out.contains(" notification=50 "),
                 r.out.constData());
        QCOMPARE(runVelm({"--fresh-board", "version"}).err, "velm: --fresh-board needs --simulate\n");
    }

    void compile()
    {
        TestRoot root;
        // A clean script, from the settings' source when none is named: the
        // report on standard output and at the end of the list file, the hex
        // file where the settings put it, nothing on standard error.
        QVERIFY(writeAllBytes(root.file(QStringLiteral("drive_c/Corvane/velm.txt")),
                              readAllBytes(PVELM_SOURCE_DIR "/examples/address_blocks.txt")));
        const QString list = root.file(QStringLiteral("my list.txt"));
        VelmRun r = runVelm({"compile", "--list=" + list});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QByteArray());
        const QByteArray report("***************** REPORT ****************\n"
                                "Number of good lines  28\n"
                                "Number of blank lines  11\n"
                                "Number of Errors & Warnings  0\n"
                                "Number of Calls  2  Number of returns  3\n"
                                "Number of Dos  1  Number of loops  1\n");
        QCOMPARE(r.out, report);
        QVERIFY(readAllBytes(list).endsWith(QByteArray(report).replace("\n", "\r\n")));
        QCOMPARE(readAllBytes(root.file(QStringLiteral("drive_c/Corvane/flash.tmp"))).count("\r\n"), 5);

        // Every statement error on standard error with its source line; the
        // list file keeps its own format.
        const QString source = PVELM_SOURCE_DIR "/examples/errors.txt";
        r = runVelm({"compile", source});
        QCOMPARE(r.exitCode, 1);
        const QList<QByteArray> lines = r.err.split('\n').mid(0, r.err.count('\n'));
        QCOMPARE(lines.size(), 12);
        for (int i = 0; i < lines.size(); ++i)
            QVERIFY2(lines.at(i).startsWith((source + QStringLiteral(":%1: error: ").arg(i + 3)).toLocal8Bit()),
                     lines.at(i).constData());
        QVERIFY(lines.at(10).contains("NOWHERE"));
        QVERIFY(r.out.contains("Number of Errors & Warnings  12\n"));
        QVERIFY(!readAllBytes(root.file(QStringLiteral("drive_c/Corvane/list.txt"))).contains("error:"));

        // A temp hex path that is the source: one line, exit 1. Source bytes
        // quoted in a diagnostic reach the terminal escaped.
        r = runVelm({"compile", "c:\\Corvane\\velm.txt", "--hex", "C:\\CORVANE\\VELM.TXT"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.startsWith("velm: Not compiled: the temp hex file C:") && r.err.count('\n') == 1,
                 r.err.constData());
        QVERIFY(writeAllBytes(root.file("bytes.txt"), "GOTO A\x1b[31mB\x07\r\n"));
        QCOMPARE(runVelm({"compile", root.file("bytes.txt")}).err,
                 root.file("bytes.txt").toLocal8Bit() +
                     ":1: error: Cannot Locate Label A\\x1B[31MB\\x07; line ignored\n");
        // A warning of the check after the compile: the same form, escaped
        // the same way, and the exit status stays 0.
        QVERIFY(writeAllBytes(root.file("warn.txt"), "wiat 1\x07\r\nSTOP\r\n"));
        r = runVelm({"compile", root.file("warn.txt")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, root.file("warn.txt").toLocal8Bit() +
                            ":1: warning: label WIAT1\\x07 is never used: did you mean WAIT?\n");
    }

    // velm go: a script with errors never reaches the port; a clean one is
    // downloaded, run from line 0 and watched, each report naming its
    // statement, with --changes only when it differs from the last.
    void go()
    {
        TestRoot root;
        VirtualBoard board;
        QVERIFY(board.start());
        const QString errors = PVELM_SOURCE_DIR "/examples/errors.txt";
        VelmRun r = runVelm({"--port", "/nonexistent", "go", errors});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.endsWith("velm: go: the program has 12 errors; nothing was sent to the board\n"),
                 r.err.constData());

        const QString script = root.file("arm.txt");
        QVERIFY(writeAllBytes(script, "WAIT 20\r\n\r\nWAIT 20\r\nSTOP\r\n"));
        r = runVelm({"--port", board.devicePath(), "go", script, "--monitor", "--changes"});
        QCOMPARE(r.exitCode, 0);
        const auto report = [&](const char *mode, int line, int source) {
            return QStringLiteral("mode=%1 line=%2 position=0 stack=0 loop=0 source=%3:%4 notification=0 - No errors\n")
                .arg(mode)
                .arg(line)
                .arg(script)
                .arg(source)
                .toLocal8Bit();
        };
        QCOMPARE(r.out, "1 of 1 pages written\n" + report("Running", 0, 1) + report("Running", 1, 3) +
                            report("Stopped", 2, 4));
        QVERIFY(board.received().contains("$" + pvelm::runPacket(0).toLatin1()));
    }

    // Ctrl-C during a download without a terminal: a line each tenth of the
    // pages, then where it stopped, and nothing sent after that page.
    void cancelledDownload()
    {
        TestRoot root;
        VirtualBoard board;
        QVERIFY(board.start());
        board.setPageProgramMs(30);
        QByteArray pages;
        for (int page = 0; page < 20; ++page)
            pages += QByteArray::number(page).rightJustified(5, '0') + QByteArray(528, '0') + "\r\n";
        QVERIFY(writeAllBytes(root.file("p.tmp"), pages));
        QProcess velm;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PVELM_SECOND_MS", "40");
        velm.setProcessEnvironment(env);
        velm.setReadChannel(QProcess::StandardError);
        velm.start(PVELM_BINARY_DIR "/velm", {"--port", board.devicePath(), "download", root.file("p.tmp")});
        QByteArray err;
        while (!err.contains("download: 30%") && velm.waitForReadyRead(10000))
            err += velm.readAllStandardError();
        QVERIFY2(velm.state() == QProcess::Running && velm.processId() > 0, err.constData());
        ::kill(pid_t(velm.processId()), SIGINT);
        QVERIFY(velm.waitForFinished(10000));
        err += velm.readAllStandardError();
        QCOMPARE(velm.exitCode(), 1);
        const int sent = int(board.received().count('$'));
        const QList<QByteArray> lines = err.split('\n');
        QCOMPARE(lines.size(), sent / 2 + 2);
        for (int k = 0; k < sent / 2; ++k)
            QVERIFY(lines.at(k).startsWith(
                QStringLiteral("download: %1% (%2 of 20 pages, 0:").arg(10 * k + 10).arg(2 * k + 2).toLatin1()));
        QCOMPARE(lines.at(sent / 2), QStringLiteral("velm: Cancelled after page %1: the board's flash now holds "
                                                    "part of the new program")
                                         .arg(sent - 1, 5, 10, QLatin1Char('0'))
                                         .toLatin1());
    }

    // The monitor on a terminal: p and s go out as pause and stop while it
    // runs, and the terminal has its echo and line editing back afterwards.
    void terminalKeys()
    {
        TestRoot root;
        VirtualBoard board;
        QVERIFY(board.start());
        board.updateState([](pvelm::sim::BoardState &s) { // GOTO 0 at line 0
            s.flash.replace(0, 32, QByteArray::fromHex("0AFF0000" + QByteArray(28, 'F')));
        });
        qputenv("PVELM_SECOND_MS", "40");
        const QByteArray device = board.devicePath().toLocal8Bit(); // nothing is made after the fork
        int master = -1;
        const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
        if (pid == 0) {
            ::execl(PVELM_BINARY_DIR "/velm", "velm", "--port", device.constData(), "run", "--monitor", nullptr);
            ::_exit(127);
        }
        qunsetenv("PVELM_SECOND_MS");
        QVERIFY(pid > 0);
        // A velm left monitoring the endless program is ended with the test.
        bool reaped = false;
        const auto cleanup = qScopeGuard([&] {
            if (!reaped && ::kill(pid, SIGKILL) == 0)
                ::waitpid(pid, nullptr, 0);
            ::close(master);
        });
        QByteArray seen;
        const auto readUntil = [&](const QByteArray &text) {
            QDeadlineTimer deadline(10000);
            pollfd fd{master, POLLIN, 0};
            while (!seen.contains(text) && !deadline.hasExpired() && ::poll(&fd, 1, 100) >= 0) {
                char buffer[4096];
                const ssize_t n = fd.revents ? ::read(master, buffer, sizeof buffer) : 0;
                if (n < 0)
                    break;
                seen.append(buffer, n);
            }
            return seen.contains(text);
        };
        QVERIFY2(readUntil("mode=Running"), seen.constData());
        QVERIFY(seen.contains("velm: keys: p pause, r resume, s stop the board; Ctrl-C ends the monitor"));
        QCOMPARE(::write(master, "p", 1), 1);
        QVERIFY2(readUntil("mode=Paused"), seen.constData());
        QCOMPARE(::write(master, "s", 1), 1);
        QVERIFY2(readUntil("mode=Stopped"), seen.constData());
        int status = -1;
        QDeadlineTimer deadline(10000);
        while (!(reaped = ::waitpid(pid, &status, WNOHANG) == pid) && !deadline.hasExpired())
            QTest::qWait(20);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        const QByteArray run = "$" + pvelm::runPacket(0).toLatin1();
        QCOMPARE(board.received().replace("&", ""),
                 run + "$" + pvelm::pausePacket().toLatin1() + "$" + pvelm::stopPacket().toLatin1());
        termios after{};
        QCOMPARE(::tcgetattr(master, &after), 0);
        QCOMPARE(after.c_lflag & (ICANON | ECHO), tcflag_t(ICANON | ECHO));
    }
};

QTEST_GUILESS_MAIN(TestVelm)
#include "tst_velm.moc"
