#include "cli/cli.h"

#include <csignal>

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    // The link's waits run a nested event loop, so an application object must
    // exist; velm itself never enters the main loop.
    QCoreApplication app(argc, argv);
    // Under a file-size limit a save fails with "File too large" and says
    // so, instead of the whole program being ended by SIGXFSZ.
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication::setApplicationName(QStringLiteral("velm"));
    return pvelm::cli::run(app.arguments().mid(1));
}
