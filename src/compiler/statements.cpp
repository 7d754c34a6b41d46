// Translation of one cleaned VelmScript line into a program element and its
// listing text.
//
// This runs twice for every line of a script of up to 32768 elements, so the
// element is written into a fixed array and the listing text into a buffer
// kept from line to line; numbers and label names are read in place from the
// cleaned line. Only the error paths build strings.

#include "compiler/compiler.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace pvelm::compiler {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A run of decimal digits as written (a view into the cleaned line), and its
// value when it fits.
struct Number
{
    QByteArrayView digits;
    qint64 value = 0;    // valid when !tooBig
    bool tooBig = false; // above 2147483647
};

// The longest run of digits starting at index `from`; false when the
// character there is not a digit (or there is none).
bool readNumber(QByteArrayView line, qsizetype from, Number *n)
{
    const qsizetype size = line.size();
    const char *data = line.data();
    if (from >= size || !isDigit(data[from]))
        return false;
    qsizetype end = from;
    while (end < size && isDigit(data[end]))
        ++end;
    n->digits = QByteArrayView(data + from, end - from);
    qsizetype first = from;
    while (first < end - 1 && data[first] == '0')
        ++first;
    n->value = 0;
    if (end - first > 10) {
        n->tooBig = true;
    } else {
        for (qsizetype i = first; i < end; ++i)
            n->value = n->value * 10 + (data[i] - '0');
        n->tooBig = n->value > kMaxNumber;
    }
    return true;
}

bool startsWith(QByteArrayView line, std::string_view prefix)
{
    return line.size() >= qsizetype(prefix.size()) && std::memcmp(line.data(), prefix.data(), prefix.size()) == 0;
}

// Index of the first `needle` (a few letters) in `line` at or after `from`,
// or -1. Lines are short; a plain loop beats the general searches here.
qsizetype find(QByteArrayView line, std::string_view needle, qsizetype from = 0)
{
    const char *data = line.data();
    const qsizetype last = line.size() - qsizetype(needle.size());
    const char first = needle.front();
    for (qsizetype i = from; i <= last; ++i) {
        if (data[i] == first && std::memcmp(data + i + 1, needle.data() + 1, needle.size() - 1) == 0)
            return i;
    }
    return -1;
}

bool contains(QByteArrayView line, std::string_view needle)
{
    return find(line, needle) >= 0;
}

void append(std::string &to, QByteArrayView bytes)
{
    to.append(bytes.data(), size_t(bytes.size()));
}

// Digits padded on the left with "0" and cut to their rightmost `width`.
void appendFitted(std::string &to, QByteArrayView digits, int width)
{
    if (digits.size() >= width) {
        append(to, digits.last(width));
        return;
    }
    to.append(size_t(width - digits.size()), '0');
    append(to, digits);
}

// The rightmost `count` digits as written, without padding.
QByteArrayView rightmost(QByteArrayView digits, qsizetype count)
{
    return digits.size() > count ? digits.last(count) : digits;
}

const char kHex[] = "0123456789ABCDEF";

// Writes `value` as `width` hex digits over byte `byte` (and the following
// ones) of an element; higher digits are dropped.
void putHex(char *element, int byte, qint64 value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        element[2 * byte + i] = kHex[value & 0xF];
        value >>= 4;
    }
}

void putByte(char *element, int byte, const char *twoDigits)
{
    element[2 * byte] = twoDigits[0];
    element[2 * byte + 1] = twoDigits[1];
}

// An element of "F" with its opcode in byte 0.
void setTemplate(char *element, const char *opcode)
{
    std::memset(element, 'F', 32);
    putByte(element, 0, opcode);
}

// A number that is clamped where the statement says so: any value above
// `limit`, however large, becomes `clampTo` before it is used.
qint64 clamped(const Number &n, qint64 limit, qint64 clampTo, bool *wasClamped)
{
    *wasClamped = n.tooBig || n.value > limit;
    return *wasClamped ? clampTo : n.value;
}

