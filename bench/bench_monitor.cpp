// Status monitor benchmark (not run by CTest): the main window, offscreen,
// monitoring reports at 10 ms, the fastest rate the virtual board allows.
//
// (a) Latency: a stand-in board on a pseudo-terminal writes one report every
//     10 ms and notes when its last character went onto the line; the window
//     notes when its current-line label is painted with the report's line.
//     Median and worst over the run; target under 5 ms.
// (b) CPU of the console's thread (the window's thread alone: the virtual
//     board's thread is left out) while it monitors the virtual board running
//     a program at 10 ms reports, as a share of wall time; target under 2 %.
//
// Usage: QT_QPA_PLATFORM=offscreen bench_monitor [--seconds N]

#include "app/ui/velmcon.h"
#include "benchclock.h"
#include "run/runcontrol.h"
#include "sim/virtualboard.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <stdlib.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

using namespace pvelm;

namespace {

std::mutex g_mutex;
std::map<int, qint64> g_written; // line shown -> when its report was on the line
std::map<int, qint64> g_shown;   // line shown -> when the label took it
QLabel *g_currentline = nullptr;

// Notes when the label is painted with a new line: that is when it shows.
class PaintWatch : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == g_currentline && event->type() == QEvent::Paint) {
            std::lock_guard lock(g_mutex);
            g_shown.emplace(g_currentline->text().toInt(), nowNs());
        }
        return false;
    }
};

// Clicks a button once the event loop runs; the click returns when the
// monitor ends, so everything after it is driven by timers.
void clickLater(Velmcon &w, const char *name, int ms)
{
    QTimer::singleShot(ms, &w, [&w, name] { w.findChild<QPushButton *>(QLatin1String(name))->click(); });
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    int seconds = 10;
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--seconds"))
        seconds = std::max(1, args[2].toInt());
    QTemporaryDir root;
    qputenv("PVELM_ROOT", root.path().toLocal8Bit());

    // (a) A stand-in board: one report every 10 ms, the line as a counter.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ::grantpt(master);
    ::unlockpt(master);
    const QString device = QString::fromLocal8Bit(::ptsname(master));
    const int holder = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    termios tio{};
    ::tcgetattr(holder, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(holder, TCSANOW, &tio);
    {
        Velmcon w;
        w.link().setPortOverride(device);
        w.Form_Load();
        g_currentline = w.findChild<QLabel *>(QStringLiteral("currentline"));
        PaintWatch watch;
        g_currentline->installEventFilter(&watch);
        w.show();
        std::atomic<bool> done{false};
        std::thread writer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            for (int line = 1; !done; ++line) {
                const QByteArray report = QStringLiteral("AB000100000000100000%1")
                                              .arg(line + 1, 4, 16, QLatin1Char('0'))
                                              .toUpper()
                                              .toLatin1();
                [[maybe_unused]] auto n = ::write(master, report.constData(), size_t(report.size()));
                {
                    std::lock_guard lock(g_mutex);
                    g_written.emplace(line, nowNs());
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
        QTimer::singleShot(300 + seconds * 1000, &w, [&] { w.link().monitoring = false; });
        clickLater(w, "Monitor", 0);
        QTimer::singleShot(600 + seconds * 1000, &app, &QCoreApplication::quit);
        app.exec();
        done = true;
        writer.join();

        g_currentline = nullptr;
    }
    std::vector<double> latencyMs;
    int missed = 0;
    // Only reports written while the monitor surely ran count.
    const qint64 first = g_written.begin()->second + 100000000;
    const qint64 last = g_written.begin()->second + qint64(seconds) * 1000000000 - 100000000;
    for (const auto &[line, written] : g_written) {
        if (written < first || written > last)
            continue;
        const auto shown = g_shown.find(line);
        if (shown == g_shown.end())
            ++missed;
        else
            latencyMs.push_back(double(shown->second - written) / 1e6);
    }
    std::printf("(a) %zu reports shown, %d not shown (written every 10 ms for %d s)\n", latencyMs.size(), missed,
                seconds);
    std::printf("    last character on the line -> label shown: median %.3f ms, 95%% %.3f ms, worst %.3f ms\n",
                percentile(latencyMs, 0.5), percentile(latencyMs, 0.95), percentile(latencyMs, 1.0));

    // (b) The virtual board running GOTO 0 forever, reporting every 10 ms.
    sim::VirtualBoard board;
    board.updateState([](sim::BoardState &s) {
        s.flash.replace(0, 4, QByteArray::fromHex("0AFF0000"));
        s.params[7] = 1;
    });
    board.start();
    QString mode;
    qint64 cpu = 0, wall = 0;
    {
        Velmcon w;
        w.link().setPortOverride(board.devicePath());
        w.Form_Load();
        w.show();
        clickLater(w, "Run", 0);
        qint64 cpu0 = 0, wall0 = 0;
        QTimer::singleShot(500, &w, [&] { cpu0 = threadCpuNs(), wall0 = nowNs(); });
        QTimer::singleShot(500 + seconds * 1000, &w, [&] {
            cpu = threadCpuNs() - cpu0, wall = nowNs() - wall0;
            w.link().monitoring = false;
        });
        QTimer::singleShot(800 + seconds * 1000, &app, &QCoreApplication::quit);
        app.exec();
        mode = w.findChild<QLabel *>(QStringLiteral("Runstop"))->text();
    }
    std::printf("(b) console thread CPU while monitoring the virtual board at 10 ms: %.2f %% of a core over %.1f s"
                " (mode shown: %s)\n",
                100.0 * double(cpu) / double(std::max<qint64>(1, wall)), double(wall) / 1e9, qPrintable(mode));
    ::close(holder);
    ::close(master);
    return 0;
}
