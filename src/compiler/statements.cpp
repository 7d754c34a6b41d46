// Translation of one cleaned VelmScript line into a program element and its
// listing text.

// Listing texts are built by chains of "+": let them allocate once.
#define QT_USE_QSTRINGBUILDER

#include "compiler/compiler.h"

#include <optional>

namespace pvelm::compiler {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A run of decimal digits as written, and its value when it fits.
struct Number
{
    QByteArray digits;
    qint64 value = 0;    // valid when !tooBig
    bool tooBig = false; // above 2147483647
};

// The longest run of digits starting at index `from`; nothing when the
// character there is not a digit (or there is none).
std::optional<Number> readNumber(const QByteArray &line, qsizetype from)
{
    if (from >= line.size() || !isDigit(line.at(from)))
        return std::nullopt;
    qsizetype end = from;
    while (end < line.size() && isDigit(line.at(end)))
        ++end;
    Number n;
    n.digits = line.mid(from, end - from);
    qsizetype first = 0;
    while (first < n.digits.size() - 1 && n.digits.at(first) == '0')
        ++first;
    if (n.digits.size() - first > 10) {
        n.tooBig = true;
    } else {
        for (qsizetype i = first; i < n.digits.size(); ++i)
            n.value = n.value * 10 + (n.digits.at(i) - '0');
        n.tooBig = n.value > kMaxNumber;
    }
    return n;
}

// Digits padded on the left with "0" and cut to their rightmost `width`.
QByteArray fitDigits(const QByteArray &digits, int width)
{
    if (digits.size() >= width)
        return digits.right(width);
    return QByteArray(width - digits.size(), '0') + digits;
}

QByteArray hexDigits(qint64 value, int width)
{
    static const char digits[] = "0123456789ABCDEF";
    char out[4];
    for (int i = width - 1; i >= 0; --i) {
        out[i] = digits[value & 0xF];
        value >>= 4;
    }
    return QByteArray(out, width);
}

// Overwrites byte `byte` (and the following ones) of an element.
void putBytes(QByteArray &element, int byte, const QByteArray &hex)
{
    element.replace(2 * byte, hex.size(), hex);
}

// A number that is clamped where the statement says so: any value above
// `limit`, however large, becomes `clampTo` before it is used.
qint64 clamped(const Number &n, qint64 limit, qint64 clampTo, bool *wasClamped)
{
    *wasClamped = n.tooBig || n.value > limit;
    return *wasClamped ? clampTo : n.value;
}

QByteArray tooBigReason(const Number &n)
{
    return "the number " + (n.digits.size() > 20 ? n.digits.left(20) + "..." : n.digits) + " is above 2147483647";
}

const QByteArray kEmptyTemplate(32, 'F');

QByteArray elementTemplate(const char *opcode)
{
    QByteArray element = kEmptyTemplate;
    element.replace(0, 2, opcode);
    return element;
}

} // namespace

void cleanLineInto(const QByteArray &raw, QByteArray &line)
{
    // Reuses the buffer of `line`: this runs once for every source line.
    line.resize(raw.size());
    char *out = line.data();
    qsizetype n = 0;
    for (char c : raw) {
        if (c == ' ' || c == ',' || c == '\t')
            continue;
        if (c == '/')
            break; // everything after the first "/" is a comment
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        out[n++] = c;
    }
    line.resize(n);
}

QByteArray cleanLine(const QByteArray &raw)
{
    QByteArray line;
    cleanLineInto(raw, line);
    return line;
}

// ---- failure kinds ------------------------------------------------------------

Outcome Compiler::fail(const QString &why)
{
    Outcome o;
    o.kind = Outcome::Failed;
    o.failure = why;
    return o;
}

void Compiler::error(const QString &why)
{
    ++m_counters.errorbumper;
    m_diagnostics.append({m_sourceLine, why});
}

Outcome Compiler::ignored(const QString &why)
{
    reportLineIgnored();
    error(why);
    Outcome o;
    o.kind = Outcome::Ignored;
    return o;
}

Outcome Compiler::placeholder(const QString &why)
{
    error(why);
    Outcome o;
    o.kind = Outcome::Placeholder;
    o.listing = "ERROR " + m_cleaned;
    return o;
}

