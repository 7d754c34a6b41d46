#include "editors/pose.h"

#include <QStringList>

namespace pvelm::editors {

QString poseStatement(const std::array<int, 8> &positions, std::bitset<8> used)
{
    QStringList values;
    for (size_t k = 0; k < positions.size(); ++k) {
        if (used.test(k))
            values << QStringLiteral("S%1=%2").arg(k + 1).arg(positions[k]);
    }
    if (values.isEmpty())
        return QString();
    return QStringLiteral("POSITION ") + values.join(QStringLiteral(", "));
}

} // namespace pvelm::editors
