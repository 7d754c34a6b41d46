#pragma once

#include <QString>

namespace pvelm {

class Link;
class LinkHold;

// The one way the console runs an exchange: refuse when the link is busy
// (touching none of its fields), fill the link's request fields, call the
// routine, and copy its result out. The editors, the board tools, run
// control and the command line all build on this.

// Result codes the link itself sets; every other code comes from the board.
inline constexpr QLatin1String kCodeOk{"0"};
inline constexpr QLatin1String kCodeNoAnswer{"Z"};   // no answer in time
inline constexpr QLatin1String kCodePortFailed{"7"}; // the port failed or is not open

// The codes that mean no link: the board never answered, or the port is gone.
bool isNoLinkCode(const QString &code);

using Routine = bool (Link::*)();

// What one exchange left behind.
struct LinkResult
{
    bool ran = false; // false: refused, another exchange runs or the link is held
    QString reply;    // linkPacket, or linkBlock for the routines that reply in it
    QString code;     // linkErrorCode
    QString text;     // linkErrorText

    bool succeeded() const { return ran && code == kCodeOk; }
    // No link: the handshake or the reply ran out of time, the port failed,
    // or (docomax) not one character of a reply came, so no code either.
    bool noLink() const { return ran && (isNoLinkCode(code) || (code.isEmpty() && reply.isEmpty())); }
    // The port failed, or was not open: nothing goes through until it is
    // opened again.
    bool portFailed() const { return ran && code == kCodePortFailed; }
    // What the windows' status labels show: "0 No errors", "Z Unable to connect".
    QString status() const { return code + QLatin1Char(' ') + text; }
};

// Puts `request` in linkPacket (linkBlock for packwriter) and runs the
// routine. The reply is linkBlock for binreceiver, packreceiver and
// packwriter, linkPacket for the others.
LinkResult exchange(Link &link, Routine routine, const QString &request);
// The same on behalf of a hold.
LinkResult exchange(LinkHold &hold, Link &link, Routine routine, const QString &request);

// The fields of a long command that docomax frames.
struct CommandFields
{
    QString code; // three characters
    QString param1 = QStringLiteral("000");
    QString param2 = QStringLiteral("000");
    QString address; // five characters
    QString param3 = QStringLiteral("000");
    QString data;
};

// docomax with `fields`; linkPacket is cleared first, so the reply is only
// what the board sent.
LinkResult exchangeCommand(Link &link, const CommandFields &fields);

} // namespace pvelm
