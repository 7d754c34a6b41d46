#include "compiler/sourcemap.h"

#include "compiler/compiler.h"

#include <algorithm>

namespace pvelm::compiler {

QList<ReportEntry> reportEntries(const Compiler &compiler)
{
    QList<ReportEntry> entries;
    for (const Diagnostic &d : compiler.diagnostics())
        entries.append({d.sourceLine, false, d.text});

    // The reasons read "pass N: source line L: why", "pass N: why" or
    // "page merge: why"; the pass number only tells the copies apart.
    static const QString sourceLinePrefix = QStringLiteral("source line ");
    QStringList seen;
    for (QString reason : compiler.failureReasons()) {
        if (reason.startsWith(QLatin1String("pass "))) {
            const qsizetype colon = reason.indexOf(QLatin1String(": "));
            if (colon > 0)
                reason.remove(0, colon + 2);
        }
        if (seen.contains(reason))
            continue;
        seen << reason;
        ReportEntry entry{0, true, reason};
        if (reason.startsWith(sourceLinePrefix)) {
            const qsizetype colon = reason.indexOf(QLatin1String(": "));
            bool ok = false;
            const qint64 line = reason.mid(sourceLinePrefix.size(), colon - sourceLinePrefix.size()).toLongLong(&ok);
            if (ok && colon > 0) {
                entry.sourceLine = line;
                entry.text = reason.mid(colon + 2);
            }
        }
        entries.append(entry);
    }
    // Failures that belong to no line (a file that cannot be opened) come
    // first; everything else in source order.
    std::stable_sort(entries.begin(), entries.end(), [](const ReportEntry &a, const ReportEntry &b) {
        const qint64 ka = a.sourceLine == 0 ? -1 : a.sourceLine;
        const qint64 kb = b.sourceLine == 0 ? -1 : b.sourceLine;
        return ka < kb;
    });
    return entries;
}

} // namespace pvelm::compiler
