#include "compiler/labeltable.h"

namespace pvelm::compiler {

size_t qHash(const LabelKey &key, size_t seed) noexcept
{
    // FNV-1a.
    quint64 h = 14695981039346656037ULL ^ seed;
    for (char c : key.name) {
        h ^= uchar(c);
        h *= 1099511628211ULL;
    }
    return size_t(h);
}

void LabelTable::clear()
{
    for (int k = 0; k < kEntries; ++k) {
        m_names[size_t(k)].clear();
        m_lines[size_t(k)].clear();
    }
    m_first.clear();
}

void LabelTable::set(int k, const QByteArray &name, const QByteArray &lineText)
{
    const QByteArray old = m_names[size_t(k)];
    m_names[size_t(k)] = name;
    m_lines[size_t(k)] = lineText;
    if (old == name)
        return;
    // The old name may now first occur further down, or nowhere.
    if (!old.isEmpty()) {
        const auto it = m_first.find(LabelKey{old});
        if (it != m_first.end() && it.value() == k) {
            m_first.erase(it);
            for (int j = k + 1; j < kEntries; ++j) {
                if (m_names[size_t(j)] == old) {
                    m_first.insert(LabelKey{old}, j);
                    break;
                }
            }
        }
    }
    if (!name.isEmpty()) {
        const auto it = m_first.find(LabelKey{name});
        if (it == m_first.end() || it.value() > k)
            m_first.insert(LabelKey{name}, k);
    }
}

std::optional<QByteArray> LabelTable::lookup(const QByteArray &name) const
{
    const auto it = m_first.constFind(LabelKey{name});
    if (it == m_first.constEnd())
        return std::nullopt;
    return m_lines[size_t(it.value())];
}

} // namespace pvelm::compiler