Outcome Compiler::ignoredPlaceholder(const QString &why)
{
    reportLineIgnored();
    return placeholder(why);
}

void Compiler::softError(const QString &why)
{
    reportLineIgnored();
    error(why);
}

namespace {

Outcome stored(const QByteArray &element, const QByteArray &listing)
{
    Outcome o;
    o.kind = Outcome::Stored;
    o.element = element;
    o.listing = listing;
    return o;
}

QString missingOperand(const char *keyword)
{
    return QStringLiteral("%1 without an operand; line ignored").arg(QLatin1String(keyword));
}

QString badOperand(const char *what)
{
    return QStringLiteral("%1 does not begin with a digit").arg(QLatin1String(what));
}

} // namespace

// ---- dispatch -------------------------------------------------------------------

Outcome Compiler::translateStatement()
{
    cleanLineInto(m_rawLine, m_cleaned);
    const QByteArray &line = m_cleaned;
    if (line.size() < 2)
        return Outcome();

    if (line.startsWith("ADDRESS"))
        return addressStatement(line);
    if (line.startsWith("MOVE"))
        return moveStatement(line);
    if (line.startsWith("POSITION"))
        return servoTableStatement(line, 8, "Load Position ");
    if (line.startsWith("RATE"))
        return servoTableStatement(line, 4, "Load Rate ");
    if (line.startsWith("WAIT"))
        return countedStatement(line, 4, "28", 4, "Wait ", "", nullptr);
    if (line.startsWith("STOP"))
        return stored(elementTemplate("80"), "Stop");
    if (line.startsWith("NOOPERATION") || line.startsWith("NOP"))
        return stored(elementTemplate("FE"), "No Operation");
    if (line.startsWith("GOTO"))
        return jumpStatement(line, 4, "0A", "Goto Line number: ", nullptr);
    if (line.startsWith("CALL"))
        return countedStatement(line, 4, "14", 5, "Call Line number: ", "", &m_counters.callcount);
    if (line.startsWith("GOSUB"))
        return jumpStatement(line, 5, "14", "GoSub Line number: ", &m_counters.callcount);
    if (line.startsWith("RETURN")) {
        ++m_counters.returncount;
        return stored(elementTemplate("16"), "Return from Subprogram");
    }
    if (line.startsWith("DO"))
        return countedStatement(line, 2, "1E", 4, "Do ", " Times", &m_counters.docount);
    if (line.startsWith("LOOP")) {
        ++m_counters.loopcount;
        return stored(elementTemplate("20"), "Loop");
    }
    if (line.startsWith("OUTPUT"))
        return outputStatement(line);
    if (line.startsWith("MARKER"))
        return markerStatement(line);
    if (line.startsWith("IFINPUT"))
        return ifInputStatement(line);
    bool matched = false;
    const Outcome reg = registerStatement(line, &matched);
    if (matched)
        return reg;
    return labelStatement(line);
}

// ---- statements -----------------------------------------------------------------

Outcome Compiler::addressStatement(const QByteArray &line)
{
    if (line.size() == 7)
        return ignored(missingOperand("ADDRESS"));
    const auto n = readNumber(line, 7);
    if (!n)
        return fail(QStringLiteral("ADDRESS is not followed by a line number"));
    if (n->tooBig)
        return fail(QString::fromLatin1(tooBigReason(*n)));
    Outcome o;
    o.kind = Outcome::AddressChange;
    o.digits = n->digits;
    o.address = n->value;
    return o;
}

// WAIT, DO and CALL: one number into bytes 2-3.
Outcome Compiler::countedStatement(const QByteArray &line, int keywordLength, const char *tmpl, int width,
                                   const char *before, const char *after, int *counter)
{
    const QByteArray keyword = line.left(keywordLength);
    if (line.size() == keywordLength)
        return ignored(missingOperand(keyword.constData()));
    const auto n = readNumber(line, keywordLength);
    if (!n)
        return ignoredPlaceholder(badOperand(QByteArray("the operand of " + keyword).constData()));
    if (n->tooBig)
        return fail(QString::fromLatin1(tooBigReason(*n)));
    QByteArray element = elementTemplate(tmpl);
    putBytes(element, 2, hexDigits(n->value, 4));
    if (counter)
        ++*counter;
    return stored(element, before + fitDigits(n->digits, width) + after);
}