QString tooBigReason(const Number &n)
{
    const QByteArray shown = n.digits.size() > 20 ? n.digits.first(20).toByteArray() + "..." : n.digits.toByteArray();
    return QString::fromLatin1("the number " + shown + " is above 2147483647");
}

QString missingOperand(QByteArrayView keyword)
{
    return QStringLiteral("%1 without an operand; line ignored").arg(QString::fromLatin1(keyword));
}

QString badOperand(QByteArrayView what)
{
    return QStringLiteral("%1 does not begin with a digit").arg(QString::fromLatin1(what));
}

// Cleaning: each byte upper-cased in ASCII, and whether it stays.
struct CleaningTables
{
    uchar upper[256];
    uchar keep[256];
};
const CleaningTables kCleaning = [] {
    CleaningTables t{};
    for (int c = 0; c < 256; ++c) {
        t.upper[c] = uchar(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        t.keep[c] = 1;
    }
    t.keep[uchar(' ')] = 0;
    t.keep[uchar(',')] = 0;
    t.keep[uchar('\t')] = 0;
    return t;
}();

} // namespace

namespace {

// Cleans `size` bytes into `out` (room for `size`); returns the length.
// Letters are upper-cased in ASCII only; every other byte, NUL and bytes
// above 127 included, is kept as it is.
qsizetype cleanBytes(const char *raw, qsizetype size, char *out)
{
    const uchar *in = reinterpret_cast<const uchar *>(raw);
    qsizetype n = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const uchar c = in[i];
        if (c == '/')
            break; // everything after the first "/" is a comment
        // Written always, kept only when it counts: n never passes i.
        out[n] = char(kCleaning.upper[c]);
        n += kCleaning.keep[c];
    }
    return n;
}

} // namespace

void cleanLineInto(const QByteArray &raw, QByteArray &line)
{
    line.resize(raw.size());
    line.resize(cleanBytes(raw.constData(), raw.size(), line.data()));
}

QByteArray cleanLine(const QByteArray &raw)
{
    QByteArray line;
    cleanLineInto(raw, line);
    return line;
}

// ---- outcomes -------------------------------------------------------------------

Outcome::Kind Compiler::stored()
{
    return m_tr.kind = Outcome::Stored;
}

Outcome::Kind Compiler::fail(const QString &why)
{
    m_tr.failure = why;
    return m_tr.kind = Outcome::Failed;
}

void Compiler::error(const QString &why)
{
    ++m_counters.errorbumper;
    m_diagnostics.append({m_sourceLine, why});
}

Outcome::Kind Compiler::ignored(const QString &why)
{
    reportLineIgnored();
    error(why);
    return m_tr.kind = Outcome::Ignored;
}

Outcome::Kind Compiler::placeholder(const QString &why)
{
    error(why);
    m_tr.listing.clear();
    append(m_tr.listing, "ERROR ");
    append(m_tr.listing, m_cleaned);
    return m_tr.kind = Outcome::Placeholder;
}

Outcome::Kind Compiler::ignoredPlaceholder(const QString &why)
{
    reportLineIgnored();
    return placeholder(why);
}

void Compiler::softError(const QString &why)
{
    reportLineIgnored();
    error(why);
}

Outcome Compiler::translateStatement()
{
    Outcome o;
    o.kind = translate();
    switch (o.kind) {
    case Outcome::Stored:
        o.element = QByteArray(m_tr.element, 32);
        o.listing = QByteArray(m_tr.listing.data(), qsizetype(m_tr.listing.size()));
        break;
    case Outcome::Placeholder:
        o.listing = QByteArray(m_tr.listing.data(), qsizetype(m_tr.listing.size()));
        break;
    case Outcome::AddressChange:
        o.digits = m_tr.digits.toByteArray();
        o.address = m_tr.address;
        break;
    case Outcome::Failed:
        o.failure = m_tr.failure;
        break;
    default:
        break;
    }
    return o;
}

// ---- dispatch -------------------------------------------------------------------

