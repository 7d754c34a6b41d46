// Workbench benchmark (not run by CTest): the whole console, offscreen, on
// the virtual board reporting every 10 ms (its fastest rate).
//
// (a) F5 to the first status report: "Run" in a freshly opened script
//     editor on the demo program compiles it, downloads it and runs it; the
//     time runs from the key to the first report the editor shows.
// (b) The longest frame while the monitor runs: a 5 ms timer types one
//     character into the script each tick, as an operator fixing the next
//     line would; the longest gap between two ticks is the longest time the
//     editor did not answer.
//
// Usage: QT_QPA_PLATFORM=offscreen bench_workbench [RUNS] [--seconds N]

#include "app/ui/velmcon.h"
#include "benchclock.h"
#include "compiler/demoprogram.h"
#include "compiler/runningline.h"
#include "compiler/ui/filegobbler.h"
#include "compiler/ui/scripteditor.h"
#include "settings/settings.h"
#include "sim/virtualboard.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

using namespace pvelm;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    int runs = 5;
    int seconds = 3;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--seconds") && i + 1 < args.size())
            seconds = std::max(1, args[++i].toInt());
        else
            runs = std::max(1, args[i].toInt());
    }
    QTemporaryDir root;
    qputenv("PVELM_ROOT", root.path().toLocal8Bit());

    sim::VirtualBoard board;
    if (!board.start()) {
        std::fprintf(stderr, "the virtual board did not start\n");
        return 1;
    }
    board.updateState([](sim::BoardState &s) { s.params[7] = 1; }); // a report every 10 ms
    Velmcon main;
    main.link().setPortOverride(board.devicePath());
    if (!main.Form_Load())
        return 1;
    main.installDemoProgram();
    main.filegobblery_Click();
    filegobbler &converter = *main.findChild<filegobbler *>();

    std::vector<double> toReport, longestFrame, gaps;
    double cpuShare = 0;
    for (int run = 0; run < runs; ++run) {
        // A fresh editor knows of no download: F5 compiles, downloads, runs.
        converter.editscript_Click();
        ScriptEditor *editor = converter.scriptEditor();
        editor->show();
        QAction *runAction = editor->findChild<QAction *>(QStringLiteral("Run"));
        QAction *stopAction = editor->findChild<QAction *>(QStringLiteral("Stop"));

        double pressed = 0, firstReport = 0, lastTick = 0, longest = 0;
        const auto report = QObject::connect(&compiler::RunningLine::instance(), &compiler::RunningLine::lineReported,
                                             editor, [&](qint64) {
                                                 if (firstReport == 0)
                                                     firstReport = nowMs();
                                             });
        QTimer typing;
        QObject::connect(&typing, &QTimer::timeout, editor, [&] {
            const double now = nowMs();
            if (lastTick > 0) {
                longest = std::max(longest, now - lastTick);
                gaps.push_back(now - lastTick);
            }
            lastTick = now;
            editor->text()->insertPlainText(QStringLiteral("x"));
        });
        QTimer::singleShot(0, editor, [&] {
            // Typing starts once the board reports; Stop after `seconds`.
            QTimer *waitForReport = new QTimer(editor);
            QObject::connect(waitForReport, &QTimer::timeout, editor, [&, waitForReport] {
                if (firstReport == 0)
                    return;
                waitForReport->deleteLater();
                typing.start(5);
                QTimer::singleShot(seconds * 1000, editor, [&] {
                    typing.stop();
                    stopAction->trigger();
                });
            });
            waitForReport->start(1);
        });
        pressed = nowMs();
        const qint64 cpuBefore = threadCpuNs();
        runAction->trigger(); // returns when the monitor ends
        cpuShare += double(threadCpuNs() - cpuBefore) / 1e6 / (nowMs() - pressed) / runs;
        QObject::disconnect(report);
        toReport.push_back(firstReport - pressed);
        longestFrame.push_back(longest);
        std::printf("run %d: F5 to first report %.1f ms, longest frame while monitoring %.1f ms\n", run + 1,
                    firstReport - pressed, longest);
        // Throw the typing away and close, for a fresh editor next run.
        editor->text()->document()->setModified(false);
        editor->close();
        QCoreApplication::processEvents();
    }
    std::printf("F5 to first status report, %d runs: median %.1f ms, max %.1f ms\n", runs, median(toReport),
                *std::max_element(toReport.begin(), toReport.end()));
    std::printf("longest frame while the monitor runs at 10 ms reports: median %.1f ms, max %.1f ms\n",
                median(longestFrame), *std::max_element(longestFrame.begin(), longestFrame.end()));
    std::sort(gaps.begin(), gaps.end());
    std::printf("typing ticks (5 ms timer): %zu, median gap %.1f ms, 99th percentile %.1f ms; console thread CPU "
                "%.1f %% of wall\n",
                gaps.size(), median(gaps), gaps.empty() ? 0.0 : gaps[size_t(double(gaps.size() - 1) * 0.99)],
                cpuShare * 100);
    return 0;
}