Outcome Compiler::labelNotFound(const QByteArray &name)
{
    m_rawLine += kCannotLocateLabel + name;
    return ignored(QStringLiteral("Cannot Locate Label %1; line ignored").arg(QString::fromLatin1(name)));
}

// GOTO and GOSUB: a line number, or a label resolved through the table.
Outcome Compiler::jumpStatement(const QByteArray &line, int keywordLength, const char *tmpl, const char *title,
                                int *counter)
{
    if (line.size() == keywordLength)
        return ignored(missingOperand(line.left(keywordLength).constData()));
    QByteArray element = elementTemplate(tmpl);
    QByteArray target;
    if (const auto n = readNumber(line, keywordLength)) {
        if (n->tooBig)
            return fail(QString::fromLatin1(tooBigReason(*n)));
        putBytes(element, 2, hexDigits(n->value, 4));
        target = n->digits;
    } else {
        const QByteArray name = line.mid(keywordLength);
        const auto lineText = m_labels.lookup(name);
        if (lineText) {
            putBytes(element, 2, hexDigits(readNumber(*lineText, 0)->value, 4));
            target = *lineText;
        } else if (m_passNumber >= 2) {
            return labelNotFound(name);
        }
        // First pass: the label may still come; the line takes its number
        // as it will once the label resolves.
    }
    if (counter)
        ++*counter;
    return stored(element, title + fitDigits(target, 5));
}

Outcome Compiler::moveStatement(const QByteArray &line)
{
    if (line.size() == 4)
        return ignored(missingOperand("MOVE"));
    const auto position = readNumber(line, 4);
    if (!position)
        return ignoredPlaceholder(badOperand("the position line of MOVE"));
    if (position->tooBig)
        return fail(QString::fromLatin1(tooBigReason(*position)));
    QByteArray element = elementTemplate("00");
    putBytes(element, 2, hexDigits(position->value, 4));
    putBytes(element, 4, "02");
    QByteArray listing = "Move To Position: " + fitDigits(position->digits, 5);

    static const char *const dsr[3] = {"RATE=DSR1", "RATE=DSR2", "RATE=DSR3"};
    for (int k = 0; k < 3; ++k) {
        if (line.contains(dsr[k])) {
            putBytes(element, 4, hexDigits(2 + k, 2));
            return stored(element, listing + " Rate = DSR" + QByteArray::number(k + 1));
        }
    }
    const qsizetype rate = line.indexOf("RATE=");
    if (rate >= 0) {
        if (rate + 5 == line.size()) {
            softError(QStringLiteral("nothing follows \"Rate=\"; the move keeps its other speed"));
        } else {
            const auto n = readNumber(line, rate + 5);
            if (!n)
                return ignoredPlaceholder(badOperand("the rate of MOVE"));
            bool wasClamped = false;
            const qint64 value = clamped(*n, 65535, 65535, &wasClamped);
            putBytes(element, 4, "00");
            putBytes(element, 5, hexDigits(value, 4));
            return stored(element, listing + " Rate: " + (wasClamped ? "65535" : fitDigits(n->digits, 5)));
        }
    }
    const qsizetype table = line.indexOf("TABLE=");
    if (table >= 0) {
        // A "Table=" with nothing after it is a table number that does not
        // begin with a digit, like any other.
        const auto n = readNumber(line, table + 6);
        if (!n)
            return ignoredPlaceholder(badOperand("the table number of MOVE"));
        bool wasClamped = false;
        const qint64 value = clamped(*n, 250, 255, &wasClamped);
        putBytes(element, 4, "01");
        putBytes(element, 5, hexDigits(value, 4));
        return stored(element, listing + " Table: " + (wasClamped ? "255" : fitDigits(n->digits, 3)));
    }
    return stored(element, listing);
}

