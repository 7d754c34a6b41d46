#include "boardtools/commandsender.h"

#include "link/link.h"
#include "settings/settings.h"

namespace pvelm {

namespace {

LongCommandOutcome runLong(Link &link, const QString &code, const QString &data5bytes, const QString &noVersion,
                           const QString &errorText)
{
    CommandFields fields;
    fields.code = SettingsRecord::fitRight(code, 3, QLatin1Char('0'));
    fields.address = SettingsRecord::fitRight(data5bytes, 5, QLatin1Char('0'));
    LongCommandOutcome out;
    static_cast<LinkResult &>(out) = exchangeCommand(link, fields);
    if (!out.ran)
        return out;
    const QString version = versionFromReply(out.reply);
    out.inver = version.isEmpty() ? noVersion : version;
    out.responce = out.succeeded() ? out.reply : errorText;
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
    static_cast<LinkResult &>(out) = exchange(link, &Link::smallcomax, text1);
    if (out.ran)
        out.responce = out.reply;
    return out;
}

} // namespace pvelm
