#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace pvelm {
class Link;
class SettingsRecord;
struct LinkResult;
} // namespace pvelm

namespace pvelm::cli {

// Exit statuses of every velm command. Scripts rely on these numbers.
enum ExitStatus {
    kExitSuccess = 0,
    kExitFailed = 1, // the job ran but failed
    kExitUsage = 2,  // bad command line
    kExitNoLink = 3, // port cannot be opened, or the board does not answer
};

// Output of a command. Board data is written byte for byte (single-byte
// text); messages are one line each and go to standard error with "velm: ",
// every byte outside printable ASCII written as \xNN (board replies, file
// bytes and typed text they quote alike).
void printLine(const QString &text);
void printError(const QString &text);
void printWarning(const QString &text);

// The exit status of one exchange, the same for every board command:
// success 0; refused (another exchange runs) says so and gives 1; no link
// (no answer, port gone, not one character of a reply) 3; anything else the
// board said 1. A command prints its own failure message first, except for
// a refused exchange.
int exchangeStatus(const LinkResult &r);
// Says the exchange was refused; the exit status for it.
int refusedStatus();

class Session;

// What a handler gets: its positional arguments, the values of its own
// options, and the session (settings record and, for board commands, an open
// link).
struct Invocation
{
    QStringList args;
    QHash<QString, QString> options; // "--address" -> value, present only when given
    Session *session = nullptr;

    bool has(const QString &option) const { return options.contains(option); }
    QString value(const QString &option, const QString &fallback = QString()) const
    {
        return options.value(option, fallback);
    }
    Link &link() const;
    const SettingsRecord &settings() const;
    // Opens the link of a command that decides on its own whether it talks
    // to the board (usesBoard false): 0 when the port is open, otherwise the
    // exit status, its message already printed.
    std::function<int()> openBoard;
};

struct Option
{
    QString name;      // "--address"
    QString valueName; // "ADDRESS"; empty for a switch
    QString help;
};

// One entry of the command table. A command is named by one or more words
// ("version", "send long"); velm picks the entry whose words begin the
// command line.
struct Command
{
    QString name;      // "send long"
    QString arguments; // usage of the positional arguments, "CODE [ADDRESS]"
    int minArgs = 0;
    int maxArgs = 0; // -1: no limit
    QList<Option> options;
    QString summary; // one line, for `velm --help`
    QString help;    // paragraphs for `velm COMMAND --help`
    // Open the link before the handler runs (after the settings are loaded).
    bool usesBoard = false;
    std::function<int(Invocation &)> handler;
    // Checks made before the link is opened: a non-empty text is a usage
    // error (exit 2) whether or not a board is there. A table entry may
    // leave it out (the "{}" spares it -Wmissing-field-initializers).
    std::function<QString(const Invocation &)> check{};
};

// The whole table, in the order `velm --help` lists it.
const std::vector<Command> &commandTable();

// Entries of each area; commandTable() gathers them.
void addBoardCommands(std::vector<Command> &table);   // boardcommands.cpp
void addCompileCommands(std::vector<Command> &table); // compilecommands.cpp
void addEditorCommands(std::vector<Command> &table);  // editorcommands.cpp
void addRunCommands(std::vector<Command> &table);     // runcommands.cpp
void addFlashCommands(std::vector<Command> &table);   // flashcommands.cpp
void addToolCommands(std::vector<Command> &table);    // toolcommands.cpp
void addSetupCommands(std::vector<Command> &table);   // setupcommands.cpp
void addPortCommands(std::vector<Command> &table);    // portcommands.cpp

// Runs one velm command line (arguments without the program name) and
// returns the exit status. Needs a QCoreApplication: the link's waits pump
// events.
int run(const QStringList &arguments);

} // namespace pvelm::cli
