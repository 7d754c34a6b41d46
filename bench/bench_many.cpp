// Many boards at once (not run by CTest): four `velmsim --baud 115200`
// processes, a --download-pages program (default 400) downloaded with velm
// to one of them, then to all four in one velm run. Reports the wall time of
// each and their ratio; target at most 1.3. --runs N of each (default 1), the
// median reported.
//
// Usage: bench_many [--download-pages N] [--runs N] [--boards N] [--bin DIR]

#include "benchclock.h"
#include "benchpages.h"

#include <cstdio>
#include <memory>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

// Runs velm with the arguments; its wall time in ms, or -1 when it failed.
double timeVelm(const QString &velm, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer wall;
    wall.start();
    p.start(velm, args);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "bench_many: velm %s failed:\n%s\n", qPrintable(args.join(' ')),
                     p.readAllStandardOutput().constData());
        return -1;
    }
    return double(wall.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int downloadPages = 400;
    int runs = 1;
    int boardCount = 4;
    QString bin = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); ++i) {
        const QString &next = args.at(i + 1);
        if (args[i] == QLatin1String("--download-pages"))
            downloadPages = std::max(1, next.toInt()), ++i;
        else if (args[i] == QLatin1String("--runs"))
            runs = std::max(1, next.toInt()), ++i;
        else if (args[i] == QLatin1String("--boards"))
            boardCount = std::max(2, next.toInt()), ++i;
        else if (args[i] == QLatin1String("--bin"))
            bin = next, ++i;
    }

    QTemporaryDir dir;
    qputenv("PVELM_ROOT", dir.path().toLocal8Bit());
    const QString hexFile = dir.filePath(QStringLiteral("program.tmp"));
    {
        QFile f(hexFile);
        if (!f.open(QIODevice::WriteOnly) ||
            f.write(benchPages(downloadPages).join(QStringLiteral("\r\n")).toLatin1() + "\r\n") <= 0) {
            std::fprintf(stderr, "bench_many: cannot write %s\n", qPrintable(hexFile));
            return 1;
        }
    }

    std::vector<std::unique_ptr<QProcess>> sims;
    QStringList devices;
    for (int b = 0; b < boardCount; ++b) {
        auto sim = std::make_unique<QProcess>();
        sim->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        sim->start(bin + QStringLiteral("/velmsim"), {QStringLiteral("--baud"), QStringLiteral("115200")});
        if (!sim->waitForReadyRead(5000) || !sim->canReadLine()) {
            std::fprintf(stderr, "bench_many: velmsim did not start\n");
            return 1;
        }
        devices << QString::fromLocal8Bit(sim->readLine()).trimmed();
        sims.push_back(std::move(sim));
    }

    const QString velm = bin + QStringLiteral("/velm");
    QStringList all;
    for (const QString &d : devices)
        all << QStringLiteral("--port") << d;
    std::vector<double> one;
    std::vector<double> many;
    bool ok = true;
    for (int r = 0; r < runs; ++r) {
        one.push_back(timeVelm(velm, {QStringLiteral("--port"), devices.first(), QStringLiteral("download"), hexFile}));
        many.push_back(timeVelm(velm, all + QStringList{QStringLiteral("download"), hexFile}));
        ok = ok && one.back() > 0 && many.back() > 0;
    }
    for (auto &sim : sims) {
        sim->terminate();
        sim->waitForFinished(5000);
    }
    std::printf("download %d pages at 115200 baud, %d runs: one board %.1f s, %d boards at once %.1f s, ratio %.3f "
                "(target at most 1.3)%s\n",
                downloadPages, runs, median(one) / 1000, boardCount, median(many) / 1000, median(many) / median(one),
                ok ? "" : ", FAILED");
    return ok ? 0 : 1;
}