// POSITION and RATE: eight servo values, any subset, in any order.
Outcome Compiler::servoTableStatement(const QByteArray &line, int keywordLength, const char *title)
{
    if (line.indexOf('S', keywordLength) < 0)
        return ignored(
            QStringLiteral("%1 names no servo value; line ignored").arg(QString::fromLatin1(line.left(keywordLength))));
    QByteArray element;
    QByteArray listing = title;
    for (int k = 1; k <= 8; ++k) {
        static const char *const prefixes[8] = {"S1=", "S2=", "S3=", "S4=", "S5=", "S6=", "S7=", "S8="};
        const char *prefix = prefixes[k - 1];
        const qsizetype at = line.indexOf(prefix);
        if (at < 0) {
            element += "FFFF";
            continue;
        }
        const auto n = readNumber(line, at + 3);
        if (!n)
            return ignoredPlaceholder(badOperand(QByteArray(QByteArray("the value of ") + prefix).constData()));
        if (n->tooBig)
            return fail(QString::fromLatin1(tooBigReason(*n)));
        element += hexDigits(n->value, 4);
        listing += ' ';
        listing += prefix;
        listing += ' ';
        listing += n->digits;
    }
    return stored(element, listing);
}

Outcome Compiler::outputStatement(const QByteArray &line)
{
    if (line.size() == 6)
        return ignored(missingOperand("OUTPUT"));
    const auto n = readNumber(line, 6);
    if (!n)
        return placeholder(badOperand("the output number"));
    if (n->tooBig)
        return fail(QString::fromLatin1(tooBigReason(*n)));
    QByteArray element = kEmptyTemplate;
    putBytes(element, 2, hexDigits(n->value, 4));
    QByteArray listing = "Output " + fitDigits(n->digits, 4);
    if (line.contains("ON")) {
        putBytes(element, 0, "40");
        listing += " On";
    }
    if (line.contains("OFF")) {
        putBytes(element, 0, "41");
        listing += " Off";
    }
    return stored(element, listing);
}

Outcome Compiler::markerStatement(const QByteArray &line)
{
    if (line.size() == 6)
        return ignored(missingOperand("MARKER"));
    const QByteArray text = line.mid(6);
    // Each character code in hex without a leading zero: a code below 16
    // takes one digit, as the board's tools have always written it.
    QByteArray element = "FE";
    for (qsizetype i = 0; i < text.size() && i < 19; ++i)
        element += QByteArray::number(uchar(text.at(i)), 16).toUpper();
    element = QByteArray(element + kEmptyTemplate).left(32);
    return stored(element, "Marker: " + text);
}

Outcome Compiler::ifInputStatement(const QByteArray &line)
{
    if (line.size() == 7)
        return ignored(missingOperand("IFINPUT"));
    const auto input = readNumber(line, 7);
    if (!input)
        return ignoredPlaceholder(badOperand("the input number of IFINPUT"));
    if (input->tooBig)
        return fail(QString::fromLatin1(tooBigReason(*input)));
    QByteArray element = elementTemplate("32");
    putBytes(element, 1, hexDigits(input->value, 2));
    QByteArray listing = "If Input number " + fitDigits(input->digits, 3);

    const qsizetype equals = line.indexOf('=');
    if (equals >= 0) {
        if (equals + 1 == line.size()) {
            softError(QStringLiteral("nothing follows \"=\" in IFINPUT; the value is left out"));
        } else {
            const auto n = readNumber(line, equals + 1);
            if (!n)
                return ignoredPlaceholder(badOperand("the value of IFINPUT"));
            bool wasClamped = false;
            const qint64 value = clamped(*n, 65535, 65535, &wasClamped);
            putBytes(element, 2, hexDigits(value, 4));
            listing += " = " + (wasClamped ? QByteArray("65535") : n->digits.right(5));
        }
    }

    const qsizetype gotoAt = line.indexOf("GOTO");
    if (gotoAt >= 0 && gotoAt + 4 == line.size())
        softError(QStringLiteral("nothing follows \"GOTO\" in IFINPUT; the jump is left out"));
    if (gotoAt >= 0 && gotoAt + 4 < line.size()) {
        putBytes(element, 4, "0A");
        if (const auto n = readNumber(line, gotoAt + 4)) {
            if (n->tooBig)
                return fail(QString::fromLatin1(tooBigReason(*n)));
            putBytes(element, 5, hexDigits(n->value, 4));
            return stored(element, "If Input = Value Goto Line number: " + fitDigits(n->digits, 5));
        }
        const QByteArray name = line.mid(gotoAt + 4);
        const auto lineText = m_labels.lookup(name);
        if (!lineText) {
            if (m_passNumber >= 2)
                return labelNotFound(name);
            return stored(element, listing);
        }
        putBytes(element, 5, hexDigits(readNumber(*lineText, 0)->value, 4));
        return stored(element, "If Input = Value Then Goto Line number: " + fitDigits(*lineText, 5));
    }

    const qsizetype gosubAt = line.indexOf("GOSUB");
    if (gosubAt >= 0 && gosubAt + 5 == line.size())
        softError(QStringLiteral("nothing follows \"GOSUB\" in IFINPUT; the call is left out"));
    if (gosubAt >= 0 && gosubAt + 5 < line.size()) {
        putBytes(element, 4, "14");
        if (const auto n = readNumber(line, gosubAt + 5)) {
            bool wasClamped = false;
            const qint64 value = clamped(*n, 65535, 65535, &wasClamped);
            putBytes(element, 5, hexDigits(value, 4));
            return stored(element, listing + " Gosub " + (wasClamped ? QByteArray("65535") : n->digits.right(5)));
        }
        const QByteArray name = line.mid(gosubAt + 5);
        const auto lineText = m_labels.lookup(name);
        if (!lineText) {
            if (m_passNumber >= 2)
                return labelNotFound(name);
            return stored(element, listing);
        }
        putBytes(element, 5, hexDigits(readNumber(*lineText, 0)->value, 4));
        return stored(element, "Ifinput = Value Gosub Line number: " + fitDigits(*lineText, 5));
    }

    if (line.contains("STOP")) {
        putBytes(element, 4, "80");
        return stored(element, listing + " Stop");
    }
    return stored(element, listing);
}

