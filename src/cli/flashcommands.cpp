// velm download and velm flash: the program download of the converter
// window and the operations of the flash memory utility, on the command line.

#include "cli/cli.h"
#include "cli/manyboards.h"
#include "cli/steps.h"
#include "flash/flashpages.h"
#include "flash/transfer.h"
#include "link/exchange.h"
#include "link/link.h"
#include "settings/hostpaths.h"
#include "settings/settings.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace pvelm::cli {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void onInterrupt(int)
{
    g_interrupted = 1;
}

// Ctrl+C during a long operation ends it after the page in transfer, so the
// board and the file are left in a state the summary can describe.
class InterruptCatcher
{
public:
    InterruptCatcher()
    {
        g_interrupted = 0;
        m_previous = std::signal(SIGINT, onInterrupt);
    }
    ~InterruptCatcher() { std::signal(SIGINT, m_previous); }

private:
    void (*m_previous)(int) = nullptr;
};

// The hooks of a long operation. On a terminal: one updating line on
// standard error (page, done/total, time left). Otherwise, for a log: one
// line each time another tenth of the pages is done, "download: 40% (160 of
// 400 pages, 0:30 left)".
flash::TransferHooks progressHooks(QString *currentPage, const QString &label)
{
    flash::TransferHooks hooks;
    hooks.pageStarting = [currentPage](const QString &lineOrPage) { *currentPage = lineOrPage.left(5); };
    if (reportsBoardProgress()) {
        // Serving one board of many: the velm that started this one draws
        // the line.
        hooks.progress = [currentPage](const flash::Progress &p) {
            const QByteArray line = QStringLiteral("%1%2 %3 %4 %5\n")
                                        .arg(QLatin1String(kBoardProgressPrefix))
                                        .arg(p.done)
                                        .arg(p.total)
                                        .arg(p.remainingMs())
                                        .arg(currentPage->isEmpty() ? QStringLiteral("-") : *currentPage)
                                        .toLocal8Bit();
            std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
            std::fflush(stderr);
        };
    } else if (::isatty(STDERR_FILENO)) {
        hooks.progress = [currentPage](const flash::Progress &p) {
            const QString left = flash::formatRemaining(p.remainingMs());
            const QString line = QStringLiteral("\rpage %1  %2/%3  %4")
                                     .arg(*currentPage)
                                     .arg(p.done)
                                     .arg(p.total)
                                     .arg(left.isEmpty() ? QString() : left + QStringLiteral(" left"));
            const QByteArray bytes = line.leftJustified(48).toLocal8Bit();
            std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
            std::fflush(stderr);
        };
    } else {
        hooks.progress = [label, tenths = 0](const flash::Progress &p) mutable {
            if (p.total <= 0 || p.done * 10 / p.total <= tenths)
                return;
            tenths = p.done * 10 / p.total;
            const QString left = p.done < p.total ? flash::formatRemaining(p.remainingMs()) : QString();
            const QByteArray bytes = QStringLiteral("%1: %2% (%3 of %4 pages%5)\n")
                                         .arg(label)
                                         .arg(p.done * 100 / p.total)
                                         .arg(p.done)
                                         .arg(p.total)
                                         .arg(left.isEmpty() ? QString() : QStringLiteral(", %1 left").arg(left))
                                         .toLocal8Bit();
            std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
            std::fflush(stderr);
        };
    }
    hooks.cancelled = [] { return g_interrupted != 0; };
    return hooks;
}

void endProgressLine()
{
    if (::isatty(STDERR_FILENO)) {
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }
}

// Exit status of a long operation: a board that never answered the first
// page, or a port lost on the way, is no link; anything else is a failed job.
int transferStatus(const flash::TransferResult &r)
{
    switch (r.outcome) {
    case flash::Outcome::Done:
        return kExitSuccess;
    case flash::Outcome::Refused:
        return refusedStatus();
    case flash::Outcome::Failed:
        if (r.code == kCodePortFailed)
            return kExitNoLink;
        return r.done == 0 && isNoLinkCode(r.code) ? kExitNoLink : kExitFailed;
    default:
        return kExitFailed;
    }
}

