#include "app/simulatedboard.h"
#include "app/ui/velmcon.h"
#include "settings/portchoice.h"

#include <csignal>
#include <cstdio>
#include <memory>

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStatusBar>

namespace {

void describeOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral("PVelm: desktop console for the Velm motion-controller board."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("simulate"),
                      QStringLiteral("Talk to a virtual board started in this process. It keeps its flash, memories, "
                                     "positions and outputs under $PVELM_ROOT from one run to the next.")});
    parser.addOption({QStringLiteral("fresh-board"), QStringLiteral("With --simulate: start that board clean.")});
    parser.addOption({QStringLiteral("port"),
                      QStringLiteral("Use serial port DEVICE for this run instead of the one in the settings: "
                                     "a device path, COMn, or socket://HOST:PORT for a network serial server."),
                      QStringLiteral("DEVICE")});
    parser.addOption({QStringLiteral("trace"),
                      QStringLiteral("Write every byte the link sends and receives to FILE for the whole run."),
                      QStringLiteral("FILE")});
}

void nameProgram()
{
    QCoreApplication::setApplicationName(QStringLiteral("pvelm"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.06"));
}

#if defined(Q_OS_LINUX)
// Without a display QApplication aborts with a long platform-plugin story;
// one line that says what to do instead is more use.
bool hasDisplay(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
        qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return true;
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "-platform") == 0 || qstrcmp(argv[i], "--platform") == 0)
            return true;
    }
    return false;
}
#endif

} // namespace

int main(int argc, char **argv)
{
    nameProgram();
    // Under a file-size limit a save fails with "File too large" and says
    // so, instead of the whole program being ended by SIGXFSZ.
    std::signal(SIGXFSZ, SIG_IGN);

#if defined(Q_OS_LINUX)
    if (!hasDisplay(argc, argv)) {
        // --help and --version need no display; anything else does.
        {
            QCoreApplication probe(argc, argv);
            QCommandLineParser parser;
            describeOptions(parser);
            parser.process(probe);
        }
        // Suggest the very command the operator typed, under Xvfb.
        QByteArray command = argv[0];
        for (int i = 1; i < argc; ++i)
            command += ' ' + QByteArray(argv[i]);
        if (argc == 1)
            command += " --simulate";
        std::fprintf(stderr,
                     "pvelm: no display (DISPLAY and WAYLAND_DISPLAY are not set); run it under Xvfb: "
                     "xvfb-run -a %s\n",
                     command.constData());
        return 1;
    }
#endif

    QApplication app(argc, argv);
    QCommandLineParser parser;
    describeOptions(parser);
    parser.process(app);

    pvelm::PortOptions options;
    if (parser.isSet(QStringLiteral("port")))
        options.port = parser.value(QStringLiteral("port"));
    options.simulate = parser.isSet(QStringLiteral("simulate"));
    options.freshBoard = parser.isSet(QStringLiteral("fresh-board"));
    if (parser.isSet(QStringLiteral("trace")))
        options.trace = parser.value(QStringLiteral("trace"));
    options.secondMs = pvelm::secondMsFromEnvironment();
    const pvelm::PortChoice choice = pvelm::choosePort(options);
    if (!choice.ok()) {
        std::fprintf(stderr, "pvelm: %s\n", qPrintable(choice.error));
        return 1;
    }
    if (!choice.warning.isEmpty())
        std::fprintf(stderr, "pvelm: warning: %s\n", qPrintable(choice.warning));

    // Declared before the window so that it outlives the link's port.
    std::unique_ptr<pvelm::SimulatedBoard> board;
    QString portOverride = choice.device;
    if (choice.startBoard) {
        board = std::make_unique<pvelm::SimulatedBoard>();
        QString error;
        if (!board->start(choice.freshBoard, &error)) {
            std::fprintf(stderr, "pvelm: %s\n", qPrintable(error));
            return 1;
        }
        portOverride = board->board().devicePath();
    }

    auto window = std::make_unique<pvelm::Velmcon>();
    window->link().setPortOverride(portOverride);
    window->setVirtualBoard(board ? &board->board() : nullptr);
    if (choice.secondMs > 0)
        window->link().setSecondMs(choice.secondMs);
    if (!choice.traceFile.isEmpty()) {
        QString error;
        if (!window->traffic().startTrace(choice.traceFile, &error)) {
            std::fprintf(stderr, "pvelm: cannot write the trace file %s: %s\n",
                         qPrintable(parser.value(QStringLiteral("trace"))), qPrintable(error));
            return 1;
        }
    }
    if (!window->Form_Load())
        return 1;
    // A newcomer on the virtual board finds a program to compile.
    if (board)
        window->installDemoProgram();
    if (board && !board->note().isEmpty()) {
        const QString shown = window->statusBar()->currentMessage();
        window->showNote(shown.isEmpty() ? board->note() : shown + QStringLiteral(". ") + board->note());
    }
    window->show();
    int status = app.exec();

    window.reset();
    QString error;
    if (board && !board->stopAndSave(&error)) {
        std::fprintf(stderr, "pvelm: %s\n", qPrintable(error));
        status = status ? status : 1;
    }
    return status;
}
