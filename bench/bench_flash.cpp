// Flash transfer benchmark against the virtual board (not run by CTest).
//
// (a) A download of a --download-pages program (default 400) to
//     `velmsim --baud 115200` (a process of its own): wall time against the
//     time its characters need on the wire at that rate ("#", "!", "$" and
//     the 533-character line, the 64-character reply: 600 characters of 10
//     bits a page); target at most 1.02. --runs N downloads (default 3), the
//     median reported.
// (b) Console CPU during that download (the console thread; the board is
//     another process) as a share of wall time; target under 5 %.
// (c) Per-page time of a range save and of a file write at 57600 baud,
//     measured over --pages pages, and the time a full 2048-page save and
//     write take at that rate, computed from it.
//
// Usage: bench_flash [--pages N] [--download-pages N] [--runs N] [--velmsim PATH]

#include "benchclock.h"
#include "benchpages.h"
#include "flash/flashpages.h"
#include "flash/transfer.h"
#include "link/link.h"
#include "settings/settings.h"
#include "sim/virtualboard.h"

#include <cstdio>
#include <ctime>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

using namespace pvelm;

namespace {

struct Run
{
    double wallMs = 0;
    double cpuMs = 0;
    bool ok = false;
};

template <typename Fn> Run measure(Fn &&fn)
{
    QElapsedTimer wall;
    const qint64 cpu0 = threadCpuNs();
    wall.start();
    Run r;
    r.ok = fn();
    r.wallMs = double(wall.nsecsElapsed()) / 1e6;
    r.cpuMs = double(threadCpuNs() - cpu0) / 1e6;
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int pages = 128;
    int downloadPages = 400;
    int runs = 3;
    QString velmsim = QCoreApplication::applicationDirPath() + QStringLiteral("/../velmsim");
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); ++i) {
        const QString &next = args.at(i + 1);
        if (args[i] == QLatin1String("--pages"))
            pages = std::max(1, next.toInt()), ++i;
        else if (args[i] == QLatin1String("--download-pages"))
            downloadPages = std::max(1, next.toInt()), ++i;
        else if (args[i] == QLatin1String("--runs"))
            runs = std::max(1, next.toInt()), ++i;
        else if (args[i] == QLatin1String("--velmsim"))
            velmsim = next, ++i;
    }

    QTemporaryDir dir;
    qputenv("PVELM_ROOT", dir.path().toLocal8Bit());
    SettingsRecord settings;
    const double charsPerPage = 1 + 1 + 1 + flash::kPageLineLength + 64;

    // (a), (b): velmsim paced at 115200 baud.
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(velmsim, {QStringLiteral("--baud"), QStringLiteral("115200")});
    if (!sim.waitForReadyRead(5000) || !sim.canReadLine()) {
        std::fprintf(stderr, "bench_flash: %s did not start\n", qPrintable(velmsim));
        return 1;
    }
    const QString simDevice = QString::fromLocal8Bit(sim.readLine()).trimmed();
    bool downloadsOk = true;
    std::vector<double> wall;
    std::vector<double> cpu;
    {
        Link link;
        link.setSettings(&settings);
        link.setPortOverride(simDevice);
        link.opencomport();
        if (!link.isPortOpen()) {
            std::fprintf(stderr, "bench_flash: %s\n", qPrintable(link.portOpenError()));
            return 1;
        }
        const QStringList lines = benchPages(downloadPages);
        for (int r = 0; r < runs; ++r) {
            const Run download = measure([&] { return flash::writePageLines(link, lines).ok(); });
            downloadsOk = downloadsOk && download.ok;
            wall.push_back(download.wallMs);
            cpu.push_back(download.cpuMs);
        }
    }
    sim.terminate();
    sim.waitForFinished(5000);
    const double wireMs = downloadPages * charsPerPage * 10 / 115200.0 * 1000;
    std::printf("bench_flash: velmsim --baud 115200 on %s\n", qPrintable(simDevice));
    std::printf("download %d pages at 115200 baud, %d runs: %s, wall median %.1f ms (%.1f to %.1f), wire %.1f ms, "
                "ratio %.3f, console CPU %.1f ms = %.2f %% of wall\n",
                downloadPages, runs, downloadsOk ? "ok" : "FAILED", median(wall),
                *std::min_element(wall.begin(), wall.end()), *std::max_element(wall.begin(), wall.end()), wireMs,
                median(wall) / wireMs, median(cpu), 100 * median(cpu) / median(wall));

    // (c): the board in this process, paced at 57600 baud.
    sim::VirtualBoard board;
    QString why;
    if (!board.start(&why)) {
        std::fprintf(stderr, "bench_flash: %s\n", qPrintable(why));
        return 1;
    }
    Link link;
    link.setSettings(&settings);
    link.setPortOverride(board.devicePath());
    link.opencomport();
    if (!link.isPortOpen()) {
        std::fprintf(stderr, "bench_flash: %s\n", qPrintable(link.portOpenError()));
        return 1;
    }
    std::printf("bench_flash: virtual board on %s\n", qPrintable(board.devicePath()));
    board.setBaud(57600);
    const QString file = dir.filePath(QStringLiteral("save.fla"));
    const Run save = measure([&] { return flash::saveFlashRange(link, 0, pages - 1, file).ok(); });
    const Run write = measure([&] { return flash::writePageFile(link, file).ok(); });
    // A save moves "&", ":", "$" and the 64-character request, then 528
    // characters; a write moves 600 as above.
    const double savePage = save.wallMs / pages;
    const double writePage = write.wallMs / pages;
    std::printf(
        "at 57600 baud over %d pages: save %s %.1f ms a page (wire %.1f), write %s %.1f ms a page (wire %.1f)\n", pages,
        save.ok ? "ok" : "FAILED", savePage, (3 + 64 + 528) * 10 / 57.6, write.ok ? "ok" : "FAILED", writePage,
        charsPerPage * 10 / 57.6);
    std::printf("full flash of 2048 pages at 57600 baud: save %.0f s, write %.0f s\n", savePage * 2048 / 1000,
                writePage * 2048 / 1000);
    return downloadsOk && save.ok && write.ok ? 0 : 1;
}
