#include "cli/cli.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    // The link's waits run a nested event loop, so an application object must
    // exist; velm itself never enters the main loop.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velm"));
    return pvelm::cli::run(app.arguments().mid(1));
}
