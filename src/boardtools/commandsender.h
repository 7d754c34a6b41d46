#pragma once

#include "link/exchange.h"

#include <QString>

namespace pvelm {

class Link;

// The long and short command senders without their windows: the send and
// version buttons of the sender windows and `velm send` / `velm version`
// both run these.

// A long or short command's exchange, and what the sender window shows of it.
struct LongCommandOutcome : LinkResult
{
    QString inver;    // version label text
    QString responce; // reply box text: the whole reply, or an error text
};

struct ShortCommandOutcome : LinkResult
{
    QString responce; // whatever linkPacket holds after the exchange
};

inline constexpr char kShortCommandTemplate[] = "OXDDDDDDH";
inline constexpr char kLongCommandError[] = "Error - No or invalad Data received";
inline constexpr char kVersionError[] = "Error - No Data received";
inline constexpr char kVersionNoData[] = "No Data";

// "Send": cmddat's last 3 characters as the code, data5bytes' last 5 as the
// address, both left-padded with "0".
LongCommandOutcome sendLongCommand(Link &link, const QString &cmddat, const QString &data5bytes);
// "Request Version": code "R02", address from data5bytes.
LongCommandOutcome requestVersion(Link &link, const QString &data5bytes);
// "Send" of the short section: the typed text as it stands.
ShortCommandOutcome sendShortCommand(Link &link, const QString &text1);

// Reply columns 7-19 when columns 7-13 read "Version", otherwise empty.
QString versionFromReply(const QString &reply);

} // namespace pvelm