Outcome::Kind Compiler::translate()
{
    // The buffer only grows, so a line costs no allocation once the longest
    // line so far has been seen.
    if (qsizetype(m_cleanBuffer.size()) < m_rawLine.size())
        m_cleanBuffer.resize(size_t(m_rawLine.size()));
    m_cleaned =
        QByteArrayView(m_cleanBuffer.data(), cleanBytes(m_rawLine.constData(), m_rawLine.size(), m_cleanBuffer.data()));
    const QByteArrayView line = m_cleaned;
    m_tr.listing.clear(); // keeps its capacity
    if (line.size() < 2)
        return m_tr.kind = Outcome::Blank;

    // No keyword begins another one, so only the first letter needs to be
    // told apart before the keywords; registers and labels come after them.
    switch (line.at(0)) {
    case 'A':
        if (startsWith(line, "ADDRESS"))
            return addressStatement(line);
        break;
    case 'C':
        if (startsWith(line, "CALL"))
            return countedStatement(line, 4, "14", 5, "Call Line number: ", "", &m_counters.callcount);
        break;
    case 'D':
        if (startsWith(line, "DO"))
            return countedStatement(line, 2, "1E", 4, "Do ", " Times", &m_counters.docount);
        break;
    case 'G':
        if (startsWith(line, "GOTO"))
            return jumpStatement(line, 4, "0A", "Goto Line number: ", nullptr);
        if (startsWith(line, "GOSUB"))
            return jumpStatement(line, 5, "14", "GoSub Line number: ", &m_counters.callcount);
        break;
    case 'I':
        if (startsWith(line, "IFINPUT"))
            return ifInputStatement(line);
        break;
    case 'L':
        if (startsWith(line, "LOOP")) {
            ++m_counters.loopcount;
            setTemplate(m_tr.element, "20");
            append(m_tr.listing, "Loop");
            return stored();
        }
        break;
    case 'M':
        if (startsWith(line, "MOVE"))
            return moveStatement(line);
        if (startsWith(line, "MARKER"))
            return markerStatement(line);
        break;
    case 'N':
        if (startsWith(line, "NOOPERATION") || startsWith(line, "NOP")) {
            setTemplate(m_tr.element, "FE");
            append(m_tr.listing, "No Operation");
            return stored();
        }
        break;
    case 'O':
        if (startsWith(line, "OUTPUT"))
            return outputStatement(line);
        break;
    case 'P':
        if (startsWith(line, "POSITION"))
            return servoTableStatement(line, 8, "Load Position ");
        break;
    case 'R':
        if (startsWith(line, "RATE"))
            return servoTableStatement(line, 4, "Load Rate ");
        if (startsWith(line, "RETURN")) {
            ++m_counters.returncount;
            setTemplate(m_tr.element, "16");
            append(m_tr.listing, "Return from Subprogram");
            return stored();
        }
        break;
    case 'S':
        if (startsWith(line, "STOP")) {
            setTemplate(m_tr.element, "80");
            append(m_tr.listing, "Stop");
            return stored();
        }
        break;
    case 'W':
        if (startsWith(line, "WAIT"))
            return countedStatement(line, 4, "28", 4, "Wait ", "", nullptr);
        break;
    default:
        break;
    }
    bool matched = false;
    const Outcome::Kind reg = registerStatement(line, &matched);
    if (matched)
        return reg;
    return labelStatement(line);
}

// ---- statements -----------------------------------------------------------------

Outcome::Kind Compiler::addressStatement(QByteArrayView line)
{
    if (line.size() == 7)
        return ignored(missingOperand("ADDRESS"));
    Number n;
    if (!readNumber(line, 7, &n))
        return fail(QStringLiteral("ADDRESS is not followed by a line number"));
    if (n.tooBig)
        return fail(tooBigReason(n));
    m_tr.digits = n.digits;
    m_tr.address = n.value;
    return m_tr.kind = Outcome::AddressChange;
}

