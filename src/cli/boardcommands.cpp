// velm version, velm send long, velm send short: the buttons of the command
// sender windows, on the command line.

#include "boardtools/commandsender.h"
#include "cli/cli.h"
#include "link/link.h"

namespace pvelm::cli {

namespace {

bool isNoLinkCode(const QString &code)
{
    return code == QLatin1String("Z") || code == QLatin1String("7");
}

// "X: Invalid Instruction sent", or what arrived when the reply was too short
// to hold a result code.
QString codeDetail(const Link &link)
{
    const QString &code = link.linkErrorCode;
    if (code.isEmpty()) {
        if (link.linkPacket.isEmpty())
            return QStringLiteral("no reply");
        return QStringLiteral("reply of %1 characters, no result code").arg(link.linkPacket.size());
    }
    const QString text = link.linkErrorText.isEmpty() ? Link::describe(code) : link.linkErrorText;
    return code + QStringLiteral(": ") + text;
}

// Exit status for a long exchange that did not end with code "0". A board
// that never answered (handshake lost, port gone, or not one character of a
// reply) means no link; anything else the board said is a failed job.
int statusForFailure(const Link &link)
{
    if (isNoLinkCode(link.linkErrorCode))
        return kExitNoLink;
    if (link.linkErrorCode.isEmpty() && link.linkPacket.isEmpty())
        return kExitNoLink;
    return kExitFailed;
}

// The common ending of `version` and `send long` when the board's code is
// not "0". The reply is printed only when it came from the board: after a
// lost handshake linkPacket still holds the request.
int reportLongFailure(const Link &link, const char *errorText)
{
    if (!isNoLinkCode(link.linkErrorCode) && !link.linkPacket.isEmpty())
        printLine(link.linkPacket);
    printError(QStringLiteral("%1 (%2)").arg(QString::fromLatin1(errorText), codeDetail(link)));
    return statusForFailure(link);
}

int refused()
{
    printError(QString::fromLatin1(kExchangeRefusedMessage));
    return kExitFailed;
}

int versionCommand(Invocation &inv)
{
    Link &link = inv.link();
    const LongCommandOutcome out = requestVersion(link, inv.value(QStringLiteral("--address")));
    if (!out.ran)
        return refused();
    if (link.linkErrorCode != QLatin1String("0"))
        return reportLongFailure(link, kVersionError);
    if (versionFromReply(link.linkPacket).isEmpty()) {
        // The window shows "No Data" beside a reply that is not a version.
        printLine(link.linkPacket);
        printError(QStringLiteral("%1 (the reply has no \"Version\" in columns 7-13)")
                       .arg(QString::fromLatin1(kVersionNoData)));
        return kExitFailed;
    }
    printLine(out.inver);
    printLine(out.responce);
    return kExitSuccess;
}

int sendLongCommandHandler(Invocation &inv)
{
    Link &link = inv.link();
    const QString address = inv.args.size() > 1 ? inv.args.at(1) : QString();
    const LongCommandOutcome out = sendLongCommand(link, inv.args.at(0), address);
    if (!out.ran)
        return refused();
    if (link.linkErrorCode != QLatin1String("0"))
        return reportLongFailure(link, kLongCommandError);
    printLine(out.responce);
    return kExitSuccess;
}

int sendShortCommandHandler(Invocation &inv)
{
    Link &link = inv.link();
    const ShortCommandOutcome out = sendShortCommand(link, inv.args.at(0));
    if (!out.ran)
        return refused();
    // Exactly what the window's reply box shows, also when the exchange
    // failed (then it is the text that was sent, which stderr points out).
    printLine(out.responce);
    if (link.linkErrorCode == QLatin1String("0"))
        return kExitSuccess;
    printError(QStringLiteral("the short packet was not answered (%1)").arg(codeDetail(link)));
    return isNoLinkCode(link.linkErrorCode) ? kExitNoLink : kExitFailed;
}

} // namespace

void addBoardCommands(std::vector<Command> &table)
{
    table.push_back(Command{
        QStringLiteral("version"),
        QString(),
        0,
        0,
        {Option{QStringLiteral("--address"), QStringLiteral("ADDRESS"),
                QStringLiteral("address field of the request (last 5 characters, default 00000)")}},
        QStringLiteral("ask the board for its firmware version"),
        QStringLiteral("Sends the version request (command R02) and prints two lines: the version text\n"
                       "(reply columns 7-19), then the whole 64-character reply."),
        true,
        versionCommand,
    });
    table.push_back(Command{
        QStringLiteral("send long"),
        QStringLiteral("CODE [ADDRESS]"),
        1,
        2,
        {},
        QStringLiteral("send a long command and print the board's reply"),
        QStringLiteral("Sends a long command with command code CODE (its last 3 characters, padded\n"
                       "with \"0\" on the left) and address field ADDRESS (its last 5 characters, padded\n"
                       "with \"0\"; default 00000), and prints the board's whole 64-character reply.\n"
                       "A reply whose result code (column 62) is not \"0\" is printed too, and the\n"
                       "command fails."),
        true,
        sendLongCommandHandler,
    });
    table.push_back(Command{
        QStringLiteral("send short"),
        QStringLiteral("PACKET"),
        1,
        1,
        {},
        QStringLiteral("send a short packet as typed and print the reply"),
        QStringLiteral("Sends PACKET exactly as given (no padding, no check; the usual form is a\n"
                       "9-character packet such as OXDDDDDDH) and prints the board's 9-character reply.\n"
                       "When no reply arrives it prints what the sender window's reply box would show\n"
                       "(the text that was sent) and the command fails."),
        true,
        sendShortCommandHandler,
    });
}

} // namespace pvelm::cli
