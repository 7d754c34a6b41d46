#include "editors/pose.h"

#include <QStringList>

namespace pvelm::editors {

QString poseStatement(const QList<int> &positions, std::bitset<8> used)
{
    QStringList values;
    for (int k = 0; k < 8; ++k) {
        if (used.test(size_t(k)))
            values << QStringLiteral("S%1=%2").arg(k + 1).arg(positions.value(k, 65535));
    }
    if (values.isEmpty())
        return QString();
    return QStringLiteral("POSITION ") + values.join(QStringLiteral(", "));
}

} // namespace pvelm::editors
