// velm run, velm pause, velm stop, velm monitor: the run controls and the
// status monitor of the main window, on the command line.

#include "cli/cli.h"
#include "link/link.h"
#include "run/runcontrol.h"

#include <csignal>
#include <fcntl.h>
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
        ::sigaction(SIGINT, &sa, &m_oldInt);
        ::sigaction(SIGTERM, &sa, &m_oldTerm);
    }
    ~InterruptEndsMonitor()
    {
        if (!m_notifier)
            return;
        ::sigaction(SIGINT, &m_oldInt, nullptr);
        ::sigaction(SIGTERM, &m_oldTerm, nullptr);
    }

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_oldInt = {};
    struct sigaction m_oldTerm = {};
};

// One line a script can split: key=value words, the notification last
// because its text holds blanks.
QString reportLine(const StatusReport &r, const QString &notification)
{
    return QStringLiteral("mode=%1 line=%2 position=%3 stack=%4 loop=%5 notification=%6")
        .arg(r.mode, r.currentLine, r.position, r.stack, r.loop, notification);
}

// Runs the monitor, printing each report. Exit status: 3 when the port was
// lost, whether or not reports were shown before; otherwise 0 when at least
// one report was shown, 1 when none came.
int monitor(Link &link)
{
    InterruptEndsMonitor interrupt(link);
    // What the window's notification label shows: a code without a text
    // leaves the last one standing.
    QString notification = QStringLiteral("None");
    link.monitoring = true;
    const int shown = runStatusMonitor(link, [&](const StatusReport &r) {
        if (!r.notification.isEmpty())
            notification = r.notification;
        printLine(reportLine(r, notification));
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
    return inv.has(QStringLiteral("--monitor")) ? monitor(inv.link()) : kExitSuccess;
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
    return monitor(inv.link());
}

const char kMonitorHelp[] = "Each status report is printed as one line:\n"
                            "  mode=Running line=4 position=16 stack=2 loop=3 notification=0 - No errors\n"
                            "mode is Running, Paused or Stopped; line is the current line; position, stack\n"
                            "and loop are the board's counters in decimal; notification is what the main\n"
                            "window's notification label shows (\"None\" until a report sets it; a code the\n"
                            "console does not know leaves the last one). Monitoring ends when no report\n"
                            "arrives for 6 seconds, or on Ctrl-C. Exit status 1 when no report arrived,\n"
                            "3 when the port was lost (even after reports were shown).";

} // namespace

void addRunCommands(std::vector<Command> &table)
{
    table.push_back(Command{
        .name = QStringLiteral("run"),
        .arguments = QString(),
        .minArgs = 0,
        .maxArgs = 0,
        .options = {Option{QStringLiteral("--line"), QStringLiteral("N"),
                           QStringLiteral("start at line N (0 to 32767) instead of line 0")},
                    Option{QStringLiteral("--monitor"), QString(), QStringLiteral("then print the status reports")}},
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
        .options = {},
        .summary = QStringLiteral("print the running board's status reports"),
        .help = QStringLiteral("Reads the status reports the board sends while its program runs, without\n"
                               "sending anything.\n\n") +
                QString::fromLatin1(kMonitorHelp),
        .usesBoard = true,
        .handler = monitorCommand,
        .check = {},
    });
}

} // namespace pvelm::cli
