#pragma once

// Generated VelmScript programs shared by the compiler benchmark and the
// tests that pin the compiler's output: the same text on every machine and
// every run, so a hash of what the compiler writes for them stays fixed.

#include <QByteArray>
#include <QList>

namespace compilertest {

// One statement of the script at the board's limits.
inline QByteArray limitStatement(int line, int label)
{
    const QByteArray n = QByteArray::number(line % 4000);
    const QByteArray before = "L" + QByteArray::number((label + 999) % 1000); // mostly defined already
    const QByteArray after = "L" + QByteArray::number((label + 1) % 1000);    // defined further down
    const QByteArray forms[12] = {"S" + QByteArray::number(line % 8 + 1) + " = " + n + "   / servo",
                                  "MOVE " + n + " RATE=" + QByteArray::number(line % 700),
                                  "GOTO " + after,
                                  "POSITION S1=" + n + " S3=" + QByteArray::number(line % 3000) + " S8=17",
                                  "GOSUB " + before,
                                  "IFINPUT 3 = 1 GOTO " + after,
                                  "WAIT " + n,
                                  "DSR2 + 5",
                                  "IFINPUT 2 GOSUB " + before,
                                  "MARKER STEP" + n,
                                  "OUTPUT 4 ON",
                                  "MOVE " + n + " TABLE=3"};
    return forms[line % 12];
}

// A script at the board's limits: an element on every line 0 to 32767, 1000
// labels each used before and after its definition (GOTO, GOSUB, IFINPUT),
// then 400 ADDRESS blocks that revisit pages already written, several into
// the same page. `elements` receives the number of statement lines.
inline QByteArray limitScript(int *elements = nullptr)
{
    QByteArray s = "/ generated: every line of flash, 1000 labels, revisited pages\r\n";
    int label = 0;
    int count = 0;
    for (int line = 0; line < 32768; ++line) {
        // A label every 32 lines for the first 1000 blocks of 32.
        if (line % 32 == 5 && label < 1000)
            s += "L" + QByteArray::number(label++) + "\r\n";
        s += limitStatement(line, label) + "\r\n";
        ++count;
    }
    for (int block = 0; block < 400; ++block) {
        const int at = (block * 397) % 32760;
        s += "ADDRESS " + QByteArray::number(at) + "\r\n";
        for (int k = 0; k < 4; ++k, ++count)
            s += limitStatement(at + k, block % 1000) + "\r\n";
    }
    if (elements)
        *elements = count;
    return s;
}

// A small generator of its own (not the library's), so the scripts never
// change with the Qt version.
class ScriptRandom
{
public:
    explicit ScriptRandom(quint64 seed) : m_state(seed * 6364136223846793005ULL + 1442695040888963407ULL) {}
    quint32 next()
    {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return quint32(m_state >> 33);
    }
    int below(int n) { return int(next() % quint32(n)); }
    template <typename T> const T &pick(const QList<T> &from) { return from.at(below(int(from.size()))); }

private:
    quint64 m_state;
};

// A random program that touches every statement, its good and bad operands,
// the trailing "RATE=", "TABLE=", "=", "GOTO" and "GOSUB" cases, numbers too
// big, labels defined twice, used before their definition or never defined,
// ADDRESS back into earlier pages, comments, odd spacing, lower case and all
// three line ends. Scripts never fail a pass unless `allowFailures`.
// The draws happen in a fixed order (each branch draws only when taken), so
// the recorded hashes of its scripts stay valid: keep it that way.
inline QByteArray randomScript(quint64 seed, int lines, bool allowFailures = false)
{
    ScriptRandom r(seed);
    auto number = [&r, allowFailures]() -> QByteArray {
        const int k = r.below(12);
        return k == 0   ? QByteArray("0")
               : k == 1 ? "00" + QByteArray::number(r.below(100))
               : k == 2 ? QByteArray::number(r.below(70000) + 65000)
               : k == 3 ? QByteArray::number(2147483600 + r.below(47)) // near the top
               : k == 4 ? QByteArray(allowFailures ? "99999999999" : "7")
                        : QByteArray::number(r.below(r.below(2) ? 300 : 20000));
    };
    // Clamped operands may be as big as they like without failing.
    auto clampable = [&r, &number]() { return r.below(6) == 0 ? QByteArray("123456789012345678901234") : number(); };
    auto operand = [&r, &number]() -> QByteArray {
        const int k = r.below(10);
        return k == 0 ? QByteArray() : k == 1 ? "X" + QByteArray::number(r.below(9)) : number();
    };
    const QList<QByteArray> labels{"START", "L1", "L2", "LOOPTOP", "HOME", "PICK", "DROP", "ab", "Z9", "NEVER"};
    auto target = [&r, &labels, &number]() -> QByteArray {
        static const QList<QByteArray> undefined{"MISSING", "Q"};
        const int kind = r.below(8);
        return kind < 2 ? number() : kind == 2 ? r.pick(undefined) : r.pick(labels);
    };
    auto space = [&r]() -> QByteArray {
        static const QList<QByteArray> gaps{"", " ", "  ", "\t", ",", " , "};
        return gaps.at(r.below(int(gaps.size())));
    };

    QByteArray s;
    for (int i = 0; i < lines; ++i) {
        QByteArray line;
        const int k = r.below(26);
        if (k == 0) {
            line = "ADDRESS " + (r.below(8) == 0 ? QByteArray() : QByteArray::number(r.below(300)));
        } else if (k == 1) {
            line = "MOVE " + operand();
            const int tail = r.below(7);
            if (tail == 0)
                line += " RATE=DSR" + QByteArray::number(1 + r.below(3));
            else if (tail == 1)
                line += " RATE=" + clampable();
            else if (tail == 2)
                line += " RATE=";
            else if (tail == 3)
                line += " TABLE=" + clampable();
            else if (tail == 4)
                line += r.below(2) ? " TABLE=" : " TABLE=X";
        } else if (k == 2 || k == 3) {
            line = r.below(2) ? "POSITION" : "RATE";
            const int count = r.below(5);
            for (int j = 0; j < count; ++j)
                line += " S" + QByteArray::number(1 + r.below(9)) + "=" + operand();
        } else if (k == 4) {
            line = "WAIT" + space() + operand();
        } else if (k == 5) {
            line = r.below(3) ? "STOP" : "stop";
        } else if (k == 6) {
            line = r.below(2) ? "NOP" : "NOOPERATION";
        } else if (k == 7) {
            line = "GOTO" + space() + (r.below(10) ? target() : QByteArray());
        } else if (k == 8 || k == 11) {
            line = (k == 8 ? "CALL " : "DO ") + operand();
        } else if (k == 9) {
            line = "GOSUB " + (r.below(10) ? target() : QByteArray());
        } else if (k == 10) {
            line = "RETURN";
        } else if (k == 12) {
            line = r.below(4) ? "LOOP" : "LOOPA";
        } else if (k == 13) {
            line = "OUTPUT " + operand() + (r.below(3) == 0 ? " ON" : r.below(2) ? " OFF" : "");
        } else if (k == 14) {
            line = "MARKER " + QByteArray("Step\x01\xe9x").left(r.below(8)) + QByteArray::number(r.below(1000));
        } else if (k == 15 || k == 16) {
            line = "IFINPUT " + operand();
            const int value = r.below(4);
            if (value == 0)
                line += " = " + clampable();
            else if (value == 1)
                line += " =";
            const int action = r.below(6);
            if (action == 0)
                line += " GOTO " + target();
            else if (action == 1)
                line += " GOTO";
            else if (action == 2)
                line += " GOSUB " + (r.below(2) ? r.pick(labels) : clampable());
            else if (action == 3)
                line += " GOSUB";
            else if (action == 4)
                line += " STOP";
        } else if (k == 17 || k == 18) {
            const bool dsr = r.below(3) == 0;
            line = dsr ? "DSR" + QByteArray::number(1 + r.below(4)) : "S" + QByteArray::number(r.below(10));
            line += space() + QByteArray(1, "=+-"[r.below(3)]) + space() + operand();
        } else if (k == 19 || k == 20) {
            line = r.pick(labels);
        } else if (k == 21) {
            line = r.below(2) ? QByteArray() : QByteArray("   ");
        } else if (k == 22) {
            line = "/ a comment " + QByteArray::number(i);
        } else if (k == 23) {
            line = "THIS_IS_FAR_TOO_LONG_FOR_A_LABEL";
        } else if (k == 24) {
            line = "x";
        } else {
            line = "S" + QByteArray::number(1 + r.below(8)) + "=" + number() + " / set";
        }
        if (r.below(8) == 0)
            line = line.toLower();
        static const char *const ends[] = {"\r\n", "\r\n", "\n", "\r"};
        s += line + ends[r.below(4)];
    }
    return s;
}

} // namespace compilertest