// WAIT, DO and CALL: one number into bytes 2-3.
Outcome::Kind Compiler::countedStatement(QByteArrayView line, int keywordLength, const char *tmpl, int width,
                                         QByteArrayView before, QByteArrayView after, int *counter)
{
    const QByteArrayView keyword = QByteArrayView(line).first(keywordLength);
    if (line.size() == keywordLength)
        return ignored(missingOperand(keyword));
    Number n;
    if (!readNumber(line, keywordLength, &n))
        return ignoredPlaceholder(badOperand("the operand of " + keyword.toByteArray()));
    if (n.tooBig)
        return fail(tooBigReason(n));
    setTemplate(m_tr.element, tmpl);
    putHex(m_tr.element, 2, n.value, 4);
    if (counter)
        ++*counter;
    append(m_tr.listing, before);
    appendFitted(m_tr.listing, n.digits, width);
    append(m_tr.listing, after);
    return stored();
}

Outcome::Kind Compiler::labelNotFound(QByteArrayView name)
{
    m_rawLine.append(kCannotLocateLabel);
    m_rawLine.append(name);
    return ignored(QStringLiteral("Cannot Locate Label %1; line ignored").arg(QString::fromLatin1(name)));
}

// GOTO and GOSUB: a line number, or a label resolved through the table.
Outcome::Kind Compiler::jumpStatement(QByteArrayView line, int keywordLength, const char *tmpl, QByteArrayView title,
                                      int *counter)
{
    if (line.size() == keywordLength)
        return ignored(missingOperand(QByteArrayView(line).first(keywordLength)));
    setTemplate(m_tr.element, tmpl);
    QByteArrayView target;
    std::optional<QByteArray> lineText; // keeps the label's text alive while `target` points into it
    Number n;
    if (readNumber(line, keywordLength, &n)) {
        if (n.tooBig)
            return fail(tooBigReason(n));
        putHex(m_tr.element, 2, n.value, 4);
        target = n.digits;
    } else {
        // The name is looked up in place, without copying it out of the line.
        const QByteArray name = QByteArray::fromRawData(line.data() + keywordLength, line.size() - keywordLength);
        lineText = m_labels.lookup(name);
        if (lineText) {
            Number at;
            readNumber(*lineText, 0, &at);
            putHex(m_tr.element, 2, at.value, 4);
            target = *lineText;
        } else if (m_passNumber >= 2) {
            return labelNotFound(name);
        }
        // First pass: the label may still come; the line takes its number
        // as it will once the label resolves.
    }
    if (counter)
        ++*counter;
    append(m_tr.listing, title);
    appendFitted(m_tr.listing, target, 5);
    return stored();
}

