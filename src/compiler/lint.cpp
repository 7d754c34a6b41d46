// Warnings after a compile. The checks read the script again with the
// compiler's own cleaning and statement recognition (syntax.h) and take the
// program-line numbering from the compile's source map, so they never touch
// a pass and cannot change a byte the compile writes.

#include "compiler/lint.h"

#include "compiler/compiler.h"
#include "compiler/sourcemap.h"
#include "compiler/syntax.h"
#include "compiler/textfiles.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string_view>
#include <vector>

#include <QSet>

namespace pvelm::compiler {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isLetter(char c)
{
    return c >= 'A' && c <= 'Z';
}

// A run of digits as the compiler reads it: leading zeros do not count, and
// more than 2147483647 is too big to convert.
struct Number
{
    QByteArrayView digits;
    qint64 value = 0;
    bool tooBig = false;
};

bool readNumber(QByteArrayView line, qsizetype from, Number *n)
{
    if (from < 0 || from >= line.size() || !isDigit(line.at(from)))
        return false;
    qsizetype end = from;
    while (end < line.size() && isDigit(line.at(end)))
        ++end;
    n->digits = line.sliced(from, end - from);
    qsizetype first = from;
    while (first < end - 1 && line.at(first) == '0')
        ++first;
    n->tooBig = end - first > 10;
    for (qsizetype i = first; i < end && !n->tooBig; ++i)
        n->value = n->value * 10 + (line.at(i) - '0');
    n->tooBig = n->tooBig || n->value > kMaxNumber;
    return true;
}

qsizetype find(QByteArrayView line, std::string_view word, qsizetype from = 0)
{
    return line.indexOf(QByteArrayView(word.data(), qsizetype(word.size())), from);
}

// What a field does with a number too large for it: cut to its bits (the
// number modulo 2^bits) or clamped to a fixed value.
struct Shape
{
    qint64 limit; // the largest number the field takes as it is
    int bits;     // cut: the field's width
    qint64 clampTo;
};
constexpr Shape kWord{65535, 16, -1};
constexpr Shape kByte{255, 8, -1};
constexpr Shape kClamped{65535, 0, 65535};
constexpr Shape kTable{250, 0, 255};

// Where a statement reads a number.
enum class Anchor {
    Operand,     // right after the keyword (or the register prefix)
    Rate,        // after MOVE's "RATE=", when the move takes its rate from there
    Table,       // after MOVE's "TABLE=", when no rate came first
    Servos,      // after the first "S1=" to "S8=" of POSITION and RATE
    Value,       // after IFINPUT's first "="
    GotoTarget,  // after IFINPUT's "GOTO"
    GosubTarget, // after IFINPUT's "GOSUB", when there is no GOTO target
};

// Every number a statement writes into a field, and the field's shape. An
// empty keyword stands for the register statements (S1= to DSR3-).
struct FieldRule
{
    std::string_view keyword;
    Anchor anchor;
    const char *what;
    const Shape &shape;
};
const FieldRule kFields[] = {
    {"WAIT", Anchor::Operand, "WAIT", kWord},
    {"DO", Anchor::Operand, "DO", kWord},
    {"CALL", Anchor::Operand, "CALL", kWord},
    {"GOTO", Anchor::Operand, "GOTO", kWord},
    {"GOSUB", Anchor::Operand, "GOSUB", kWord},
    {"OUTPUT", Anchor::Operand, "OUTPUT", kWord},
    {"MOVE", Anchor::Operand, "MOVE", kWord},
    {"MOVE", Anchor::Rate, "MOVE rate", kClamped},
    {"MOVE", Anchor::Table, "MOVE table", kTable},
    {"POSITION", Anchor::Servos, "POSITION", kWord},
    {"RATE", Anchor::Servos, "RATE", kWord},
    {"IFINPUT", Anchor::Operand, "IFINPUT input", kByte},
    {"IFINPUT", Anchor::Value, "IFINPUT value", kClamped},
    {"IFINPUT", Anchor::GotoTarget, "IFINPUT GOTO", kWord},
    {"IFINPUT", Anchor::GosubTarget, "IFINPUT GOSUB", kClamped},
    {"", Anchor::Operand, "", kWord},
};

// Calls `fn(column, prefix)` for each column of the cleaned `line` where the
// statement reads a number of this anchor, exactly where the compiler reads
// it; `prefix` names a servo ("S3=") where one is meant.
void forEachAnchor(QByteArrayView line, qsizetype operand, Anchor anchor,
                   const std::function<void(qsizetype, QByteArrayView)> &fn)
{
    const qsizetype size = line.size();
    switch (anchor) {
    case Anchor::Operand:
        fn(operand, {});
        return;
    case Anchor::Rate:
    case Anchor::Table: {
        // "RATE=DSR1" to "RATE=DSR3" anywhere win over a plain rate, and a
        // "RATE=" at the end leaves the speed to "TABLE=".
        bool dsr = false;
        for (qsizetype at = find(line, "RATE="); at >= 0; at = find(line, "RATE=", at + 5))
            dsr = dsr || (line.sliced(at + 5).startsWith("DSR") && at + 8 < size && line.at(at + 8) >= '1' &&
                          line.at(at + 8) <= '3');
        const qsizetype rate = find(line, "RATE=");
        const bool rateTaken = !dsr && rate >= 0 && rate + 5 < size;
        if (anchor == Anchor::Rate && rateTaken)
            fn(rate + 5, {});
        const qsizetype table = find(line, "TABLE=");
        if (anchor == Anchor::Table && !dsr && !rateTaken && table >= 0)
            fn(table + 6, {});
        return;
    }
    case Anchor::Servos: {
        static const char *const prefixes[8] = {"S1=", "S2=", "S3=", "S4=", "S5=", "S6=", "S7=", "S8="};
        for (const char *prefix : prefixes) {
            const qsizetype at = find(line, prefix);
            if (at >= 0)
                fn(at + 3, prefix);
        }
        return;
    }
    case Anchor::Value: {
        const qsizetype equals = line.indexOf('=');
        if (equals >= 0 && equals + 1 < size)
            fn(equals + 1, {});
        return;
    }
    case Anchor::GotoTarget:
    case Anchor::GosubTarget: {
        const qsizetype jump = find(line, "GOTO");
        const bool gotoTarget = jump >= 0 && jump + 4 < size;
        const qsizetype call = find(line, "GOSUB");
        if (anchor == Anchor::GotoTarget && gotoTarget)
            fn(jump + 4, {});
        else if (anchor == Anchor::GosubTarget && !gotoTarget && call >= 0 && call + 5 < size)
            fn(call + 5, {});
        return;
    }
    }
}

// "cut to its field" and "clamped" warnings of one statement line.
void checkNumbers(QByteArrayView line, std::string_view keyword, qint64 sourceLine, QList<Warning> &out)
{
    const qsizetype operand = !keyword.empty() ? qsizetype(keyword.size()) : line.startsWith("DSR") ? 5 : 3;
    for (const FieldRule &rule : kFields) {
        if (rule.keyword != keyword)
            continue;
        forEachAnchor(line, operand, rule.anchor, [&](qsizetype at, QByteArrayView servo) {
            Number n;
            if (!readNumber(line, at, &n))
                return;
            const Shape &shape = rule.shape;
            // A number too big to convert fails the pass where it is cut;
            // where it is clamped, it is clamped like any other.
            if ((shape.bits && n.tooBig) || (!n.tooBig && n.value <= shape.limit))
                return;
            QString shown = QString::fromLatin1(rule.what);
            if (!servo.isEmpty())
                shown += QLatin1Char(' ') + QString::fromLatin1(servo);
            else if (keyword.empty())
                shown = QString::fromLatin1(line.first(operand));
            else
                shown += QLatin1Char(' ');
            shown += QString::fromLatin1(n.digits.size() > 20 ? n.digits.first(20).toByteArray() + "..."
                                                              : n.digits.toByteArray());
            out.append({sourceLine, shape.bits ? QStringLiteral("%1 is cut to its %2-bit field: the board gets %3")
                                                     .arg(shown)
                                                     .arg(shape.bits)
                                                     .arg(n.value & shape.limit)
                                               : QStringLiteral("%1 is above %2: the board gets %3")
                                                     .arg(shown)
                                                     .arg(shape.limit)
                                                     .arg(shape.clampTo)});
        });
    }
}

// Edits (insert, delete, change, swap two neighbours) from a to b.
int editDistance(QByteArrayView a, std::string_view b)
{
    const qsizetype m = a.size();
    const qsizetype n = qsizetype(b.size());
    std::vector<int> d(size_t((m + 1) * (n + 1)));
    auto at = [&](qsizetype i, qsizetype j) -> int & { return d[size_t(i * (n + 1) + j)]; };
    for (qsizetype i = 0; i <= m; ++i)
        at(i, 0) = int(i);
    for (qsizetype j = 0; j <= n; ++j)
        at(0, j) = int(j);
    for (qsizetype i = 1; i <= m; ++i) {
        for (qsizetype j = 1; j <= n; ++j) {
            const int change = a.at(i - 1) == b[size_t(j - 1)] ? 0 : 1;
            at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + change});
            if (i > 1 && j > 1 && a.at(i - 1) == b[size_t(j - 2)] && a.at(i - 2) == b[size_t(j - 1)])
                at(i, j) = std::min(at(i, j), at(i - 2, j - 2) + 1);
        }
    }
    return at(m, n);
}