int downloadCommand(Invocation &inv)
{
    const QString path =
        inv.args.isEmpty() ? inv.settings().path(SettingsRecord::kTempHexPathColumn) : inv.args.constFirst();
    return downloadStep(inv, path, flash::kFlashWriteError, QStringLiteral("download"));
}

int flashWriteCommand(Invocation &inv)
{
    return downloadStep(inv, inv.args.constFirst(), "the flash file was not written", QStringLiteral("flash write"));
}

QString notAPage(const QString &what, const QString &text)
{
    if (flash::parsePageNumber(text))
        return QString();
    return QStringLiteral("%1 \"%2\" is not a whole number from 0 up").arg(what, text);
}

QString readArguments(const Invocation &inv)
{
    const QString problem = notAPage(QStringLiteral("flash read: PAGE"), inv.args.constFirst());
    if (!problem.isEmpty())
        return problem;
    const int page = *flash::parsePageNumber(inv.args.constFirst());
    if (!flash::rangeAccepted(page, page))
        return QStringLiteral("flash read: ADDRESS OUT OF RANGE (pages 0 to 2047)");
    return QString();
}

QString saveArguments(const Invocation &inv)
{
    for (const QString &problem : {notAPage(QStringLiteral("flash save: START"), inv.args.at(0)),
                                   notAPage(QStringLiteral("flash save: END"), inv.args.at(1))}) {
        if (!problem.isEmpty())
            return problem;
    }
    if (!flash::rangeAccepted(*flash::parsePageNumber(inv.args.at(0)), *flash::parsePageNumber(inv.args.at(1))))
        return QStringLiteral("flash save: ADDRESS OUT OF RANGE (pages 0 to 2047, END not below START)");
    return QString();
}

int flashReadCommand(Invocation &inv)
{
    const QString text = inv.args.constFirst();
    const LinkResult r = exchange(inv.link(), &Link::binreceiver, flash::pageReadPacket(text.trimmed()));
    if (!r.succeeded()) {
        if (r.ran)
            printError(
                QStringLiteral("page %1 did not read (%2: %3)").arg(flash::pageField(text.trimmed()), r.code, r.text));
        return exchangeStatus(r);
    }
    if (!inv.has(QStringLiteral("--list"))) {
        printLine(r.reply);
        return kExitSuccess;
    }
    const QString listing = flash::pageListing(r.reply);
    for (const QString &row : listing.split(QLatin1String("\r\n")).mid(0, flash::kListingRows))
        printLine(row);
    return kExitSuccess;
}

int flashSaveCommand(Invocation &inv)
{
    const int start = *flash::parsePageNumber(inv.args.at(0));
    const int end = *flash::parsePageNumber(inv.args.at(1));
    Link &link = inv.link();
    QString page;
    const InterruptCatcher catcher;
    const flash::TransferResult r =
        flash::saveFlashRange(link, start, end, hostpaths::toHost(inv.args.at(2)),
                              progressHooks(&page, QStringLiteral("flash save")), flash::PartialSave::BesideIt);
    endProgressLine();
    if (r.ok()) {
        printLine(r.detail);
        return kExitSuccess;
    }
    printError(r.detail);
    return transferStatus(r);
}

int flashEraseCommand(Invocation &inv)
{
    const LinkResult r = exchange(inv.link(), &Link::rawsender, flash::erasePacket());
    if (!r.succeeded()) {
        if (r.ran)
            printError(QStringLiteral("the erase was not answered (%1: %2)").arg(r.code, r.text));
        return exchangeStatus(r);
    }
    printLine(r.reply);
    return kExitSuccess;
}

QString eraseNeedsYes(const Invocation &inv)
{
    if (inv.has(QStringLiteral("--yes")))
        return QString();
    return QStringLiteral("flash erase: this erases the whole flash of the board; add --yes to do it");
}

} // namespace

int downloadStep(Invocation &inv, const QString &path, const char *failureText, const QString &label)
{
    Link &link = inv.link();
    QString page;
    const InterruptCatcher catcher;
    const flash::TransferResult r = flash::writePageFile(link, hostpaths::toHost(path), progressHooks(&page, label));
    endProgressLine();
    if (r.ok()) {
        printLine(r.detail);
        return kExitSuccess;
    }
    // A cancel was asked for: it needs no failure message in front of it.
    if (r.outcome == flash::Outcome::Cancelled)
        printError(r.detail);
    else
        printError(QStringLiteral("%1: %2").arg(QString::fromLatin1(failureText), r.detail));
    return transferStatus(r);
}

