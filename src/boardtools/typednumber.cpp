#include "boardtools/typednumber.h"

#include "settings/numbers.h"

#include <limits>

#include <QRegularExpression>

namespace pvelm::boardtools {

TypedNumber readTyped(const QString &text)
{
    static const QRegularExpression leading(QStringLiteral("^\\s*([+-]?)(?:([0-9]+)(?:\\.([0-9]*))?|\\.([0-9]+))"));
    TypedNumber out;
    const auto m = leading.match(text);
    if (!m.hasMatch())
        return out;
    out.found = true;
    const QString whole = m.captured(2);
    const QString fraction = m.captured(3) + m.captured(4);
    bool fits = false;
    out.whole = whole.toLongLong(&fits);
    if (!fits && !whole.isEmpty())
        out.whole = std::numeric_limits<qint64>::max();
    out.fraction = fraction.contains(QRegularExpression(QStringLiteral("[1-9]")));
    out.minus = m.captured(1) == QLatin1String("-") && (out.whole > 0 || out.fraction);
    out.complete = text.mid(m.capturedEnd()).trimmed().isEmpty();
    // The matched text is a whole number as the editors read it, with the
    // same rounding.
    const std::optional<qint64> value = parseNumber(m.captured(), true);
    out.overflow = !value.has_value();
    out.value = value.value_or(0);
    return out;
}

std::optional<qint32> leadingWhole32(const QString &text)
{
    const TypedNumber n = readTyped(text);
    if (n.overflow || n.value < std::numeric_limits<qint32>::min() || n.value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(n.value);
}

QString hexText(qint64 value)
{
    const quint64 bits = value < 0 ? quint64(quint32(qint32(value))) : quint64(value);
    return QString::number(bits, 16).toUpper();
}

} // namespace pvelm::boardtools
