// velmsim: the virtual board on its own. Prints the device to open and runs
// until interrupted.

#include "settings/hostpaths.h"
#include "sim/executor.h"
#include "sim/virtualboard.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const int saved = errno;
    const char c = 1;
    [[maybe_unused]] auto n = ::write(g_signalPipe[1], &c, 1);
    errno = saved;
}

void printError(const QString &text)
{
    std::fprintf(stderr, "velmsim: %s\n", qPrintable(text));
}

// Points $PVELM_ROOT/dosdevices/comN at the device, replacing an old link.
bool makeComLink(const QString &link, const QString &device, QString *error)
{
    if (!QDir().mkpath(QFileInfo(link).absolutePath())) {
        *error = QStringLiteral("cannot create %1").arg(QFileInfo(link).absolutePath());
        return false;
    }
    const QByteArray linkPath = QFile::encodeName(link);
    if (::unlink(linkPath.constData()) != 0 && errno != ENOENT) {
        *error = QStringLiteral("cannot replace %1: %2").arg(link, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    if (::symlink(QFile::encodeName(device).constData(), linkPath.constData()) != 0) {
        *error = QStringLiteral("cannot create %1: %2").arg(link, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Under a file-size limit a save fails with "File too large" and says
    // so, instead of the whole program being ended by SIGXFSZ.
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication::setApplicationName(QStringLiteral("velmsim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Virtual Velm board on a pseudo-terminal. Prints the device path, then runs until "
                       "interrupted (Ctrl+C or SIGTERM)."));
    parser.addHelpOption();
    const QCommandLineOption comOption(QStringLiteral("com"),
                                       QStringLiteral("Create the link $PVELM_ROOT/dosdevices/comN to the device, so "
                                                      "that port N of the settings finds the board (1-9)."),
                                       QStringLiteral("N"));
    const QCommandLineOption baudOption(QStringLiteral("baud"),
                                        QStringLiteral("Pace the line to N baud, 10 bits a character (0: no pacing)."),
                                        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption faultOption(QStringLiteral("fault"),
                                         QStringLiteral("Show a fault: none, no-answer, wrong-answer, late-reply, "
                                                        "short-reply, garbage, hang-up."),
                                         QStringLiteral("NAME"), QStringLiteral("none"));
    const QCommandLineOption lateOption(QStringLiteral("late-ms"),
                                        QStringLiteral("Delay of replies under the late-reply fault, in ms."),
                                        QStringLiteral("N"), QStringLiteral("1500"));
    const QCommandLineOption pageMsOption(QStringLiteral("page-ms"),
                                          QStringLiteral("Time to program one flash page, in ms (0: at once)."),
                                          QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption silentOption(QStringLiteral("silent-from-page"),
                                          QStringLiteral("Stop answering anything once a line for page K or above "
                                                         "arrives (a board that dies during a download)."),
                                          QStringLiteral("K"), QStringLiteral("-1"));
    const QCommandLineOption stateOption(QStringLiteral("state"),
                                         QStringLiteral("Load the board's state from FILE at start if it exists, "
                                                        "save it there at exit."),
                                         QStringLiteral("FILE"));
    const QCommandLineOption inputOption(
        QStringLiteral("input"),
        QStringLiteral("Set input N (0-255) on or off at start, as the standard input's "
                       "'input N on|off' does; repeatable."),
        QStringLiteral("N=on|off"));
    const QCommandLineOption switchOption(
        QStringLiteral("switch"),
        QStringLiteral("Put the home or limit switch of axis x, y or z at a servo position (0-65535, or off) at "
                       "start, as the standard input's 'switch' does; repeatable."),
        QStringLiteral("AXIS:home|limit=POS"));
    const QCommandLineOption recordOption(QStringLiteral("record"),
                                          QStringLiteral("Write the servo positions and the program line to FILE "
                                                         "(CSV), one row every board tick of 10 ms."),
                                          QStringLiteral("FILE"));
    parser.addOptions({comOption, baudOption, faultOption, lateOption, pageMsOption, silentOption, stateOption,
                       inputOption, switchOption, recordOption});
    if (!parser.parse(QCoreApplication::arguments())) {
        printError(parser.errorText());
        return 2;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (!parser.positionalArguments().isEmpty()) {
        printError(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().constFirst()));
        return 2;
    }

    auto number = [&](const QCommandLineOption &option, int min, int max, int *value) {
        bool ok = false;
        *value = parser.value(option).toInt(&ok);
        if (ok && *value >= min && *value <= max)
            return true;
        printError(QStringLiteral("bad value for --%1: %2").arg(option.names().constFirst(), parser.value(option)));
        return false;
    };
    int com = 0;
    int baud = 0;
    int lateMs = 0;
    int pageMs = 0;
    int silentFrom = -1;
    if ((parser.isSet(comOption) && !number(comOption, 1, 9, &com)) || !number(baudOption, 0, 10000000, &baud) ||
        !number(lateOption, 0, 3600000, &lateMs) || !number(pageMsOption, 0, 60000, &pageMs) ||
        !number(silentOption, -1, 2047, &silentFrom))
        return 2;
    pvelm::sim::Fault fault = pvelm::sim::Fault::None;
    if (!pvelm::sim::parseFault(parser.value(faultOption), &fault)) {
        printError(QStringLiteral("unknown fault %1").arg(parser.value(faultOption)));
        return 2;
    }
    const QString statePath =
        parser.isSet(stateOption) ? pvelm::hostpaths::toHost(parser.value(stateOption)) : QString();
    const QString recordPath =
        parser.isSet(recordOption) ? pvelm::hostpaths::toHost(parser.value(recordOption)) : QString();

    // --input and --switch say what the standard-input commands say, and
    // are checked by the same code.
    QStringList startCommands;
    pvelm::sim::BoardState check;
    auto startCommand = [&](const QString &given, const QString &command, const QString &shape) {
        QString why = QStringLiteral("expected %1").arg(shape);
        if (command.isEmpty() || !pvelm::sim::applyBoardCommand(check, command, &why)) {
            printError(QStringLiteral("bad value %1: %2").arg(given, why));
            return false;
        }
        startCommands += command;
        return true;
    };
    for (const QString &value : parser.values(inputOption)) {
        const QStringList parts = value.split(QLatin1Char('='));
        const QString command = parts.size() == 2 ? QStringLiteral("input %1 %2").arg(parts[0], parts[1]) : QString();
        if (!startCommand(value, command, QStringLiteral("--input N=on|off")))
            return 2;
    }
    for (const QString &value : parser.values(switchOption)) {
        const qsizetype colon = value.indexOf(QLatin1Char(':'));
        const QStringList parts = value.mid(colon + 1).split(QLatin1Char('='));
        const QString command = colon > 0 && parts.size() == 2
                                    ? QStringLiteral("switch %1 %2 %3").arg(value.left(colon), parts[0], parts[1])
                                    : QString();
        if (!startCommand(value, command, QStringLiteral("--switch AXIS:home|limit=POS")))
            return 2;
    }

    // Signals only write to a pipe; the event loop quits when it is readable.
    if (::pipe(g_signalPipe) != 0) {
        printError(QStringLiteral("cannot create a pipe"));
        return 1;
    }
    for (int fd : g_signalPipe)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);

    pvelm::sim::VirtualBoard board;
    board.setBaud(baud);
    board.setFault(fault);
    board.setLateReplyMs(lateMs);
    board.setPageProgramMs(pageMs);
    board.setSilentFromPage(silentFrom);
    QString error;
    if (!statePath.isEmpty() && QFileInfo::exists(statePath) && !board.loadState(statePath, &error)) {
        printError(QStringLiteral("cannot load %1: %2").arg(statePath, error));
        return 1;
    }
    board.updateState([&](pvelm::sim::BoardState &s) {
        for (const QString &command : startCommands)
            pvelm::sim::applyBoardCommand(s, command, nullptr);
    });
    if (!recordPath.isEmpty() && !board.startRecording(recordPath, &error)) {
        printError(QStringLiteral("cannot record to %1: %2").arg(recordPath, error));
        return 1;
    }
    if (!board.start(&error)) {
        printError(QStringLiteral("cannot start the board: %1").arg(error));
        return 1;
    }

    QString link;
    if (com > 0) {
        link = pvelm::hostpaths::dosDeviceLink(com);
        if (!makeComLink(link, board.devicePath(), &error)) {
            printError(error);
            return 1;
        }
    }

    std::printf("%s\n", qPrintable(board.devicePath()));
    std::fflush(stdout);

    // A board that hung up (the hang-up fault) has no line left to serve.
    QTimer hangUpWatch;
    QObject::connect(&hangUpWatch, &QTimer::timeout, &app, [&board] {
        if (!board.isRunning()) {
            printError(QStringLiteral("the board hung up"));
            QCoreApplication::quit();
        }
    });
    hangUpWatch.start(200);

    // Inputs and switches, one command a line on standard input (see
    // docs/virtual-board.md); they take effect while the program runs.
    QSocketNotifier commands(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray typed;
    QObject::connect(&commands, &QSocketNotifier::activated, &app, [&] {
        char buf[512];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            commands.setEnabled(false); // end of input: the board runs on
            return;
        }
        typed.append(buf, n);
        for (qsizetype end; (end = typed.indexOf('\n')) >= 0; typed.remove(0, end + 1)) {
            const QString line = QString::fromLocal8Bit(typed.left(end)).trimmed();
            if (line.isEmpty())
                continue;
            bool done = false;
            board.updateState(
                [&](pvelm::sim::BoardState &s) { done = pvelm::sim::applyBoardCommand(s, line, &error); });
            if (!done)
                printError(error);
        }
    });

    int rc = app.exec();

    if (!board.stopRecording(&error)) {
        printError(QStringLiteral("cannot write %1: %2").arg(recordPath, error));
        rc = 1;
    }
    board.stop();
    // Only remove the link if it is still ours: another velmsim may have
    // taken the port over meanwhile.
    if (!link.isEmpty() && QFileInfo(link).symLinkTarget() == board.devicePath())
        QFile::remove(link);
    if (!statePath.isEmpty() && !board.saveState(statePath, &error)) {
        printError(QStringLiteral("cannot save %1: %2").arg(statePath, error));
        return 1;
    }
    return rc;
}
