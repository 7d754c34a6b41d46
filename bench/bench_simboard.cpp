// "Virtual Board" window benchmark (not run by CTest).
//
// The window open on a board whose servos all move, its plot ring full
// (30 s of samples), measured frame by frame:
//
// (a) the snapshot: the time the window holds the board's lock to copy it;
// (b) one frame of the window: the snapshot, every control set from it and
//     what changed repainted (the plot with 8 lines of 900 points, eight
//     gauges, one lamp);
// (c) the plot alone repainted.
//
// Usage: bench_simboard [--frames N]   (default 300 frames of each)

#include "benchclock.h"
#include "sim/ui/motionplot.h"
#include "sim/ui/simboard.h"
#include "sim/virtualboard.h"

#include <cmath>
#include <cstdio>

#include <QApplication>
#include <QTemporaryDir>

using namespace pvelm;

namespace {

void report(const char *what, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    const double p95 = ms[ms.size() * 95 / 100];
    std::printf("%-28s median %7.3f ms  p95 %7.3f ms  max %7.3f ms  (%.1f %% of a %d ms frame)\n", what, median(ms),
                p95, ms.back(), 100 * median(ms) / Simboard::FrameMs, Simboard::FrameMs);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int frames = 300;
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--frames"));
    if (at > 0 && at + 1 < args.size())
        frames = std::max(20, args.at(at + 1).toInt());

    QTemporaryDir dir;
    qputenv("PVELM_ROOT", dir.path().toLocal8Bit());
    sim::VirtualBoard board;
    QString why;
    if (!board.start(&why)) {
        std::fprintf(stderr, "bench_simboard: %s\n", qPrintable(why));
        return 1;
    }
    Simboard window(board, nullptr);
    window.resize(1200, 900);
    window.show();
    MotionPlot *plot = window.plot();

    // A full ring of swinging servos, as after 30 s of a busy program.
    plot->clear();
    for (int i = 0; i < MotionPlot::Capacity; ++i) {
        MotionPlot::Sample s;
        s.timeMs = i * Simboard::FrameMs;
        for (int servo = 0; servo < MotionPlot::ServoCount; ++servo)
            s.positions[servo] = quint16(32768 + 30000 * std::sin(i / 40.0 + servo));
        s.line = i % 50;
        plot->add(s);
    }
    QCoreApplication::processEvents();

    std::vector<double> snapshot, frame, frameCpu, plotOnly;
    for (int i = 0; i < frames; ++i) {
        // The servos move a little every frame, so every control changes.
        board.updateState([i](sim::BoardState &s) {
            for (auto &p : s.positions)
                p = quint16(32768 + 1000 * (i % 20));
            s.outputs.flip(i % 256);
        });
        double t = nowMs();
        const sim::BoardSnapshot copy = board.snapshot();
        snapshot.push_back(nowMs() - t);
        Q_UNUSED(copy);

        // What the frame timer does: read and set, then paint what changed.
        t = nowMs();
        const qint64 cpu = threadCpuNs();
        window.refresh();
        QCoreApplication::sendPostedEvents(&window, QEvent::UpdateRequest);
        frame.push_back(nowMs() - t);
        frameCpu.push_back(double(threadCpuNs() - cpu) / 1e6);

        t = nowMs();
        plot->repaint();
        plotOnly.push_back(nowMs() - t);
    }
    std::printf("bench_simboard: window %dx%d, plot %dx%d, %d samples a servo, %d frames\n", window.width(),
                window.height(), plot->width(), plot->height(), plot->count(), frames);
    report("snapshot (board locked)", snapshot);
    report("window frame, wall", frame);
    report("window frame, thread CPU", frameCpu);
    report("plot repaint", plotOnly);
    board.stop();
    return 0;
}
