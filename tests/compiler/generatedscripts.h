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
    switch (line % 12) {
    case 0:
        return "S" + QByteArray::number(line % 8 + 1) + " = " + n + "   / servo";
    case 1:
        return "MOVE " + n + " RATE=" + QByteArray::number(line % 700);
    case 2:
        return "GOTO " + after;
    case 3:
        return "POSITION S1=" + n + " S3=" + QByteArray::number(line % 3000) + " S8=17";
    case 4:
        return "GOSUB " + before;
    case 5:
        return "IFINPUT 3 = 1 GOTO " + after;
    case 6:
        return "WAIT " + n;
    case 7:
        return "DSR2 + 5";
    case 8:
        return "IFINPUT 2 GOSUB " + before;
    case 9:
        return "MARKER STEP" + n;
    case 10:
        return "OUTPUT 4 ON";
    default:
        return "MOVE " + n + " TABLE=3";
    }
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
        for (int k = 0; k < 4; ++k) {
            s += limitStatement(at + k, block % 1000) + "\r\n";
            ++count;
        }
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
inline QByteArray randomScript(quint64 seed, int lines, bool allowFailures = false)
{
    ScriptRandom r(seed);
    auto number = [&r, allowFailures]() -> QByteArray {
        switch (r.below(12)) {
        case 0:
            return "0";
        case 1:
            return "00" + QByteArray::number(r.below(100));
        case 2:
            return QByteArray::number(r.below(70000) + 65000);
        case 3:
            return QByteArray::number(2147483600 + r.below(47)); // near the top
        case 4:
            return allowFailures ? QByteArray("99999999999") : QByteArray("7");
        default:
            return QByteArray::number(r.below(r.below(2) ? 300 : 20000));
        }
    };
    // Clamped operands may be as big as they like without failing.
    auto clampable = [&r, &number]() -> QByteArray {
        return r.below(6) == 0 ? QByteArray("123456789012345678901234") : number();
    };
    auto operand = [&r, &number]() -> QByteArray {
        switch (r.below(10)) {
        case 0:
            return "";
        case 1:
            return "X" + QByteArray::number(r.below(9));
        default:
            return number();
        }
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
        switch (r.below(26)) {
        case 0:
            line = "ADDRESS " + (r.below(8) == 0 ? QByteArray() : QByteArray::number(r.below(300)));
            break;
        case 1:
            line = "MOVE " + operand();
            switch (r.below(7)) {
            case 0:
                line += " RATE=DSR" + QByteArray::number(1 + r.below(3));
                break;
            case 1:
                line += " RATE=" + clampable();
                break;
            case 2:
                line += " RATE=";
                break;
            case 3:
                line += " TABLE=" + clampable();
                break;
            case 4:
                line += r.below(2) ? " TABLE=" : " TABLE=X";
                break;
            default:
                break;
            }
            break;
        case 2:
        case 3: {
            line = r.below(2) ? "POSITION" : "RATE";
            const int count = r.below(5);
            for (int k = 0; k < count; ++k)
                line += " S" + QByteArray::number(1 + r.below(9)) + "=" + operand();
            break;
        }
        case 4:
            line = "WAIT" + space() + operand();
            break;
        case 5:
            line = r.below(3) ? "STOP" : "stop";
            break;
        case 6:
            line = r.below(2) ? "NOP" : "NOOPERATION";
            break;
        case 7:
            line = "GOTO" + space() + (r.below(10) ? target() : QByteArray());
            break;
        case 8:
            line = "CALL " + operand();
            break;
        case 9:
            line = "GOSUB " + (r.below(10) ? target() : QByteArray());
            break;
        case 10:
            line = "RETURN";
            break;
        case 11:
            line = "DO " + operand();
            break;
        case 12:
            line = r.below(4) ? "LOOP" : "LOOPA";
            break;
        case 13:
            line = "OUTPUT " + operand() + (r.below(3) == 0 ? " ON" : r.below(2) ? " OFF" : "");
            break;
        case 14:
            line = "MARKER " + QByteArray("Step\x01\xe9x").left(r.below(8)) + QByteArray::number(r.below(1000));
            break;
        case 15:
        case 16: {
            line = "IFINPUT " + operand();
            switch (r.below(4)) {
            case 0:
                line += " = " + clampable();
                break;
            case 1:
                line += " =";
                break;
            default:
                break;
            }
            switch (r.below(6)) {
            case 0:
                line += " GOTO " + target();
                break;
            case 1:
                line += " GOTO";
                break;
            case 2:
                line += " GOSUB " + (r.below(2) ? r.pick(labels) : clampable());
                break;
            case 3:
                line += " GOSUB";
                break;
            case 4:
                line += " STOP";
                break;
            default:
                break;
            }
            break;
        }
        case 17:
        case 18: {
            const bool dsr = r.below(3) == 0;
            line = dsr ? "DSR" + QByteArray::number(1 + r.below(4)) : "S" + QByteArray::number(r.below(10));
            line += space() + QByteArray(1, "=+-"[r.below(3)]) + space() + operand();
            break;
        }
        case 19:
        case 20:
            line = r.pick(labels);
            break;
        case 21:
            line = r.below(2) ? QByteArray() : QByteArray("   ");
            break;
        case 22:
            line = "/ a comment " + QByteArray::number(i);
            break;
        case 23:
            line = "THIS_IS_FAR_TOO_LONG_FOR_A_LABEL";
            break;
        case 24:
            line = "x";
            break;
        default:
            line = "S" + QByteArray::number(1 + r.below(8)) + "=" + number() + " / set";
            break;
        }
        if (r.below(8) == 0)
            line = line.toLower();
        static const char *const ends[] = {"\r\n", "\r\n", "\n", "\r"};
        s += line + ends[r.below(4)];
    }
    return s;
}

} // namespace compilertest