Outcome::Kind Compiler::moveStatement(QByteArrayView line)
{
    if (line.size() == 4)
        return ignored(missingOperand("MOVE"));
    Number position;
    if (!readNumber(line, 4, &position))
        return ignoredPlaceholder(badOperand("the position line of MOVE"));
    if (position.tooBig)
        return fail(tooBigReason(position));
    char *element = m_tr.element;
    setTemplate(element, "00");
    putHex(element, 2, position.value, 4);
    putByte(element, 4, "02");
    std::string &listing = m_tr.listing;
    append(listing, "Move To Position: ");
    appendFitted(listing, position.digits, 5);

    // "RATE=DSR1" wins over "RATE=DSR2" wherever each stands, and both over
    // a plain "RATE=": look at every "RATE=" once.
    const qsizetype rate = find(line, "RATE=");
    int dsr = 3;
    for (qsizetype at = rate; at >= 0; at = find(line, "RATE=", at + 5)) {
        if (at + 9 <= line.size() && std::memcmp(line.data() + at + 5, "DSR", 3) == 0) {
            const int k = line.at(at + 8) - '1';
            if (k >= 0 && k < dsr)
                dsr = k;
        }
    }
    if (dsr < 3) {
        putHex(element, 4, 2 + dsr, 2);
        append(listing, " Rate = DSR");
        listing += char('1' + dsr);
        return stored();
    }
    if (rate >= 0) {
        if (rate + 5 == line.size()) {
            softError(QStringLiteral("nothing follows \"Rate=\"; the move keeps its other speed"));
        } else {
            Number n;
            if (!readNumber(line, rate + 5, &n))
                return ignoredPlaceholder(badOperand("the rate of MOVE"));
            bool wasClamped = false;
            const qint64 value = clamped(n, 65535, 65535, &wasClamped);
            putByte(element, 4, "00");
            putHex(element, 5, value, 4);
            append(listing, " Rate: ");
            if (wasClamped)
                append(listing, "65535");
            else
                appendFitted(listing, n.digits, 5);
            return stored();
        }
    }
    const qsizetype table = find(line, "TABLE=");
    if (table >= 0) {
        // A "Table=" with nothing after it is a table number that does not
        // begin with a digit, like any other.
        Number n;
        if (!readNumber(line, table + 6, &n))
            return ignoredPlaceholder(badOperand("the table number of MOVE"));
        bool wasClamped = false;
        const qint64 value = clamped(n, 250, 255, &wasClamped);
        putByte(element, 4, "01");
        putHex(element, 5, value, 4);
        append(listing, " Table: ");
        if (wasClamped)
            append(listing, "255");
        else
            appendFitted(listing, n.digits, 3);
        return stored();
    }
    return stored();
}

// POSITION and RATE: eight servo values, any subset, in any order.
Outcome::Kind Compiler::servoTableStatement(QByteArrayView line, int keywordLength, QByteArrayView title)
{
    if (!std::memchr(line.data() + keywordLength, 'S', size_t(line.size() - keywordLength)))
        return ignored(QStringLiteral("%1 names no servo value; line ignored")
                           .arg(QString::fromLatin1(QByteArrayView(line).first(keywordLength))));
    char *element = m_tr.element;
    std::string &listing = m_tr.listing;
    append(listing, title);
    // Where each of "S1=" to "S8=" first stands, in one look at the line.
    qsizetype first[8];
    std::fill(std::begin(first), std::end(first), -1);
    const char *data = line.data();
    for (qsizetype i = 0; i + 2 < line.size(); ++i) {
        if (data[i] == 'S' && data[i + 2] == '=') {
            const int k = data[i + 1] - '1';
            if (k >= 0 && k < 8 && first[k] < 0)
                first[k] = i;
        }
    }
    // Every servo's number is read before any is converted: a bad operand
    // on a later servo makes the line an ignored placeholder even when an
    // earlier servo's number is too big to convert.
    static const char *const prefixes[8] = {"S1=", "S2=", "S3=", "S4=", "S5=", "S6=", "S7=", "S8="};
    Number numbers[8];
    for (int k = 0; k < 8; ++k) {
        if (first[k] >= 0 && !readNumber(line, first[k] + 3, &numbers[k]))
            return ignoredPlaceholder(badOperand(QByteArray("the value of ") + prefixes[k]));
    }
    for (int k = 0; k < 8; ++k) {
        char *value = element + 4 * k;
        if (first[k] < 0) {
            std::memset(value, 'F', 4);
            continue;
        }
        const Number &n = numbers[k];
        if (n.tooBig)
            return fail(tooBigReason(n));
        putHex(value, 0, n.value, 4);
        append(listing, " ");
        append(listing, prefixes[k]);
        append(listing, " ");
        append(listing, n.digits);
    }
    return stored();
}

Outcome::Kind Compiler::outputStatement(QByteArrayView line)
{
    if (line.size() == 6)
        return ignored(missingOperand("OUTPUT"));
    Number n;
    if (!readNumber(line, 6, &n))
        return placeholder(badOperand("the output number"));
    if (n.tooBig)
        return fail(tooBigReason(n));
    char *element = m_tr.element;
    std::memset(element, 'F', 32);
    putHex(element, 2, n.value, 4);
    append(m_tr.listing, "Output ");
    appendFitted(m_tr.listing, n.digits, 4);
    if (contains(line, "ON")) {
        putByte(element, 0, "40");
        append(m_tr.listing, " On");
    }
    if (contains(line, "OFF")) {
        putByte(element, 0, "41");
        append(m_tr.listing, " Off");
    }
    return stored();
}