void addFlashCommands(std::vector<Command> &table)
{
    Command download{
        .name = QStringLiteral("download"),
        .arguments = QStringLiteral("[HEXFILE]"),
        .minArgs = 0,
        .maxArgs = 1,
        .options = {},
        .summary = QStringLiteral("write the compiled program (temp hex file) into flash"),
        .help = QStringLiteral("Writes every page line of HEXFILE (default: the temp hex file of the settings,\n"
                               "c:\\Corvane\\flash.tmp) into the board's flash, one page at a time, as \"Write to\n"
                               "Flash\" does. The board must confirm the last page with \"OV0OK\". On a terminal\n"
                               "the page, pages done and time left show on standard error; otherwise a line\n"
                               "there each tenth of the pages (download: 40% (160 of 400 pages, 0:30 left)).\n"
                               "Ctrl+C stops after the page in transfer. A failure says at which page the\n"
                               "download stopped."),
        .usesBoard = true,
        .handler = downloadCommand,
    };
    Command read{
        .name = QStringLiteral("flash read"),
        .arguments = QStringLiteral("PAGE"),
        .minArgs = 1,
        .maxArgs = 1,
        .options = {Option{QStringLiteral("--list"), QString(),
                           QStringLiteral("print the page as 32 rows of 32 digits")}},
        .summary = QStringLiteral("read one flash page"),
        .help = QStringLiteral("Reads flash page PAGE (0-2047; as typed, the rightmost five digits are sent)\n"
                               "and prints the 528 hex digits the board sent, on one line, or as the\n"
                               "utility's listing with --list: 16 element rows, the spare digits, then empty rows."),
        .usesBoard = true,
        .handler = flashReadCommand,
    };
    Command save{
        .name = QStringLiteral("flash save"),
        .arguments = QStringLiteral("START END FILE"),
        .minArgs = 3,
        .maxArgs = 3,
        .options = {},
        .summary = QStringLiteral("save flash pages START..END into a flash file"),
        .help = QStringLiteral("Reads pages START to END (0-2047) and writes them as page lines into FILE,\n"
                               "replacing it whole (through a temporary file) once every page was read. A page\n"
                               "that does not read (or Ctrl+C) stops the save; FILE then stays as it was and\n"
                               "the pages read so far are in FILE.partial. A write the system refuses (a full\n"
                               "disk) leaves FILE as it was and says why. The last line says which pages the\n"
                               "file holds."),
        .usesBoard = true,
        .handler = flashSaveCommand,
    };
    Command write{
        .name = QStringLiteral("flash write"),
        .arguments = QStringLiteral("FILE"),
        .minArgs = 1,
        .maxArgs = 1,
        .options = {},
        .summary = QStringLiteral("write every page line of a flash file into flash"),
        .help = QStringLiteral("Writes each page line of FILE into the page its first five digits name, in file\n"
                               "order. Stops at the first page the board does not take; the board must confirm\n"
                               "the last page with \"OV0OK\"."),
        .usesBoard = true,
        .handler = flashWriteCommand,
    };
    Command erase{
        .name = QStringLiteral("flash erase"),
        .arguments = QString(),
        .minArgs = 0,
        .maxArgs = 0,
        .options = {Option{QStringLiteral("--yes"), QString(), QStringLiteral("really erase the whole flash")}},
        .summary = QStringLiteral("erase the whole flash (needs --yes)"),
        .help = QStringLiteral("Erases the board's entire flash (command R17) and prints the board's reply.\n"
                               "Refuses to run without --yes."),
        .usesBoard = true,
        .handler = flashEraseCommand,
    };
    read.check = readArguments;
    save.check = saveArguments;
    erase.check = eraseNeedsYes;
    for (Command *c : {&download, &read, &save, &write, &erase})
        table.push_back(std::move(*c));
}

} // namespace pvelm::cli
