// Script editor benchmark (not run by CTest): open a 32768-line script in
// the editor window and colour every line, as "Edit Script" does.
//
// The script is the first 32768 lines of the compiler benchmark's script
// (every kind of statement, labels, jumps, ADDRESS blocks, comments). The
// time runs from making the window to the window shown with its last line
// coloured; every line is coloured before the window appears.
//
// Usage: bench_editor [RUNS]   (default 11)
// Prints the median, minimum and maximum time.

#include "benchclock.h"
#include "compiler/compiler.h"
#include "compiler/ui/scripteditor.h"
#include "generatedscripts.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTextBlock>

using namespace pvelm;

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 11;

    QTemporaryDir root;
    const QString path = root.filePath(QStringLiteral("velm.txt"));
    QByteArray script = benchscripts::limitScript();
    qsizetype end = 0;
    for (int line = 0; line < 32768 && end >= 0; ++line) {
        end = script.indexOf('\n', end);
        if (end >= 0)
            ++end;
    }
    script.truncate(end);
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(script) != script.size()) {
            std::fprintf(stderr, "bench_editor: cannot write the script\n");
            return 1;
        }
    }

    compiler::Compiler compiler;
    std::vector<double> times;
    int lines = 0;
    for (int i = 0; i < runs; ++i) {
        ScriptEditor::Converter converter;
        converter.compiler = &compiler;
        converter.compile = [] {};
        converter.sourcePath = [path] { return path; };
        const double start = nowMs();
        auto *editor = new ScriptEditor(path, converter, nullptr);
        editor->show();
        QCoreApplication::processEvents();
        const QTextBlock last = editor->text()->document()->lastBlock();
        times.push_back(nowMs() - start);
        lines = editor->text()->document()->blockCount();
        if (last.layout()->formats().isEmpty()) {
            std::fprintf(stderr, "bench_editor: the last line was not coloured\n");
            return 1;
        }
        delete editor;
    }
    std::sort(times.begin(), times.end());
    std::printf("script: %d lines, %lld bytes\n", lines, static_cast<long long>(script.size()));
    std::printf("open and colour, %d runs: median %.1f ms, min %.1f ms, max %.1f ms\n", runs, times[times.size() / 2],
                times.front(), times.back());
    return 0;
}
