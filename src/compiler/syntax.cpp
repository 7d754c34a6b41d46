#include "compiler/syntax.h"

#include <array>
#include <string_view>

namespace pvelm::compiler {

namespace {

// The statement keywords in the order the compiler tries them; the first
// that begins the cleaned line decides.
constexpr std::array<std::string_view, 17> kKeywords = {
    "ADDRESS", "MOVE",  "POSITION", "RATE", "WAIT", "STOP",   "NOOPERATION", "NOP",     "GOTO",
    "CALL",    "GOSUB", "RETURN",   "DO",   "LOOP", "OUTPUT", "MARKER",      "IFINPUT",
};

constexpr quint8 kNone = 0xFF;
constexpr quint8 kText = 0xFE; // read as it stands (a marker's text): not coloured

// The cleaned line (as the compiler sees it) with, for each of its
// characters, the column it came from and the kind it is coloured as. Kept
// from line to line so a script of many lines costs few allocations.
struct Work
{
    std::vector<char16_t> text;
    std::vector<int> column;
    std::vector<quint8> kind;

    qsizetype size() const { return qsizetype(text.size()); }
    bool digit(qsizetype i) const { return i < size() && text[size_t(i)] >= u'0' && text[size_t(i)] <= u'9'; }

    bool startsWith(std::string_view word, qsizetype at = 0) const
    {
        if (at + qsizetype(word.size()) > size())
            return false;
        for (size_t k = 0; k < word.size(); ++k) {
            if (text[size_t(at) + k] != char16_t(word[k]))
                return false;
        }
        return true;
    }
    qsizetype find(std::string_view word, qsizetype from = 0) const
    {
        for (qsizetype i = from; i + qsizetype(word.size()) <= size(); ++i) {
            if (startsWith(word, i))
                return i;
        }
        return -1;
    }
    void mark(qsizetype from, qsizetype to, SyntaxKind k)
    {
        for (qsizetype i = from; i < to && i < size(); ++i)
            kind[size_t(i)] = quint8(k);
    }
    // A sub-keyword found anywhere after `from`, coloured when present.
    qsizetype markWord(std::string_view word, qsizetype from)
    {
        const qsizetype at = find(word, from);
        if (at >= 0)
            mark(at, at + qsizetype(word.size()), SyntaxKind::Keyword);
        return at;
    }
    // A jump target: a label when it does not begin with a digit.
    void markTarget(qsizetype at)
    {
        if (at < size() && !digit(at))
            mark(at, size(), SyntaxKind::Label);
    }
};

Work &work()
{
    thread_local Work w;
    return w;
}

// "S1=" to "S8=", "DSR1=" to "DSR3=" and the same with "+" and "-": the
// length of the prefix, or 0.
qsizetype registerPrefix(const Work &w)
{
    qsizetype at = 0;
    int last = 8;
    if (w.startsWith("DSR")) {
        at = 3;
        last = 3;
    } else if (w.startsWith("S")) {
        at = 1;
    } else {
        return 0;
    }
    if (w.size() < at + 2)
        return 0;
    const int k = w.text[size_t(at)] - u'0';
    const char16_t op = w.text[size_t(at) + 1];
    return k >= 1 && k <= last && (op == u'=' || op == u'+' || op == u'-') ? at + 2 : 0;
}

void markStatement(Work &w, std::string_view keyword)
{
    const qsizetype rest = qsizetype(keyword.size());
    w.mark(0, rest, SyntaxKind::Keyword);
    if (keyword == "MARKER") {
        for (qsizetype i = rest; i < w.size(); ++i)
            w.kind[size_t(i)] = kText;
        return;
    }
    if (keyword == "GOTO" || keyword == "GOSUB") {
        w.markTarget(rest);
    } else if (keyword == "IFINPUT") {
        // The first GOTO decides, then the first GOSUB, then STOP.
        qsizetype jump = w.markWord("GOTO", rest);
        qsizetype length = 4;
        if (jump < 0 || jump + 4 >= w.size()) {
            const qsizetype gosub = w.markWord("GOSUB", rest);
            if (gosub >= 0) {
                jump = gosub;
                length = 5;
            }
        }
        if (jump >= 0)
            w.markTarget(jump + length);
        else
            w.markWord("STOP", rest);
    } else if (keyword == "MOVE") {
        if (w.markWord("RATE=", rest) >= 0) {
            const qsizetype dsr = w.markWord("DSR", rest);
            if (dsr >= 0 && w.digit(dsr + 3))
                w.mark(dsr + 3, dsr + 4, SyntaxKind::Keyword);
        } else
            w.markWord("TABLE=", rest);
    } else if (keyword == "OUTPUT") {
        if (w.markWord("OFF", rest) < 0)
            w.markWord("ON", rest);
    } else if (keyword == "POSITION" || keyword == "RATE") {
        for (qsizetype i = rest; i + 2 < w.size(); ++i) {
            if (w.text[size_t(i)] == u'S' && w.digit(i + 1) && w.text[size_t(i) + 2] == u'=')
                w.mark(i, i + 3, SyntaxKind::Keyword);
        }
    }
}

} // namespace

std::span<const std::string_view> statementKeywords()
{
    return kKeywords;
}

LineKind classifyLine(QStringView line, std::vector<SyntaxSpan> &spans)
{
    spans.clear();
    Work &w = work();
    w.text.clear();
    w.column.clear();
    // Cleaning as the compiler does it: blanks, commas and tabs go, letters
    // are upper-cased (ASCII only), a "/" starts the comment.
    qsizetype comment = -1;
    for (qsizetype i = 0; i < line.size(); ++i) {
        char16_t c = line[i].unicode();
        if (c == u'/') {
            comment = i;
            break;
        }
        if (c == u' ' || c == u',' || c == u'\t')
            continue;
        if (c >= u'a' && c <= u'z')
            c = char16_t(c - u'a' + u'A');
        w.text.push_back(c);
        w.column.push_back(int(i));
    }
    w.kind.assign(w.text.size(), kNone);

    LineKind result = LineKind::Statement;
    if (w.size() < 2) {
        result = LineKind::Blank;
    } else {
        std::string_view keyword;
        for (std::string_view k : kKeywords) {
            if (w.startsWith(k)) {
                keyword = k;
                break;
            }
        }
        if (!keyword.empty()) {
            markStatement(w, keyword);
        } else if (const qsizetype prefix = registerPrefix(w)) {
            w.mark(0, prefix, SyntaxKind::Keyword);
        } else if (w.size() <= 16) {
            result = LineKind::Label;
            w.mark(0, w.size(), SyntaxKind::Label);
        } else {
            result = LineKind::Invalid;
            w.mark(0, w.size(), SyntaxKind::Invalid);
        }
        // What is left and made of digits is a number the statement reads.
        for (qsizetype i = 0; i < w.size(); ++i) {
            if (w.kind[size_t(i)] == kNone && w.digit(i))
                w.kind[size_t(i)] = quint8(SyntaxKind::Number);
        }
    }

    // Runs of one kind become one span in the line's own columns.
    for (qsizetype i = 0; i < w.size();) {
        const quint8 k = w.kind[size_t(i)];
        qsizetype j = i + 1;
        while (j < w.size() && w.kind[size_t(j)] == k)
            ++j;
        if (k != kNone && k != kText) {
            const int start = w.column[size_t(i)];
            spans.push_back({start, w.column[size_t(j - 1)] + 1 - start, SyntaxKind(k)});
        }
        i = j;
    }
    if (comment >= 0)
        spans.push_back({int(comment), int(line.size() - comment), SyntaxKind::Comment});
    return result;
}

} // namespace pvelm::compiler
