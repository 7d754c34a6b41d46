#include "link/packets.h"

#include <algorithm>

namespace pvelm {

void fillField(QString &packet, int column, int width, const QString &value)
{
    const int start = column - 1;
    if (start < 0 || width <= 0 || start >= packet.size())
        return;
    const int count = std::min({width, int(value.size()), int(packet.size()) - start});
    for (int i = 0; i < count; ++i)
        packet[start + i] = value.at(i);
}

QString fitField(const QString &text, int width, QChar fill)
{
    if (width <= 0)
        return QString();
    if (text.size() >= width)
        return text.right(width);
    return QString(width - text.size(), fill) + text;
}

QString hexField(quint64 value, int width)
{
    return fitField(QString::number(value, 16).toUpper(), width);
}

QString decField(qint64 value, int width)
{
    return fitField(QString::number(value), width);
}

} // namespace pvelm
