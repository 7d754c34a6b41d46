// Compiler benchmark (not run by CTest): a script at the board's limits,
// compiled as "Read Velm File" does, work files included.
//
// The script fills every line 0 to 32767 with an element, defines 1000
// labels spread over the program and jumps to each from before and after its
// definition (GOTO, GOSUB and IFINPUT), and ends with ADDRESS blocks that
// revisit pages already written, so the merge has overlays to fold.
//
// Usage: bench_compiler [RUNS]   (default 21)
// Prints the median, minimum and maximum time of a whole compile and the
// process's peak resident memory.

#include "compiler/compiler.h"

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

namespace {

QByteArray statement(int line, int label)
{
    const QByteArray n = QByteArray::number(line % 4000);
    const QByteArray before = "L" + QByteArray::number((label + 999) % 1000); // mostly defined already
    const QByteArray after = "L" + QByteArray::number((label + 1) % 1000);    // defined further down
    switch (line % 12) {
    case 0:
        return "S" + QByteArray::number(line % 8 + 1) + " = " + n + "   / servo";
    case 1:
        return "MOVE " + n + " RATE=" + QByteArray::number(line % 700);
    case 2:
        return "GOTO " + after;
    case 3:
        return "POSITION S1=" + n + " S3=" + QByteArray::number(line % 3000) + " S8=17";
    case 4:
        return "GOSUB " + before;
    case 5:
        return "IFINPUT 3 = 1 GOTO " + after;
    case 6:
        return "WAIT " + n;
    case 7:
        return "DSR2 + 5";
    case 8:
        return "IFINPUT 2 GOSUB " + before;
    case 9:
        return "MARKER STEP" + n;
    case 10:
        return "OUTPUT 4 ON";
    default:
        return "MOVE " + n + " TABLE=3";
    }
}

QByteArray limitScript(int *elements)
{
    QByteArray s = "/ generated: every line of flash, 1000 labels, revisited pages\r\n";
    int label = 0;
    int count = 0;
    for (int line = 0; line < 32768; ++line) {
        // A label every 32 lines for the first 1000 blocks of 32.
        if (line % 32 == 5 && label < 1000)
            s += "L" + QByteArray::number(label++) + "\r\n";
        s += statement(line, label) + "\r\n";
        ++count;
    }
    // Patches into pages already written, several into the same page.
    for (int block = 0; block < 400; ++block) {
        const int at = (block * 397) % 32760;
        s += "ADDRESS " + QByteArray::number(at) + "\r\n";
        for (int k = 0; k < 4; ++k) {
            s += statement(at + k, block % 1000) + "\r\n";
            ++count;
        }
    }
    *elements = count;
    return s;
}

double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 21;

    QTemporaryDir root;
    qputenv("PVELM_ROOT", root.path().toLocal8Bit());
    QDir().mkpath(root.path() + QStringLiteral("/drive_c/Corvane"));
    int elements = 0;
    const QByteArray script = limitScript(&elements);
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
