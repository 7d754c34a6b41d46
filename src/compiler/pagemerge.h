#pragma once

#include <vector>

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

namespace pvelm::compiler {

// The page merge: folds every page line written for one page into one line
// and writes the temp hex file. The first line of each page goes to the
// fixup file, every later one (an overlay) to the second fixup file; the
// non-empty slots of the overlays are then laid over the first line in file
// order. Both fixup files are written as before; the overlays are taken
// from memory rather than reread, which gives the same bytes.
class PageMerge
{
public:
    static constexpr int kEntries = 4097; // page lines, and overlays, a merge can hold

    void clearMergeTables();
    bool isSeenPage(int page) const;
    bool isOverlayPage(int page) const;
    // Copies every slot of `overlay` whose element does not begin with "FF"
    // over `base`; the page number and the filler never change.
    static void overlayPageLine(QByteArray &base, const QByteArray &overlay);

    // Paths are host paths. False with the reason when the merge cannot be
    // done; the temp hex file is then not written.
    bool run(const QString &premergedPath, const QString &fixupPath, const QString &fixup1Path,
             const QString &tempHexPath, QString *why);

    int seenCount() const { return int(m_seenPages.size()); }
    int overlayCount() const { return int(m_overlayPages.size()); }

private:
    QList<int> m_seenPages;
    QList<int> m_overlayPages;
    // Presence flags over all 5-digit page numbers, so both tests are O(1).
    std::vector<bool> m_seen = std::vector<bool>(100000, false);
    std::vector<bool> m_overlay = std::vector<bool>(100000, false);
};

// The page number of a page line (its first five digits), or -1 when the
// line is not a 533-character page line.
int pageOfLine(const QByteArray &line);

} // namespace pvelm::compiler
