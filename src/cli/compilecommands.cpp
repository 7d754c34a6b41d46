// velm compile: "Read Velm File" of the compiler window, on the command line.

#include "cli/cli.h"
#include "cli/steps.h"
#include "compiler/compiler.h"
#include "compiler/lint.h"
#include "compiler/mapfile.h"
#include "settings/hostpaths.h"
#include "settings/printable.h"
#include "settings/settings.h"

#include <algorithm>
#include <cstdio>

#include <QFile>
#include <QFileInfo>

namespace pvelm::cli {

namespace {

// kind: "error" or "warning".
void printDiagnostic(const QString &file, qint64 line, const char *kind, const QString &text)
{
    const QByteArray bytes =
        (file + QLatin1Char(':') + QString::number(line) + QStringLiteral(": %1: ").arg(kind) + printable(text))
            .toLocal8Bit() +
        '\n';
    std::fflush(stdout);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

// Leaves the map of a compile whose last pass ran for velm monitor, or
// takes away the map of an earlier one, which would name the wrong lines.
void keepSourceMap(const compiler::Compiler &c, const QString &source)
{
    const QString mapPath = hostpaths::workFile(QString::fromLatin1(compiler::kSourceMapFile));
    const QString sourceHost = QFileInfo(hostpaths::toHost(source)).absoluteFilePath();
    QString why;
    if (!c.lastPassCompleted() || hostpaths::sameFile(mapPath, sourceHost)) {
        QFile::remove(mapPath);
        return;
    }
    if (!compiler::saveSourceMap(mapPath, sourceHost, c.sourceLines(), &why)) {
        QFile::remove(mapPath);
        printWarning(QStringLiteral("the source map %1 was not written (%2): velm monitor names no source lines")
                         .arg(mapPath, why));
    }
}

int compileCommand(Invocation &inv)
{
    const QString source =
        inv.args.isEmpty() ? inv.settings().path(SettingsRecord::kScriptPathColumn) : inv.args.first();
    const int errors = compileStep(inv, source, true);
    return errors == 0 ? kExitSuccess : kExitFailed;
}

} // namespace

int compileStep(const Invocation &inv, const QString &source, bool printReport)
{
    const SettingsRecord &settings = inv.settings();
    compiler::PassPaths paths;
    paths.source = source;
    paths.list = inv.value(QStringLiteral("--list"), settings.path(SettingsRecord::kListPathColumn));
    paths.premerged = inv.value(QStringLiteral("--premerged"), QString::fromLatin1(compiler::kDefaultPremergedPath));

    compiler::Compiler c;
    c.setTempHexPath(inv.value(QStringLiteral("--hex"), settings.path(SettingsRecord::kTempHexPathColumn)));
    c.setPathProvider([paths] { return paths; });
    const bool ok = c.compile();
    keepSourceMap(c, paths.source);

    // The errors, and the warnings of the check after the compile, in
    // source order. The check reads the script again and writes nothing.
    struct Line
    {
        qint64 sourceLine;
        const char *kind;
        QString text;
    };
    QList<Line> lines;
    for (const compiler::Diagnostic &d : c.diagnostics())
        lines.append({d.sourceLine, "error", d.text});
    QByteArray text;
    QString why;
    if (c.lastPassCompleted() &&
        compiler::readScriptFile(hostpaths::toHost(paths.source), &text, &why) == compiler::ScriptRead::Ok) {
        for (const compiler::Warning &w : compiler::lint(c, text))
            lines.append({w.sourceLine, "warning", w.text});
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const Line &a, const Line &b) { return a.sourceLine < b.sourceLine; });
    for (const Line &l : lines)
        printDiagnostic(paths.source, l.sourceLine, l.kind, l.text);
    // Both passes fail alike on a source they cannot read: say it once.
    QStringList said;
    for (qsizetype i = 0; i < c.failures().size(); ++i) {
        // A refusal's message says it all; a failure adds what the core found.
        const QString &message = c.failures().at(i);
        const QString reason = c.failureReasons().value(i);
        const QString withoutPass =
            reason.startsWith(QLatin1String("pass ")) ? reason.section(QStringLiteral(": "), 1) : reason;
        if (said.contains(message + withoutPass))
            continue;
        said << message + withoutPass;
        printError(reason == message ? message : QStringLiteral("%1 (%2)").arg(message, reason));
    }
    if (printReport && c.lastPassCompleted()) {
        for (const QByteArray &line : c.reportLines())
            printLine(QString::fromLatin1(line));
    }
    if (!ok)
        return -1;
    return int(c.counters().errorbumper);
}

void addCompileCommands(std::vector<Command> &table)
{
    table.push_back(Command{
        .name = QStringLiteral("compile"),
        .arguments = QStringLiteral("[SOURCE]"),
        .minArgs = 0,
        .maxArgs = 1,
        .options = {Option{QStringLiteral("--list"), QStringLiteral("FILE"),
                           QStringLiteral("list file (default: the settings' list file)")},
                    Option{QStringLiteral("--hex"), QStringLiteral("FILE"),
                           QStringLiteral("temp hex file (default: the settings' temporary flash data file)")},
                    Option{QStringLiteral("--premerged"), QStringLiteral("FILE"),
                           QStringLiteral("premerged work file (default: c:\\Corvane\\premerged.tmp)")}},
        .summary = QStringLiteral("compile a VelmScript file into the temp hex file"),
        .help =
            QStringLiteral("Compiles SOURCE (default: the settings' VelmScript file) exactly as \"Read Velm File\"\n"
                           "does: two translation passes, then the page merge. Writes the list file, the\n"
                           "premerged work file, fixup.tmp and fixup1.tmp in the working folder, and the temp\n"
                           "hex file, and prints the report; it also leaves c:\\Corvane\\sourcemap.tmp, with\n"
                           "which 'velm monitor' names the source line of each report. Every statement\n"
                           "error is also printed on standard error as FILE:LINE: error: TEXT, with the\n"
                           "line of SOURCE, and so is each warning of the check after the compile, as\n"
                           "FILE:LINE: warning: TEXT (a label that looks like a misspelt keyword, a number\n"
                           "cut to its field, a MOVE to a line no POSITION writes, a DO with no LOOP);\n"
                           "warnings leave the exit status as it is.\n"
                           "Paths may be host paths or Windows paths (c:\\Corvane\\velm.txt).\n"
                           "Exit status 0 when the report counts no Errors & Warnings, 1 when it does, or\n"
                           "when a pass or the merge failed (the console's failure message is printed), or\n"
                           "when the compile was refused: an output file that is SOURCE, a SOURCE larger\n"
                           "than any program the board can hold, or UTF-16/UTF-32 text."),
        .usesBoard = false,
        .handler = compileCommand,
    });
}

} // namespace pvelm::cli
