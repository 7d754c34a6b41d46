// velm run, velm pause, velm stop, velm monitor: the run controls and the
// status monitor of the main window, on the command line.

#include "cli/cli.h"
#include "cli/steps.h"
#include "compiler/mapfile.h"
#include "flash/transfer.h"
#include "link/link.h"
#include "run/runcontrol.h"
#include "settings/hostpaths.h"
#include "settings/settings.h"

#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <termios.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace pvelm::cli {

namespace {

int g_interruptPipe[2] = {-1, -1};

void onInterrupt(int)
{
    const char c = 1;
    [[maybe_unused]] auto n = ::write(g_interruptPipe[1], &c, 1);
}

// While it lives, Ctrl-C (or SIGTERM) clears `monitoring`, so the monitor
// ends the way the memory editor ends the window's monitor.
class InterruptEndsMonitor
{
public:
    explicit InterruptEndsMonitor(Link &link)
    {
        if (g_interruptPipe[0] < 0 && ::pipe(g_interruptPipe) != 0)
            return;
        for (int fd : g_interruptPipe)
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        m_notifier = std::make_unique<QSocketNotifier>(g_interruptPipe[0], QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [&link] {
            char drain[16];
            [[maybe_unused]] auto n = ::read(g_interruptPipe[0], drain, sizeof drain);
            link.monitoring = false;
        });
        struct sigaction sa = {};
        sa.sa_handler = onInterrupt;
        sigemptyset(&sa.sa_mask);
        // SIGQUIT and a closed terminal too: the monitor then ends through
        // its destructors, which give the terminal back as it was.
        for (size_t k = 0; k < std::size(kSignals); ++k)
            ::sigaction(kSignals[k], &sa, &m_old[k]);
    }
    ~InterruptEndsMonitor()
    {
        if (!m_notifier)
            return;
        for (size_t k = 0; k < std::size(kSignals); ++k)
            ::sigaction(kSignals[k], &m_old[k], nullptr);
    }

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGQUIT, SIGHUP};
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_old[std::size(kSignals)] = {};
};

// While the monitor runs on a terminal, single keys steer the board: p
// pauses, r resumes (the run command with line 0, as "Run / Resume"), s
// stops; the monitor goes on. The terminal takes keys one at a time without
// echo until this goes away, on every way out of the monitor.
class TerminalKeys
{
public:
    explicit TerminalKeys(Link &link) : m_link(link)
    {
        // Not from a pipe, and not in the background, where changing the
        // terminal would stop velm.
        if (!::isatty(STDIN_FILENO) || ::tcgetpgrp(STDIN_FILENO) != ::getpgrp() ||
            ::tcgetattr(STDIN_FILENO, &m_saved) != 0)
            return;
        termios keys = m_saved;
        keys.c_lflag &= ~tcflag_t(ICANON | ECHO); // Ctrl-C still interrupts
        keys.c_cc[VMIN] = 1;
        keys.c_cc[VTIME] = 0;
        if (::tcsetattr(STDIN_FILENO, TCSANOW, &keys) != 0)
            return;
        m_active = true;
        m_notifier = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { readKeys(); });
        printError(QStringLiteral("keys: p pause, r resume, s stop the board; Ctrl-C ends the monitor"));
    }
    ~TerminalKeys()
    {
        if (m_active)
            ::tcsetattr(STDIN_FILENO, TCSANOW, &m_saved);
    }
    TerminalKeys(const TerminalKeys &) = delete;
    TerminalKeys &operator=(const TerminalKeys &) = delete;

private:
    void readKeys()
    {
        char keys[16];
        const ssize_t n = ::read(STDIN_FILENO, keys, sizeof keys);
        if (n <= 0) { // the terminal went away
            m_notifier->setEnabled(false);
            return;
        }
        // A key pressed while a command goes out waits for the next look.
        m_notifier->setEnabled(false);
        for (ssize_t k = 0; k < n; ++k) {
            switch (keys[k]) {
            case 'p':
                send(pausePacket());
                break;
            case 'r':
                send(runPacket(0));
                break;
            case 's':
                send(stopPacket());
                break;
            default:
                break;
            }
        }
        m_notifier->setEnabled(true);
    }
    void send(const QString &packet)
    {
        const LinkResult r = sendRunCommand(m_link, packet);
        if (!r.ran)
            printError(QString::fromLatin1(kExchangeRefusedMessage));
        else if (r.noLink())
            printError(
                QStringLiteral("the board did not take the command (%1: %2)").arg(r.code, Link::describe(r.code)));
    }

    Link &m_link;
    termios m_saved = {};
    bool m_active = false;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

