#include "link/exchange.h"

#include "link/link.h"

namespace pvelm {

namespace {

bool repliesInBlock(Routine routine)
{
    return routine == &Link::binreceiver || routine == &Link::packreceiver || routine == &Link::packwriter;
}

LinkResult resultOf(const Link &link, Routine routine)
{
    LinkResult out;
    out.ran = true;
    out.reply = repliesInBlock(routine) ? link.linkBlock : link.linkPacket;
    out.code = link.linkErrorCode;
    out.text = link.linkErrorText;
    return out;
}

void fillRequest(Link &link, Routine routine, const QString &request)
{
    if (routine == &Link::packwriter)
        link.linkBlock = request;
    else
        link.linkPacket = request;
}

} // namespace

bool isNoLinkCode(const QString &code)
{
    return code == kCodeNoAnswer || code == kCodePortFailed;
}

LinkResult exchange(Link &link, Routine routine, const QString &request)
{
    // Look before touching the link state: a refused call must leave it alone.
    if (link.isBusy())
        return {};
    fillRequest(link, routine, request);
    if (!(link.*routine)())
        return {};
    return resultOf(link, routine);
}

LinkResult exchange(LinkHold &hold, Link &link, Routine routine, const QString &request)
{
    if (!hold.acquired())
        return {};
    fillRequest(link, routine, request);
    if (!hold(routine))
        return {};
    return resultOf(link, routine);
}

LinkResult exchangeCommand(Link &link, const CommandFields &fields)
{
    if (link.isBusy())
        return {};
    link.linkPacket.clear();
    link.cmdData = fields.data;
    link.cmdCode = fields.code;
    link.cmdParam1 = fields.param1;
    link.cmdParam2 = fields.param2;
    link.cmdAddress = fields.address;
    link.cmdParam3 = fields.param3;
    if (!link.docomax())
        return {};
    return resultOf(link, &Link::docomax);
}

} // namespace pvelm
