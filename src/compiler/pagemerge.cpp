#include "compiler/pagemerge.h"

#include "compiler/compiler.h"
#include "compiler/textfiles.h"

#include <cstring>

namespace pvelm::compiler {

int pageOfLine(const QByteArray &line)
{
    if (line.size() != kPageLineLength)
        return -1;
    int page = 0;
    for (int i = 0; i < 5; ++i) {
        const char c = line.at(i);
        if (c < '0' || c > '9')
            return -1;
        page = page * 10 + (c - '0');
    }
    return page;
}

void PageMerge::clearMergeTables()
{
    for (int p : m_seenPages)
        m_seen[size_t(p)] = false;
    for (int p : m_overlayPages)
        m_overlay[size_t(p)] = false;
    m_seenPages.clear();
    m_overlayPages.clear();
}

bool PageMerge::isSeenPage(int page) const
{
    return page >= 0 && page < int(m_seen.size()) && m_seen[size_t(page)];
}

bool PageMerge::isOverlayPage(int page) const
{
    return page >= 0 && page < int(m_overlay.size()) && m_overlay[size_t(page)];
}

void PageMerge::overlayPageLine(QByteArray &base, const QByteArray &overlay)
{
    for (int s = 0; s < 16; ++s) {
        const qsizetype at = 5 + 32 * s; // column 6 + 32 s, 0-based
        if (overlay.size() < at + 32 || base.size() < at + 32)
            break;
        if (overlay.at(at) == 'F' && overlay.at(at + 1) == 'F')
            continue;
        std::memcpy(base.data() + at, overlay.constData() + at, 32);
    }
}

bool PageMerge::run(const QString &premergedPath, const QString &fixupPath, const QString &fixup1Path,
                    const QString &tempHexPath, QString *why)
{
    clearMergeTables();

    // Split. A premerged file larger than the tables can hold fails anyway;
    // refusing it before reading keeps a wrong path from costing memory.
    QByteArray premerged;
    if (!readWholeFile(premergedPath, &premerged, why, qint64(kEntries + 1) * (kPageLineLength + 2)))
        return false;
    // The lines point into `premerged`, which stays alive to the end.
    QList<QByteArray> lines;
    lines.reserve(premerged.size() / (kPageLineLength + 2) + 1);
    forEachLine(premerged, [&lines](const QByteArray &line) {
        lines.append(line);
        return true;
    });

    LineWriter fixup;
    LineWriter fixup1;
    if (!fixup.create(fixupPath, why, SaveFile::Sync::WorkFile) ||
        !fixup1.create(fixup1Path, why, SaveFile::Sync::WorkFile))
        return false;
    QList<qsizetype> firstLines;                 // indexes into `lines`, in fixup order
    QHash<int, QList<qsizetype>> overlaysOfPage; // page -> indexes, in fixup1 order
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        const int page = pageOfLine(line);
        if (page < 0) {
            *why = QStringLiteral("line %1 of %2 is not a page line").arg(i + 1).arg(premergedPath);
            return false;
        }
        if (isSeenPage(page)) {
            fixup1.line(line);
            if (m_overlayPages.size() >= kEntries) {
                *why = QStringLiteral("more than %1 overlay page lines").arg(kEntries);
                return false;
            }
            m_overlayPages.append(page);
            m_overlay[size_t(page)] = true;
            overlaysOfPage[page].append(i);
        } else {
            fixup.line(line);
            firstLines.append(i);
        }
        if (m_seenPages.size() >= kEntries) {
            *why = QStringLiteral("more than %1 page lines").arg(kEntries);
            return false;
        }
        m_seenPages.append(page);
        m_seen[size_t(page)] = true;
    }
    if (!fixup.close(why) || !fixup1.close(why))
        return false;

    // Merge.
    LineWriter hex;
    if (!hex.create(tempHexPath, why))
        return false;
    for (qsizetype i : firstLines) {
        const QByteArray &first = lines.at(i);
        const auto overlays = overlaysOfPage.constFind(pageOfLine(first));
        if (overlays == overlaysOfPage.constEnd()) {
            hex.line(first);
            continue;
        }
        QByteArray base(first.constData(), first.size());
        for (qsizetype j : *overlays)
            overlayPageLine(base, lines.at(j));
        hex.line(base);
    }
    return hex.close(why);
}

} // namespace pvelm::compiler
