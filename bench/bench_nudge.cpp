// Nudge benchmark against the virtual board over a pseudo-terminal (not run
// by CTest).
//
// A nudge "held" for --seconds (default 2) with the position manager's loop:
// how many nudges a second go out (the exchange is the only pacing; target at
// least 200), the console thread's CPU per nudge, and what the release costs:
// the time from the release to the loop's return and the number of exchanges
// that started after it (target: none, the one in flight ends the loop).
// Runs without pacing and at --baud (default 57600).
//
// Usage: bench_nudge [--seconds S] [--baud N]

#include "benchclock.h"
#include "editors/exchanges.h"
#include "link/link.h"
#include "settings/settings.h"
#include "sim/virtualboard.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>

using namespace pvelm;
using namespace pvelm::editors;

namespace {

struct Held
{
    int nudges = 0;
    int failed = 0;
    int startedAfterRelease = 0;
    double wallMs = 0;
    double cpuMs = 0;
    double releaseMs = 0; // release to the loop's return
};

Held holdFor(Link &link, double seconds)
{
    NudgeLoop loop(link);
    Held h;
    qint64 releasedAt = 0;
    QTimer::singleShot(int(seconds * 1000), [&] {
        releasedAt = nowNs();
        loop.release(NudgeFamily::PosUp);
    });
    const qint64 wall0 = nowNs();
    const qint64 cpu0 = threadCpuNs();
    loop.run(
        NudgeFamily::PosUp, 0,
        [&](const QString &) {
            if (releasedAt)
                ++h.startedAfterRelease;
        },
        [&](const NudgeLoop::Step &step) {
            ++h.nudges;
            if (!step.reply)
                ++h.failed;
        });
    const qint64 end = nowNs();
    h.cpuMs = double(threadCpuNs() - cpu0) / 1e6;
    h.wallMs = double(end - wall0) / 1e6;
    h.releaseMs = releasedAt ? double(end - releasedAt) / 1e6 : -1;
    return h;
}

void report(const char *label, const Held &h)
{
    std::printf("%-12s %6d nudges in %8.1f ms = %6.0f a second, failed %d; console CPU %.3f ms a nudge (%.1f %% of "
                "wall); release to return %.2f ms, exchanges started after the release %d\n",
                label, h.nudges, h.wallMs, h.nudges * 1000.0 / h.wallMs, h.failed, h.cpuMs / h.nudges,
                100.0 * h.cpuMs / h.wallMs, h.releaseMs, h.startedAfterRelease);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    double seconds = 2;
    int baud = 57600;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--seconds"))
            seconds = args[i + 1].toDouble();
        else if (args[i] == QLatin1String("--baud"))
            baud = args[i + 1].toInt();
    }

    QTemporaryDir root;
    qputenv("PVELM_ROOT", root.path().toLocal8Bit());
    sim::VirtualBoard board;
    QString why;
    if (!board.start(&why)) {
        std::fprintf(stderr, "bench_nudge: cannot start the virtual board: %s\n", qPrintable(why));
        return 1;
    }
    SettingsRecord settings;
    Link link;
    link.setSettings(&settings);
    link.setPortOverride(board.devicePath());
    link.opencomport();
    if (!link.isPortOpen()) {
        std::fprintf(stderr, "bench_nudge: cannot open %s\n", qPrintable(board.devicePath()));
        return 1;
    }
    std::printf("bench_nudge: virtual board on %s, nudge held %.1f s\n", qPrintable(board.devicePath()), seconds);
    report("no pacing", holdFor(link, seconds));
    board.setBaud(baud);
    report(qPrintable(QStringLiteral("%1 baud").arg(baud)), holdFor(link, seconds));
    return 0;
}
