#include "settings/numbers.h"

#include <QRegularExpression>

namespace pvelm {

std::optional<qint64> parseNumber(const QString &text, bool allowFraction)
{
    static const QRegularExpression number(QStringLiteral("^\\s*([+-]?)([0-9]*)(?:\\.([0-9]*))?\\s*$"));
    const auto m = number.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    QString whole = m.captured(2);
    const QString fraction = m.captured(3);
    if (whole.isEmpty() && fraction.isEmpty())
        return std::nullopt;
    if (m.capturedLength(3) > 0 || text.contains(QLatin1Char('.'))) {
        if (!allowFraction)
            return std::nullopt;
    }
    while (whole.size() > 1 && whole.startsWith(QLatin1Char('0')))
        whole.remove(0, 1);
    if (whole.size() > 18)
        return std::nullopt;
    qint64 value = whole.isEmpty() ? 0 : whole.toLongLong();
    if (!fraction.isEmpty()) {
        const QChar first = fraction.at(0);
        bool restZero = true;
        for (qsizetype i = 1; i < fraction.size(); ++i)
            restZero = restZero && fraction.at(i) == u'0';
        if (first > u'5' || (first == u'5' && !restZero) || (first == u'5' && restZero && (value % 2) == 1))
            ++value;
    }
    return m.captured(1) == QLatin1String("-") ? -value : value;
}

} // namespace pvelm
