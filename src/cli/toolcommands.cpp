// velm params get|set|reload and velm mem read|write: the board parameters
// window and the memory editor on the command line. Parameter fields are
// printed as NAME=VALUE lines, the form `params set` takes back.

#include "boardtools/memorybytes.h"
#include "boardtools/paramblock.h"
#include "cli/cli.h"
#include "link/link.h"
#include "settings/numbers.h"

#include <QHash>

namespace pvelm::cli {

using namespace boardtools;

namespace {

// ---- parameter fields ------------------------------------------------------------

struct ParamField
{
    const char *name;
    qint64 maximum; // values 0..maximum
};

// In the order `params get` prints them.
constexpr ParamField kParamFields[] = {
    {"uselimits", 1}, {"reporton", 1},     {"mode", 2},         {"runonhw", 1},      {"runonpb", 1}, {"runonpu", 1},
    {"iocon1", 1},    {"reportrate", 255}, {"minpulse", 65535}, {"maxpulse", 65535}, {"servo1", 1},  {"servo2", 1},
    {"servo3", 1},    {"servo4", 1},       {"servo5", 1},       {"servo6", 1},       {"servo7", 1},  {"servo8", 1},
};

const ParamField *findField(const QString &name)
{
    for (const ParamField &f : kParamFields) {
        if (name.compare(QLatin1String(f.name), Qt::CaseInsensitive) == 0)
            return &f;
    }
    return nullptr;
}

QHash<QString, qint64> fieldValues(const ParamFields &f)
{
    QHash<QString, qint64> v{
        {"uselimits", f.useLimits}, {"reporton", f.reportsOn}, {"mode", f.modeBits},   {"runonhw", f.runOnHw},
        {"runonpb", f.runOnPb},     {"runonpu", f.runOnPu},    {"iocon1", f.lcpInput}, {"reportrate", f.reportRate},
        {"minpulse", f.minPulse},   {"maxpulse", f.maxPulse},
    };
    for (int k = 0; k < 8; ++k)
        v.insert(QStringLiteral("servo%1").arg(k + 1), (f.servos >> k) & 1);
    return v;
}

void printParams(const ParamBlock &block)
{
    const QHash<QString, qint64> values = fieldValues(block.fields());
    for (const ParamField &f : kParamFields)
        printLine(QStringLiteral("%1=%2").arg(QLatin1String(f.name)).arg(values.value(QLatin1String(f.name))));
    printLine(QStringLiteral("block=") + block.text());
}

// "mode" also takes the option names.
std::optional<qint64> fieldValue(const ParamField &f, const QString &text)
{
    if (QLatin1String(f.name) == QLatin1String("mode")) {
        const QStringList names{QStringLiteral("seperate"), QStringLiteral("common"), QStringLiteral("other")};
        const qsizetype named = names.indexOf(text.toLower());
        if (named >= 0)
            return named;
    }
    const std::optional<qint64> value = parseNumber(text, false);
    if (!value || *value < 0 || *value > f.maximum)
        return std::nullopt;
    return value;
}

QString checkAssignments(const Invocation &inv)
{
    for (const QString &arg : inv.args) {
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        const ParamField *f = eq > 0 ? findField(arg.left(eq)) : nullptr;
        if (eq <= 0)
            return QStringLiteral("params set: \"%1\" is not FIELD=VALUE").arg(arg);
        if (!f)
            return QStringLiteral("params set: unknown field \"%1\"; see 'velm params set --help'").arg(arg.left(eq));
        if (!fieldValue(*f, arg.mid(eq + 1)))
            return QStringLiteral("params set: %1: \"%2\" refused; enter a whole number from 0 to %3%4")
                .arg(QLatin1String(f->name), arg.mid(eq + 1))
                .arg(f->maximum)
                .arg(QLatin1String(f->name) == QLatin1String("mode") ? QStringLiteral(" or seperate, common, other")
                                                                     : QString());
    }
    return QString();
}

// A parameter exchange that did not end with code "0". docomax takes its
// code from the reply: an empty code means the reply was cut short.
int paramFailure(const LinkResult &r, const QString &what)
{
    if (!r.ran)
        return refusedStatus();
    const QString detail =
        r.code.isEmpty() ? QStringLiteral("reply of %1 characters, no result code").arg(r.reply.size()) : r.status();
    printError(QStringLiteral("%1 (%2)").arg(what, detail));
    return exchangeStatus(r);
}

int paramsGet(Invocation &inv)
{
    const LinkResult r = readParameters(inv.link());
    if (!r.succeeded())
        return paramFailure(r, QStringLiteral("the parameter block could not be read"));
    printParams(blockFromReply(r.reply));
    return kExitSuccess;
}

int paramsSet(Invocation &inv)
{
    const LinkResult read = readParameters(inv.link());
    if (!read.succeeded())
        return paramFailure(read, QStringLiteral("the parameter block could not be read; nothing was written"));
    ParamBlock block = blockFromReply(read.reply);
    const ParamFields now = block.fields();
    QHash<QString, qint64> values = fieldValues(now);
    bool modeNamed = false;
    for (const QString &arg : inv.args) {
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        const ParamField *f = findField(arg.left(eq));
        values.insert(QLatin1String(f->name), *fieldValue(*f, arg.mid(eq + 1)));
        modeNamed = modeNamed || QLatin1String(f->name) == QLatin1String("mode");
    }
    // The window's store, fed with the block's own fields where none was named.
    StoreInput in;
    in.minpulse = QString::number(values.value("minpulse"));
    in.maxpulse = QString::number(values.value("maxpulse"));
    in.reportrate = QString::number(values.value("reportrate"));
    for (int k = 0; k < 8; ++k) {
        if (values.value(QStringLiteral("servo%1").arg(k + 1)))
            in.servos |= quint8(1u << k);
    }
    in.useLimits = values.value("uselimits");
    in.reportsOn = values.value("reporton");
    in.mode = StorageMode(std::min<qint64>(values.value("mode"), 2));
    in.runOnHw = values.value("runonhw");
    in.runOnPb = values.value("runonpb");
    in.runOnPu = values.value("runonpu");
    in.lcpInput = values.value("iocon1");
    applyStore(block, in);
    // Storage mode 3 (shown as "Other") stays 3 unless a mode was named.
    if (!modeNamed && now.modeBits == 3)
        block.setByte(kFlagsByte, block.byte(kFlagsByte) | 3);

    const LinkResult write = writeParameters(inv.link(), block);
    if (!write.succeeded())
        return paramFailure(write, QString::fromLatin1(kStoreFailedText));
    printParams(block);
    return kExitSuccess;
}

int paramsReload(Invocation &inv)
{
    const LinkResult r = reloadParameters(inv.link());
    if (!r.succeeded()) {
        if (r.ran && !r.reply.isEmpty() && !isNoLinkCode(r.code))
            printLine(r.reply);
        return paramFailure(r, QStringLiteral("the reload was not confirmed"));
    }
    printLine(r.reply);
    return kExitSuccess;
}

// ---- memory bytes ----------------------------------------------------------------

Area areaOf(const Invocation &inv)
{
    return inv.has(QStringLiteral("--ram")) ? Area::Ram : Area::Eeprom;
}

std::optional<qint64> wholeArg(const QString &text, qint64 minimum, qint64 maximum)
{
    const std::optional<qint64> v = parseNumber(text, false);
    if (!v || *v < minimum || *v > maximum)
        return std::nullopt;
    return v;
}

QString checkMem(const Invocation &inv, bool write)
{
    if (inv.has(QStringLiteral("--ram")) && inv.has(QStringLiteral("--eeprom")))
        return QStringLiteral("mem: --eeprom and --ram cannot be used together");
    const std::optional<qint64> address = wholeArg(inv.args.value(0), 0, kAddressMaximum);
    if (!address)
        return QStringLiteral("mem: ADDR \"%1\" refused; enter a whole number from 0 to 65535").arg(inv.args.value(0));
    if (write && !wholeArg(inv.args.value(1), 0, 255))
        return QStringLiteral("mem write: BYTE \"%1\" refused; enter a whole number from 0 to 255")
            .arg(inv.args.value(1));
    if (inv.has(QStringLiteral("--count"))) {
        const qint64 room = kAddressMaximum + 1 - *address;
        if (!wholeArg(inv.value(QStringLiteral("--count")), 1, room))
            return QStringLiteral("mem read: --count \"%1\" refused; enter a whole number from 1 to %2")
                .arg(inv.value(QStringLiteral("--count")))
                .arg(room);
    }
    return QString();
}

int memFailure(const MemoryOutcome &r, qint64 address)
{
    if (!r.ran)
        return refusedStatus();
    if (!r.succeeded()) {
        printError(QStringLiteral("address %1: no byte came back (%2)").arg(address).arg(r.status()));
        return exchangeStatus(r);
    }
    printError(QStringLiteral("address %1: the reply holds no byte: %2").arg(address).arg(r.reply));
    return kExitFailed;
}

int memRead(Invocation &inv)
{
    const qint64 first = *wholeArg(inv.args.at(0), 0, kAddressMaximum);
    const qint64 count = inv.has(QStringLiteral("--count")) ? inv.value(QStringLiteral("--count")).toLongLong() : 1;
    const Area area = areaOf(inv);
    for (qint64 address = first; address < first + count; ++address) {
        const MemoryOutcome r = exchangeMemory(inv.link(), readPacket(area, address));
        if (!r.byte)
            return memFailure(r, address);
        printLine(QStringLiteral("%1 %2").arg(address).arg(*r.byte));
    }
    return kExitSuccess;
}

int memWrite(Invocation &inv)
{
    const qint64 address = *wholeArg(inv.args.at(0), 0, kAddressMaximum);
    const qint64 value = *wholeArg(inv.args.at(1), 0, 255);
    const MemoryOutcome r = exchangeMemory(inv.link(), writePacket(areaOf(inv), address, value));
    if (!r.byte)
        return memFailure(r, address);
    printLine(QStringLiteral("%1 %2").arg(address).arg(*r.byte));
    if (*r.byte != value) {
        printError(QStringLiteral("address %1: the board echoed %2, not %3").arg(address).arg(*r.byte).arg(value));
        return kExitFailed;
    }
    return kExitSuccess;
}

Command toolCommand(const char *name, const char *arguments, int minArgs, int maxArgs, const char *summary,
                    const char *help, std::function<int(Invocation &)> handler,
                    std::function<QString(const Invocation &)> check = {}, QList<Option> options = {})
{
    Command c;
    c.name = QString::fromLatin1(name);
    c.arguments = QString::fromLatin1(arguments);
    c.minArgs = minArgs;
    c.maxArgs = maxArgs;
    c.options = std::move(options);
    c.summary = QString::fromLatin1(summary);
    c.help = QString::fromLatin1(help);
    c.usesBoard = true;
    c.check = std::move(check);
    c.handler = std::move(handler);
    return c;
}

QList<Option> areaOptions()
{
    return {Option{QStringLiteral("--eeprom"), QString(), QStringLiteral("the board's EEPROM (the default)")},
            Option{QStringLiteral("--ram"), QString(), QStringLiteral("the board's RAM")}};
}

} // namespace

void addToolCommands(std::vector<Command> &table)
{
    table.push_back(toolCommand("params get", "", 0, 0, "read the board's parameter block",
                                "Reads the parameter block (command R1R) and prints every field the Board\n"
                                "Parameters window shows, one NAME=VALUE line each, then block= and the 32\n"
                                "characters of the block as received:\n"
                                "  uselimits, reporton         0 or 1 (byte 0 bits 3 and 2)\n"
                                "  mode                        storage mode, byte 0 bits 1-0: 0 Seperate,\n"
                                "                              1 Common / Packed, 2 and 3 Other\n"
                                "  runonhw, runonpb, runonpu   0 or 1 (byte 1 bits 2, 1, 0)\n"
                                "  iocon1                      0 or 1: LCP (I/O 4) is an input (byte 4 bit 0)\n"
                                "  reportrate                  0-255 (byte 7)\n"
                                "  minpulse, maxpulse          0-65535 (bytes 8-9 and 10-11)\n"
                                "  servo1 .. servo8            0 or 1: the servo is active (byte 12)",
                                paramsGet));
    table.push_back(toolCommand("params set", "FIELD=VALUE...", 1, -1, "change fields of the parameter block",
                                "Reads the parameter block, changes the named fields, and writes the block back\n"
                                "(command R1W); every byte and bit the fields do not cover goes back as it was\n"
                                "read. FIELD is a name that 'velm params get' prints (any case); VALUE is a\n"
                                "whole number in the field's range, or for mode also seperate, common or\n"
                                "other. Prints the fields as written, as 'params get' does. The board acts on\n"
                                "the new block after 'velm params reload'.",
                                paramsSet, checkAssignments));
    table.push_back(toolCommand("params reload", "", 0, 0, "make the board reload its parameters from EEPROM",
                                "Tells the board to take the parameter block stored in its EEPROM as its\n"
                                "working parameters (command R1C) and prints the board's whole reply.",
                                paramsReload));
    table.push_back(toolCommand(
        "mem read", "ADDR", 1, 1, "read bytes of the board's EEPROM or RAM",
        "Reads the byte at ADDR (0-65535, decimal) of the EEPROM (default) or the RAM\n"
        "(short packets E and R) and prints \"ADDR VALUE\", both in decimal. With\n"
        "--count N it reads N bytes from ADDR on, one line each, and stops at the first\n"
        "byte that does not come back.",
        memRead, [](const Invocation &inv) { return checkMem(inv, false); },
        areaOptions() << Option{QStringLiteral("--count"), QStringLiteral("N"),
                                QStringLiteral("read N bytes from ADDR on (default 1)")}));
    table.push_back(toolCommand(
        "mem write", "ADDR BYTE", 2, 2, "write one byte of the board's EEPROM or RAM",
        "Writes BYTE (0-255) at ADDR (0-65535) of the EEPROM (default) or the RAM (short\n"
        "packets F and S) and prints \"ADDR VALUE\" with the byte the board echoed. An\n"
        "echo that differs from BYTE fails the command.",
        memWrite, [](const Invocation &inv) { return checkMem(inv, true); }, areaOptions()));
}

} // namespace pvelm::cli
