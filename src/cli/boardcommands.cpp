// velm version, velm send long, velm send short: the buttons of the command
// sender windows, on the command line.

#include "boardtools/commandsender.h"
#include "cli/cli.h"
#include "link/exchange.h"
#include "link/link.h"

namespace pvelm::cli {

namespace {

// "X: Invalid Instruction sent", or what arrived when the reply was too short
// to hold a result code.
QString codeDetail(const LinkResult &r)
{
    if (r.code.isEmpty()) {
        if (r.reply.isEmpty())
            return QStringLiteral("no reply");
        return QStringLiteral("reply of %1 characters, no result code").arg(r.reply.size());
    }
    const QString text = r.text.isEmpty() ? Link::describe(r.code) : r.text;
    return r.code + QStringLiteral(": ") + text;
}

// The common ending of `version` and `send long` when the board's code is
// not "0". The reply is printed only when it came from the board: after a
// lost handshake it still holds the request.
int reportLongFailure(const LinkResult &r, const char *errorText)
{
    if (!isNoLinkCode(r.code) && !r.reply.isEmpty())
        printLine(r.reply);
    printError(QStringLiteral("%1 (%2)").arg(QString::fromLatin1(errorText), codeDetail(r)));
    return exchangeStatus(r);
}

int versionCommand(Invocation &inv)
{
    const LongCommandOutcome out = requestVersion(inv.link(), inv.value(QStringLiteral("--address")));
    if (!out.ran)
        return refusedStatus();
    if (!out.succeeded())
        return reportLongFailure(out, kVersionError);
    if (versionFromReply(out.reply).isEmpty()) {
        // The window shows "No Data" beside a reply that is not a version.
        printLine(out.reply);
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
    const QString address = inv.args.size() > 1 ? inv.args.at(1) : QString();
    const LongCommandOutcome out = sendLongCommand(inv.link(), inv.args.at(0), address);
    if (!out.ran)
        return refusedStatus();
    if (!out.succeeded())
        return reportLongFailure(out, kLongCommandError);
    printLine(out.responce);
    return kExitSuccess;
}

int sendShortCommandHandler(Invocation &inv)
{
    const ShortCommandOutcome out = sendShortCommand(inv.link(), inv.args.at(0));
    if (!out.ran)
        return refusedStatus();
    // Exactly what the window's reply box shows, also when the exchange
    // failed (then it is the text that was sent, which stderr points out).
    printLine(out.responce);
    if (!out.succeeded())
        printError(QStringLiteral("the short packet was not answered (%1)").arg(codeDetail(out)));
    return exchangeStatus(out);
}

} // namespace

void addBoardCommands(std::vector<Command> &table)
{
    table.push_back(Command{
        .name = QStringLiteral("version"),
        .arguments = QString(),
        .minArgs = 0,
        .maxArgs = 0,
        .options = {Option{QStringLiteral("--address"), QStringLiteral("ADDRESS"),
                           QStringLiteral("address field of the request (last 5 characters, default 00000)")}},
        .summary = QStringLiteral("ask the board for its firmware version"),
        .help = QStringLiteral("Sends the version request (command R02) and prints two lines: the version text\n"
                               "(reply columns 7-19), then the whole 64-character reply."),
        .usesBoard = true,
        .handler = versionCommand,
    });
    table.push_back(Command{
        .name = QStringLiteral("send long"),
        .arguments = QStringLiteral("CODE [ADDRESS]"),
        .minArgs = 1,
        .maxArgs = 2,
        .options = {},
        .summary = QStringLiteral("send a long command and print the board's reply"),
        .help = QStringLiteral("Sends a long command with command code CODE (its last 3 characters, padded\n"
                               "with \"0\" on the left) and address field ADDRESS (its last 5 characters, padded\n"
                               "with \"0\"; default 00000), and prints the board's whole 64-character reply.\n"
                               "A reply whose result code (column 62) is not \"0\" is printed too, and the\n"
                               "command fails."),
        .usesBoard = true,
        .handler = sendLongCommandHandler,
    });
    table.push_back(Command{
        .name = QStringLiteral("send short"),
        .arguments = QStringLiteral("PACKET"),
        .minArgs = 1,
        .maxArgs = 1,
        .options = {},
        .summary = QStringLiteral("send a short packet as typed and print the reply"),
        .help = QStringLiteral("Sends PACKET exactly as given (no padding, no check; the usual form is a\n"
                               "9-character packet such as OXDDDDDDH) and prints the board's 9-character reply.\n"
                               "When no reply arrives it prints what the sender window's reply box would show\n"
                               "(the text that was sent) and the command fails."),
        .usesBoard = true,
        .handler = sendShortCommandHandler,
    });
}

} // namespace pvelm::cli