// The keyword a label name looks like a slip of, or none. The name's
// leading letters are compared with each keyword: one edit allowed for a
// keyword of up to four letters, two for a longer one. A keyword that may be
// followed by letters (a label, a marker's text) is also compared with the
// beginnings of the name as long as itself, give or take one letter:
// "GOTTOMAIN" is "GOTO MAIN" with one letter too many.
std::string_view nearKeyword(QByteArrayView name)
{
    qsizetype letters = 0;
    while (letters < name.size() && isLetter(name.at(letters)))
        ++letters;
    const QByteArrayView word = name.first(letters);
    std::string_view best;
    int bestDistance = 3;
    for (std::string_view keyword : statementKeywords()) {
        const int allowed = keyword.size() <= 4 ? 1 : 2;
        int distance = editDistance(word, keyword);
        if (keyword == "GOTO" || keyword == "GOSUB" || keyword == "MARKER") {
            for (qsizetype length = qsizetype(keyword.size()) - 1; length <= qsizetype(keyword.size()) + 1; ++length) {
                if (length < word.size())
                    distance = std::min(distance, editDistance(word.first(length), keyword));
            }
        }
        if (!word.isEmpty() && distance <= allowed && distance < bestDistance) {
            best = keyword;
            bestDistance = distance;
        }
    }
    return best;
}

