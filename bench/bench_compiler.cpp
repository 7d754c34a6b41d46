// Compiler benchmark (not run by CTest): a script at the board's limits,
// compiled as "Read Velm File" does, work files included.
//
// The script fills every line 0 to 32767 with an element, defines 1000
// labels spread over the program and jumps to each from before and after its
// definition (GOTO, GOSUB and IFINPUT), and ends with ADDRESS blocks that
// revisit pages already written, so the merge has overlays to fold.
//
// The script comes from generatedscripts.h beside this file.
//
// Usage: bench_compiler [RUNS]   (default 21)
// Prints the median, minimum and maximum time of a whole compile and the
// process's peak resident memory.

#include "benchclock.h"
#include "compiler/compiler.h"
#include "generatedscripts.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace pvelm::compiler;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 21;

    QTemporaryDir root;
    qputenv("PVELM_ROOT", root.path().toLocal8Bit());
    QDir().mkpath(root.path() + QStringLiteral("/drive_c/Corvane"));
    int elements = 0;
    const QByteArray script = benchscripts::limitScript(&elements);
    {
        QFile f(root.path() + QStringLiteral("/drive_c/Corvane/velm.txt"));
        if (!f.open(QIODevice::WriteOnly) || f.write(script) != script.size()) {
            std::fprintf(stderr, "bench_compiler: cannot write the script\n");
            return 1;
        }
    }

    PassPaths paths;
    paths.source = QStringLiteral("c:\\Corvane\\velm.txt");
    paths.list = QStringLiteral("c:\\Corvane\\list.txt");
    std::vector<double> times;
    Compiler compiler;
    compiler.setPathProvider([paths] { return paths; });
    for (int i = 0; i < runs; ++i) {
        const double start = nowMs();
        const bool ok = compiler.compile();
        times.push_back(nowMs() - start);
        if (!ok || compiler.counters().errorbumper != 0) {
            std::fprintf(stderr, "bench_compiler: the compile failed or reported errors\n");
            return 1;
        }
    }
    std::sort(times.begin(), times.end());
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);

    const QByteArray hex = [&] {
        QFile f(root.path() + QStringLiteral("/drive_c/Corvane/flash.tmp"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    const QByteArray premerged = [&] {
        QFile f(root.path() + QStringLiteral("/drive_c/Corvane/premerged.tmp"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    std::printf("script: %lld bytes, %d elements, %d labels; premerged %lld page lines, temp hex %lld pages\n",
                static_cast<long long>(script.size()), elements, 1000, static_cast<long long>(premerged.count('\n')),
                static_cast<long long>(hex.count('\n')));
    std::printf("compile (2 passes + merge, files written), %d runs:\n", runs);
    std::printf("  median %.1f ms, min %.1f ms, max %.1f ms\n", times[times.size() / 2], times.front(), times.back());
    std::printf("  peak resident memory %.1f MB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