Outcome Compiler::registerStatement(const QByteArray &line, bool *matched)
{
    // "S1=" to "S8=", "DSR1=" to "DSR3=" and the same with "+" and "-": the
    // six prefix groups never overlap, so their order does not matter here.
    *matched = false;
    qsizetype at = 0;
    bool dsr = false;
    if (line.startsWith("DSR")) {
        dsr = true;
        at = 3;
    } else if (line.startsWith('S')) {
        at = 1;
    } else {
        return Outcome();
    }
    if (line.size() < at + 2)
        return Outcome();
    const int k = line.at(at) - '0';
    const char op = line.at(at + 1);
    if (k < 1 || k > (dsr ? 3 : 8) || (op != '=' && op != '+' && op != '-'))
        return Outcome();
    *matched = true;
    const qsizetype prefixLength = at + 2;
    const QByteArray prefix = line.left(prefixLength);
    if (line.size() == prefixLength)
        return ignored(missingOperand(prefix.constData()));
    const auto n = readNumber(line, prefixLength);
    if (!n)
        return placeholder(badOperand(QByteArray("the value of " + prefix).constData()));
    if (n->tooBig)
        return fail(QString::fromLatin1(tooBigReason(*n)));
    QByteArray element = elementTemplate(op == '=' ? "50" : op == '+' ? "52" : "54");
    putBytes(element, 1, dsr ? hexDigits(0x1F + k, 2) : hexDigits(k, 2));
    putBytes(element, 2, hexDigits(n->value, 4));
    const QByteArray what = dsr ? line.left(4) : "Servo " + line.mid(1, 1);
    const QByteArray value = fitDigits(n->digits, 5);
    QByteArray listing;
    if (op == '=')
        listing = "Set " + what + " to " + value;
    else if (op == '+')
        listing = "Add  " + value + " to " + what;
    else
        listing = "Subtract " + value + " from " + what;
    return stored(element, listing);
}

Outcome Compiler::labelStatement(const QByteArray &line)
{
    if (line.size() > 16)
        return ignored(QStringLiteral("no statement begins this line, and it is too long for a label; line ignored"));
    if (m_labelCount >= LabelTable::kEntries)
        return fail(QStringLiteral("more than %1 labels").arg(LabelTable::kEntries));
    m_labels.set(m_labelCount, line, m_lineText);
    m_list.line(m_lineText + " label: " + line + ' ' + m_lineText);
    ++m_labelCount;
    Outcome o;
    o.kind = Outcome::LabelDefined;
    return o;
}

} // namespace pvelm::compiler
