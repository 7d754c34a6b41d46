// velm setup show and velm setup set: the system setup window's fields on
// the command line, read from and saved to the settings file by the same
// rules as "Read Parameters" and "Save Parameters".

#include "cli/cli.h"
#include "settings/settings.h"

namespace pvelm::cli {

namespace {

void printFields(SetupFields &fields)
{
    for (const QString &name : SetupFields::names())
        printLine(name + QLatin1Char('=') + *fields.byName(name));
}

int showCommand(Invocation &)
{
    SettingsRecord record;
    if (!readSettingsFile(record).ok) {
        printError(QString::fromLatin1(kSettingsFatalMessage));
        return kExitFailed;
    }
    SetupFields fields = showSettings(record);
    printFields(fields);
    return kExitSuccess;
}

QString checkAssignments(const Invocation &inv)
{
    for (const QString &arg : inv.args) {
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        SetupFields probe;
        if (eq <= 0 || !probe.byName(arg.left(eq))) {
            return QStringLiteral("setup set: '%1' is not FIELD=VALUE with FIELD one of %2")
                .arg(arg, SetupFields::names().join(QStringLiteral(", ")));
        }
    }
    return QString();
}

int setCommand(Invocation &inv)
{
    SettingsRecord record;
    if (!readSettingsFile(record).ok) {
        printError(QString::fromLatin1(kSettingsFatalMessage));
        return kExitFailed;
    }
    // Every field as the window would show it, the given ones replaced, then
    // all of them stored as "Save Parameters" stores them.
    SetupFields fields = showSettings(record);
    for (const QString &arg : inv.args) {
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        *fields.byName(arg.left(eq)) = arg.mid(eq + 1);
    }
    storeSettings(record, fields);
    QString why;
    if (!writeSettingsFile(record, &why)) {
        printError(QStringLiteral("%1 (%2)").arg(QString::fromLatin1(kSettingsWriteFatalMessage), why));
        return kExitFailed;
    }
    SetupFields stored = showSettings(record);
    printFields(stored);
    return kExitSuccess;
}

} // namespace

void addSetupCommands(std::vector<Command> &table)
{
    table.push_back(Command{
        QStringLiteral("setup show"),
        QString(),
        0,
        0,
        {},
        QStringLiteral("print the settings fields of the system setup window"),
        QStringLiteral("Prints one line per field of the system setup window, FIELD=VALUE, with the\n"
                       "value exactly as the window shows it (paths keep their leading blanks):\n"
                       "comport, combaud, comparity, combits, comstopbits, comother, gfilebox,\n"
                       "flashfileloc, listfileloc, flashmemfileloc."),
        false,
        showCommand,
    });
    Command set{
        QStringLiteral("setup set"),
        QStringLiteral("FIELD=VALUE..."),
        1,
        -1,
        {},
        QStringLiteral("change settings fields and save them as the setup window does"),
        QStringLiteral("Reads the settings file, replaces the named fields, and saves every field as\n"
                       "\"Save Parameters\" does: a serial field keeps the rightmost characters of its\n"
                       "fill text followed by the value (combaud=9600 stores 009600; the baud fill is\n"
                       "038400), a path is right-aligned in 32 characters. Columns outside the fields\n"
                       "are kept. The file is replaced through a temporary file. Prints the fields as\n"
                       "stored. The port is not reopened: the console does that on Re-Connect."),
        false,
        setCommand,
    };
    set.check = checkAssignments;
    table.push_back(std::move(set));
}

} // namespace pvelm::cli
