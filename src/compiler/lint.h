#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace pvelm::compiler {

class Compiler;

// Something in a script that compiles without an error but is most likely
// not what its writer meant. sourceLine is 1-based.
struct Warning
{
    qint64 sourceLine = 0;
    QString text;
};

// The warnings the compiler itself does not give, for the script `source`
// that `compiler` compiled last (the text as readScriptFile read it):
//   - a label defined and never used whose name is one or two edits from a
//     statement keyword ("WIAT 100" defines the label WIAT100);
//   - a number cut or clamped to its field without an error (WAIT 70000,
//     IFINPUT 300, MOVE 3 TABLE=251);
//   - a MOVE to a program line that no POSITION statement writes;
//   - a DO with no LOOP after it.
// A line with a statement error gets no warning: the error says enough. The
// MOVE check needs the program-line numbering of a complete last pass and is
// left out when the pass stopped early.
//
// It only reads: the compiler's outputs (list file, counters, work files,
// temp hex file) stay exactly as the compile left them.
QList<Warning> lint(const Compiler &compiler, const QByteArray &source);

} // namespace pvelm::compiler
