// velm setup show and velm setup set: the system setup window's fields on
// the command line, read from and saved to the settings file by the same
// rules as "Read Parameters" and "Save Parameters".

#include "cli/cli.h"
#include "settings/settings.h"

#include <QRegularExpression>

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

// What velm stores must be what the console can use: a value the window
// would cut, pad into another number, or lose spaces of is refused, with the
// forms the field takes. Empty: the value is fine.
QString fieldProblem(const QString &name, const QString &value)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    static const QRegularExpression printableText(QStringLiteral("^[\\x21-\\x7e\\xa1-\\xff]*$"));
    const auto isOneOf = [&value](const char *forms) {
        return value.size() == 1 && QString::fromLatin1(forms).contains(value);
    };
    if (name == QLatin1String("comport"))
        return isOneOf("123456789") ? QString() : QStringLiteral("a port number from 1 to 9");
    if (name == QLatin1String("combaud")) {
        const bool ok = digits.match(value).hasMatch() && value.size() <= 6 && value.toInt() > 0;
        return ok ? QString() : QStringLiteral("a baud rate of 1 to 6 digits, such as 9600 or 115200");
    }
    if (name == QLatin1String("comparity"))
        return isOneOf("neomsNEOMS") ? QString() : QStringLiteral("one of n, e, o, m, s");
    if (name == QLatin1String("combits"))
        return isOneOf("5678") ? QString() : QStringLiteral("5, 6, 7 or 8");
    if (name == QLatin1String("comstopbits"))
        return isOneOf("12") ? QString() : QStringLiteral("1 or 2");
    if (name == QLatin1String("comother")) {
        const bool ok = value.size() <= 16 && printableText.match(value).hasMatch();
        return ok ? QString() : QStringLiteral("up to 16 printable characters without blanks");
    }
    // The four paths: the record keeps 32 characters and drops every blank.
    const bool ok = !value.isEmpty() && value.size() <= 32 && printableText.match(value).hasMatch();
    return ok ? QString() : QStringLiteral("a path of 1 to 32 printable characters without blanks");
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
        const QString problem = fieldProblem(arg.left(eq), arg.mid(eq + 1));
        if (!problem.isEmpty())
            return QStringLiteral("setup set: %1=\"%2\" refused: %1 takes %3")
                .arg(arg.left(eq), arg.mid(eq + 1), problem);
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
        QString value = arg.mid(eq + 1);
        // A short baud rate is zero-padded here: the window's fill text
        // would make 300 into 400300.
        if (arg.left(eq) == QLatin1String("combaud"))
            value = value.rightJustified(6, QLatin1Char('0'));
        *fields.byName(arg.left(eq)) = value;
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
        .name = QStringLiteral("setup show"),
        .arguments = QString(),
        .minArgs = 0,
        .maxArgs = 0,
        .options = {},
        .summary = QStringLiteral("print the settings fields of the system setup window"),
        .help = QStringLiteral("Prints one line per field of the system setup window, FIELD=VALUE, with the\n"
                               "value exactly as the window shows it (paths keep their leading blanks):\n"
                               "comport, combaud, comparity, combits, comstopbits, comother, gfilebox,\n"
                               "flashfileloc, listfileloc, flashmemfileloc."),
        .usesBoard = false,
        .handler = showCommand,
    });
    Command set{
        .name = QStringLiteral("setup set"),
        .arguments = QStringLiteral("FIELD=VALUE..."),
        .minArgs = 1,
        .maxArgs = -1,
        .options = {},
        .summary = QStringLiteral("change settings fields and save them as the setup window does"),
        .help = QStringLiteral("Reads the settings file, replaces the named fields, and saves every field as\n"
                               "\"Save Parameters\" does: a serial field keeps the rightmost characters of its\n"
                               "fill text followed by the value (combaud=9600 stores 009600; the baud fill is\n"
                               "038400), a path is right-aligned in 32 characters. Columns outside the fields\n"
                               "are kept. The file is replaced through a temporary file. Prints the fields as\n"
                               "stored. The port is not reopened: the console does that on Re-Connect.\n\n"
                               "A value the console could not use is refused (exit 2, nothing written):\n"
                               "comport 1-9; combaud 1 to 6 digits (300 is stored 000300); comparity n, e,\n"
                               "o, m or s; combits 5-8; comstopbits 1 or 2; comother up to 16 printable\n"
                               "characters; a path 1 to 32 printable characters without blanks."),
        .usesBoard = false,
        .handler = setCommand,
    };
    set.check = checkAssignments;
    table.push_back(std::move(set));
}

} // namespace pvelm::cli
