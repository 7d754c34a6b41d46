#pragma once

// Shared by the compiler's tests: compile a script held in memory through
// the real files below a TestRoot and collect everything the compile wrote.

#include "compiler/compiler.h"
#include "support/testenv.h"

#include <QDir>

namespace compilertest {

// An element written as its leading digits, the rest "F".
inline QByteArray el(const QByteArray &lead)
{
    return (lead + QByteArray(32, 'F')).left(32);
}

// A page line from its number and a slot -> element map.
inline QByteArray pageLine(int page, const QList<QPair<int, QByteArray>> &filled = {})
{
    QByteArray digits(528, 'F');
    for (const auto &[slot, element] : filled)
        digits.replace(32 * slot, 32, el(element));
    return QByteArray::number(page).rightJustified(5, '0') + digits;
}

inline QByteArray crlf(const QList<QByteArray> &lines)
{
    QByteArray out;
    for (const QByteArray &l : lines)
        out += l + "\r\n";
    return out;
}

struct CompileRun
{
    bool ok = false;
    QStringList messages; // every failure message shown, in order
    QByteArray list, premerged, hex, echo;
    pvelm::compiler::Counters counters;
};

// The default layout: everything in c:\Corvane below the test root.
struct Workspace
{
    explicit Workspace(const TestRoot &root) : root(root)
    {
        QDir().mkpath(root.file(QStringLiteral("drive_c/Corvane")));
    }
    QString host(const QString &name) const { return root.file(QStringLiteral("drive_c/Corvane/") + name); }

    CompileRun compile(const QByteArray &source, pvelm::compiler::Compiler *compiler = nullptr) const
    {
        writeAllBytes(host(QStringLiteral("velm.txt")), source);
        return run(compiler);
    }

    CompileRun run(pvelm::compiler::Compiler *given = nullptr) const
    {
        pvelm::compiler::Compiler own;
        pvelm::compiler::Compiler &c = given ? *given : own;
        CompileRun r;
        c.setPathProvider([this] { return paths; });
        c.setFailureHandler([&r](const QString &m) { r.messages << m; });
        r.ok = c.compile();
        auto read = [this](const char *name) { return readAllBytes(host(QLatin1String(name))); };
        r.list = read("list.txt");
        r.premerged = read("premerged.tmp");
        r.hex = read("flash.tmp");
        r.echo = c.echo();
        r.counters = c.counters();
        return r;
    }

    const TestRoot &root;
    pvelm::compiler::PassPaths paths{QStringLiteral("c:\\Corvane\\velm.txt"),
                                     QStringLiteral("c:\\Corvane\\premerged.tmp"),
                                     QStringLiteral("c:\\Corvane\\list.txt")};
};

} // namespace compilertest