std::string_view statementKeyword(QByteArrayView cleaned)
{
    for (std::string_view keyword : statementKeywords()) {
        if (cleaned.startsWith(QByteArrayView(keyword.data(), qsizetype(keyword.size()))))
            return keyword;
    }
    return {};
}

} // namespace

QList<Warning> lint(const Compiler &compiler, const QByteArray &source)
{
    // Lines the compile already reported (a statement error or a failure).
    QSet<qint64> reported;
    for (const ReportEntry &entry : reportEntries(compiler))
        reported.insert(entry.sourceLine);

    QList<Warning> warnings;
    std::vector<std::string_view> keywords; // of each source line, by line - 1
    QList<QPair<qint64, QByteArray>> labels;
    QSet<QByteArray> targets;
    QList<qint64> openDos;
    QList<QPair<qint64, qint64>> moves; // source line, position line
    std::vector<SyntaxSpan> spans;
    QByteArray cleaned;
    qint64 lineNumber = 0;
    forEachLine(source, [&](const QByteArray &raw) {
        ++lineNumber;
        const LineKind kind = classifyLine(QString::fromLatin1(raw), spans);
        cleanLineInto(raw, cleaned);
        const std::string_view keyword = kind == LineKind::Statement ? statementKeyword(cleaned) : std::string_view();
        keywords.push_back(keyword);
        if (kind == LineKind::Label)
            labels.append({lineNumber, cleaned});
        if (kind != LineKind::Statement)
            return true;
        for (const SyntaxSpan &span : spans) {
            if (span.kind == SyntaxKind::Label)
                targets.insert(cleanLine(raw.mid(span.start, span.length)));
        }
        if (reported.contains(lineNumber))
            return true;
        checkNumbers(cleaned, keyword, lineNumber, warnings);
        Number position;
        if (keyword == "DO")
            openDos.append(lineNumber);
        else if (keyword == "LOOP" && !openDos.isEmpty())
            openDos.removeLast();
        else if (keyword == "MOVE" && readNumber(cleaned, 4, &position) && !position.tooBig)
            moves.append({lineNumber, position.value & 0xFFFF});
        return true;
    });

    for (const auto &[line, name] : labels) {
        const std::string_view keyword = nearKeyword(name);
        if (!targets.contains(name) && !keyword.empty() && !reported.contains(line))
            warnings.append({line, QStringLiteral("label %1 is never used: did you mean %2?")
                                       .arg(QString::fromLatin1(name), QString::fromLatin1(keyword))});
    }
    for (qint64 line : openDos)
        warnings.append({line, QStringLiteral("DO with no LOOP after it")});
    // The numbering is known only for a pass that ran to its end.
    if (compiler.lastPassCompleted()) {
        for (const auto &[line, position] : moves) {
            const qint64 writer = compiler.sourceLines().sourceLine(position);
            if (writer < 1 || writer > qint64(keywords.size()) || keywords[size_t(writer - 1)] != "POSITION")
                warnings.append({line, QStringLiteral("MOVE to line %1: no POSITION writes that line").arg(position)});
        }
    }
    std::stable_sort(warnings.begin(), warnings.end(),
                     [](const Warning &a, const Warning &b) { return a.sourceLine < b.sourceLine; });
    return warnings;
}

} // namespace pvelm::compiler
