#include "boardtools/commandsender.h"

#include "link/link.h"
#include "settings/settings.h"

namespace pvelm {

namespace {

LongCommandOutcome runLong(Link &link, const QString &code, const QString &data5bytes, const QString &noVersion,
                           const QString &errorText)
{
    LongCommandOutcome out;
    // A refused exchange must leave the link state alone, so look before
    // touching any of its fields.
    if (link.isBusy())
        return out;
    link.linkPacket.clear();
    link.cmdData.clear();
    link.cmdCode = SettingsRecord::fitRight(code, 3, QLatin1Char('0'));
    link.cmdParam1 = QStringLiteral("000");
    link.cmdParam2 = QStringLiteral("000");
    link.cmdAddress = SettingsRecord::fitRight(data5bytes, 5, QLatin1Char('0'));
    link.cmdParam3 = QStringLiteral("000");
    if (!link.docomax())
        return out;
    out.ran = true;
    const QString version = versionFromReply(link.linkPacket);
    out.inver = version.isEmpty() ? noVersion : version;
    out.responce = link.linkErrorCode == QLatin1String("0") ? link.linkPacket : errorText;
    return out;
}

} // namespace

QString versionFromReply(const QString &reply)
{
    if (reply.mid(6, 7) == QLatin1String("Version"))
        return reply.mid(6, 13);
    return {};
}

LongCommandOutcome sendLongCommand(Link &link, const QString &cmddat, const QString &data5bytes)
{
    return runLong(link, cmddat, data5bytes, QString(), QString::fromLatin1(kLongCommandError));
}

LongCommandOutcome requestVersion(Link &link, const QString &data5bytes)
{
    return runLong(link, QStringLiteral("R02"), data5bytes, QString::fromLatin1(kVersionNoData),
                   QString::fromLatin1(kVersionError));
}

ShortCommandOutcome sendShortCommand(Link &link, const QString &text1)
{
    ShortCommandOutcome out;
    if (link.isBusy())
        return out;
    link.linkPacket = text1;
    if (!link.smallcomax())
        return out;
    out.ran = true;
    out.responce = link.linkPacket;
    return out;
}

} // namespace pvelm
