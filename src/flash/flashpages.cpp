#include "flash/flashpages.h"

#include "compiler/textfiles.h"
#include "link/packets.h"

#include <algorithm>
#include <limits>

namespace pvelm::flash {

QString pageField(const QString &text)
{
    return fitField(text, 5);
}

QString pageLine(int page, const QString &pageText)
{
    return decField(page, 5) + pageText;
}

QString pageListing(const QString &pageText)
{
    QString listing;
    listing.reserve(pageText.size() + 2 * kListingRows);
    for (int row = 0; row < kListingRows; ++row)
        listing += pageText.mid(row * 32, 32) + QLatin1String("\r\n");
    return listing;
}

QString pageReadPacket(const QString &pageText)
{
    QString packet = QString::fromLatin1(kLongTemplate);
    fillField(packet, 4, 3, QStringLiteral("R14"));
    fillField(packet, 7, 5, pageField(pageText));
    return packet;
}

QString erasePacket()
{
    QString packet = QString::fromLatin1(kLongTemplate);
    fillField(packet, 4, 3, QStringLiteral("R17"));
    return packet;
}

std::optional<int> parsePageNumber(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 9)
        return std::nullopt;
    int value = 0;
    for (QChar c : t) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

std::optional<int> parseRangePage(const QString &text)
{
    QString t = text.trimmed();
    const bool negative = t.startsWith(QLatin1Char('-'));
    if (negative || t.startsWith(QLatin1Char('+')))
        t.remove(0, 1);
    if (t.isEmpty())
        return std::nullopt;
    qint64 value = 0;
    for (QChar c : t) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = std::min<qint64>(value * 10 + (c.unicode() - '0'), std::numeric_limits<int>::max());
    }
    return int(negative ? -value : value);
}

bool rangeAccepted(int start, int end)
{
    return start >= 0 && end <= kPageCount - 1 && end >= start;
}

bool readPageLines(const QString &hostPath, QStringList *lines, QString *why)
{
    QByteArray bytes;
    if (!compiler::readWholeFile(hostPath, &bytes, why, kMaxPageFileBytes,
                                 "%1 is larger than any page file the board can hold (%2 bytes)"))
        return false;
    lines->clear();
    compiler::forEachLine(bytes, [lines](const QByteArray &line) {
        lines->append(QString::fromLatin1(line));
        return true;
    });
    return true;
}

} // namespace pvelm::flash
