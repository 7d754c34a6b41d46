#include "cli/cli.h"

#include "cli/manyboards.h"
#include "link/exchange.h"
#include "link/link.h"
#include "link/traffic.h"
#include "settings/hostpaths.h"
#include "settings/portchoice.h"
#include "settings/printable.h"
#include "settings/settings.h"
#include "settings/version.h"
#include "sim/keptboard.h"
#include "sim/virtualboard.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace pvelm::cli {

// ---- output -----------------------------------------------------------------

namespace {

void writeErr(const QString &line)
{
    const QByteArray bytes = line.toLocal8Bit() + '\n';
    std::fflush(stdout); // keep the order of the two streams when both are a terminal
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace

void printLine(const QString &text)
{
    // Board text is single-byte; write it back byte for byte.
    const QByteArray bytes = text.toLatin1() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

void printError(const QString &text)
{
    writeErr(QStringLiteral("velm: ") + printable(text));
}

void printWarning(const QString &text)
{
    writeErr(QStringLiteral("velm: warning: ") + printable(text));
}

// ---- session ------------------------------------------------------------------

// Everything one velm run holds. The link is declared after the board so it
// closes its side of the line before the board goes away.
class Session
{
public:
    SettingsRecord settings;
    std::unique_ptr<sim::VirtualBoard> board;
    std::unique_ptr<sim::KeptBoard> kept; // the board's state from the last run, saved at a clean exit
    std::unique_ptr<Link> link;
    // --trace: goes before the link does.
    std::unique_ptr<TrafficLog> trace;
};

Link &Invocation::link() const
{
    return *session->link;
}

const SettingsRecord &Invocation::settings() const
{
    return session->settings;
}

int refusedStatus()
{
    printError(QString::fromLatin1(kExchangeRefusedMessage));
    return kExitFailed;
}

int exchangeStatus(const LinkResult &r)
{
    if (!r.ran)
        return refusedStatus();
    if (r.succeeded())
        return kExitSuccess;
    return r.noLink() ? kExitNoLink : kExitFailed;
}

// ---- command table ------------------------------------------------------------

const std::vector<Command> &commandTable()
{
    static const std::vector<Command> table = [] {
        std::vector<Command> t;
        addBoardCommands(t);
        addCompileCommands(t);
        addEditorCommands(t);
        addRunCommands(t);
        addFlashCommands(t);
        addToolCommands(t);
        addSetupCommands(t);
        addPortCommands(t);
        return t;
    }();
    return table;
}

namespace {

constexpr char kUsagePrefix[] = "usage: velm [--port DEVICE | --simulate]";

struct UsageError
{
    QString message;
};

struct Globals
{
    PortOptions port; // --port, --simulate, --sim-fault, --trace
    bool help = false;
    bool version = false;
    QStringList ports;                // every --port, in order
    std::optional<QString> portsFile; // --ports
    bool json = false;
};

QStringList words(const QString &name)
{
    return name.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// A negative number ("-10", "-1.5") is an argument, not an option.
bool isOption(const QString &token)
{
    if (token.size() < 2 || !token.startsWith(QLatin1Char('-')))
        return false;
    const QChar next = token.at(1) == QLatin1Char('.') && token.size() > 2 ? token.at(2) : token.at(1);
    return !next.isDigit();
}

// The options every command takes, as the help names them.
const QStringList &globalOptionNames()
{
    static const QStringList names{
        QStringLiteral("--port"), QStringLiteral("--simulate"),  QStringLiteral("--trace"),
        QStringLiteral("--help"), QStringLiteral("--version"),   QStringLiteral("--ports"),
        QStringLiteral("--json"), QStringLiteral("--sim-fault"), QStringLiteral("--fresh-board")};
    return names;
}

qsizetype editDistance(const QString &a, const QString &b)
{
    std::vector<qsizetype> row(size_t(b.size()) + 1);
    for (qsizetype j = 0; j <= b.size(); ++j)
        row[size_t(j)] = j;
    for (qsizetype i = 1; i <= a.size(); ++i) {
        qsizetype diagonal = row[0];
        row[0] = i;
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const qsizetype above = row[size_t(j)];
            row[size_t(j)] =
                std::min({above + 1, row[size_t(j) - 1] + 1, diagonal + (a.at(i - 1) == b.at(j - 1) ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[size_t(b.size())];
}

// "; did you mean 'NAME'?" for the candidate nearest to what was typed, when
// one is close: at most two edits, and fewer than the typed word has letters
// (so that "ab" does not become "go"). Otherwise `fallback`.
QString suggestion(const QString &typed, const QStringList &candidates, const QString &fallback = QString())
{
    const QString word = typed.section(QLatin1Char('='), 0, 0);
    const qsizetype letters = QString(word).remove(QLatin1Char('-')).size();
    QString best;
    qsizetype bestDistance = std::min<qsizetype>(2, letters - 1) + 1;
    for (const QString &candidate : candidates) {
        const qsizetype d = editDistance(word, candidate);
        if (d < bestDistance) {
            best = candidate;
            bestDistance = d;
        }
    }
    return best.isEmpty() ? fallback : QStringLiteral("; did you mean '%1'?").arg(best);
}

bool isHelp(const QString &token)
{
    return token == QLatin1String("--help") || token == QLatin1String("-h");
}

// Splits "--name=value" into its parts; a token without "=" has no value.
std::pair<QString, std::optional<QString>> splitOption(const QString &token)
{
    const qsizetype eq = token.indexOf(QLatin1Char('='));
    if (!token.startsWith(QLatin1String("--")) || eq < 0)
        return {token, std::nullopt};
    return {token.left(eq), token.mid(eq + 1)};
}

// Takes the value of an option at args[i]: inline ("--x=v") or the next
// token. Advances i past what it used. A next token that is itself a long
// option is taken as a forgotten value rather than swallowed.
QString takeValue(const QStringList &args, qsizetype &i, const QString &name, const std::optional<QString> &inlineValue,
                  const QString &context = QString())
{
    if (inlineValue)
        return *inlineValue;
    if (i + 1 >= args.size() || args[i + 1].startsWith(QLatin1String("--")))
        throw UsageError{QStringLiteral("%1option '%2' needs a value").arg(context, name)};
    return args[++i];
}

// Consumes a global option at args[i] if it is one; returns false otherwise.
bool takeGlobal(const QStringList &args, qsizetype &i, Globals &g)
{
    const auto [name, inlineValue] = splitOption(args[i]);
    if (isHelp(name) && !inlineValue) {
        g.help = true;
        return true;
    }
    if (name == QLatin1String("--version") && !inlineValue) {
        g.version = true;
        return true;
    }
    if (name == QLatin1String("--simulate")) {
        if (inlineValue)
            throw UsageError{QStringLiteral("option '--simulate' takes no value")};
        g.port.simulate = true;
        return true;
    }
    if (name == QLatin1String("--fresh-board")) {
        if (inlineValue)
            throw UsageError{QStringLiteral("option '--fresh-board' takes no value")};
        g.port.freshBoard = true;
        return true;
    }
    if (name == QLatin1String("--port")) {
        g.ports << takeValue(args, i, name, inlineValue);
        return true;
    }
    if (name == QLatin1String("--ports")) {
        if (g.portsFile)
            throw UsageError{QStringLiteral("option '--ports' given twice")};
        g.portsFile = takeValue(args, i, name, inlineValue);
        return true;
    }
    if (name == QLatin1String("--json")) {
        if (inlineValue)
            throw UsageError{QStringLiteral("option '--json' takes no value")};
        g.json = true;
        return true;
    }
    if (name == QLatin1String("--trace")) {
        if (g.port.trace)
            throw UsageError{QStringLiteral("option '--trace' given twice")};
        g.port.trace = takeValue(args, i, name, inlineValue);
        return true;
    }
    if (name == QLatin1String("--sim-fault")) {
        if (g.port.simFault)
            throw UsageError{QStringLiteral("option '--sim-fault' given twice")};
        g.port.simFault = takeValue(args, i, name, inlineValue);
        return true;
    }
    return false;
}

QString usageLine(const Command &c)
{
    QString line = QString::fromLatin1(kUsagePrefix) + QLatin1Char(' ') + c.name;
    for (const Option &o : c.options)
        line +=
            QStringLiteral(" [%1%2]").arg(o.name, o.valueName.isEmpty() ? QString() : QLatin1Char(' ') + o.valueName);
    if (!c.arguments.isEmpty())
        line += QLatin1Char(' ') + c.arguments;
    return line;
}

QString pad(const QString &s, int width)
{
    return s.size() >= width ? s + QLatin1String("  ") : s.leftJustified(width);
}

void printGeneralHelp()
{
    printLine(QString::fromLatin1(kUsagePrefix) + QStringLiteral(" COMMAND [ARGUMENTS...]"));
    printLine(QString());
    printLine(QStringLiteral("Talks to the Velm board over the serial port of the console's settings record"));
    printLine(QStringLiteral("(c:\\Corvane\\parameters.ovh, created with its defaults when missing)."));
    printLine(QString());
    printLine(QStringLiteral("Commands:"));
    for (const Command &c : commandTable())
        printLine(QStringLiteral("  ") + pad(c.name, 14) + c.summary);
    printLine(QString());
    printLine(QStringLiteral("Options:"));
    printLine(QStringLiteral("  --port DEVICE  use DEVICE instead of the settings' port for this run: a device"));
    printLine(QStringLiteral("                 path, COMn for port n as the settings number ports, or"));
    printLine(QStringLiteral("                 socket://HOST:PORT for a network serial server (raw TCP)"));
    printLine(QStringLiteral("                 (several --port options serve several boards at once)"));
    printLine(QStringLiteral("  --ports FILE   the ports of FILE, one a line, too"));
    printLine(QStringLiteral("  --json         the results as a JSON array, one object per board"));
    printLine(QStringLiteral("  --simulate     talk to a virtual board started inside velm; it keeps its"));
    printLine(QStringLiteral("                 flash, memories, positions and outputs under $PVELM_ROOT"));
    printLine(QStringLiteral("  --fresh-board  with --simulate: start that board clean"));
    printLine(QStringLiteral("  --trace FILE   write every byte sent to and received from the board to FILE"));
    printLine(QStringLiteral("                 (one line a chunk: milliseconds, TX or RX, routine, bytes)"));
    printLine(QStringLiteral("  -h, --help     show this help; 'velm COMMAND --help' shows a command's help"));
    printLine(QStringLiteral("  --version      print the program's version"));
    printLine(QString());
    printLine(QStringLiteral("Exit status: 0 success, 1 the job ran but failed, 2 bad usage, 3 no link"));
    printLine(QStringLiteral("(the port cannot be opened or the board does not answer); with several boards the"));
    printLine(QStringLiteral("highest of the boards' statuses."));
}

// What the About window shows.
void printVersion()
{
    printLine(QStringLiteral("%1 %2").arg(QLatin1String(kProgramName), QLatin1String(kProgramVersion)));
}

void printCommandHelp(const Command &c)
{
    printLine(usageLine(c));
    printLine(QString());
    for (const QString &line : c.help.split(QLatin1Char('\n')))
        printLine(line);
    if (!c.options.isEmpty()) {
        printLine(QString());
        printLine(QStringLiteral("Options:"));
        for (const Option &o : c.options) {
            const QString lhs = o.name + (o.valueName.isEmpty() ? QString() : QLatin1Char(' ') + o.valueName);
            printLine(QStringLiteral("  ") + pad(lhs, 18) + o.help);
        }
    }
    printLine(QString());
    printLine(QStringLiteral("See 'velm --help' for --port, --simulate, --trace and the exit statuses."));
}

// The commands whose first words are `prefix` and that have more words.
std::vector<const Command *> groupMembers(const QStringList &prefix)
{
    std::vector<const Command *> members;
    for (const Command &c : commandTable()) {
        const QStringList w = words(c.name);
        if (w.size() > prefix.size() && w.mid(0, prefix.size()) == prefix)
            members.push_back(&c);
    }
    return members;
}

QString memberList(const std::vector<const Command *> &members, int skipWords)
{
    QStringList names;
    for (const Command *c : members)
        names << words(c->name).mid(skipWords).join(QLatin1Char(' '));
    return names.join(QStringLiteral(", "));
}

void printGroupHelp(const QStringList &prefix, const std::vector<const Command *> &members)
{
    printLine(QString::fromLatin1(kUsagePrefix) + QLatin1Char(' ') + prefix.join(QLatin1Char(' ')) +
              QStringLiteral(" SUBCOMMAND ..."));
    printLine(QString());
    printLine(QStringLiteral("Subcommands:"));
    for (const Command *c : members)
        printLine(QStringLiteral("  ") + pad(c->name, 14) + c->summary);
    printLine(QString());
    printLine(QStringLiteral("See 'velm %1 SUBCOMMAND --help'.").arg(prefix.join(QLatin1Char(' '))));
}

// The table entry named by the longest run of leading words, or null.
const Command *matchCommand(const QStringList &args, qsizetype start)
{
    const Command *best = nullptr;
    qsizetype bestWords = 0;
    for (const Command &c : commandTable()) {
        const QStringList w = words(c.name);
        if (start + w.size() > args.size() || w.size() <= bestWords)
            continue;
        if (args.mid(start, w.size()) == w) {
            best = &c;
            bestWords = w.size();
        }
    }
    return best;
}

// What the port options choose; a conflict among them is bad usage.
PortChoice checkGlobals(const Globals &g)
{
    PortOptions options = g.port;
    options.secondMs = secondMsFromEnvironment();
    const PortChoice choice = choosePort(options);
    if (!choice.ok())
        throw UsageError{choice.error};
    if (choice.startBoard && g.port.simFault && !sim::parseFault(choice.boardFault, nullptr))
        throw UsageError{QStringLiteral("unknown fault '%1' for --sim-fault").arg(choice.boardFault)};
    return choice;
}

// Opens the link for a board command: the settings' port, or the one that
// --port or --simulate gives. Returns an exit status, or 0 when the port is
// open.
int openLink(Session &session, const PortChoice &choice)
{
    session.link = std::make_unique<Link>();
    Link &link = *session.link;
    link.setSettings(&session.settings);
    if (session.trace)
        session.trace->setLink(&link);
    if (!choice.warning.isEmpty())
        printWarning(choice.warning);
    if (choice.secondMs > 0)
        link.setSecondMs(choice.secondMs);

    if (choice.startBoard) {
        session.board = std::make_unique<sim::VirtualBoard>();
        if (!choice.boardFault.isEmpty()) {
            sim::Fault f = sim::Fault::None;
            sim::parseFault(choice.boardFault, &f);
            session.board->setFault(f);
        }
        QString why;
        QString notice;
        session.kept = std::make_unique<sim::KeptBoard>(*session.board);
        if (!session.kept->load(choice.freshBoard, &why, &notice)) {
            session.kept.reset();
            printError(why);
            return kExitFailed;
        }
        if (!notice.isEmpty())
            printWarning(notice);
        if (!session.board->start(&why)) {
            printError(QStringLiteral("cannot start the virtual board: %1").arg(why));
            return kExitNoLink;
        }
        link.setPortOverride(session.board->devicePath());
    } else if (!choice.device.isEmpty()) {
        link.setPortOverride(choice.device);
    }

    link.opencomport();
    if (!link.isPortOpen()) {
        QString message = QString::fromLatin1(kPortOpenFailedMessage);
        const QString reason = link.portOpenError();
        if (!reason.isEmpty())
            message += QStringLiteral(": ") + reason;
        printError(message);
        return kExitNoLink;
    }
    return kExitSuccess;
}

int runParsed(const QStringList &args)
{
    Globals g;
    qsizetype i = 0;
    bool optionsEnded = false;

    // Options before the command.
    for (; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--")) {
            optionsEnded = true;
            ++i;
            break;
        }
        if (!isOption(args[i]))
            break;
        if (!takeGlobal(args, i, g))
            throw UsageError{QStringLiteral("unknown option '%1'").arg(args[i]) +
                             suggestion(args[i], globalOptionNames())};
    }
    if (g.version) {
        printVersion();
        return kExitSuccess;
    }

    if (i >= args.size()) {
        if (g.help) {
            printGeneralHelp();
            return kExitSuccess;
        }
        throw UsageError{QStringLiteral("missing command; see 'velm --help'")};
    }

    const Command *command = matchCommand(args, i);
    if (!command) {
        // A group such as "send": list its members, or say which is missing.
        QStringList prefix;
        for (qsizetype j = i; j < args.size() && !isOption(args[j]); ++j) {
            if (groupMembers(prefix + QStringList{args[j]}).empty())
                break;
            prefix << args[j];
        }
        if (prefix.isEmpty()) {
            QStringList names;
            for (const Command &c : commandTable())
                names << words(c.name).constFirst();
            names.removeDuplicates();
            throw UsageError{QStringLiteral("unknown command '%1'").arg(args[i]) +
                             suggestion(args[i], names, QStringLiteral("; see 'velm --help'"))};
        }
        const auto members = groupMembers(prefix);
        const qsizetype next = i + prefix.size();
        bool helpAsked = g.help;
        for (qsizetype j = next; j < args.size() && args[j] != QLatin1String("--"); ++j)
            helpAsked = helpAsked || isHelp(args[j]);
        if (helpAsked) {
            printGroupHelp(prefix, members);
            return kExitSuccess;
        }
        const QString group = prefix.join(QLatin1Char(' '));
        if (next >= args.size() || isOption(args[next]))
            throw UsageError{
                QStringLiteral("%1: missing subcommand (%2)").arg(group, memberList(members, prefix.size()))};
        QStringList names;
        for (const Command *c : members)
            names << words(c->name).value(prefix.size());
        throw UsageError{QStringLiteral("%1: unknown subcommand '%2' (%3)")
                             .arg(group, args[next], memberList(members, prefix.size())) +
                         suggestion(args[next], names)};
    }
    i += words(command->name).size();

    // The command's own options and arguments; global options may follow
    // the command too.
    Invocation inv;
    for (; i < args.size(); ++i) {
        const QString &token = args[i];
        if (optionsEnded || !isOption(token)) {
            inv.args << token;
            continue;
        }
        if (token == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (takeGlobal(args, i, g))
            continue;
        const auto [name, inlineValue] = splitOption(token);
        const auto opt = std::find_if(command->options.begin(), command->options.end(),
                                      [&](const Option &o) { return o.name == name; });
        if (opt == command->options.end()) {
            QStringList names;
            for (const Option &o : command->options)
                names << o.name;
            throw UsageError{QStringLiteral("%1: unknown option '%2'").arg(command->name, token) +
                             suggestion(token, names + globalOptionNames())};
        }
        if (inv.options.contains(name))
            throw UsageError{QStringLiteral("%1: option '%2' given twice").arg(command->name, name)};
        if (opt->valueName.isEmpty()) {
            if (inlineValue)
                throw UsageError{QStringLiteral("%1: option '%2' takes no value").arg(command->name, name)};
            inv.options.insert(name, QString());
        } else {
            inv.options.insert(name, takeValue(args, i, name, inlineValue, command->name + QStringLiteral(": ")));
        }
    }

    if (g.help) {
        printCommandHelp(*command);
        return kExitSuccess;
    }
    if (g.version) {
        printVersion();
        return kExitSuccess;
    }
    if (g.portsFile) {
        QString why;
        g.ports += readPortsFile(*g.portsFile, &why);
        if (!why.isEmpty())
            throw UsageError{why};
    }
    for (const QString &port : g.ports) {
        g.port.port = port; // each is checked as the one port would be
        checkGlobals(g);
    }
    if (!g.ports.isEmpty())
        g.port.port = g.ports.constFirst();
    // A command with a --json of its own (velm ports) takes the global one.
    if (g.json && std::any_of(command->options.begin(), command->options.end(),
                              [](const Option &o) { return o.name == QLatin1String("--json"); })) {
        inv.options.insert(QStringLiteral("--json"), QString());
        g.json = false;
    }
    const bool many = g.ports.size() > 1 || g.json;
    if (many && !servesManyBoards(*command))
        throw UsageError{QStringLiteral("%1: one board at a time; several ports and --json are for version, "
                                        "download, flash save, flash write, params get, run and stop")
                             .arg(command->name)};
    const PortChoice choice = checkGlobals(g);
    if (inv.args.size() < command->minArgs)
        throw UsageError{
            QStringLiteral("%1: missing argument; usage: velm %1 %2").arg(command->name, command->arguments)};
    if (command->maxArgs >= 0 && inv.args.size() > command->maxArgs)
        throw UsageError{
            QStringLiteral("%1: unexpected argument '%2'").arg(command->name, inv.args.at(command->maxArgs))};
    if (command->check) {
        const QString problem = command->check(inv);
        if (!problem.isEmpty())
            throw UsageError{problem};
    }
    ManyBoards manyRun{command, g.ports, std::nullopt, inv.options, inv.args, g.port.trace, g.json};
    if (many) {
        if (g.port.simulate) {
            manyRun.ports = QStringList{QStringLiteral("simulate")};
            manyRun.portOptions = QStringList{QStringLiteral("--simulate")};
            if (g.port.simFault)
                *manyRun.portOptions << QStringLiteral("--sim-fault") << *g.port.simFault;
        } else if (g.ports.isEmpty()) {
            manyRun.ports = QStringList{QStringLiteral("settings")};
            manyRun.portOptions = QStringList();
        }
        const QString problem = checkManyBoards(manyRun);
        if (!problem.isEmpty())
            throw UsageError{problem};
    }

    // Every command starts as the console does: with the settings record,
    // made with its defaults when it is missing. velm never writes it back.
    Session session;
    // The trace file is made whether or not the command talks to the board,
    // so that a script finds it after every run.
    // Serving many boards, each board's velm writes its own trace.
    if (!choice.traceFile.isEmpty() && !many) {
        session.trace = std::make_unique<TrafficLog>();
        QString why;
        if (!session.trace->startTrace(choice.traceFile, &why)) {
            printError(QStringLiteral("cannot write the trace file %1: %2").arg(*g.port.trace, why));
            return kExitFailed;
        }
    }
    const SettingsLoad load = loadSettings(session.settings);
    if (!load.ok) {
        printError(load.error.isEmpty()
                       ? QString::fromLatin1(kSettingsFatalMessage)
                       : QStringLiteral("%1 (%2)").arg(QString::fromLatin1(kSettingsFatalMessage), load.error));
        return kExitFailed;
    }
    if (!load.notice.isEmpty())
        printWarning(load.notice);

    if (many)
        return runManyBoards(manyRun);
    if (command->usesBoard) {
        if (const int status = openLink(session, choice))
            return status;
    }
    inv.session = &session;
    inv.openBoard = [&session, &choice] { return openLink(session, choice); };
    int status = command->handler(inv);
    std::fflush(stdout);
    // Kept for the next run only after a clean end; a crash keeps the last one.
    QString why;
    if (session.kept && !session.kept->save(&why)) {
        printError(why);
        status = status ? status : kExitFailed;
    }
    return status;
}

} // namespace

int run(const QStringList &arguments)
{
    try {
        return runParsed(arguments);
    } catch (const UsageError &e) {
        printError(e.message);
        return kExitUsage;
    }
}

} // namespace pvelm::cli
