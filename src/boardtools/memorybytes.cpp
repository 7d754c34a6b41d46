#include "boardtools/memorybytes.h"

#include "boardtools/typednumber.h"
#include "link/link.h"
#include "link/packets.h"

namespace pvelm::boardtools {

namespace {

QString shortPacket(const char *templ, QChar letter, qint64 address)
{
    QString packet = QString::fromLatin1(templ);
    packet[1] = letter;
    fillField(packet, 3, 4, hexField(quint64(address), 4));
    return packet;
}

QString byteDigits(qint64 value)
{
    return hexField(quint64(value), 2);
}

} // namespace

QString readPacket(Area area, qint64 address)
{
    return shortPacket(kShortMemoryTemplate, area == Area::Eeprom ? u'E' : u'R', address);
}

QString writePacket(Area area, qint64 address, qint64 value)
{
    QString packet = shortPacket(kShortMemoryTemplate, area == Area::Eeprom ? u'F' : u'S', address);
    fillField(packet, 7, 2, byteDigits(value));
    return packet;
}

QString quickReadPacket(qint64 address)
{
    return shortPacket(kShortRamReadTemplate, u'R', address);
}

QString quickWritePacket(qint64 address, qint64 value)
{
    QString packet = shortPacket(kShortRamWriteTemplate, u'S', address);
    fillField(packet, 7, 2, byteDigits(value));
    return packet;
}

std::optional<int> byteFromReply(const QString &reply)
{
    if (reply.size() != kShortPacketLength)
        return std::nullopt;
    const QString digits = reply.mid(6, 2);
    for (QChar c : digits) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f')))
            return std::nullopt;
    }
    return digits.toInt(nullptr, 16);
}

MemoryOutcome exchangeMemory(Link &link, const QString &packet)
{
    MemoryOutcome out;
    static_cast<LinkResult &>(out) = exchange(link, &Link::smallcomax, packet);
    if (out.succeeded())
        out.byte = byteFromReply(out.reply);
    return out;
}

QString fitAddressText(const QString &text)
{
    const TypedNumber n = readTyped(text);
    // The range applies to the number typed, not to its rounded value.
    if (!n.found || !n.complete || n.overflow || n.outside(kAddressMaximum))
        return QStringLiteral("0");
    return text;
}

int addressOf(const QString &text)
{
    const TypedNumber n = readTyped(text);
    return n.usable() && n.value >= 0 && n.value <= kAddressMaximum ? int(n.value) : 0;
}

bool dataTextTooBig(const QString &text)
{
    const TypedNumber n = readTyped(text);
    return n.overflow || (n.found && n.outside(255));
}

QString refuseNumber(const QString &caption, const QString &text, qint64 maximum)
{
    const TypedNumber n = readTyped(text);
    if (!n.usable() || n.value < std::numeric_limits<qint32>::min() || n.value > std::numeric_limits<qint32>::max())
        return QStringLiteral("%1: \"%2\" is not a number; nothing was sent").arg(caption, text);
    if (maximum >= 0 && (n.value < 0 || n.value > maximum))
        return QStringLiteral("%1: %2 is not 0 to %3; nothing was sent").arg(caption, text).arg(maximum);
    return QString();
}

} // namespace pvelm::boardtools
