// Traffic log benchmark against the virtual board (not run by CTest).
//
// A 128-page download (flash::writePageLines, what "Write to Flash" runs)
// from the main window's link with no traffic ring at all ("off", what the
// console did before its ring recorded for the whole run), with the ring
// recording and the "Traffic Log" window closed, and with the window open,
// runs alternating so that drift on a shared machine hits all alike:
//
// (a) paced at 115200 baud: the download's wall time closed and open
//     against off; target a change under 2 % open, nothing measurable
//     closed (off runs differ from each other by as much as from closed);
// (b) no pacing: the console is then busy all the time, so its thread's CPU
//     a download shows the log's own cost per chunk.
//
// Usage: bench_traffic [--runs N]   (default 3 runs of each kind)

#include "app/ui/trafficlog.h"
#include "app/ui/velmcon.h"
#include "benchclock.h"
#include "benchpages.h"
#include "flash/flashpages.h"
#include "flash/transfer.h"
#include "link/traffic.h"
#include "sim/virtualboard.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

using namespace pvelm;

namespace {

struct Sample
{
    double wallMs = 0;
    double cpuMs = 0;
};

struct Series
{
    std::vector<double> wall;
    std::vector<double> cpu;
    void add(const Sample &s)
    {
        wall.push_back(s.wallMs);
        cpu.push_back(s.cpuMs);
    }
    double spread() const
    {
        const auto [lo, hi] = std::minmax_element(wall.begin(), wall.end());
        return wall.empty() ? 0 : 100 * (*hi - *lo) / median(wall);
    }
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int runs = 3;
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--runs"));
    if (at > 0 && at + 1 < args.size())
        runs = std::max(1, args.at(at + 1).toInt());

    QTemporaryDir dir;
    qputenv("PVELM_ROOT", dir.path().toLocal8Bit());
    sim::VirtualBoard board;
    QString why;
    if (!board.start(&why)) {
        std::fprintf(stderr, "bench_traffic: %s\n", qPrintable(why));
        return 1;
    }
    Velmcon velmcon;
    velmcon.link().setPortOverride(board.devicePath());
    if (!velmcon.Form_Load() || !velmcon.link().isPortOpen()) {
        std::fprintf(stderr, "bench_traffic: %s\n", qPrintable(velmcon.link().portOpenError()));
        return 1;
    }
    velmcon.show();
    QAction *menuItem = velmcon.findChild<QAction *>(QStringLiteral("trafficlogY"));
    const QStringList lines = benchPages(128);

    bool allOk = true;
    qint64 entries = 0;
    enum Kind { Off, Closed, Open };
    const auto download = [&](Kind kind) {
        velmcon.traffic().setRingEnabled(kind != Off);
        velmcon.traffic().ring().clear();
        Trafficlog *window = nullptr;
        if (kind == Open) {
            menuItem->trigger();
            window = velmcon.findChild<Trafficlog *>();
        }
        // The window's first layout and paint belong to opening it, not to
        // the download.
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 100)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QElapsedTimer wall;
        const qint64 cpu0 = threadCpuNs();
        wall.start();
        allOk = flash::writePageLines(velmcon.link(), lines).ok() && allOk;
        Sample s{double(wall.nsecsElapsed()) / 1e6, double(threadCpuNs() - cpu0) / 1e6};
        if (kind == Closed)
            entries = velmcon.traffic().ring().total();
        if (window) {
            // What is left on screen after the last page belongs to the run.
            window->refresh();
            s.cpuMs = double(threadCpuNs() - cpu0) / 1e6;
            entries = velmcon.traffic().ring().total();
            window->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        return s;
    };

    std::printf("bench_traffic: virtual board on %s, 128-page download, %d runs each\n", qPrintable(board.devicePath()),
                runs);
    for (const int baud : {115200, 0}) {
        board.setBaud(baud);
        Series off, closed, open;
        download(Off); // warm-up
        for (int i = 0; i < runs; ++i) {
            off.add(download(Off));
            closed.add(download(Closed));
            open.add(download(Open));
        }
        const double f = median(off.wall), c = median(closed.wall), o = median(open.wall);
        std::printf("%-10s off:    wall median %8.1f ms (spread %.2f %%), console CPU %7.1f ms\n",
                    baud ? "115200" : "no pacing", f, off.spread(), median(off.cpu));
        std::printf("%-10s closed: wall median %8.1f ms (spread %.2f %%), console CPU %7.1f ms; "
                    "wall closed/off %+.2f %%\n",
                    "", c, closed.spread(), median(closed.cpu), 100 * (c - f) / f);
        std::printf("%-10s open:   wall median %8.1f ms (spread %.2f %%), console CPU %7.1f ms; "
                    "wall open/off %+.2f %%\n",
                    "", o, open.spread(), median(open.cpu), 100 * (o - f) / f);
        const double perEntry = 1000.0 / double(std::max<qint64>(1, entries));
        std::printf("%-10s %lld entries a download: console CPU an entry %.1f us recording, %.1f us shown\n", "",
                    entries, perEntry * (median(closed.cpu) - median(off.cpu)),
                    perEntry * (median(open.cpu) - median(off.cpu)));
    }
    // The ring's own cost, away from the line's noise: one page line taken
    // 100000 times with the window closed (the ring at its default bound).
    {
        TrafficLog &log = velmcon.traffic();
        log.setRingEnabled(true);
        const QByteArray chunk = lines.first().toLatin1();
        constexpr int calls = 100000;
        const qint64 cpu0 = threadCpuNs();
        for (int i = 0; i < calls; ++i)
            log.linkTraffic(LinkObserver::Direction::Sent, "binsender", chunk);
        std::printf("ring alone: %.2f us of console CPU an entry (%d entries, %d kept)\n",
                    double(threadCpuNs() - cpu0) / 1e3 / calls, calls, log.ring().size());
    }
    std::printf("%s\n", allOk ? "every download ok" : "a download FAILED");
    board.stop();
    return allOk ? 0 : 1;
}
