#pragma once

#include <algorithm>
#include <vector>

#include <QList>
#include <QString>
#include <QtGlobal>

namespace pvelm::compiler {

class Compiler;

// Which source line wrote each program line in the last compile, so that a
// window can show the statement behind the line the board reports.
//
// The answer follows the page merge: an element that is not empty replaces
// what an earlier block put on the same line, and an empty one (opcode byte
// FF, or a placeholder that left its slot empty) only counts when nothing
// else wrote there. Lines past the board's last line are not kept.
class SourceLineMap
{
public:
    static constexpr qint64 kProgramLines = 32768;

    void clear()
    {
        if (m_sources.empty())
            return;
        std::fill(m_sources.begin(), m_sources.end(), 0);
        m_used = 0;
    }

    // Called by the compiler for every element or placeholder it places;
    // costs one store, so a pass stays as fast as without it.
    void record(qint64 programLine, qint64 sourceLine, bool empty)
    {
        if (programLine < 0 || programLine >= kProgramLines)
            return;
        if (m_sources.empty())
            m_sources.assign(size_t(kProgramLines), 0);
        // Positive: written by a non-empty element; negative: only by empty
        // ones so far, the first of which stands.
        qint32 &at = m_sources[size_t(programLine)];
        if (at == 0)
            ++m_used;
        if (!empty)
            at = qint32(sourceLine);
        else if (at == 0)
            at = -qint32(sourceLine);
    }

    // The 1-based source line behind a program line, or 0 when the last
    // compile put nothing there.
    qint64 sourceLine(qint64 programLine) const
    {
        if (programLine < 0 || programLine >= qint64(m_sources.size()))
            return 0;
        return qAbs(m_sources[size_t(programLine)]);
    }

    // Number of program lines that have a source line.
    int size() const { return m_used; }

    // The other way round: indexed by 1-based source line, the lowest
    // program line that source line answers for here, or -1. As long as the
    // highest source line with a program line, plus one.
    std::vector<qint32> firstProgramLines() const
    {
        std::vector<qint32> first;
        for (size_t p = 0; p < m_sources.size(); ++p) {
            const qint32 source = qAbs(m_sources[p]);
            if (source == 0)
                continue;
            if (size_t(source) >= first.size())
                first.resize(size_t(source) + 1, -1);
            if (first[size_t(source)] < 0)
                first[size_t(source)] = qint32(p);
        }
        return first;
    }

private:
    std::vector<qint32> m_sources;
    int m_used = 0;
};

// One line of the editor's report list: a statement error of the last pass,
// or a failure of the compile. sourceLine is 0 when it belongs to no line.
struct ReportEntry
{
    qint64 sourceLine = 0;
    bool failure = false;
    QString text;
};

// What the last compile has to say, in source order: the statement errors of
// the second pass and each distinct failure once (a failing line fails both
// passes alike).
QList<ReportEntry> reportEntries(const Compiler &compiler);

} // namespace pvelm::compiler