// One line a script can split: key=value words, the notification last
// because its text holds blanks. `source` is FILE:LINE of the statement
// behind the current line, or empty.
QString reportLine(const StatusReport &r, const QString &notification, const QString &source)
{
    return QStringLiteral("mode=%1 line=%2 position=%3 stack=%4 loop=%5 %6notification=%7")
        .arg(r.mode, r.currentLine, r.position, r.stack, r.loop,
             source.isEmpty() ? QString() : QStringLiteral("source=%1 ").arg(source), notification);
}

// Runs the monitor, printing each report (with changesOnly, only a report
// whose line differs from the last one printed). Exit status: 3 when the port
// was lost, whether or not reports were shown before; otherwise 0 when at
// least one report came, 1 when none came.
int monitor(Link &link, bool changesOnly)
{
    // The map the last compile left, if any: each report then names the
    // statement behind its line.
    const std::optional<compiler::SavedSourceMap> map =
        compiler::loadSourceMap(hostpaths::workFile(QString::fromLatin1(compiler::kSourceMapFile)));
    InterruptEndsMonitor interrupt(link);
    const TerminalKeys keys(link);
    // What the window's notification label shows: a code without a text
    // leaves the last one standing.
    QString notification = QStringLiteral("None");
    QString lastPrinted;
    link.monitoring = true;
    const int shown = runStatusMonitor(link, [&](const StatusReport &r) {
        if (!r.notification.isEmpty())
            notification = r.notification;
        QString source;
        bool isLine = false;
        const qint64 line = r.currentLine.toLongLong(&isLine);
        if (map && isLine) {
            if (const qint64 sourceLine = map->lines.sourceLine(line))
                source = QStringLiteral("%1:%2").arg(map->source).arg(sourceLine);
        }
        const QString text = reportLine(r, notification, source);
        if (changesOnly && text == lastPrinted)
            return;
        lastPrinted = text;
        printLine(text);
        std::fflush(stdout);
    });
    link.monitoring = false;
    if (link.portState() == Link::PortState::Lost) {
        printError(QStringLiteral("the port was lost while monitoring: %1").arg(link.portOpenError()));
        return kExitNoLink;
    }
    if (shown > 0)
        return kExitSuccess;
    printError(QStringLiteral("no status report arrived"));
    return kExitFailed;
}

// Sends one run command; an exit status when it did not go out. Whether
// the board then acts on it is not looked at: the handshake is all sendonly
// awaits.
int sendCommand(Link &link, const QString &packet)
{
    const LinkResult r = sendRunCommand(link, packet);
    if (r.noLink())
        printError(QStringLiteral("the board did not take the command (%1: %2)").arg(r.code, Link::describe(r.code)));
    return r.noLink() || !r.ran ? exchangeStatus(r) : kExitSuccess;
}

// A line that cannot be run is bad usage, refused before the link opens.
QString checkRun(const Invocation &inv)
{
    QString why;
    if (inv.has(QStringLiteral("--line")) && !parseLineToRun(inv.value(QStringLiteral("--line")), &why))
        return QStringLiteral("run: ") + why;
    return QString();
}

int runCommand(Invocation &inv)
{
    const quint32 line = parseLineToRun(inv.value(QStringLiteral("--line"), QStringLiteral("0"))).value_or(0);
    if (const int status = sendCommand(inv.link(), runPacket(line)))
        return status;
    return inv.has(QStringLiteral("--monitor")) ? monitorStep(inv) : kExitSuccess;
}

int pauseCommand(Invocation &inv)
{
    return sendCommand(inv.link(), pausePacket());
}

int stopCommand(Invocation &inv)
{
    return sendCommand(inv.link(), stopPacket());
}

int monitorCommand(Invocation &inv)
{
    return monitorStep(inv);
}

// Compile, and only a program without errors goes to the board: download,
// run from line 0, and with --monitor watch it.
int goCommand(Invocation &inv)
{
    const int errors = compileStep(inv, inv.args.constFirst(), false);
    if (errors != 0) {
        if (errors > 0)
            printError(QStringLiteral("go: the program has %1 errors; nothing was sent to the board").arg(errors));
        else
            printError(QStringLiteral("go: the program did not compile; nothing was sent to the board"));
        return kExitFailed;
    }
    if (const int status = inv.openBoard())
        return status;
    const QString hex = inv.settings().path(SettingsRecord::kTempHexPathColumn);
    if (const int status = downloadStep(inv, hex, flash::kFlashWriteError, QStringLiteral("download")))
        return status;
    if (const int status = sendCommand(inv.link(), runPacket(0)))
        return status;
    return inv.has(QStringLiteral("--monitor")) ? monitorStep(inv) : kExitSuccess;
}