Outcome::Kind Compiler::markerStatement(QByteArrayView line)
{
    if (line.size() == 6)
        return ignored(missingOperand("MARKER"));
    const QByteArrayView text = QByteArrayView(line).sliced(6);
    // Each character code in hex without a leading zero: a code below 16
    // takes one digit, as the board's tools have always written it. What
    // does not fit in the element is cut off.
    char *element = m_tr.element;
    std::memset(element, 'F', 32);
    element[0] = 'F';
    element[1] = 'E';
    int at = 2;
    for (qsizetype i = 0; i < text.size() && i < 19 && at < 32; ++i) {
        const uchar c = uchar(text.at(i));
        if (c >= 16)
            element[at++] = kHex[c >> 4];
        if (at < 32)
            element[at++] = kHex[c & 0xF];
    }
    append(m_tr.listing, "Marker: ");
    append(m_tr.listing, text);
    return stored();
}

Outcome::Kind Compiler::ifInputStatement(QByteArrayView line)
{
    if (line.size() == 7)
        return ignored(missingOperand("IFINPUT"));
    Number input;
    if (!readNumber(line, 7, &input))
        return ignoredPlaceholder(badOperand("the input number of IFINPUT"));
    if (input.tooBig)
        return fail(tooBigReason(input));
    char *element = m_tr.element;
    std::string &listing = m_tr.listing;
    setTemplate(element, "32");
    putHex(element, 1, input.value, 2);
    append(listing, "If Input number ");
    appendFitted(listing, input.digits, 3);

    const char *equalsAt = static_cast<const char *>(std::memchr(line.data(), '=', size_t(line.size())));
    const qsizetype equals = equalsAt ? equalsAt - line.data() : -1;
    if (equals >= 0) {
        if (equals + 1 == line.size()) {
            softError(QStringLiteral("nothing follows \"=\" in IFINPUT; the value is left out"));
        } else {
            Number n;
            if (!readNumber(line, equals + 1, &n))
                return ignoredPlaceholder(badOperand("the value of IFINPUT"));
            bool wasClamped = false;
            const qint64 value = clamped(n, 65535, 65535, &wasClamped);
            putHex(element, 2, value, 4);
            append(listing, " = ");
            append(listing, wasClamped ? QByteArrayView("65535") : rightmost(n.digits, 5));
        }
    }

    // A jump or call whose target is a label: the element takes the label's
    // line number, and the listing is replaced by `title` and that number.
    const auto labelTarget = [&](qsizetype nameAt, const char *title) {
        const QByteArray name = QByteArray::fromRawData(line.data() + nameAt, line.size() - nameAt);
        const auto lineText = m_labels.lookup(name);
        if (!lineText) {
            if (m_passNumber >= 2)
                return labelNotFound(name);
            return stored();
        }
        Number at;
        readNumber(*lineText, 0, &at);
        putHex(element, 5, at.value, 4);
        listing.clear();
        append(listing, title);
        appendFitted(listing, *lineText, 5);
        return stored();
    };

    const qsizetype gotoAt = find(line, "GOTO");
    if (gotoAt >= 0 && gotoAt + 4 == line.size())
        softError(QStringLiteral("nothing follows \"GOTO\" in IFINPUT; the jump is left out"));
    if (gotoAt >= 0 && gotoAt + 4 < line.size()) {
        putByte(element, 4, "0A");
        Number n;
        if (readNumber(line, gotoAt + 4, &n)) {
            if (n.tooBig)
                return fail(tooBigReason(n));
            putHex(element, 5, n.value, 4);
            listing.clear();
            append(listing, "If Input = Value Goto Line number: ");
            appendFitted(listing, n.digits, 5);
            return stored();
        }
        return labelTarget(gotoAt + 4, "If Input = Value Then Goto Line number: ");
    }

    const qsizetype gosubAt = find(line, "GOSUB");
    if (gosubAt >= 0 && gosubAt + 5 == line.size())
        softError(QStringLiteral("nothing follows \"GOSUB\" in IFINPUT; the call is left out"));
    if (gosubAt >= 0 && gosubAt + 5 < line.size()) {
        putByte(element, 4, "14");
        Number n;
        if (readNumber(line, gosubAt + 5, &n)) {
            bool wasClamped = false;
            const qint64 value = clamped(n, 65535, 65535, &wasClamped);
            putHex(element, 5, value, 4);
            append(listing, " Gosub ");
            append(listing, wasClamped ? QByteArrayView("65535") : rightmost(n.digits, 5));
            return stored();
        }
        return labelTarget(gosubAt + 5, "Ifinput = Value Gosub Line number: ");
    }

    if (contains(line, "STOP")) {
        putByte(element, 4, "80");
        append(listing, " Stop");
    }
    return stored();
}

