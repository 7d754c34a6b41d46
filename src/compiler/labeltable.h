#pragma once

#include <array>
#include <optional>

#include <QByteArray>
#include <QHash>

namespace pvelm::compiler {

// The label table: 1001 fixed entries of a name and the line number text at
// which it was defined. A lookup yields the first entry (lowest index) with
// an equal name, exactly as a scan from entry 0 would; an index of first
// occurrences keeps that fast for scripts at the board's limits.
// A label name as a hash key, hashed with a plain byte hash: names are at
// most 16 bytes and the lookup runs for every jump of both passes.
struct LabelKey
{
    QByteArray name;
    bool operator==(const LabelKey &other) const { return name == other.name; }
};
size_t qHash(const LabelKey &key, size_t seed = 0) noexcept;

class LabelTable
{
public:
    static constexpr int kEntries = 1001;

    // Every entry back to the empty text.
    void clear();
    // Overwrites entry k (0 <= k < kEntries).
    void set(int k, const QByteArray &name, const QByteArray &lineText);
    // The line number text of the first entry named `name`.
    std::optional<QByteArray> lookup(const QByteArray &name) const;

    const QByteArray &name(int k) const { return m_names[size_t(k)]; }
    const QByteArray &lineText(int k) const { return m_lines[size_t(k)]; }

private:
    std::array<QByteArray, kEntries> m_names;
    std::array<QByteArray, kEntries> m_lines;
    QHash<LabelKey, int> m_first; // name -> lowest index holding it
};

} // namespace pvelm::compiler
