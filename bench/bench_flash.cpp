// Flash transfer benchmark against the virtual board (not run by CTest).
//
// (a) A download of a 128-page program to the board paced at 115200 baud:
//     wall time against the time its characters need on the wire at that
//     rate ("#", "!", "$" and the 533-character line, the 64-character
//     reply: 600 characters of 10 bits a page); target at most 1.05.
// (b) Console CPU during that download (the console thread; the board runs
//     on its own thread) as a share of wall time; target under 5 %.
// (c) Per-page time of a range save and of a file write at 57600 baud,
//     measured over --pages pages, and the time a full 2048-page save and
//     write take at that rate, computed from it.
//
// Usage: bench_flash [--pages N]

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
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--pages"));
    if (at > 0 && at + 1 < args.size())
        pages = std::max(1, args.at(at + 1).toInt());

    QTemporaryDir dir;
    qputenv("PVELM_ROOT", dir.path().toLocal8Bit());
    SettingsRecord settings;
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
    const QStringList lines = benchPages(128);
    const double charsPerPage = 1 + 1 + 1 + flash::kPageLineLength + 64;

    board.setBaud(115200);
    const Run download = measure([&] { return flash::writePageLines(link, lines).ok(); });
    const double wireMs = 128 * charsPerPage * 10 / 115200.0 * 1000;
    std::printf("bench_flash: virtual board on %s\n", qPrintable(board.devicePath()));
    std::printf("download 128 pages at 115200 baud: %s, wall %.1f ms, wire %.1f ms, ratio %.3f, "
                "console CPU %.1f ms = %.2f %% of wall\n",
                download.ok ? "ok" : "FAILED", download.wallMs, wireMs, download.wallMs / wireMs, download.cpuMs,
                100 * download.cpuMs / download.wallMs);

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
    return download.ok && save.ok && write.ok ? 0 : 1;
}
