// Start-up of the console on the virtual board: the time from starting the
// process to a main window that takes clicks, and the resident memory then.
//
// The parent starts this program again as a child ("--child"); the child does
// what `pvelm --simulate` does (QApplication, virtual board, main window,
// settings, port), shows the window, lets the event loop run once, and then
// reports its resident memory. The parent times the whole thing, process
// creation and library loading included.
//
//   bench_startup [RUNS]      (default 20; QT_QPA_PLATFORM picks the display)

#include "app/ui/velmcon.h"
#include "benchclock.h"
#include "sim/virtualboard.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

namespace {

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

int child(int argc, char **argv)
{
    QApplication app(argc, argv);
    pvelm::sim::VirtualBoard board;
    if (!board.start())
        return 1;
    pvelm::Velmcon window;
    window.link().setPortOverride(board.devicePath());
    if (!window.Form_Load())
        return 1;
    window.show();
    QTimer::singleShot(0, &app, [] {
        std::printf("ready %ld\n", residentKb());
        std::fflush(stdout);
        QCoreApplication::quit();
    });
    const int status = app.exec();
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--child") == 0)
        return child(argc, argv);

    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    QTemporaryDir root;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PVELM_ROOT"), root.path());
    if (env.value(QStringLiteral("QT_QPA_PLATFORM")).isEmpty() && env.value(QStringLiteral("DISPLAY")).isEmpty())
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QString platform = env.value(QStringLiteral("QT_QPA_PLATFORM"));
    if (platform.isEmpty())
        platform = QStringLiteral("xcb, display ") + env.value(QStringLiteral("DISPLAY"));

    std::vector<double> times;
    std::vector<double> rss;
    for (int i = 0; i < runs; ++i) {
        QProcess p;
        p.setProcessEnvironment(env);
        QElapsedTimer t;
        t.start();
        p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child")});
        if (!p.waitForStarted() || !p.waitForReadyRead(10000)) {
            std::fprintf(stderr, "child did not report\n");
            return 1;
        }
        const double ms = t.nsecsElapsed() / 1e6;
        const QByteArray line = p.readLine().trimmed();
        p.waitForFinished();
        if (!line.startsWith("ready ")) {
            std::fprintf(stderr, "unexpected child output: %s\n", line.constData());
            return 1;
        }
        times.push_back(ms);
        rss.push_back(line.mid(6).toDouble() / 1024.0);
    }
    std::printf("start-up to a usable main window (platform %s), %d runs:\n", qPrintable(platform), runs);
    std::printf("  median %.1f ms, min %.1f ms, max %.1f ms\n", median(times),
                *std::min_element(times.begin(), times.end()), *std::max_element(times.begin(), times.end()));
    std::printf("  resident memory median %.1f MB, max %.1f MB\n", median(rss),
                *std::max_element(rss.begin(), rss.end()));
    return 0;
}