Outcome::Kind Compiler::registerStatement(QByteArrayView line, bool *matched)
{
    // "S1=" to "S8=", "DSR1=" to "DSR3=" and the same with "+" and "-": the
    // six prefix groups never overlap, so their order does not matter here.
    *matched = false;
    qsizetype at = 0;
    bool dsr = false;
    if (startsWith(line, "DSR")) {
        dsr = true;
        at = 3;
    } else if (line.at(0) == 'S') {
        at = 1;
    } else {
        return Outcome::Blank;
    }
    if (line.size() < at + 2)
        return Outcome::Blank;
    const int k = line.at(at) - '0';
    const char op = line.at(at + 1);
    if (k < 1 || k > (dsr ? 3 : 8) || (op != '=' && op != '+' && op != '-'))
        return Outcome::Blank;
    *matched = true;
    const qsizetype prefixLength = at + 2;
    const QByteArrayView prefix = QByteArrayView(line).first(prefixLength);
    if (line.size() == prefixLength)
        return ignored(missingOperand(prefix));
    Number n;
    if (!readNumber(line, prefixLength, &n))
        return placeholder(badOperand("the value of " + prefix.toByteArray()));
    if (n.tooBig)
        return fail(tooBigReason(n));
    char *element = m_tr.element;
    setTemplate(element, op == '=' ? "50" : op == '+' ? "52" : "54");
    putHex(element, 1, dsr ? 0x1F + k : k, 2);
    putHex(element, 2, n.value, 4);

    std::string &listing = m_tr.listing;
    auto appendWhat = [&] {
        if (dsr) {
            append(listing, QByteArrayView(line).first(4));
        } else {
            append(listing, "Servo ");
            append(listing, QByteArrayView(line).sliced(1, 1));
        }
    };
    if (op == '=') {
        append(listing, "Set ");
        appendWhat();
        append(listing, " to ");
        appendFitted(listing, n.digits, 5);
    } else if (op == '+') {
        append(listing, "Add  ");
        appendFitted(listing, n.digits, 5);
        append(listing, " to ");
        appendWhat();
    } else {
        append(listing, "Subtract ");
        appendFitted(listing, n.digits, 5);
        append(listing, " from ");
        appendWhat();
    }
    return stored();
}

Outcome::Kind Compiler::labelStatement(QByteArrayView line)
{
    if (line.size() > 16)
        return ignored(QStringLiteral("no statement begins this line, and it is too long for a label; line ignored"));
    if (m_labelCount >= LabelTable::kEntries)
        return fail(QStringLiteral("more than %1 labels").arg(LabelTable::kEntries));
    m_labels.set(m_labelCount, line.toByteArray(), m_lineText);
    m_list.lineParts({m_lineText, " label: ", line, " ", m_lineText});
    ++m_labelCount;
    return m_tr.kind = Outcome::LabelDefined;
}

} // namespace pvelm::compiler
