// velm element, packed, speed, position, output and nudge: the element
// editors and the position manager on the command line. Each prints what
// its window would show, one "NAME VALUE..." line at a time.

#include "cli/cli.h"
#include "editors/exchanges.h"
#include "editors/pose.h"
#include "link/link.h"

#include <algorithm>
#include <array>

namespace pvelm::cli {

using namespace editors;

namespace {

constexpr char kNoMoveText[] = "65535";
constexpr int kPositionCurrentLine = 10000; // the position manager's opening line
constexpr int kMaxRepeat = 1000000;

bool isHexText(const QString &text)
{
    for (QChar c : text) {
        if (!c.isDigit() && !(c.toUpper() >= u'A' && c.toUpper() <= u'F'))
            return false;
    }
    return true;
}

qint64 lineArg(const Invocation &inv)
{
    return checkLine(QStringLiteral("LINE"), inv.args.value(0), false).value;
}

QString checkLineArg(const Invocation &inv, const QString &name)
{
    return checkLine(name, inv.args.value(0), false).refusal;
}

QString checkImageArg(const Invocation &inv, int digits)
{
    if (const QString refusal = checkLineArg(inv, QStringLiteral("LINE")); !refusal.isEmpty())
        return refusal;
    const QString image = inv.args.value(1);
    if (inv.args.size() > 1 && (image.size() != digits || !isHexText(image)))
        return QStringLiteral("HEX%1: \"%2\" refused; enter exactly %1 hex digits").arg(digits).arg(image);
    return {};
}

// Exit status and message for an exchange that did not give what was asked.
int failed(const LinkResult &r, const QString &what)
{
    if (!r.ran)
        return refusedStatus();
    if (!r.succeeded()) {
        // The block writer leaves the text of the exchange before it: describe the code afresh.
        printError(QStringLiteral("%1 (%2: %3)").arg(what, r.code, Link::describe(r.code)));
        return exchangeStatus(r);
    }
    printError(QStringLiteral("%1: the reply holds none: %2").arg(what, r.reply));
    return kExitFailed;
}

int printReply(const LinkResult &r, const QString &what)
{
    if (!r.succeeded())
        return failed(r, what);
    printLine(QStringLiteral("reply ") + r.reply);
    return kExitSuccess;
}

void printFields(std::span<const ImageField> fields, const QList<qint64> &values)
{
    for (size_t k = 0; k < fields.size(); ++k)
        printLine(QStringLiteral("%1 %2").arg(QLatin1String(fields[k].name)).arg(values.value(qsizetype(k))));
}

// ---- element and packed --------------------------------------------------------

int elementGet(Invocation &inv)
{
    const LinkResult r = exchange(inv.link(), &Link::rawsender, lineRequest("R15", lineArg(inv)));
    const std::optional<QString> element = r.succeeded() ? elementFromReply(r.reply) : std::nullopt;
    if (!element)
        return failed(r, QStringLiteral("no element read"));
    printLine(QStringLiteral("element ") + *element);
    printFields(elementFields(), *decodeImage(elementFields(), *element, kElementDigits));
    return kExitSuccess;
}

int elementPut(Invocation &inv)
{
    const QString element = inv.args.value(1, QString(kElementDigits, QLatin1Char('F'))).toUpper();
    return printReply(exchange(inv.link(), &Link::rawsender, elementPutRequest(lineArg(inv), element)),
                      QStringLiteral("element write not answered"));
}

int packedGet(Invocation &inv)
{
    const LinkResult r = exchange(inv.link(), &Link::packreceiver, lineRequest("R1C", lineArg(inv)));
    const std::optional<QString> image = r.succeeded() ? packedFromReply(r.reply) : std::nullopt;
    if (!image)
        return failed(r, QStringLiteral("no packed image read"));
    printLine(QStringLiteral("packed ") + *image);
    printFields(packedFields(), *decodeImage(packedFields(), *image, kPackedDigits));
    return kExitSuccess;
}

int packedPut(Invocation &inv)
{
    const QString image = inv.args.value(1, QString(kPackedDigits, QLatin1Char('F'))).toUpper();
    const LinkResult r = exchange(inv.link(), &Link::packwriter, packedPutBlock(lineArg(inv), image));
    if (!r.succeeded())
        return failed(r, QStringLiteral("packed image not sent"));
    printLine(QStringLiteral("block ") + r.reply);
    return kExitSuccess;
}

// ---- speed ---------------------------------------------------------------------

QString checkSpeedArgs(const Invocation &inv)
{
    if (const QString refusal = checkLineArg(inv, QStringLiteral("LOCATION")); !refusal.isEmpty())
        return refusal;
    for (qsizetype k = 1; k < inv.args.size(); ++k) {
        if (const QString refusal = refuseSpeedText(QStringLiteral("value %1").arg(k), inv.args[k]); !refusal.isEmpty())
            return refusal;
    }
    return {};
}

int speedGet(Invocation &inv)
{
    const LinkResult r = exchange(inv.link(), &Link::rawsender, lineRequest("R1A", lineArg(inv)));
    const std::optional<QStringList> values = r.succeeded() ? speedFromReply(r.reply) : std::nullopt;
    if (!values)
        return failed(r, QStringLiteral("no speed element read"));
    printLine(QStringLiteral("speed ") + values->mid(0, 8).join(QLatin1Char(' ')));
    printLine(QStringLiteral("control ") + values->mid(8, 8).join(QLatin1Char(' ')));
    return kExitSuccess;
}

int speedPut(Invocation &inv)
{
    // Values not given keep the window's opening text, "0".
    QStringList values = inv.args.mid(1);
    while (values.size() < 16)
        values << QStringLiteral("0");
    return printReply(
        exchange(inv.link(), &Link::rawsender, speedPutRequest(lineArg(inv), values.mid(0, 8), values.mid(8, 8))),
        QStringLiteral("speed write not answered"));
}

// ---- positions -----------------------------------------------------------------

QString checkPositionArgs(const Invocation &inv)
{
    if (const QString refusal = checkLineArg(inv, QStringLiteral("LINE")); !refusal.isEmpty())
        return refusal;
    for (qsizetype k = 1; k < inv.args.size(); ++k) {
        if (const QString refusal = refusePositionText(QStringLiteral("P%1").arg(k), inv.args[k]); !refusal.isEmpty())
            return refusal;
    }
    return {};
}

int positionGet(Invocation &inv)
{
    const LinkResult r = exchange(inv.link(), &Link::rawsender, lineRequest("R18", lineArg(inv)));
    const std::optional<QStringList> set = r.succeeded() ? storedFromReply(r.reply) : std::nullopt;
    if (!set)
        return failed(r, QStringLiteral("no position set read"));
    printLine(QStringLiteral("position ") + set->join(QLatin1Char(' ')));
    return kExitSuccess;
}

int positionPut(Invocation &inv)
{
    // Servos not given get "no move", as the window's boxes show on opening.
    QStringList values = inv.args.mid(1);
    while (values.size() < 8)
        values << QString::fromLatin1(kNoMoveText);
    return printReply(exchange(inv.link(), &Link::rawsender, positionPutRequest(lineArg(inv), values)),
                      QStringLiteral("position write not answered"));
}

int positionMove(Invocation &inv)
{
    const qint64 line = lineArg(inv);
    const MoveOutcome out = getThenMove(inv.link(), line, line);
    if (!out.set)
        return failed(out.get, QStringLiteral("no position set read, nothing moved"));
    printLine(QStringLiteral("position ") + out.set->join(QLatin1Char(' ')));
    return printReply(out.move, QStringLiteral("move not answered"));
}

int positionCurrent(Invocation &inv)
{
    const qint64 line = inv.args.isEmpty() ? kPositionCurrentLine : lineArg(inv);
    const LinkResult r = exchange(inv.link(), &Link::rawsender, lineRequest("R01", line));
    const std::optional<QList<int>> current = r.succeeded() ? currentFromReply(r.reply) : std::nullopt;
    if (!current)
        return failed(r, QStringLiteral("no positions read"));
    // --script: the statement "Insert Pose" of the script editor writes.
    if (inv.has(QStringLiteral("--script"))) {
        std::array<int, 8> at;
        at.fill(65535); // a servo the reply leaves out stays where it is
        std::copy_n(current->cbegin(), std::min<qsizetype>(current->size(), 8), at.begin());
        printLine(poseStatement(at, std::bitset<8>().set()));
        return kExitSuccess;
    }
    QStringList values;
    for (int p : *current)
        values << QString::number(p);
    printLine(QStringLiteral("current ") + values.join(QLatin1Char(' ')));
    return kExitSuccess;
}

// ---- outputs and nudges --------------------------------------------------------

QString checkOutputArgs(const Invocation &inv)
{
    if (const Checked n = checkOutput(inv.args.value(0)); !n.ok())
        return n.refusal;
    const QString state = inv.args.value(1);
    if (state != QLatin1String("on") && state != QLatin1String("off"))
        return QStringLiteral("output: \"%1\" refused; enter on or off").arg(state);
    return {};
}

int outputCommand(Invocation &inv)
{
    const qint64 number = checkOutput(inv.args.at(0)).value;
    const bool on = inv.args.at(1) == QLatin1String("on");
    return printReply(exchange(inv.link(), &Link::smallcomax, outputPacket(number, on)),
                      QStringLiteral("output switch not answered"));
}

// The family of a step: 1 and 10 up, -1 and -10 down.
std::optional<NudgeFamily> familyOf(const QString &step)
{
    const std::optional<qint64> value = parseNumber(step, false);
    if (!value)
        return std::nullopt;
    switch (*value) {
    case 1:
        return NudgeFamily::PosUp;
    case -1:
        return NudgeFamily::PosDown;
    case 10:
        return NudgeFamily::BigUp;
    case -10:
        return NudgeFamily::BigDown;
    default:
        return std::nullopt;
    }
}

QString checkNudgeArgs(const Invocation &inv)
{
    if (const Checked servo = checkNumber(QStringLiteral("SERVO"), inv.args.value(0), 1, 8, false); !servo.ok())
        return servo.refusal;
    if (!familyOf(inv.args.value(1)))
        return QStringLiteral("STEP: \"%1\" refused; enter 1, 10, -1 or -10").arg(inv.args.value(1));
    if (inv.has(QStringLiteral("--repeat"))) {
        const Checked n =
            checkNumber(QStringLiteral("--repeat"), inv.value(QStringLiteral("--repeat")), 1, kMaxRepeat, false);
        return n.refusal;
    }
    return {};
}

int nudgeCommand(Invocation &inv)
{
    const int servo = int(checkNumber(QString(), inv.args.at(0), 1, 8, false).value);
    const int repeat = int(
        checkNumber(QString(), inv.value(QStringLiteral("--repeat"), QStringLiteral("1")), 1, kMaxRepeat, false).value);
    NudgeLoop loop(inv.link());
    LinkResult lastFailure;
    bool anyFailed = false;
    const bool ran = loop.run(
        *familyOf(inv.args.at(1)), servo - 1, nullptr,
        [&](const NudgeLoop::Step &step) {
            if (!step.reply) {
                anyFailed = true;
                lastFailure = step.result;
                printLine(QStringLiteral("Error"));
            } else if (step.reply->servoIndex >= 0) {
                printLine(QStringLiteral("nudge %1 %2").arg(step.reply->servoIndex + 1).arg(step.reply->position));
            } else {
                printLine(QStringLiteral("nudge - %1").arg(step.reply->position));
            }
        },
        repeat);
    if (!ran)
        return refusedStatus();
    if (!anyFailed)
        return kExitSuccess;
    return failed(lastFailure, QStringLiteral("a nudge was not answered"));
}

Command boardCommand(const char *name, const char *arguments, int minArgs, int maxArgs, const char *summary,
                     const char *help, std::function<int(Invocation &)> handler,
                     std::function<QString(const Invocation &)> check, QList<Option> options = {})
{
    Command c;
    c.name = QString::fromLatin1(name);
    c.arguments = QString::fromLatin1(arguments);
    c.minArgs = minArgs;
    c.maxArgs = maxArgs;
    c.options = options;
    c.summary = QString::fromLatin1(summary);
    c.help = QString::fromLatin1(help);
    c.usesBoard = true;
    // Arguments are checked before the link opens: a refused one is a usage
    // error and sends nothing.
    c.check = std::move(check);
    c.handler = std::move(handler);
    return c;
}

} // namespace

void addEditorCommands(std::vector<Command> &table)
{
    const auto lineOnly = [](const Invocation &inv) { return checkLineArg(inv, QStringLiteral("LINE")); };
    table.push_back(boardCommand("element get", "LINE", 1, 1, "read one program element",
                                 "Reads the program element at LINE (command R15) and prints \"element\" and its 32\n"
                                 "hex digits, then one line per field of the instruction editor: the field's name\n"
                                 "and its value in decimal.",
                                 elementGet, lineOnly));
    table.push_back(boardCommand("element put", "LINE [HEX32]", 1, 2, "write one program element",
                                 "Writes the element HEX32 (32 hex digits; default all F, an empty element) at\n"
                                 "LINE (command R16) and prints \"reply\" and the board's reply.",
                                 elementPut, [](const Invocation &inv) { return checkImageArg(inv, kElementDigits); }));
    table.push_back(boardCommand("packed get", "LINE", 1, 1, "read one packed instruction-and-move image",
                                 "Reads the packed image at LINE (command R1C) and prints \"packed\" and its 64 hex\n"
                                 "digits, then one line per field of the packed editor in decimal.",
                                 packedGet, lineOnly));
    table.push_back(boardCommand("packed put", "LINE [HEX64]", 1, 2, "write one packed image",
                                 "Sends the packed image HEX64 (64 hex digits; default all F) for LINE as a \"+\"\n"
                                 "block and prints \"block\" and the block as sent. The board does not answer a\n"
                                 "block: success means it took the handshake.",
                                 packedPut, [](const Invocation &inv) { return checkImageArg(inv, kPackedDigits); }));
    table.push_back(boardCommand("speed get", "LOCATION", 1, 1, "read one speed element",
                                 "Reads the speed element at LOCATION (the speed editor's range is 32000-32255;\n"
                                 "command R1A) and prints two lines: \"speed\" and the eight speed values, then\n"
                                 "\"control\" and the eight control values, three characters each as received.",
                                 speedGet,
                                 [](const Invocation &inv) { return checkLineArg(inv, QStringLiteral("LOCATION")); }));
    table.push_back(boardCommand("speed put", "LOCATION [VALUES]", 1, 17, "write one speed element",
                                 "Writes up to 16 values at LOCATION (command R1B): the speeds of servos 1-8, then\n"
                                 "their control values. Each is sent as its last three characters, padded with\n"
                                 "\"0\"; values not given are sent as 000. Prints \"reply\" and the board's reply.",
                                 speedPut, checkSpeedArgs));
    table.push_back(boardCommand("position get", "LINE", 1, 1, "read the position set stored at a line",
                                 "Reads the position set at LINE (command R18) and prints \"position\" and the eight\n"
                                 "five-character positions of servos 1-8.",
                                 positionGet, lineOnly));
    table.push_back(boardCommand("position put", "LINE [P1..P8]", 1, 9, "store a position set at a line",
                                 "Stores positions P1 to P8 (decimal digits; servos not given get 65535, no\n"
                                 "move) at LINE (command R19); each is sent as its last five characters. Prints\n"
                                 "\"reply\" and the board's reply.",
                                 positionPut, checkPositionArgs));
    table.push_back(boardCommand("position move", "LINE", 1, 1, "move the servos to the set stored at a line",
                                 "Reads the set at LINE and prints it as \"position get\" does, then sends the move\n"
                                 "(short command T) and prints \"reply\" and the board's reply. When the set\n"
                                 "cannot be read nothing is moved.",
                                 positionMove, lineOnly));
    table.push_back(boardCommand(
        "position current", "[LINE]", 0, 1, "read the servos' current positions",
        "Reads the current positions (command R01, with LINE in its line field; default\n"
        "10000 as the position manager opens) and prints \"current\" and the eight\n"
        "positions in decimal. With --script it prints them as the script statement\n"
        "that moves every servo there, as \"Insert Pose\" does in the script editor:\n"
        "POSITION S1=32768, S2=32768, ..., S8=32768",
        positionCurrent,
        [](const Invocation &inv) {
            return inv.args.isEmpty() ? QString() : checkLineArg(inv, QStringLiteral("LINE"));
        },
        {Option{QStringLiteral("--script"), QString(), QStringLiteral("print a POSITION statement instead")}}));
    table.push_back(boardCommand("output", "N on|off", 2, 2, "switch an output on or off",
                                 "Switches output N (0-255) on or off (short command O) and prints \"reply\"\n"
                                 "and the board's reply.",
                                 outputCommand, checkOutputArgs));
    table.push_back(boardCommand("nudge", "SERVO STEP", 2, 2, "nudge a servo as a held nudge button does",
                                 "Nudges servo SERVO (1-8) by STEP: 1 or 10 up, -1 or -10 down (velm nudge 3 -10).\n"
                                 "With --repeat N the nudge is sent N times back to back, holding the link, as\n"
                                 "while a button is held down. Prints\n"
                                 "one line per nudge: \"nudge\", the servo and its new position, or \"Error\".",
                                 nudgeCommand, checkNudgeArgs,
                                 {Option{QStringLiteral("--repeat"), QStringLiteral("N"),
                                         QStringLiteral("send the nudge N times (default 1)")}}));
}

} // namespace pvelm::cli
