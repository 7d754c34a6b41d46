#pragma once

// The generated VelmScript program of the compiler and editor benchmarks:
// the same text on every machine and every run, so timings compare.

#include <QByteArray>

namespace benchscripts {

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

} // namespace benchscripts