const char kMonitorHelp[] =
    "Each status report is printed as one line:\n"
    "  mode=Running line=4 position=16 stack=2 loop=3 source=/home/me/arm.txt:7 notification=0 - No errors\n"
    "mode is Running, Paused or Stopped; line is the current line; position, stack\n"
    "and loop are the board's counters in decimal; notification is what the main\n"
    "window's notification label shows (\"None\" until a report sets it; a code the\n"
    "console does not know leaves the last one). Monitoring ends when no report\n"
    "arrives for 6 seconds, or on Ctrl-C. Exit status 1 when no report arrived,\n"
    "3 when the port was lost (even after reports were shown).\n"
    "source is the script and its line that wrote the current line, as the last\n"
    "'velm compile' or 'velm go' left them (absent when none did, or the line has no\n"
    "statement). With --changes a report is printed only when it differs from the\n"
    "last one printed. On a terminal the keys p, r and s pause, resume and stop the\n"
    "board while the monitor goes on.";

const Option kChangesOption{QStringLiteral("--changes"), QString(),
                            QStringLiteral("print a report only when it differs from the last one printed")};

} // namespace

int monitorStep(Invocation &inv)
{
    return monitor(inv.link(), inv.has(QStringLiteral("--changes")));
}

void addRunCommands(std::vector<Command> &table)
{
    table.push_back(Command{
        .name = QStringLiteral("run"),
        .arguments = QString(),
        .minArgs = 0,
        .maxArgs = 0,
        .options = {Option{QStringLiteral("--line"), QStringLiteral("N"),
                           QStringLiteral("start at line N (0 to 32767) instead of line 0")},
                    Option{QStringLiteral("--monitor"), QString(), QStringLiteral("then print the status reports")},
                    kChangesOption},
        .summary = QStringLiteral("run the board's program (or resume it when paused)"),
        .help = QStringLiteral("Sends the run command (R05) with line 0, as \"Run / Resume\" does: the board\n"
                               "starts its program at line 0, or resumes a paused one. With --line N it\n"
                               "starts at line N, as \"Run at line number\" does. With --monitor it then\n"
                               "prints the status reports like 'velm monitor'.\n\n") +
                QString::fromLatin1(kMonitorHelp),
        .usesBoard = true,
        .handler = runCommand,
        .check = checkRun,
    });
    table.push_back(Command{
        .name = QStringLiteral("pause"),
        .arguments = QString(),
        .minArgs = 0,
        .maxArgs = 0,
        .options = {},
        .summary = QStringLiteral("pause the board's program"),
        .help = QStringLiteral("Sends the pause command (R07). 'velm run' resumes the program."),
        .usesBoard = true,
        .handler = pauseCommand,
        .check = {},
    });
    table.push_back(Command{
        .name = QStringLiteral("stop"),
        .arguments = QString(),
        .minArgs = 0,
        .maxArgs = 0,
        .options = {},
        .summary = QStringLiteral("stop the board's program"),
        .help = QStringLiteral("Sends the stop command (R00)."),
        .usesBoard = true,
        .handler = stopCommand,
        .check = {},
    });
    table.push_back(Command{
        .name = QStringLiteral("monitor"),
        .arguments = QString(),
        .minArgs = 0,
        .maxArgs = 0,
        .options = {kChangesOption},
        .summary = QStringLiteral("print the running board's status reports"),
        .help = QStringLiteral("Reads the status reports the board sends while its program runs, without\n"
                               "sending anything.\n\n") +
                QString::fromLatin1(kMonitorHelp),
        .usesBoard = true,
        .handler = monitorCommand,
        .check = {},
    });
    table.push_back(Command{
        .name = QStringLiteral("go"),
        .arguments = QStringLiteral("SCRIPT"),
        .minArgs = 1,
        .maxArgs = 1,
        .options = {Option{QStringLiteral("--monitor"), QString(), QStringLiteral("then print the status reports")},
                    kChangesOption},
        .summary = QStringLiteral("compile a script and, without errors, download and run it"),
        .help = QStringLiteral("Compiles SCRIPT as 'velm compile' does (into the settings' temp hex file; the\n"
                               "errors and warnings on standard error, the report not printed). When the\n"
                               "report counts errors, or the compile failed, velm says so and exits 1 without\n"
                               "opening the port: nothing is sent. Otherwise it downloads the program as\n"
                               "'velm download' does, runs it from line 0 and, with --monitor, prints the\n"
                               "status reports like 'velm monitor'.\n\n") +
                QString::fromLatin1(kMonitorHelp),
        .usesBoard = false, // the port opens only after a clean compile
        .handler = goCommand,
        .check = {},
    });
}

} // namespace pvelm::cli
